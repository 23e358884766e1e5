HA$PBExportHeader$w_y.srw
$PBExportComments$