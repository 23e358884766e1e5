$PBExportHeader$w_sample_frame.srw
$PBExportComments$MDI frame with a status line
forward
global type w_sample_frame from window
end type
type mdi_1 from mdiclient within w_sample_frame
end type
end forward

global type w_sample_frame from window
integer width = 3200
integer height = 2100
boolean titlebar = true
string title = "Samples"
string menuname = "m_sample_frame"
boolean controlmenu = true
boolean minbox = true
boolean maxbox = true
boolean resizable = true
windowtype windowtype = mdihelp!
windowstate windowstate = maximized!
long backcolor = 268435456
mdi_1 mdi_1
end type
global w_sample_frame w_sample_frame

forward prototypes
public function window of_opensheet (string as_window)
end prototypes

public function window of_opensheet (string as_window);window lw_sheet

if OpenSheet(lw_sheet, as_window, this, 0, Layered!) <> 1 then
	SetNull(lw_sheet)
end if
return lw_sheet
end function

on w_sample_frame.create
if this.MenuName = "m_sample_frame" then this.MenuID = create m_sample_frame
this.mdi_1=create mdi_1
this.Control[]={this.mdi_1}
end on

on w_sample_frame.destroy
if IsValid(MenuID) then destroy(MenuID)
destroy(this.mdi_1)
end on

event open;this.SetMicroHelp("Ready")
end event

type mdi_1 from mdiclient within w_sample_frame
long BackColor=268435456
end type
