$PBExportHeader$w_sample_base.srw
$PBExportComments$Base of every window of the samples: centring and close query
forward
global type w_sample_base from window
end type
end forward

global type w_sample_base from window
integer width = 2400
integer height = 1500
boolean titlebar = true
string title = "Sample"
boolean controlmenu = true
boolean minbox = true
boolean maxbox = true
boolean resizable = true
long backcolor = 67108864
event type integer ue_save ( )
event ue_postopen ( )
end type
global w_sample_base w_sample_base

type variables
Protected:
boolean ib_modified
boolean ib_closing
string is_helptopic
end variables

forward prototypes
public function integer of_center ()
public subroutine of_setmodified (boolean ab_modified)
end prototypes

public function integer of_center ();// Centres the window on the screen.
environment lenv_screen
integer li_x, li_y

if GetEnvironment(lenv_screen) <> 1 then return -1
li_x = (PixelsToUnits(lenv_screen.ScreenWidth, XPixelsToUnits!) - this.width) / 2
li_y = (PixelsToUnits(lenv_screen.ScreenHeight, YPixelsToUnits!) - this.height) / 2
this.Move(li_x, li_y)
return 1
end function

public subroutine of_setmodified (boolean ab_modified);ib_modified = ab_modified
end subroutine

event type integer ue_save();// Descendants save their data here; 1 = saved, -1 = failed.
return 1
end event

event ue_postopen();// Work that needs the window on screen first.
end event

on w_sample_base.create
end on

on w_sample_base.destroy
end on

event open;of_center()
this.Post Event ue_postopen()
end event

event closequery;integer li_answer

if ib_closing or not ib_modified then return 0
li_answer = MessageBox(this.title, "Save changes?", Question!, YesNoCancel!, 1)
choose case li_answer
	case 1
		if this.Event ue_save() <> 1 then return 1
	case 3
		return 1
end choose
return 0
end event
