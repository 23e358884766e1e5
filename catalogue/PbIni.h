#pragma once
// The applications of pb.ini, section "Application": keys "$library(name)" whose values
// are the application's library search path, paths separated by ";". The reading of
// that section is TOrcaMgr::LoadApplications and TPBApp::LoadLibraryList (PbIni.cpp);
// here are the two commands that edit it.

#include <string>
#include <string_view>

#include "catalogue/Orcactrl.h"

namespace catalogue {

// Name and application library of a pb.ini key "$library(name)", split at the key's
// last "(" (a library path may hold one, an application name does not); false when the
// key does not have that form.
bool ParseApplicationKey(std::string_view key, std::string& name, std::string& appLib);

// Deletes the application's key from pb.ini, ends its replication pair and takes the
// application out of the catalogue. False (with a log line, nothing changed) when the
// key is not in pb.ini or pb.ini cannot be written.
bool DeleteAppFromPBIni(TPBApp* app);
// Removes the library from the application's search path in pb.ini (the entry moves to
// the end of its section) and takes the reference out of the catalogue. False (with a
// log line, nothing changed) when the application's key is not in pb.ini or pb.ini
// cannot be read or written.
bool DeleteLibFromPBIni(TPBLibRef* libRef);

}  // namespace catalogue
