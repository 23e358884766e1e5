$PBExportHeader$w_order_entry.srw
$PBExportComments$Entry of one order, with its total
forward
global type w_order_entry from w_orders
end type
type st_total from statictext within w_order_entry
end type
type cb_total from u_sample_cb within w_order_entry
end type
end forward

global type w_order_entry from w_orders
string title = "Order"
st_total st_total
cb_total cb_total
end type
global w_order_entry w_order_entry

type variables
Private:
s_order_line istr_lines[]
end variables

on w_order_entry.create
int iCurrent
call super::create
this.st_total=create st_total
this.cb_total=create cb_total
iCurrent=UpperBound(this.Control)
this.Control[iCurrent+1]=this.st_total
this.Control[iCurrent+2]=this.cb_total
end on

on w_order_entry.destroy
call super::destroy
destroy(this.st_total)
destroy(this.cb_total)
end on

event open;call super::open;dw_main.DataObject = "d_order_detail"
il_selected = Message.DoubleParm
end event

event ue_retrieve();dw_main.SetTransObject(itr_data)
dw_main.Retrieve(il_selected)
end event

type dw_main from w_orders`dw_main within w_order_entry
integer height = 1200
end type

type st_total from statictext within w_order_entry
integer x = 23
integer y = 1240
integer width = 1000
integer height = 64
integer textsize = -8
string facename = "Tahoma"
long backcolor = 67108864
string text = "Total:"
end type

type cb_total from u_sample_cb within w_order_entry
integer x = 1989
integer y = 1232
integer taborder = 20
string text = "&Total"
end type

event clicked;call super::clicked;st_total.text = "Total: " + f_format_amount(gnv_calc.of_ordertotal(istr_lines), "EUR")
end event
