$PBExportHeader$orders.sra
$PBExportComments$Order desk: orders and customers
forward
global transaction sqlca
global dynamicdescriptionarea sqlda
global dynamicstagingarea sqlsa
global error error
global message message
end forward

global variables
n_order_calc gnv_calc
end variables

global type orders from application
string appname = "orders"
string displayname = "Order Desk"
end type
global orders orders

on orders.create
appname = "orders"
message = create message
sqlca = create n_sample_tr
sqlda = create dynamicdescriptionarea
sqlsa = create dynamicstagingarea
error = create error
end on

on orders.destroy
destroy( sqlca )
destroy( sqlda )
destroy( sqlsa )
destroy( error )
destroy( message )
end on

event open;n_sample_tr ltr_data

gnv_calc = create n_order_calc
ltr_data = sqlca
if ltr_data.of_connect("orders.ini") <> 1 then
	MessageBox("Order Desk", "The database is not available; the desk opens read-only.")
end if
Open(w_main_frame)
end event

event close;if IsValid(gnv_calc) then destroy gnv_calc
disconnect using sqlca;
end event

event systemerror;f_log_message("System error " + String(error.Number) + " in " + error.ObjectEvent + ": " + error.Text)
Halt Close
end event
