$PBExportHeader$u_sample_cb.sru
$PBExportComments$Command button in the samples' font
forward
global type u_sample_cb from commandbutton
end type
end forward

global type u_sample_cb from commandbutton
integer width = 352
integer height = 92
integer taborder = 1
integer textsize = -8
integer weight = 400
fontcharset fontcharset = ansi!
fontpitch fontpitch = variable!
fontfamily fontfamily = swiss!
string facename = "Tahoma"
string text = "none"
end type
global u_sample_cb u_sample_cb

on u_sample_cb.create
end on

on u_sample_cb.destroy
end on
