$PBExportHeader$n_sample_base.sru
$PBExportComments$Base of the samples' non-visual objects
forward
global type n_sample_base from nonvisualobject
end type
end forward

global type n_sample_base from nonvisualobject
end type
global n_sample_base n_sample_base

type variables
Protected:
string is_lasterror
end variables

forward prototypes
public function string of_getlasterror ()
end prototypes

public function string of_getlasterror ();return is_lasterror
end function

on n_sample_base.create
call super::create
TriggerEvent( this, "constructor" )
end on

on n_sample_base.destroy
TriggerEvent( this, "destructor" )
call super::destroy
end on
