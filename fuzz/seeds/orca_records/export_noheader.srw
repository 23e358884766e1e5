$PBExportComments$only a comment
forward
global type w_main from window
end type
end forward

global type w_main from window
end type
