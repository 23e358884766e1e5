#pragma once
// A realistic workspace for tests and benchmarks: the PowerBuilder Foundation Class
// sources of the corpus built into libraries under c:\pfc\ in the prefix (same folders as
// in the corpus), with c:\pfc\pb.ini listing one application per target and WIN.INI's
// InitPath keys leading to it.

#include "orca/SourceWorkspace.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

using PfcApplication = orca::WorkspaceApplication;

struct PfcWorkspace : orca::SourceWorkspace {
    double seconds = 0;  // wall-clock time taken to build it
};

// Builds the workspace in the prefix (the current one). An empty result without error when
// the corpus is absent (callers skip with SKIP_WITHOUT_CORPUS first).
PfcWorkspace BuildPfcWorkspace(const TempPrefix& prefix);
// The same with the Unicode libraries of PowerBuilder 2019 of the corpus, under c:\pfc2019\.
PfcWorkspace BuildPfc2019Workspace(const TempPrefix& prefix);

}  // namespace testsupport
