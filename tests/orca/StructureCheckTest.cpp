#include "orca/StructureCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "orca/OrcaObjects.h"
#include "platform/Ansi.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using orca::CheckSource;
using orca::CompileProblem;
using Lines = std::vector<std::string>;

// Each problem as "line:column #number text".
std::vector<std::string> Described(const std::vector<CompileProblem>& problems) {
    std::vector<std::string> out;
    for (const auto& p : problems)
        out.push_back(std::to_string(p.line) + ":" + std::to_string(p.column) + " #" +
                      std::to_string(p.messageNumber) + " " + p.text);
    return out;
}

std::string Lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), platform::AsciiLower);
    return s;
}

// ---------------------------------------------------------------------------------------
// The PFC sources, as a library stores them (without the export header and comment)

struct Source {
    std::string name, path, text;
    int type;
};

std::vector<Source> PfcSources() {
    std::vector<Source> out;
    for (const auto& e : fs::recursive_directory_iterator(testsupport::CorpusDir() + "/pfc")) {
        bool isSource = false;
        const int type = orca::EntryTypeOfName(e.path().filename().string(), &isSource);
        if (e.is_regular_file() && type >= 0 && isSource)
            out.push_back({e.path().stem().string(), e.path().string(),
                           orca::ParseExportFile(testsupport::ReadFile(e.path().string())).source,
                           type});
    }
    return out;
}

// As they are, the sources pass the check on import (OrcaPfc); in capitals and with bare
// line feeds they pass too.
TEST(StructureCheckCorpus, EveryPfcSourcePassesInCapitalsAndWithBareLineFeeds) {
    SKIP_WITHOUT_CORPUS();
    const std::vector<Source> sources = PfcSources();
    EXPECT_EQ(sources.size(), 813u);
    for (const Source& s : sources) {
        EXPECT_TRUE(
            CheckSource(platform::AnsiUpperCase(s.text), platform::AnsiUpperCase(s.name), s.type)
                .empty())
            << "upper case " << s.path;
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
        Lines lines;
        for (size_t pos = 0; pos < s.text.size();) {
            const size_t end = std::min(s.text.find('\n', pos), s.text.size() - 1) + 1;
            lines.push_back(s.text.substr(pos, end - pos));
            pos = end;
        }
        for (std::string kind : {"type", "forward", "on", "event", "function", "subroutine",
                                 "variables", "prototypes"}) {
            const std::string endLine = "end " + kind;
            const auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) {
                const size_t b = l.find_first_not_of(" \t\r\n");
                const size_t e = l.find_last_not_of(" \t\r\n");
                return b != std::string::npos && Lowered(l.substr(b, e - b + 1)) == endLine;
            });
            if (at == lines.end())
                continue;
            std::string broken;
            for (auto it = lines.begin(); it != lines.end(); ++it)
                broken += it == at ? "" : *it;
            const auto problems = CheckSource(broken, s.name, s.type);
            ++mutants;
            const int index = static_cast<int>(at - lines.begin());
            ASSERT_FALSE(problems.empty()) << s.path << " without line " << index + 1;
            EXPECT_GE(problems[0].line, index + 1) << s.path;
            EXPECT_NE(problems[0].text.find("'" + endLine + "' expected"), std::string::npos)
                << s.path << ": " << problems[0].text;
        }
    }
    EXPECT_GT(mutants, 2000);
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
std::string Uo(std::initializer_list<std::string_view> body) {
    return Src({"global type u_x from userobject", "end type"}) + Src(body);
}

TEST(StructureCheck, ScriptTextIsNotStructure) {
    const std::string source = Uo({
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
    EXPECT_EQ(Described(CheckSource(source, "u_x", orca::kEntryUserObject)), Lines{});
}

TEST(StructureCheck, DeclarationsNeedNoEnd) {
    const std::string source = Src({
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
    EXPECT_EQ(Described(CheckSource(source, "W_X", orca::kEntryWindow)), Lines{});
}

// Broken sources: every problem at its line and column, with its number and text.
TEST(StructureCheck, ProblemsAreReportedWhereTheyAre) {
    const struct {
        const char* what;
        std::string source, name;
        int type;
        Lines problems;
    } cases[] = {
        {"unclosed scripts are reported where the next one begins",
         Uo({"event clicked;return 1", "  public function long of_x ();", "end function",
             "event ue_a;", "event ue_b (string as_x);", "end event", "event ue_c;"}),
         "u_x",
         orca::kEntryUserObject,
         {"4:3 #110 'event clicked' opened at line 3 is not closed: 'end event' expected before "
          "this line",
          "7:1 #110 'event ue_a' opened at line 6 is not closed: 'end event' expected before "
          "this line",
          "9:1 #110 'event ue_c' opened at line 9 is not closed: 'end event' expected before the "
          "end of the source"}},
        {"wrong and stray ends",
         Uo({"event clicked;", "end function", "end event", "forward",
             "global type u_x from userobject", "end forward"}),
         "u_x",
         orca::kEntryUserObject,
         {"4:1 #112 'end function' does not close 'event clicked' opened at line 3: 'end event' "
          "expected",
          "5:1 #111 'end event' without an open event block",
          "8:1 #110 'global type u_x' opened at line 7 is not closed: 'end type' expected before "
          "this line"}},
        {"stray end, indented and in capitals",
         Uo({"event clicked;", "end event", "  END EVENT"}),
         "u_x",
         orca::kEntryUserObject,
         {"5:3 #111 'end event' without an open event block"}},
        {"a misspelt name, reported on both declarations and not as missing",
         Src({"forward", "global type u_y from userobject", "end type", "end forward",
              "global type u_y from userobject", "end type"}),
         "u_x",
         orca::kEntryUserObject,
         {"2:1 #102 'global type u_y' declares another object: this entry is u_x",
          "5:1 #102 'global type u_y' declares another object: this entry is u_x"}},
        {"no global type for the entry",
         Src({"type variables", "end variables"}),
         "n_x",
         orca::kEntryUserObject,
         {"1:1 #101 no 'global type n_x from ...' line declares this object"}},
        {"global type of another object",
         Uo({"global type w_other from window", "end type"}),
         "u_x",
         orca::kEntryUserObject,
         {"3:1 #102 'global type w_other' declares another object: this entry is u_x"}},
        {"a function's ancestor",
         Src({"global type f_x from nonvisualobject", "end type"}),
         "f_x",
         orca::kEntryFunction,
         {"1:1 #103 a global function is declared 'from function_object', not from "
          "'nonvisualobject'"}},
        {"datawindow without release",
         Src({"release 9", "datawindow(units=0 )"}),
         "d_x",
         orca::kEntryDataWindow,
         {"1:1 #120 a datawindow source must begin with 'release N;' (the release of "
          "PowerBuilder that wrote it)"}},
        {"datawindow without its line",
         Src({"release 9;", "table(column=(type=long name=datawindow ))"}),
         "d_x",
         orca::kEntryDataWindow,
         {"2:1 #121 a datawindow source must hold a 'datawindow(' line with the datawindow's "
          "properties"}},
        {"unclosed comment",
         Uo({"/* a comment", "/* nested */", "end event", "*"}),
         "u_x",
         orca::kEntryUserObject,
         {"6:1 #113 the comment opened with '/*' at line 3 is not closed with '*/'"}},
        // CR LF, LF and a lone CR each end a line; bytes above 127 are letters.
        {"line ends and 8-bit letters",
         "global type u_\xE1 from userobject\rend type\nevent clicked;ls = \"\xC1\xC2\"\r\n"
         "\x80\xFF = 1\r\nend event\r\nend event",
         "U_\xE1",
         orca::kEntryUserObject,
         {"6:1 #111 'end event' without an open event block"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Described(CheckSource(c.source, c.name, c.type)), c.problems) << c.what;

    EXPECT_TRUE(
        CheckSource(Src({"Global Type N_X From NonVisualObject autoinstantiate", "End Type"}),
                    "n_x", orca::kEntryUserObject)
            .empty());
    EXPECT_TRUE(CheckSource(Src({"", "release 12.5;", "datawindow(units=0 color=0 )"}), "d_x",
                            orca::kEntryDataWindow)
                    .empty());
    // Queries, pipelines, projects and unknown types have no PowerScript frame.
    for (int type : {4, 8, 9, 42, -1})
        EXPECT_TRUE(CheckSource("PBSELECT( VERSION(400) TABLE(NAME=\"t\") )", "q", type).empty());
    for (int type = 0; type <= 10; ++type) {
        const auto problems = CheckSource(" \r\n\t\r\n", "x", type);
        ASSERT_EQ(problems.size(), 1u) << type;
        EXPECT_EQ(problems[0].messageNumber, orca::kMsgEmptySource);
    }
}

// The check runs on every import: garbage gives a short list, big sources take linear time.
TEST(StructureCheck, ProblemListIsCutShortAndTimeStaysLinear) {
    std::string stray = Uo({});
    for (int i = 0; i < 1000; ++i)
        stray += "end on\r\n";
    auto problems = CheckSource(stray, "u_x", orca::kEntryUserObject);
    ASSERT_EQ(problems.size(), orca::kMaxProblems + 1);
    EXPECT_EQ(problems.back().messageNumber, orca::kMsgTooManyProblems);

    std::string continued = Uo({"event clicked;ls = 'x' + &"});
    for (int i = 0; i < 200000; ++i)
        continued += "'abcdefghijklmnopqrstuvwxyz' + /* c */ &\r\n";
    continued += "''\r\nend event\r\n";
    std::string comments(4'000'000, '/');
    for (size_t i = 1; i < comments.size(); i += 4)
        comments[i] = '*';
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CheckSource(continued, "u_x", orca::kEntryUserObject).empty());
    EXPECT_FALSE(CheckSource(comments, "u_x", orca::kEntryUserObject).empty());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

}  // namespace
