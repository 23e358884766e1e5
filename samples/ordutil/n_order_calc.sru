$PBExportHeader$n_order_calc.sru
$PBExportComments$Order totals, tax and discount rules
forward
global type n_order_calc from n_sample_base
end type
end forward

global type n_order_calc from n_sample_base
end type
global n_order_calc n_order_calc

type variables
Public:
decimal idec_taxrate = 0.2
decimal idec_discountlimit = 1000
end variables

forward prototypes
public function decimal of_linetotal (s_order_line astr_line)
public function decimal of_ordertotal (s_order_line astr_lines[])
end prototypes

public function decimal of_linetotal (s_order_line astr_line);return astr_line.quantity * astr_line.unit_price
end function

public function decimal of_ordertotal (s_order_line astr_lines[]);decimal ldec_total
long ll_line

for ll_line = 1 to UpperBound(astr_lines)
	ldec_total += of_linetotal(astr_lines[ll_line])
next
/* Orders above the limit get five per cent off before tax. */
if ldec_total > idec_discountlimit then ldec_total = ldec_total * 0.95
return Round(ldec_total * (1 + idec_taxrate), 2)
end function

on n_order_calc.create
call super::create
end on

on n_order_calc.destroy
call super::destroy
end on
