#include "tests/support/PfcWorkspace.h"

#include <chrono>
#include <filesystem>

namespace testsupport {

PfcWorkspace BuildPfcWorkspace(const TempPrefix&) {
    PfcWorkspace workspace;
    const std::string corpus = CorpusDir() + "/pfc";
    std::error_code ec;
    if (CorpusDir().empty() || !std::filesystem::is_directory(corpus, ec))
        return workspace;
    const auto start = std::chrono::steady_clock::now();
    static_cast<orca::SourceWorkspace&>(workspace) = orca::BuildSourceWorkspace(corpus, "c:\\pfc");
    workspace.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return workspace;
}

}  // namespace testsupport
