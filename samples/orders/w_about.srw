$PBExportHeader$w_about.srw
$PBExportComments$About box
forward
global type w_about from w_sample_base
end type
type st_text from statictext within w_about
end type
type cb_ok from u_sample_cb within w_about
end type
end forward

global type w_about from w_sample_base
integer width = 1400
integer height = 600
string title = "About Order Desk"
boolean minbox = false
boolean maxbox = false
boolean resizable = false
windowtype windowtype = response!
st_text st_text
cb_ok cb_ok
end type
global w_about w_about

on w_about.create
int iCurrent
call super::create
this.st_text=create st_text
this.cb_ok=create cb_ok
iCurrent=UpperBound(this.Control)
this.Control[iCurrent+1]=this.st_text
this.Control[iCurrent+2]=this.cb_ok
end on

on w_about.destroy
call super::destroy
destroy(this.st_text)
destroy(this.cb_ok)
end on

type st_text from statictext within w_about
integer x = 46
integer y = 40
integer width = 1280
integer height = 200
string facename = "Tahoma"
long backcolor = 67108864
string text = "Order Desk, a sample application of the Sorvanti workspace."
alignment alignment = center!
end type

type cb_ok from u_sample_cb within w_about
integer x = 521
integer y = 320
integer taborder = 10
string text = "OK"
boolean default = true
end type

event clicked;call super::clicked;Close(parent)
end event
