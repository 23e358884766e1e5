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

// ---------------------------------------------------------------------------------------
// Hand-written sources

// Joins lines with CR LF, as a library stores them.
std::string Src(std::initializer_list<std::string_view> lines) {
    std::string s;
    for (std::string_view l : lines) {
        s += l;
        s += "\r\n";
    }
    return s;
}

std::vector<CompileProblem> CheckUo(const std::string& body) {
    return CheckSource(Src({"global type u_x from userobject", "end type"}) + body, "u_x",
                       orca::kEntryUserObject);
}

TEST(StructureCheck, KeywordsInStringsCommentsAndContinuationsAreNotStructure) {
    std::string body = Src({
        "event clicked;string ls",
        "ls = \"end event\" + 'on create'",
        "ls = \"~\"end event~\" \" // end event",
        "/* end event",
        "   /* nested */ event ue_x;",
        "end event */",
        "ls = \"a long &",
        "end event\"",
        "ls = ls + &",
        "   end_event",
        "end_type = 1; event_x = 2",
        "on_close()",
        "end-type = 3",
        "end event",
    });
    auto problems = CheckUo(body);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

TEST(StructureCheck, CallsOfEventsAndFunctionsInsideScriptsAreNotHeaders) {
    std::string body = Src({
        "event clicked;event ue_refresh()",
        "Event ue_refresh (1, 'x')",
        "event post ue_refresh()",
        "event dynamic trigger ue_refresh(ll_row);",
        "function post of_x()",
        "function of_x(1)",
        "this.event ue_refresh()",
        "super::event clicked()",
        "call super::clicked",
        "end event",
    });
    auto problems = CheckUo(body);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

TEST(StructureCheck, EmbeddedSqlInsideScripts) {
    std::string body = Src({
        "event clicked;SELECT a.name, type",
        "  INTO :ls_name, :ls_type",
        "  FROM a",
        "  INNER JOIN b",
        "  ON a.id = b.id",
        "  WHERE a.kind = 'end event' ;",
        "end event",
    });
    auto problems = CheckUo(body);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

TEST(StructureCheck, DeclarationsNeedNoEnd) {
    std::string src = Src({
        "forward",
        "global type w_x from window",
        "end type",
        "type cb_1 from commandbutton within w_x",
        "end type",
        "end forward",
        "",
        "shared variables",
        "long sl_count",
        "end variables",
        "",
        "global type w_x from window",
        "event type long ue_x ( string as_a, &",
        "   ref long al_b )",
        "event move pbm_move",
        "event ue_y ( )",
        "end type",
        "global w_x w_x",
        "",
        "type prototypes",
        "Public:",
        "Function boolean MoveFile(REF String a, REF String b) LIBRARY \"KERNEL32.DLL\" "
        "ALIAS FOR \"MoveFileA;Ansi\"",
        "SUBROUTINE GetInfo( REF str_x lp) &",
        "   LIBRARY \"kernel32.dll\"",
        "end prototypes",
        "",
        "type variables",
        "public privatewrite string is_on",
        "end variables",
        "",
        "forward prototypes",
        "public function integer of_x (string as_a, &",
        "  string as_b)",
        "protected subroutine of_y ()",
        "end prototypes",
        "",
        "public function integer of_x (string as_a, &",
        "  string as_b);return 1",
        "end function",
        "",
        "protected subroutine of_y ();",
        "end subroutine",
        "",
        "event type long ue_x(string as_a, ref long al_b);return 0",
        "end event",
        "",
        "event cb_1::clicked;call super::clicked",
        "end event",
        "",
        "on w_x.create",
        "this.cb_1=create cb_1",
        "end on",
        "",
        "type cb_1 from commandbutton within w_x",
        "string text = \"end type\"",
        "end type",
        "",
        "on cb_1.create",
        "end on",
    });
    auto problems = CheckSource(src, "W_X", orca::kEntryWindow);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

TEST(StructureCheck, UnclosedScriptsAreReportedWhereTheNextOneBegins) {
    std::string body = Src({
        "event clicked;return 1",           // line 3
        "",                                 //
        "  public function long of_x ();",  // line 5
        "return 1", "end function",
        "event ue_a;",                // line 8
        "event ue_b (string as_x);",  // line 9: typed arguments: a header
        "end event",
        "event ue_c;",  // line 11
    });
    auto problems = CheckUo(body);
    ASSERT_EQ(problems.size(), 3u) << Describe(problems);
    EXPECT_EQ(problems[0].line, 5);
    EXPECT_EQ(problems[0].column, 3);
    EXPECT_EQ(problems[0].text,
              "'event clicked' opened at line 3 is not closed: 'end event' expected before "
              "this line");
    EXPECT_EQ(problems[1].line, 9);
    EXPECT_NE(problems[1].text.find("'event ue_a' opened at line 8"), std::string::npos);
    EXPECT_EQ(problems[2].line, 11);  // the last line
    EXPECT_EQ(problems[2].text,
              "'event ue_c' opened at line 11 is not closed: 'end event' expected before the "
              "end of the source");
}

TEST(StructureCheck, WrongAndStrayEnds) {
    std::string body = Src({
        "event clicked;",  // line 3
        "end function",    // line 4: closes it, wrongly
        "end event",       // line 5: nothing open
        "type variables",  // line 6
        "end prototypes",  // line 7: nothing of that kind open
        "end variables",
    });
    auto problems = CheckUo(body);
    ASSERT_EQ(problems.size(), 3u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMismatchedEnd);
    EXPECT_EQ(problems[0].line, 4);
    EXPECT_EQ(problems[0].text,
              "'end function' does not close 'event clicked' opened at line 3: 'end event' "
              "expected");
    EXPECT_EQ(problems[1].messageNumber, orca::kMsgStrayEnd);
    EXPECT_EQ(problems[1].line, 5);
    EXPECT_EQ(problems[1].text, "'end event' without an open event block");
    EXPECT_EQ(problems[2].messageNumber, orca::kMsgStrayEnd);
    EXPECT_EQ(problems[2].line, 7);
}

TEST(StructureCheck, AnEndOfAnOuterBlockClosesTheInnerOneWithAProblem) {
    std::string src = Src({
        "forward",
        "global type w_x from window",  // line 2, never closed
        "end forward",                  // line 3
        "global type w_x from window",
        "end type",
    });
    auto problems = CheckSource(src, "w_x", orca::kEntryWindow);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].line, 3);
    EXPECT_NE(problems[0].text.find("'global type w_x' opened at line 2"), std::string::npos);
}

TEST(StructureCheck, GlobalTypeOfTheEntry) {
    // Missing altogether: one problem at the top.
    auto problems =
        CheckSource(Src({"type variables", "end variables"}), "n_x", orca::kEntryUserObject);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMissingGlobalType);
    EXPECT_EQ(problems[0].line, 1);
    EXPECT_EQ(problems[0].text, "no 'global type n_x from ...' line declares this object");

    // Names are compared without regard to case; `autoinstantiate` and `within` may follow.
    EXPECT_TRUE(
        CheckSource(Src({"Global Type N_X From NonVisualObject autoinstantiate", "End Type"}),
                    "n_x", orca::kEntryUserObject)
            .empty());

    // A global function descends from function_object.
    problems = CheckSource(Src({"global type f_x from nonvisualobject", "end type"}), "f_x",
                           orca::kEntryFunction);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgWrongFunctionAncestor);

    // Types without a global type are not asked for one.
    for (int type :
         {int{orca::kEntryQuery}, int{orca::kEntryPipeline}, int{orca::kEntryProject}, 42, -1}) {
        EXPECT_TRUE(CheckSource("PBSELECT( VERSION(400) TABLE(NAME=\"t\") )", "q", type).empty())
            << type;
    }
}

TEST(StructureCheck, DataWindowFrame) {
    std::string dw = Src({"", "release 12.5;", "datawindow(units=0 color=0 )",
                          "table(column=(type=long name=id dbname=\"id\" ))"});
    EXPECT_TRUE(CheckSource(dw, "d_x", orca::kEntryDataWindow).empty());

    auto problems =
        CheckSource(Src({"release 9", "datawindow(units=0 )"}), "d_x", orca::kEntryDataWindow);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMissingRelease);
    EXPECT_EQ(problems[0].line, 1);

    problems = CheckSource(Src({"release 9;", "table(column=(type=long name=datawindow ))"}), "d_x",
                           orca::kEntryDataWindow);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMissingDataWindow);
    EXPECT_EQ(problems[0].line, 2);
}

TEST(StructureCheck, EmptySourcesAndUnclosedComments) {
    for (int type = 0; type <= 10; ++type) {
        auto problems = CheckSource(" \r\n\t\r\n", "x", type);
        ASSERT_EQ(problems.size(), 1u) << type;
        EXPECT_EQ(problems[0].messageNumber, orca::kMsgEmptySource);
    }
    auto problems = CheckUo(Src({"/* a comment", "/* nested */", "end event", "*"}));
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgUnclosedComment);
    EXPECT_EQ(problems[0].line, 6);
    EXPECT_NE(problems[0].text.find("line 3"), std::string::npos);
}

TEST(StructureCheck, LineEndsAndCodePageBytes) {
    // CR LF, LF and a lone CR all end a line; bytes above 127 are letters.
    std::string src =
        "global type u_\xE1\xE2 from userobject\rend type\nevent clicked;string ls = "
        "\"\xC1\xC2\xC3\"\r\n\x80\x81\xFF = 1\r\nend event\r\nend event";
    auto problems = CheckSource(src, "U_\xE1\xE2", orca::kEntryUserObject);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgStrayEnd);
    EXPECT_EQ(problems[0].line, 6);
}

TEST(StructureCheck, ProblemListIsCutShort) {
    std::string src = Src({"global type u_x from userobject", "end type"});
    for (int i = 0; i < 1000; ++i)
        src += "end on\r\n";
    auto problems = CheckSource(src, "u_x", orca::kEntryUserObject);
    ASSERT_EQ(problems.size(), orca::kMaxProblems + 1);
    EXPECT_EQ(problems.back().messageNumber, orca::kMsgTooManyProblems);
}

// The check runs on every import: pathological sources stay linear.
TEST(StructureCheck, LargeSourcesAreCheckedInLinearTime) {
    std::string continued =
        Src({"global type u_x from userobject", "end type"}) + "event clicked;ls = 'x' + &\r\n";
    for (int i = 0; i < 200000; ++i)
        continued += "'abcdefghijklmnopqrstuvwxyz' + /* c */ &\r\n";
    continued += "''\r\nend event\r\n";
    std::string comments(4 * 1000 * 1000, '/');
    for (size_t i = 1; i < comments.size(); i += 4)
        comments[i] = '*';
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CheckSource(continued, "u_x", orca::kEntryUserObject).empty());
    auto problems = CheckSource(comments, "u_x", orca::kEntryUserObject);
    EXPECT_FALSE(problems.empty());
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0);
}

}  // namespace
