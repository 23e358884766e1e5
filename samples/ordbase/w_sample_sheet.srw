$PBExportHeader$w_sample_sheet.srw
$PBExportComments$MDI sheet with a datawindow that follows the window's size
forward
global type w_sample_sheet from w_sample_base
end type
type dw_main from u_sample_dw within w_sample_sheet
end type
end forward

global type w_sample_sheet from w_sample_base
string menuname = "m_sample_frame"
event ue_retrieve ( )
dw_main dw_main
end type
global w_sample_sheet w_sample_sheet

type variables
Protected:
n_sample_tr itr_data
end variables

event ue_retrieve();dw_main.SetTransObject(itr_data)
dw_main.Retrieve()
end event

on w_sample_sheet.create
int iCurrent
call super::create
if this.MenuName = "m_sample_frame" then this.MenuID = create m_sample_frame
this.dw_main=create dw_main
iCurrent=UpperBound(this.Control)
this.Control[iCurrent+1]=this.dw_main
end on

on w_sample_sheet.destroy
call super::destroy
if IsValid(MenuID) then destroy(MenuID)
destroy(this.dw_main)
end on

event open;call super::open;itr_data = SQLCA
this.Post Event ue_retrieve()
end event

event resize;call super::resize;dw_main.Resize(newwidth - 2 * dw_main.x, newheight - 2 * dw_main.y)
end event

event type integer ue_save();call super::ue_save;if dw_main.AcceptText() <> 1 then return -1
if dw_main.Update() = 1 then
	commit using itr_data;
	of_setmodified(false)
	return 1
end if
rollback using itr_data;
return -1
end event

type dw_main from u_sample_dw within w_sample_sheet
integer x = 23
integer y = 20
integer width = 2318
integer height = 1360
integer taborder = 10
end type

event itemchanged;call super::itemchanged;parent.of_setmodified(true)
end event
