$PBExportHeader$w_main.srw
$PBExportComments$Main window
forward
global type w_main from window
end type
end forward

global type w_main from window
end type
