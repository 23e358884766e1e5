#pragma once
// A realistic workspace for tests and benchmarks, built from the PowerBuilder Foundation
// Class sources of the corpus: one library per .pbg file, under c:\pfc\ in the prefix
// (same folders as in the corpus), and a pb.ini at c:\pfc\pb.ini with one application
// per .pbt target. WIN.INI's [PowerBuilder] InitPath keys point at c:\pfc, so pb.ini
// is found the way PowerBuilder's own is.
//
// Built with our library code directly: every source is structure-checked as an ORCA
// import checks it, and each library is written once. The corpus's files are read, and
// the workspace's written, through their Windows paths.

#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testsupport {

struct PfcApplication {
    std::string name;                      // application object, e.g. "pfcexamp"
    std::string library;                   // Windows path of the library holding it
    std::vector<std::string> libraryList;  // Windows paths, in search order
};

struct PfcWorkspace {
    std::string pbIni;                          // Windows path: c:\pfc\pb.ini
    std::vector<PfcApplication> applications;   // in pb.ini order
    std::vector<std::string> libraries;         // Windows paths, one per .pbg
    std::vector<std::string> libraryHostPaths;  // the same, host paths
    size_t sourceCount = 0;                     // sources imported
    double seconds = 0;                         // wall-clock time taken to build it
    std::string error;                          // what went wrong; the other fields are then empty

    bool Empty() const { return libraries.empty(); }
};

// Builds the workspace in the prefix (the current one). An empty result without error when the
// corpus is absent (callers skip with SKIP_WITHOUT_CORPUS first); an empty result with the reason
// in `error` when a file cannot be read or a library cannot be written.
PfcWorkspace BuildPfcWorkspace(const TempPrefix& prefix);

}  // namespace testsupport
