$PBExportHeader$u_sample_dw.sru
$PBExportComments$Datawindow control with row selection and a database error report
forward
global type u_sample_dw from datawindow
end type
end forward

global type u_sample_dw from datawindow
integer width = 1200
integer height = 800
integer taborder = 1
boolean vscrollbar = true
boolean livescroll = true
borderstyle borderstyle = stylelowered!
end type
global u_sample_dw u_sample_dw

type variables
Public:
boolean ib_selectrows = true
end variables

event rowfocuschanged;if ib_selectrows and currentrow > 0 then
	this.SelectRow(0, false)
	this.SelectRow(currentrow, true)
end if
end event

event dberror;f_log_message("Database error " + String(sqldbcode) + ": " + sqlerrtext)
MessageBox("Database error", sqlerrtext, StopSign!)
return 1
end event

on u_sample_dw.create
end on

on u_sample_dw.destroy
end on
