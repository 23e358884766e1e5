$PBExportHeader$w_main_frame.srw
$PBExportComments$Order desk frame
forward
global type w_main_frame from w_sample_frame
end type
end forward

global type w_main_frame from w_sample_frame
string title = "Order Desk"
string menuname = "m_orders"
end type
global w_main_frame w_main_frame

on w_main_frame.create
call super::create
if this.MenuName = "m_orders" then this.MenuID = create m_orders
end on

on w_main_frame.destroy
call super::destroy
if IsValid(MenuID) then destroy(MenuID)
end on

event open;call super::open;of_opensheet("w_orders")
end event
