#pragma once
// The structure check that import and regenerate run on a PowerBuilder source before
// it is stored. PowerBuilder's compiler is not available to us, so this is what stands
// in for it: a one-pass, line-based scanner with a stack of open blocks. It does not
// parse PowerScript; it checks the frame every exported source has:
//
//  - objects that have one (application, function, menu, structure, user object,
//    window, proxy) declare `global type NAME from ANCESTOR` for the entry's own name,
//    and no other global type; a function's ancestor is `function_object`;
//  - `forward`, `type`, `variables` (global, shared, type), `prototypes` (forward,
//    type), `on`, `event`, `function` and `subroutine` blocks are closed by their own
//    `end ...` line, in order; only `type` blocks nest, inside `forward`;
//  - block comments are closed;
//  - a datawindow source begins with `release N;` and holds a `datawindow(` line.
//
// Queries, pipelines and projects have no PowerScript frame and are only checked for
// being non-empty.
//
// Text is bytes in the library's ANSI code page; nothing is decoded. Lines may end in
// CR LF, LF or CR. Keywords are recognised in any case and only as whole words at the
// start of a statement (not inside strings, comments or continued `&` lines).

#include <string>
#include <string_view>
#include <vector>

#include "orca/pborca.h"

namespace orca {

// Level of every problem the check reports: the source is not stored.
inline constexpr int ProblemError = 1;

// Message numbers of the problems (stable; shown in the log as "Message #").
enum ProblemNumber : int {
    MsgEmptySource = 100,            // nothing but blanks
    MsgMissingGlobalType = 101,      // no `global type NAME from ...` for the entry
    MsgForeignGlobalType = 102,      // `global type` names another object
    MsgWrongFunctionAncestor = 103,  // a function's global type is not function_object
    MsgUnclosedBlock = 110,          // a block still open where another begins, or at the end
    MsgStrayEnd = 111,               // `end X` with no open X block
    MsgMismatchedEnd = 112,          // `end X` closing a block of another kind
    MsgUnclosedComment = 113,        // `/*` without its `*/`
    MsgMissingRelease = 120,         // datawindow without `release N;` first
    MsgMissingDataWindow = 121,      // datawindow without a `datawindow(` line
    MsgTooManyProblems = 199,        // the list was cut short
};

// One problem, as the compile-error callback reports it. Line and column are 1-based;
// the column counts bytes (a tab is one column).
struct CompileProblem {
    int level = ProblemError;
    int messageNumber = 0;
    std::string text;
    int line = 0;
    int column = 0;
};

// At most this many problems are listed; one more says the list was cut short.
inline constexpr size_t MaxProblems = 50;

// Checks the stored source (without the `$PBExportHeader$` line and comment) of entry
// `entryName` (without extension) of ORCA type `entryType`. An empty result means the
// source passed. Unknown type codes are checked for being non-empty only.
std::vector<CompileProblem> CheckSource(std::string_view source, std::string_view entryName,
                                        int entryType);

}  // namespace orca
