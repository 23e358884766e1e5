#include "orca/StructureCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using orca::CheckSource;
using orca::CompileProblem;
using Lines = std::vector<std::string>;

// Drops the `$PBExportHeader$` line and the `$PBExportComments$` line after it: the
// development environment adds them to exported files; a library does not store them.
std::string StripExportHeader(std::string text) {
    for (std::string_view marker : {"$PBExportHeader$", "$PBExportComments$"}) {
        size_t at = text.find(marker);
        if (at != std::string::npos && at <= 4)  // "HA" may come before the first
            text.erase(0, text.find('\n') == std::string::npos ? text.size() : text.find('\n') + 1);
    }
    return text;
}

struct Source {
    std::string name, path, text;
    int type;
};

std::vector<Source> PfcSources() {
    std::vector<Source> out;
    for (const auto& e : fs::recursive_directory_iterator(testsupport::CorpusDir() + "/pfc")) {
        int type = orca::EntryTypeFromExtension(e.path().extension().string());
        if (e.is_regular_file() && type >= 0) {
            out.push_back({e.path().stem().string(), e.path().string(),
                           StripExportHeader(testsupport::ReadFile(e.path().string())), type});
        }
    }
    return out;
}

std::string Describe(const std::vector<CompileProblem>& problems) {
    std::string s;
    for (const auto& p : problems) {
        s += "  " + std::to_string(p.line) + ":" + std::to_string(p.column) + " #" +
             std::to_string(p.messageNumber) + " " + p.text + "\n";
    }
    return s;
}

Lines SplitLines(const std::string& text) {  // each with its line end
    Lines lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t eol = text.find('\n', pos);
        size_t end = eol == std::string::npos ? text.size() : eol + 1;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return lines;
}

std::string Join(const Lines& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l;
    return s;
}

std::string Cased(std::string s, bool upper) {
    for (char& c : s) {
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper && c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// The line without surrounding blanks, in lower case.
std::string Trimmed(const std::string& line) {
    size_t b = line.find_first_not_of(" \t\r\n");
    size_t e = line.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : Cased(line.substr(b, e - b + 1), false);
}

// 0-based index of the first line at or after `from` beginning with `prefix`; -1 if none.
int FindLine(const Lines& lines, std::string_view prefix, int from = 0) {
    for (size_t i = std::max(from, 0); i < lines.size(); ++i) {
        if (Trimmed(lines[i]).starts_with(prefix))
            return static_cast<int>(i);
    }
    return -1;
}

// ---------------------------------------------------------------------------------------
// The PFC sources

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
    std::printf("checked %zu sources, %.1f MB in %.3f s\n", sources.size(), bytes / 1e6,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    for (const Source& s : sources) {
        auto upper = CheckSource(Cased(s.text, true), Cased(s.name, true), s.type);
        EXPECT_TRUE(upper.empty()) << "upper case " << s.path << "\n" << Describe(upper);
        std::string lf = s.text;
        std::erase(lf, '\r');
        EXPECT_TRUE(CheckSource(lf, s.name, s.type).empty()) << "LF only " << s.path;
    }
}

// Removing the first `end X` line of each kind from every real source is always reported,
// not before the removed line, naming the block left open.
TEST(StructureCheckCorpus, EveryRemovedEndLineIsReported) {
    SKIP_WITHOUT_CORPUS();
    int mutants = 0;
    for (const Source& s : PfcSources()) {
        Lines lines = SplitLines(s.text);
        for (std::string kind : {"type", "forward", "on", "event", "function", "subroutine",
                                 "variables", "prototypes"}) {
            std::string endLine = "end " + kind;
            size_t at = 0;
            while (at < lines.size() && Trimmed(lines[at]) != endLine)
                ++at;
            if (at == lines.size())
                continue;
            Lines broken = lines;
            broken.erase(broken.begin() + at);
            auto problems = CheckSource(Join(broken), s.name, s.type);
            ++mutants;
            ASSERT_FALSE(problems.empty()) << s.path << " without line " << at + 1;
            EXPECT_GE(problems[0].line, static_cast<int>(at) + 1) << s.path;
            EXPECT_NE(problems[0].text.find("'" + endLine + "' expected"), std::string::npos)
                << s.path << "\n"
                << Describe(problems);
        }
    }
    EXPECT_GT(mutants, 2000);
}

// Real sources, broken in the ways people break sources by hand: each variant is reported
// at the right line and column with the right message.
TEST(StructureCheckRealSources, BrokenVariantsAreReportedWhereTheyAre) {
    SKIP_WITHOUT_CORPUS();
    struct Where {
        int index;         // 0-based line the first problem names
        std::string text;  // part of its text
    };
    const struct {
        const char *what, *file;
        int type;
        std::function<Where(Lines&)> breakIt;
        size_t count;
        int number, column;  // of the last problem; column 0: not checked
    } variants[] = {
        {"end function removed", "pfcmain/pfc_w_master.srw", orca::kEntryWindow,
         [](Lines& l) {
             int function = FindLine(l, "public function", FindLine(l, "end prototypes"));
             l.erase(l.begin() + FindLine(l, "end function", function));
             return Where{FindLine(l, "p", function + 1),
                          "opened at line " + std::to_string(function + 1)};
         },
         1, orca::kMsgUnclosedBlock, 1},
        {"extra end event", "pfcmain/pfc_w_master.srw", orca::kEntryWindow,
         [](Lines& l) {
             int end = FindLine(l, "end event");
             l.insert(l.begin() + end + 1, "  END EVENT\r\n");
             return Where{end + 1, ""};
         },
         1, orca::kMsgStrayEnd, 3},
        {"type block unclosed", "pfcmain/pfc_w_master.srw", orca::kEntryWindow,
         [](Lines& l) {
             int type = FindLine(l, "global type", FindLine(l, "end forward"));
             l.erase(l.begin() + FindLine(l, "end type", type));
             return Where{FindLine(l, "type variables"),
                          "'global type pfc_w_master' opened at line " + std::to_string(type + 1)};
         },
         1, orca::kMsgUnclosedBlock, 1},
        {"global type of another object", "pfcmain/pfc_w_master.srw", orca::kEntryWindow,
         [](Lines& l) {
             int at = FindLine(l, "type variables");
             l.insert(l.begin() + at, {"global type w_other from window\r\n", "end type\r\n"});
             return Where{at, ""};
         },
         1, orca::kMsgForeignGlobalType, 1},
        // A misspelt name is reported on both declarations, and not as missing.
        {"misspelt name", "pfcmain/pfc_w_master.srw", orca::kEntryWindow,
         [](Lines& l) {
             for (std::string& line : l)
                 if (Trimmed(line).starts_with("global type"))
                     line = "global type pfc_w_mastr from window\r\n";
             return Where{FindLine(l, "global type"), ""};
         },
         2, orca::kMsgForeignGlobalType, 0},
        {"datawindow without release", "pfcmain/d_calendar.srd", orca::kEntryDataWindow,
         [](Lines& l) {
             int release = FindLine(l, "release");
             l.erase(l.begin() + release);
             return Where{release, ""};
         },
         1, orca::kMsgMissingRelease, 0},
        {"function without end", "pfcapsrv/f_setfilesrv.srf", orca::kEntryFunction,
         [](Lines& l) {
             l.erase(l.begin() + FindLine(l, "end function"));
             return Where{static_cast<int>(l.size()) - 1, ""};  // the end of the source
         },
         1, orca::kMsgUnclosedBlock, 0},
    };
    for (const auto& v : variants) {
        SCOPED_TRACE(v.what);
        const std::string path = testsupport::CorpusDir() + "/pfc/" + v.file;
        Lines lines = SplitLines(StripExportHeader(testsupport::ReadFile(path)));
        const std::string name = fs::path(path).stem().string();
        const Where where = v.breakIt(lines);
        auto problems = CheckSource(Join(lines), name, v.type);
        ASSERT_EQ(problems.size(), v.count) << Describe(problems);
        EXPECT_EQ(problems[0].line, where.index + 1) << problems[0].text;
        EXPECT_NE(problems[0].text.find(where.text), std::string::npos) << problems[0].text;
        EXPECT_EQ(problems.back().messageNumber, v.number) << problems.back().text;
        EXPECT_TRUE(v.column == 0 || problems[0].column == v.column) << problems[0].column;
    }
}

// ---------------------------------------------------------------------------------------
// Hand-written sources

std::string Src(std::initializer_list<std::string_view> lines) {  // CR LF, as stored
    std::string s;
    for (std::string_view l : lines)
        (s += l) += "\r\n";
    return s;
}

// A user object u_x with the given lines from line 3 on.
std::vector<CompileProblem> CheckUo(std::initializer_list<std::string_view> body) {
    return CheckSource(Src({"global type u_x from userobject", "end type"}) + Src(body), "u_x",
                       orca::kEntryUserObject);
}

TEST(StructureCheck, ScriptTextIsNotStructure) {
    auto problems = CheckUo({
        "event clicked;string ls",
        "ls = \"end event\" + 'on create' + \"~\"end event~\" \" // end event",
        "/* end event",
        "   /* nested */ event ue_x;",
        "end event */",
        "ls = \"a long &",
        "end event\"",
        "ls = ls + &",
        "   end_event",
        "end_type = 1; event_x = 2; on_close(); end-type = 3",
        // Calls of the object's own events and functions.
        "event ue_refresh()",
        "Event ue_refresh (1, 'x')",
        "event dynamic trigger ue_refresh(ll_row);",
        "function post of_x()",
        "function of_x(1)",
        "super::event clicked()",
        // Embedded SQL.
        "SELECT a.name, type INTO :ls_name, :ls_type FROM a",
        "  INNER JOIN b",
        "  ON a.id = b.id",
        "  WHERE a.kind = 'end event' ;",
        "end event",
    });
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
        "shared variables",
        "long sl_count",
        "end variables",
        "global type w_x from window",
        "event type long ue_x ( string as_a, &",
        "   ref long al_b )",
        "event move pbm_move",
        "end type",
        "global w_x w_x",
        "type prototypes",
        "Function boolean MoveFile(REF String a) LIBRARY \"K.DLL\" ALIAS FOR \"MoveFileA;Ansi\"",
        "SUBROUTINE GetInfo( REF str_x lp) &",
        "   LIBRARY \"kernel32.dll\"",
        "end prototypes",
        "type variables",
        "public privatewrite string is_on",
        "end variables",
        "forward prototypes",
        "public function integer of_x (string as_a, &",
        "  string as_b)",
        "protected subroutine of_y ()",
        "end prototypes",
        "public function integer of_x (string as_a, &",
        "  string as_b);return 1",
        "end function",
        "protected subroutine of_y ();",
        "end subroutine",
        "event type long ue_x(string as_a, ref long al_b);return 0",
        "end event",
        "event cb_1::clicked;call super::clicked",
        "end event",
        "on w_x.create",
        "end on",
        "type cb_1 from commandbutton within w_x",
        "string text = \"end type\"",
        "end type",
    });
    auto problems = CheckSource(src, "W_X", orca::kEntryWindow);
    EXPECT_TRUE(problems.empty()) << Describe(problems);
}

TEST(StructureCheck, UnclosedScriptsAreReportedWhereTheNextOneBegins) {
    auto problems = CheckUo({
        "event clicked;return 1",           // 3
        "  public function long of_x ();",  // 4: a header closes nothing
        "end function",
        "event ue_a;",                // 6
        "event ue_b (string as_x);",  // 7: typed arguments make a header
        "end event",
        "event ue_c;",  // 9, the last line
    });
    ASSERT_EQ(problems.size(), 3u) << Describe(problems);
    EXPECT_EQ(problems[0].line, 4);
    EXPECT_EQ(problems[0].column, 3);
    EXPECT_EQ(problems[0].text,
              "'event clicked' opened at line 3 is not closed: 'end event' expected before "
              "this line");
    EXPECT_EQ(problems[1].line, 7);
    EXPECT_EQ(problems[2].line, 9);
    EXPECT_EQ(problems[2].text,
              "'event ue_c' opened at line 9 is not closed: 'end event' expected before the "
              "end of the source");
}

TEST(StructureCheck, WrongAndStrayEnds) {
    auto problems = CheckUo({
        "event clicked;",  // 3
        "end function",    // 4: closes it, wrongly
        "end event",       // 5: nothing open
        "forward",         // 6
        "global type u_x from userobject",
        "end forward",  // 8: closes the type with a problem
    });
    ASSERT_EQ(problems.size(), 3u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMismatchedEnd);
    EXPECT_EQ(problems[0].line, 4);
    EXPECT_EQ(problems[0].text,
              "'end function' does not close 'event clicked' opened at line 3: 'end event' "
              "expected");
    EXPECT_EQ(problems[1].messageNumber, orca::kMsgStrayEnd);
    EXPECT_EQ(problems[1].text, "'end event' without an open event block");
    EXPECT_EQ(problems[2].messageNumber, orca::kMsgUnclosedBlock);
    EXPECT_EQ(problems[2].line, 8);
}

TEST(StructureCheck, GlobalTypeOfTheEntry) {
    auto problems =
        CheckSource(Src({"type variables", "end variables"}), "n_x", orca::kEntryUserObject);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMissingGlobalType);
    EXPECT_EQ(problems[0].line, 1);
    EXPECT_EQ(problems[0].text, "no 'global type n_x from ...' line declares this object");

    EXPECT_TRUE(
        CheckSource(Src({"Global Type N_X From NonVisualObject autoinstantiate", "End Type"}),
                    "n_x", orca::kEntryUserObject)
            .empty());

    problems = CheckSource(Src({"global type f_x from nonvisualobject", "end type"}), "f_x",
                           orca::kEntryFunction);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgWrongFunctionAncestor);

    // Queries, pipelines, projects and unknown types have no PowerScript frame.
    for (int type : {4, 8, 9, 42, -1})
        EXPECT_TRUE(CheckSource("PBSELECT( VERSION(400) TABLE(NAME=\"t\") )", "q", type).empty());
}

TEST(StructureCheck, DataWindowFrame) {
    EXPECT_TRUE(CheckSource(Src({"", "release 12.5;", "datawindow(units=0 color=0 )"}), "d_x",
                            orca::kEntryDataWindow)
                    .empty());
    auto problems =
        CheckSource(Src({"release 9", "datawindow(units=0 )"}), "d_x", orca::kEntryDataWindow);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMissingRelease);

    problems = CheckSource(Src({"release 9;", "table(column=(type=long name=datawindow ))"}), "d_x",
                           orca::kEntryDataWindow);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgMissingDataWindow);
    EXPECT_EQ(problems[0].line, 2);
}

TEST(StructureCheck, EmptySourcesUnclosedCommentsAndLineEnds) {
    for (int type = 0; type <= 10; ++type) {
        auto problems = CheckSource(" \r\n\t\r\n", "x", type);
        ASSERT_EQ(problems.size(), 1u) << type;
        EXPECT_EQ(problems[0].messageNumber, orca::kMsgEmptySource);
    }
    auto problems = CheckUo({"/* a comment", "/* nested */", "end event", "*"});
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgUnclosedComment);
    EXPECT_EQ(problems[0].line, 6);
    EXPECT_NE(problems[0].text.find("line 3"), std::string::npos);

    // CR LF, LF and a lone CR each end a line; bytes above 127 are letters.
    problems = CheckSource(
        "global type u_\xE1 from userobject\rend type\nevent clicked;ls = \"\xC1\xC2\"\r\n"
        "\x80\xFF = 1\r\nend event\r\nend event",
        "U_\xE1", orca::kEntryUserObject);
    ASSERT_EQ(problems.size(), 1u) << Describe(problems);
    EXPECT_EQ(problems[0].messageNumber, orca::kMsgStrayEnd);
    EXPECT_EQ(problems[0].line, 6);
}

// The check runs on every import: garbage gives a short list, big sources take linear time.
TEST(StructureCheck, ProblemListIsCutShortAndTimeStaysLinear) {
    std::string stray = Src({"global type u_x from userobject", "end type"});
    for (int i = 0; i < 1000; ++i)
        stray += "end on\r\n";
    auto problems = CheckSource(stray, "u_x", orca::kEntryUserObject);
    ASSERT_EQ(problems.size(), orca::kMaxProblems + 1);
    EXPECT_EQ(problems.back().messageNumber, orca::kMsgTooManyProblems);

    std::string continued =
        Src({"global type u_x from userobject", "end type"}) + "event clicked;ls = 'x' + &\r\n";
    for (int i = 0; i < 200000; ++i)
        continued += "'abcdefghijklmnopqrstuvwxyz' + /* c */ &\r\n";
    continued += "''\r\nend event\r\n";
    std::string comments(4'000'000, '/');
    for (size_t i = 1; i < comments.size(); i += 4)
        comments[i] = '*';
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CheckSource(continued, "u_x", orca::kEntryUserObject).empty());
    EXPECT_FALSE(CheckSource(comments, "u_x", orca::kEntryUserObject).empty());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

}  // namespace
