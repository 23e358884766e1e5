$PBExportHeader$w_x.srw
$PBExportComments$
$PBExportComments$second
forward
global type w_main from window
end type
end forward

global type w_main from window
end type
