#include "orca/StructureCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

// Source lines with their line ends, for building broken variants of real sources.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        size_t end = eol == std::string::npos ? text.size() : eol + 1;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l;
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// Whether the line, without leading blanks, begins with `prefix` (any case).
bool StartsWith(const std::string& line, std::string_view prefix) {
    size_t i = line.find_first_not_of(" \t");
    return i != std::string::npos && Lower(line.substr(i, prefix.size())) == prefix;
}

// 0-based index of the first line at or after `from` beginning with `prefix`; -1 if none.
int FindLine(const std::vector<std::string>& lines, std::string_view prefix, size_t from = 0) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (StartsWith(lines[i], prefix))
            return static_cast<int>(i);
    }
    return -1;
}

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::string WithoutCr(std::string s) {
    std::erase(s, '\r');
    return s;
}

TEST(StructureCheckCorpus, EveryPfcSourcePassesInAnyCaseAndWithBareLineFeeds) {
    SKIP_WITHOUT_CORPUS();
    std::vector<Source> sources = PfcSources();
    EXPECT_EQ(sources.size(), 813u);
    size_t bytes = 0;
    auto start = std::chrono::steady_clock::now();
    for (const Source& s : sources) {
        bytes += s.text.size();
        auto problems = CheckSource(s.text, s.name, s.type);
        EXPECT_TRUE(problems.empty()) << s.path << "\n" << Describe(problems);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("checked %zu sources, %.1f MB in %.3f s\n", sources.size(), bytes / 1e6, seconds);
    for (const Source& s : sources) {
        auto upper = CheckSource(Upper(s.text), Upper(s.name), s.type);
        EXPECT_TRUE(upper.empty()) << "upper case " << s.path << "\n" << Describe(upper);
        auto lf = CheckSource(WithoutCr(s.text), s.name, s.type);
        EXPECT_TRUE(lf.empty()) << "LF only " << s.path << "\n" << Describe(lf);
    }
}

// Removing the first `end X` line of each kind from every real source is always reported,
// never before the line that was removed, and names the block that stays open.
TEST(StructureCheckCorpus, EveryRemovedEndLineIsReported) {
    SKIP_WITHOUT_CORPUS();
    int mutants = 0;
    for (const Source& s : PfcSources()) {
        if (s.type == orca::kEntryDataWindow || s.type == orca::kEntryProject)
            continue;
        std::vector<std::string> lines = SplitLines(s.text);
        for (std::string_view kind : {"type", "forward", "on", "event", "function", "subroutine",
                                      "variables", "prototypes"}) {
            std::string endLine = "end " + std::string(kind);
            int at = -1;
            for (size_t i = 0; i < lines.size() && at < 0; ++i) {
                std::string t = Lower(WithoutCr(lines[i]));
                while (!t.empty() && (t.back() == '\n' || t.back() == ' ' || t.back() == '\t'))
                    t.pop_back();
                if (t.substr(t.find_first_not_of(" \t") == std::string::npos
                                 ? t.size()
                                 : t.find_first_not_of(" \t")) == endLine)
                    at = static_cast<int>(i);
            }
            if (at < 0)
                continue;
            std::vector<std::string> broken = lines;
            broken.erase(broken.begin() + at);
            auto problems = CheckSource(JoinLines(broken), s.name, s.type);
            ++mutants;
            ASSERT_FALSE(problems.empty()) << s.path << " without line " << at + 1;
            EXPECT_GE(problems[0].line, at + 1) << s.path << "\n" << Describe(problems);
            EXPECT_NE(problems[0].text.find("'" + endLine + "' expected"), std::string::npos)
                << s.path << "\n"
                << Describe(problems);
        }
    }
    EXPECT_GT(mutants, 2000);
}

// A real window, broken in the ways people break sources by hand.
class BrokenWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testsupport::CorpusDir().empty())
            GTEST_SKIP() << "corpus not found";
        std::string path = testsupport::CorpusDir() + "/pfc/pfcmain/pfc_w_master.srw";
        lines_ = SplitLines(StripExportHeader(testsupport::ReadFile(path)));
        ASSERT_TRUE(CheckSource(JoinLines(lines_), "pfc_w_master", orca::kEntryWindow).empty());
    }
    std::vector<CompileProblem> Check() {
        return CheckSource(JoinLines(lines_), "pfc_w_master", orca::kEntryWindow);
    }
    std::vector<std::string> lines_;
};

TEST_F(BrokenWindow, RemovedEndFunctionIsReportedAtTheNextScript) {
    int firstFunction = FindLine(lines_, "public function", FindLine(lines_, "end prototypes"));
    int end = FindLine(lines_, "end function", firstFunction);
    ASSERT_GT(firstFunction, 0);
    lines_.erase(lines_.begin() + end);
    int next = FindLine(lines_, "p", end);  // the next public/protected function
    auto problems = Check();
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgUnclosedBlock);
    EXPECT_EQ(problems[0].line, next + 1);
    EXPECT_EQ(problems[0].column, 1);
    EXPECT_NE(problems[0].text.find("opened at line " + std::to_string(firstFunction + 1)),
              std::string::npos)
        << problems[0].text;
}

TEST_F(BrokenWindow, ExtraEndEventIsReportedWhereItStands) {
    int end = FindLine(lines_, "end event");
    lines_.insert(lines_.begin() + end + 1, "  END EVENT\r\n");
    auto problems = Check();
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgStrayEnd);
    EXPECT_EQ(problems[0].line, end + 2);
    EXPECT_EQ(problems[0].column, 3);
}

TEST_F(BrokenWindow, WrongGlobalTypeNameIsReportedOnEachDeclaration) {
    for (std::string& l : lines_) {
        if (StartsWith(l, "global type pfc_w_master"))
            l = "global type pfc_w_mastr from window\r\n";
    }
    auto problems = Check();
    ASSERT_EQ(problems.size(), 2u) << Describe(problems);  // in forward and the type itself
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgForeignGlobalType);
    EXPECT_EQ(problems[0].line, FindLine(lines_, "global type") + 1);
    EXPECT_NE(problems[0].text.find("pfc_w_mastr"), std::string::npos);
}

TEST_F(BrokenWindow, UnclosedTypeBlockIsReportedAtTheNextBlock) {
    int typeLine = FindLine(lines_, "global type", FindLine(lines_, "end forward"));
    ASSERT_GT(typeLine, 0);
    int end = FindLine(lines_, "end type", typeLine);
    lines_.erase(lines_.begin() + end);
    auto problems = Check();
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgUnclosedBlock);
    EXPECT_EQ(problems[0].line, FindLine(lines_, "type variables") + 1);
    EXPECT_NE(problems[0].text.find("'global type pfc_w_master' opened at line " +
                                    std::to_string(typeLine + 1)),
              std::string::npos)
        << problems[0].text;
}

TEST_F(BrokenWindow, GlobalTypeOfAnotherObjectIsReported) {
    int at = FindLine(lines_, "type variables");
    lines_.insert(lines_.begin() + at, {"global type w_other from window\r\n", "end type\r\n"});
    auto problems = Check();
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgForeignGlobalType);
    EXPECT_EQ(problems[0].line, at + 1);
}

TEST(StructureCheckRealSources, BrokenDataWindowAndFunction) {
    SKIP_WITHOUT_CORPUS();
    std::string dw = StripExportHeader(
        testsupport::ReadFile(testsupport::CorpusDir() + "/pfc/pfcmain/d_calendar.srd"));
    ASSERT_TRUE(CheckSource(dw, "d_calendar", orca::kEntryDataWindow).empty());
    std::vector<std::string> lines = SplitLines(dw);
    int release = FindLine(lines, "release");
    lines.erase(lines.begin() + release);
    auto problems = CheckSource(JoinLines(lines), "d_calendar", orca::kEntryDataWindow);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMissingRelease);
    EXPECT_EQ(problems[0].line, release + 1);

    std::string fn = StripExportHeader(
        testsupport::ReadFile(testsupport::CorpusDir() + "/pfc/pfcapsrv/f_setfilesrv.srf"));
    ASSERT_TRUE(CheckSource(fn, "f_setfilesrv", orca::kEntryFunction).empty());
    lines = SplitLines(fn);
    int end = FindLine(lines, "end function");
    lines.erase(lines.begin() + end);
    problems = CheckSource(JoinLines(lines), "f_setfilesrv", orca::kEntryFunction);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgUnclosedBlock);
    EXPECT_EQ(problems[0].line, static_cast<int>(lines.size()));  // the end of the source
}

}  // namespace
