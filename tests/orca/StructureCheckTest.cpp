#include "orca/StructureCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using orca::CheckSource;
using orca::CompileProblem;

// ---------------------------------------------------------------------------------------
// PFC sources as a library stores them

struct Source {
    std::string name;  // without extension
    int type = -1;
    std::string text;  // without the export header lines
    std::string path;
};

// Drops the `$PBExportHeader$` line and the `$PBExportComments$` line after it: the
// development environment adds them to exported files; the library does not store them.
std::string StripExportHeader(std::string text) {
    for (std::string_view marker : {"$PBExportHeader$", "$PBExportComments$"}) {
        size_t at = text.find(marker);
        if (at == std::string::npos || at > 4)
            continue;  // at most a short prefix such as "HA" before it
        size_t eol = text.find('\n');
        text.erase(0, eol == std::string::npos ? text.size() : eol + 1);
    }
    return text;
}

std::vector<Source> PfcSources() {
    std::vector<Source> out;
    fs::path root = fs::path(testsupport::CorpusDir()) / "pfc";
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file())
            continue;
        std::string ext = e.path().extension().string();
        int type = orca::EntryTypeFromExtension(ext);
        if (type < 0)
            continue;
        out.push_back({e.path().stem().string(), type,
                       StripExportHeader(testsupport::ReadFile(e.path().string())),
                       e.path().string()});
    }
    return out;
}

std::string Describe(const std::vector<CompileProblem>& problems) {
    std::string s;
    for (const auto& p : problems) {
        s += "  line " + std::to_string(p.line) + " col " + std::to_string(p.column) + " #" +
             std::to_string(p.messageNumber) + ": " + p.text + "\n";
    }
    return s;
}

TEST(StructureCheckCorpus, EveryPfcSourcePasses) {
    SKIP_WITHOUT_CORPUS();
    std::vector<Source> sources = PfcSources();
    EXPECT_EQ(sources.size(), 813u);
    for (const Source& s : sources) {
        auto problems = CheckSource(s.text, s.name, s.type);
        EXPECT_TRUE(problems.empty()) << s.path << "\n" << Describe(problems);
    }
}

}  // namespace
