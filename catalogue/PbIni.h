#pragma once
// The applications of pb.ini, section "Application": keys "$library(name)" whose values
// are the application's library search path, paths separated by ";". The reading of
// that section is TOrcaMgr::LoadApplications and TPBApp::LoadLibraryList (PbIni.cpp);
// here are the two commands that edit it.

#include "catalogue/Orcactrl.h"

namespace catalogue {

// Deletes the application's key from pb.ini, ends its replication pair and takes the
// application out of the catalogue. False (with a log line, nothing changed) when
// pb.ini cannot be written.
bool DeleteAppFromPBIni(TPBApp* app);
// Removes the library from the application's search path in pb.ini (the entry moves to
// the end of its section) and takes the reference out of the catalogue. False (with a
// log line, nothing changed) when pb.ini cannot be read or written.
bool DeleteLibFromPBIni(TPBLibRef* libRef);

}  // namespace catalogue
