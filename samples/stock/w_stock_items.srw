$PBExportHeader$w_stock_items.srw
$PBExportComments$Items in stock, below their reorder level first
forward
global type w_stock_items from w_sample_sheet
end type
end forward

global type w_stock_items from w_sample_sheet
string title = "Stock"
string menuname = ""
windowtype windowtype = main!
end type
global w_stock_items w_stock_items

on w_stock_items.create
call super::create
end on

on w_stock_items.destroy
call super::destroy
end on

event open;call super::open;dw_main.DataObject = "d_stock_items"
end event

type dw_main from w_sample_sheet`dw_main within w_stock_items
end type
