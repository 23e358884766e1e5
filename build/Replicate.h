#pragma once
// Application replication: a second copy of an application's libraries below the
// replication directory of the preferences, each in a mirror of its own folder tree,
// defined in pb.ini as an application of its own whose application library is the
// check-out library. The catalogue links the source application and its replica, and
// every copy to its source library, so that change detection copies a changed library
// again (TOrcaMgr::ReplicateLibrary, installed by InstallReplication).
//
// Copies are written atomically (a temporary beside the target, renamed over it) and keep
// the source's file date: a copy that failed leaves the old copy, or none, never half a
// file.

#include <string>
#include <string_view>

#include "catalogue/Orcactrl.h"

namespace build {

// Replicates the application (checks, messages and log lines as the command shows them);
// the replica, or null when a check refused it.
catalogue::TPBApp* ReplicateApplication(catalogue::TOrcaMgr& mgr, catalogue::TPBApp& app);
// Copies one source library to its place below the replication directory.
void ReplicateLibrary(catalogue::TPBLib& lib);
// Where ReplicateLibrary copies a library: the replication directory with one trailing
// separator removed + "\" + the path without its first three characters.
std::string ReplicaPath(std::string_view replicationPath, std::string_view libraryPath);
// The folder a source library's copy goes to: the replication directory (one trailing
// separator removed) + "\" + the library's folder without its first three characters and
// without a trailing separator.
std::string MirrorDirectory(std::string_view replicationPath, std::string_view libraryPath);
// Makes ReplicateLibrary the catalogue's replication of a library.
void InstallReplication(catalogue::TOrcaMgr& mgr);
// Writes the registry section "Quentis" anew: one value per replicated application,
// "APPLIB(NAME)" = "REPLICA APPLIB(REPLICA NAME)".
void SaveReplicationLinks(catalogue::TOrcaMgr& mgr);

}  // namespace build
