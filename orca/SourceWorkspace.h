#pragma once
// Libraries and pb.ini built from the exported sources of a PowerBuilder workspace:
// one library per .pbg file (the library it names, holding the sources it lists), and
// a pb.ini with one application per .pbt target. Both kinds of file name their paths
// from the workspace's folder, and the libraries take the same places under the
// destination. Every source is structure-checked as an ORCA import checks it, and each
// library is written once. A workspace of PowerBuilder 10 and later has no .pbg files:
// the libraries its targets list are copied, and one that is missing is built as a
// Unicode library from its exports in ws_objects.

#include <string>
#include <vector>

namespace orca {

struct WorkspaceApplication {
    std::string name;                      // application object, e.g. "pfcexamp"
    std::string library;                   // Windows path of the library holding it
    std::vector<std::string> libraryList;  // Windows paths, in search order
};

struct SourceWorkspace {
    std::string pbIni;                               // Windows path of the pb.ini written
    std::vector<WorkspaceApplication> applications;  // in pb.ini order
    std::vector<std::string> libraries;              // Windows paths, one per library
    std::vector<std::string> libraryHostPaths;       // the same, host paths
    size_t sourceCount = 0;                          // sources stored
    std::string error;  // what went wrong; the other fields are then empty

    bool Empty() const { return libraries.empty(); }
};

// Builds the workspace whose .pbg and .pbt files lie in the host folder `sources` (and
// its subfolders) under the Windows folder `destination`, writing destination\pb.ini,
// and points WIN.INI's [PowerBuilder] InitPath keys at the destination so that pb.ini
// is found the way PowerBuilder's own is. Libraries are written in place, not
// atomically: the destination is meant to be rebuilt from the sources.
SourceWorkspace BuildSourceWorkspace(const std::string& sources, const std::string& destination);

}  // namespace orca
