#include "tests/support/PfcWorkspace.h"

#include <chrono>
#include <filesystem>

namespace testsupport {

namespace {

PfcWorkspace Build(const char* folder, const char* destination) {
    PfcWorkspace workspace;
    const std::string corpus = CorpusDir() + "/" + folder;
    std::error_code ec;
    if (CorpusDir().empty() || !std::filesystem::is_directory(corpus, ec))
        return workspace;
    const auto start = std::chrono::steady_clock::now();
    static_cast<orca::SourceWorkspace&>(workspace) =
        orca::BuildSourceWorkspace(corpus, destination);
    workspace.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return workspace;
}

}  // namespace

PfcWorkspace BuildPfcWorkspace(const TempPrefix&) {
    return Build("pfc", "c:\\pfc");
}

PfcWorkspace BuildPfc2019Workspace(const TempPrefix&) {
    return Build("pbl-unicode", "c:\\pfc2019");
}

}  // namespace testsupport
