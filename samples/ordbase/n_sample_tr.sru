$PBExportHeader$n_sample_tr.sru
$PBExportComments$Transaction that reads its connection from the samples' profile
forward
global type n_sample_tr from transaction
end type
end forward

global type n_sample_tr from transaction
end type
global n_sample_tr n_sample_tr

forward prototypes
public function integer of_connect (string as_profile)
end prototypes

public function integer of_connect (string as_profile);// Connects with the DBMS and DBParm of the given section of the profile file.
this.DBMS = ProfileString(as_profile, "Database", "DBMS", "ODBC")
this.DBParm = ProfileString(as_profile, "Database", "DBParm", "")
this.AutoCommit = false
connect using this;
if this.SQLCode <> 0 then
	f_log_message("Cannot connect: " + this.SQLErrText)
	return -1
end if
return 1
end function

on n_sample_tr.create
call super::create
TriggerEvent( this, "constructor" )
end on

on n_sample_tr.destroy
TriggerEvent( this, "destructor" )
call super::destroy
end on
