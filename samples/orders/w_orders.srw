$PBExportHeader$w_orders.srw
$PBExportComments$Sheet listing the open orders
forward
global type w_orders from w_sample_sheet
end type
end forward

global type w_orders from w_sample_sheet
string title = "Open Orders"
end type
global w_orders w_orders

type variables
Protected:
long il_selected
end variables

forward prototypes
public function long of_selectedorder ()
end prototypes

public function long of_selectedorder ();long ll_row

ll_row = dw_main.GetSelectedRow(0)
if ll_row < 1 then return 0
return dw_main.GetItemNumber(ll_row, "order_id")
end function

on w_orders.create
int iCurrent
call super::create
end on

on w_orders.destroy
call super::destroy
end on

event open;call super::open;dw_main.DataObject = "d_order_list"
end event

type dw_main from w_sample_sheet`dw_main within w_orders
end type

event dw_main::doubleclicked;call super::doubleclicked;if row > 0 then
	il_selected = this.GetItemNumber(row, "order_id")
	OpenWithParm(w_order_entry, il_selected)
end if
end event
