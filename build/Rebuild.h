#pragma once
// Writing back: regenerating an entry from the source in its library, rebuilding it from
// the source the program holds (an edit in the source panel, a replace), and Save All
// Changes, which rebuilds every entry marked modified. Each compile first copies the
// entry into the temporary library of the preferences and copies it back when the
// compile fails, so that a failed compile leaves the library as it was; compile errors
// become log lines.
//
// Libraries stay safe: an entry is compiled only when its backup was made in this very
// call (never restored from an older backup), never when the temporary library is the
// library being built, and an in-memory edit stays marked modified until its import
// succeeded. Every function reports through the log and never throws.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Orcactrl.h"
#include "search/ObjectSearch.h"

namespace build {

// The compile-error callback handed to ORCA: one log line per error,
// "Compile error level:1;  Message #:0110;  Message:...;  Column:3;  Line:7".
void CompileErrorProc(PBORCA_COMPERR* error, void* userData);
std::string CompileErrorLine(const PBORCA_COMPERR& error);

// True from the start to the end of a compile run (the view's Regenerate and Rebuild).
bool CompileInProgress();
void SetCompileInProgress(bool value);

// The temporary library of the preferences when it names an existing file, else empty.
std::string TemporaryLibrary();

// Regenerates the entry in its library from the source stored there ("Regenerating
// L->N"); true on success, which clears the modified mark.
bool RegenerateEntry(catalogue::TPBObjRef& ref);
// Imports the program's source of the entry into its library through a fresh session of
// its application ("Rebuilding L->N"); true on success, which clears the modified mark.
bool RebuildEntry(catalogue::TPBObjRef& ref);
// The same for an entry reached through no application (a library of the Directory
// page), through the catalogue manager's session.
bool RebuildObject(catalogue::TPBObj& obj);

// ---- Compile runs ---------------------------------------------------------------------

// The entries a compile run takes, in order. An application: each library of its list in
// order, each entry in order. A library reference: its entries in order. A hierarchy
// branch: its root and every descendant, depth first, each ancestor before its
// descendants; classes of no library (such as "System") are left out.
std::vector<catalogue::TPBObjRef*> EntriesOfApp(catalogue::TPBApp& app);
std::vector<catalogue::TPBObjRef*> EntriesOfLibRef(catalogue::TPBLibRef& libRef);
std::vector<catalogue::TPBObjRef*> EntriesOfBranch(catalogue::TPBObjRef& root);
// The Search page: the entries of the chosen lines (rows, ascending), each once per run of
// consecutive hits in it, walking the lines from the first. A line reached through no
// application ends the walk: *noMaster is set and what came before is given.
std::vector<catalogue::TPBObjRef*> EntriesOfHits(const std::vector<search::TSearchResult>& results,
                                                 std::span<const int> rows, bool* noMaster);
inline constexpr std::string_view NoMasterMessage =
    "Cannot compile without a master application.  Search via Application or Hierarchy.";

struct TCompileCount {
    int Compiled = 0;
    int Failed = 0;
    bool Stopped = false;  // the run flag was cleared before the end
};
// Regenerates (or rebuilds) the entries one at a time, letting the message loop run
// before each; a cleared run flag ends the run there. Entries that left the catalogue
// meanwhile are passed over. CompileInProgress is true for the length of the run.
TCompileCount CompileEntries(const std::vector<catalogue::TPBObjRef*>& refs, bool regenerate);

// What Save All Changes did.
struct TSaveCount {
    int Saved = 0;
    int Failed = 0;
    bool Stopped = false;  // the run flag was cleared before the end
};

// Rebuilds every entry marked modified: for each application in order, the descendants
// of its "System" in hierarchy order (ancestors first), then every modified entry the
// hierarchies did not reach (an application never opened as a hierarchy, a library of
// the Directory page). Stops when the run flag is cleared; logs a summary.
TSaveCount SaveAllChanges(catalogue::TOrcaMgr& mgr);

}  // namespace build
