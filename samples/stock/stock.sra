$PBExportHeader$stock.sra
$PBExportComments$Stock keeping, on the order desk's base classes
forward
global transaction sqlca
global dynamicdescriptionarea sqlda
global dynamicstagingarea sqlsa
global error error
global message message
end forward

global type stock from application
string appname = "stock"
end type
global stock stock

on stock.create
appname = "stock"
message = create message
sqlca = create n_sample_tr
sqlda = create dynamicdescriptionarea
sqlsa = create dynamicstagingarea
error = create error
end on

on stock.destroy
destroy( sqlca )
destroy( sqlda )
destroy( sqlsa )
destroy( error )
destroy( message )
end on

event open;n_sample_tr ltr_data

ltr_data = sqlca
ltr_data.of_connect("stock.ini")
Open(w_stock_items)
end event
