#include "orca/StructureCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Ansi.h"

namespace {

using orca::CheckSource;
using Lines = std::vector<std::string>;

// Each problem as "line:column #number text".
Lines Described(std::string_view source, std::string_view name, int type) {
    Lines out;
    for (const auto& p : CheckSource(source, name, type))
        out.push_back(std::to_string(p.line) + ":" + std::to_string(p.column) + " #" +
                      std::to_string(p.messageNumber) + " " + p.text);
    return out;
}

// The lines, separated by '|', each ended by CR LF as stored.
std::string Src(std::string_view lines) {
    std::string s(lines);
    std::replace(s.begin(), s.end(), '|', '\n');
    for (size_t at = s.find('\n'); at != std::string::npos; at = s.find('\n', at + 2))
        s.insert(at, 1, '\r');
    return s.empty() ? s : s + "\r\n";
}

// A user object u_x with the given lines from line 3 on.
std::string Uo(std::string_view body) {
    return Src("global type u_x from userobject|end type") + Src(body);
}

// Sources that pass, in any case and with any line end: structure words in script text,
// strings, comments, continued lines, calls and embedded SQL are not structure;
// declarations need no end; queries, pipelines, projects and unknown types have no
// PowerScript frame. (The PFC import passes every real source through the check.)
TEST(StructureCheck, SourcesThatPass) {
    const struct {
        std::string source, name;
        int type;
    } passing[] = {
        {Uo("event clicked;string ls|"
            "ls = \"end event\" + 'on create' + \"~\"end event~\" \" // end event|"
            "/* end event|   /* nested */ event ue_x;|end event */|ls = \"a long &|"
            "end event\"|ls = ls + &|   end_event|"
            "end_type = 1; event_x = 2; on_close(); end-type = 3|event ue_refresh()|"
            "Event ue_refresh (1, 'x')|event dynamic trigger ue_refresh(ll_row);|"
            "function post of_x()|function of_x(1)|super::event clicked()|"
            "SELECT a.name, type INTO :ls_name, :ls_type FROM a|  INNER JOIN b|"
            "  ON a.id = b.id|  WHERE a.kind = 'end event' ;|end event"),
         "u_x", PBORCA_USEROBJECT},
        {Src("forward|global type w_x from window|end type|"
             "type cb_1 from commandbutton within w_x|end type|end forward|shared variables|"
             "long sl_count|end variables|global type w_x from window|"
             "event type long ue_x ( string as_a, &|   ref long al_b )|event move pbm_move|"
             "end type|global w_x w_x|type prototypes|"
             "Function boolean MoveFile(REF String a) LIBRARY \"K.DLL\" ALIAS FOR "
             "\"MoveFileA;Ansi\"|"
             "SUBROUTINE GetInfo( REF str_x lp) &|   LIBRARY \"kernel32.dll\"|"
             "end prototypes|type variables|public privatewrite string is_on|end variables|"
             "forward prototypes|public function integer of_x (string as_a, &|"
             "  string as_b)|protected subroutine of_y ()|end prototypes|"
             "public function integer of_x (string as_a, &|  string as_b);return 1|"
             "end function|protected subroutine of_y ();|end subroutine|"
             "event type long ue_x(string as_a, ref long al_b);return 0|end event|"
             "event cb_1::clicked;call super::clicked|end event|on w_x.create|end on|"
             "type cb_1 from commandbutton within w_x|string text = \"end type\"|end type"),
         "W_X", PBORCA_WINDOW},
        {Src("Global Type N_X From NonVisualObject autoinstantiate|End Type"), "n_x",
         PBORCA_USEROBJECT},
        {Src("|release 12.5;|datawindow(units=0 color=0 )"), "d_x", PBORCA_DATAWINDOW},
    };
    size_t ends = 0;
    for (const auto& p : passing) {
        EXPECT_EQ(Described(p.source, p.name, p.type), Lines{}) << p.source;
        const std::string upper = platform::AnsiUpperCase(p.source);
        EXPECT_EQ(Described(upper, platform::AnsiUpperCase(p.name), p.type), Lines{}) << upper;
        std::string lf = p.source;
        std::erase(lf, '\r');
        EXPECT_EQ(Described(lf, p.name, p.type), Lines{}) << lf;
        // Without any one of its `end X` lines the source fails, naming the block left
        // open, not before that line (or at the end of the source, for the last block).
        int line = 1;
        for (size_t at = 0, next; at < p.source.size(); at = next, ++line) {
            next = p.source.find('\n', at) + 1;
            std::string end = p.source.substr(at, next - at);
            std::transform(end.begin(), end.end(), end.begin(), platform::AsciiLower);
            end = end.substr(end.find_first_not_of(" \t"));
            end = end.substr(0, end.find_last_not_of(" \t\r\n") + 1);
            if (!std::regex_match(end, std::regex("end [a-z]+")))
                continue;
            ++ends;
            const auto problems =
                CheckSource(std::string(p.source).erase(at, next - at), p.name, p.type);
            ASSERT_FALSE(problems.empty()) << "without line " << line << ": " << p.source;
            EXPECT_TRUE(problems[0].line >= line ||
                        problems[0].text.ends_with("expected before the end of the source"))
                << "without line " << line << ": " << problems[0].text;
            EXPECT_NE(problems[0].text.find("'" + end + "' expected"), std::string::npos)
                << "without line " << line << ": " << problems[0].text;
        }
    }
    EXPECT_EQ(ends, 17u);               // every kind of block, the last line of a source too
    for (int type : {4, 8, 9, 42, -1})  // query, pipeline, project, unknown
        EXPECT_EQ(Described("PBSELECT( VERSION(400) TABLE(NAME=\"t\") )", "q", type), Lines{});
}

// Broken sources: every problem at its line and column, with its number and text.
TEST(StructureCheck, ProblemsAreReportedWhereTheyAre) {
    const struct {
        std::string source;
        Lines problems;
        std::string name = "u_x";
        int type = PBORCA_USEROBJECT;
    } cases[] = {
        // Unclosed scripts are reported where the next one begins.
        {Uo("event clicked;return 1|  public function long of_x ();|end function|"
            "event ue_a;|event ue_b (string as_x);|end event|event ue_c;"),
         {"4:3 #110 'event clicked' opened at line 3 is not closed: 'end event' expected before "
          "this line",
          "7:1 #110 'event ue_a' opened at line 6 is not closed: 'end event' expected before "
          "this line",
          "9:1 #110 'event ue_c' opened at line 9 is not closed: 'end event' expected before the "
          "end of the source"}},
        {Uo("event clicked;|end function|end event|forward|global type u_x from userobject|"
            "end forward"),
         {"4:1 #112 'end function' does not close 'event clicked' opened at line 3: 'end event' "
          "expected",
          "5:1 #111 'end event' without an open event block",
          "8:1 #110 'global type u_x' opened at line 7 is not closed: 'end type' expected before "
          "this line"}},
        {Uo("event clicked;|end event|  END EVENT"),
         {"5:3 #111 'end event' without an open event block"}},
        // A misspelt name is reported on both declarations and not as missing.
        {Src("forward|global type u_y from userobject|end type|end forward|"
             "global type u_y from userobject|end type"),
         {"2:1 #102 'global type u_y' declares another object: this entry is u_x",
          "5:1 #102 'global type u_y' declares another object: this entry is u_x"}},
        {Src("type variables|end variables"),
         {"1:1 #101 no 'global type n_x from ...' line declares this object"},
         "n_x"},
        {Uo("global type w_other from window|end type"),
         {"3:1 #102 'global type w_other' declares another object: this entry is u_x"}},
        {Src("global type f_x from nonvisualobject|end type"),
         {"1:1 #103 a global function is declared 'from function_object', not from "
          "'nonvisualobject'"},
         "f_x",
         PBORCA_FUNCTION},
        {Src("release 9|datawindow(units=0 )"),
         {"1:1 #120 a datawindow source must begin with 'release N;' (the release of "
          "PowerBuilder that wrote it)"},
         "d_x",
         PBORCA_DATAWINDOW},
        {Src("release 9;|table(column=(type=long name=datawindow ))"),
         {"2:1 #121 a datawindow source must hold a 'datawindow(' line with the datawindow's "
          "properties"},
         "d_x",
         PBORCA_DATAWINDOW},
        {Uo("/* a comment|/* nested */|end event|*"),
         {"6:1 #113 the comment opened with '/*' at line 3 is not closed with '*/'"}},
        // CR LF, LF and a lone CR each end a line; bytes above 127 are letters.
        {"global type u_\xE1 from userobject\rend type\nevent clicked;ls = \"\xC1\xC2\"\r\n"
         "\x80\xFF = 1\r\nend event\r\nend event",
         {"6:1 #111 'end event' without an open event block"},
         "U_\xE1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Described(c.source, c.name, c.type), c.problems) << c.source;
    for (int type = 0; type <= 10; ++type)
        EXPECT_EQ(Described(" \r\n\t\r\n", "x", type), Lines{"1:1 #100 the source is empty"})
            << type;
}

// The check runs on every import: big sources take linear time. (That garbage gives a
// short list is the structure_check fuzz target's.)
TEST(StructureCheck, TimeStaysLinear) {
    std::string continued = Uo("event clicked;ls = 'x' + &");
    for (int i = 0; i < 200000; ++i)
        continued += "'abcdefghijklmnopqrstuvwxyz' + /* c */ &\r\n";
    continued += "''\r\nend event\r\n";
    std::string comments(4'000'000, '/');
    for (size_t i = 1; i < comments.size(); i += 4)
        comments[i] = '*';
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(CheckSource(continued, "u_x", PBORCA_USEROBJECT).empty());
    EXPECT_FALSE(CheckSource(comments, "u_x", PBORCA_USEROBJECT).empty());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

}  // namespace
