#pragma once
// The ORCA functions and sessions: the program-wide table of the ORCA library's functions,
// bound by name when the library is loaded (TOrcaMgr::LoadOrcaDll), and TOrca, one
// ORCA session with one thin wrapper per call. Every failure of a call is written to
// the log window and the debug log as one line starting "Orca Error: "; no wrapper
// shows a message box. Only the two compile wrappers turn a failure into an exception
// (EOrcaImportFailed), which the compile command handles.
//
// The ORCA library itself is never linked: pborca.h is included for its records,
// callbacks and result codes only.

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "orca/pborca.h"

namespace catalogue {

class TOrcaMgr;

// The 25 functions of the table, in slot order. Slots 5, 7, 9, 12, 16 and 19 are bound
// but never called by the program.
enum class TOrcaSlot : int {
    SessionOpen,
    SessionClose,
    SessionGetError,
    SessionSetLibraryList,
    SessionSetCurrentAppl,
    LibraryCommentModify,
    LibraryCreate,
    LibraryDelete,
    LibraryDirectory,
    EntryList,
    LibraryEntryCopy,
    LibraryEntryDelete,
    LibraryEntryMove,
    LibraryEntryExport,
    LibraryEntryInformation,
    CompileEntryImport,
    CompileEntryImportList,
    CompileEntryRegenerate,
    ObjectQueryHierarchy,
    ObjectQueryReference,
    CheckOutEntry,
    CheckInEntry,
    ListCheckOutEntries,
    ExecutableCreate,
    DynamicLibraryCreate,
};
inline constexpr int OrcaSlotCount = 25;

// The names the slots are looked up by, in slot order.
inline constexpr std::array<std::string_view, OrcaSlotCount> OrcaFunctionNames{
    "PBORCA_SessionOpen",
    "PBORCA_SessionClose",
    "PBORCA_SessionGetError",
    "PBORCA_SessionSetLibraryList",
    "PBORCA_SessionSetCurrentAppl",
    "PBORCA_LibraryCommentModify",
    "PBORCA_LibraryCreate",
    "PBORCA_LibraryDelete",
    "PBORCA_LibraryDirectory",
    "PBORCA_EntryList",
    "PBORCA_LibraryEntryCopy",
    "PBORCA_LibraryEntryDelete",
    "PBORCA_LibraryEntryMove",
    "PBORCA_LibraryEntryExport",
    "PBORCA_LibraryEntryInformation",
    "PBORCA_CompileEntryImport",
    "PBORCA_CompileEntryImportList",
    "PBORCA_CompileEntryRegenerate",
    "PBORCA_ObjectQueryHierarchy",
    "PBORCA_ObjectQueryReference",
    "PBORCA_CheckOutEntry",
    "PBORCA_CheckInEntry",
    "PBORCA_ListCheckOutEntries",
    "PBORCA_ExecutableCreate",
    "PBORCA_DynamicLibraryCreate",
};

// The program-wide function table, shared by every session.
struct TOrcaFunctionTable {
    std::array<void*, OrcaSlotCount> Slots{};
    // True once the table was filled (from the loaded library, or by a test).
    bool Bound = false;

    void* operator[](TOrcaSlot slot) const { return Slots[static_cast<size_t>(slot)]; }
};

TOrcaFunctionTable& OrcaFunctions();

// Looks a symbol up by one exact name; nullptr when there is none.
using TSymbolLookup = std::function<void*(std::string_view name)>;

// Fills the table: each slot, in order, by its name, else by its name in upper case.
// A slot that neither finds stays empty; nothing is reported. Marks the table bound.
// Then hands the library the program's prefix (platform::PrefixDir()) through
// SorvantiOrca_SetPrefix when it has that call (ours does, PowerBuilder's do not).
void BindOrcaFunctions(const TSymbolLookup& lookup);
// Empties the table (the library was released).
void ClearOrcaFunctions();

// The failure of CompileEntryImport and CompileEntryRegenerate.
class EOrcaImportFailed : public std::runtime_error {
  public:
    EOrcaImportFailed() : std::runtime_error("Import failed") {}
};

// The result a wrapper gives when its function is missing from the ORCA library (the
// slot stayed empty): the call is not made and the failure is logged.
inline constexpr int32_t OrcaFunctionMissing = PBORCA_INVALIDPARMS;

// One ORCA session. The wrappers pass the session handle first, hand ORCA
// zero-terminated copies of the caller's texts (of any length) and give ORCA's result
// unchanged; a function the ORCA library lacks is not called: the wrapper logs it and
// gives OrcaFunctionMissing.
class TOrca {
  public:
    // Makes sure the ORCA library is loaded (mgr.LoadOrcaDll()) and opens a session;
    // a session that cannot be opened is reported and the handle stays null.
    explicit TOrca(TOrcaMgr& mgr);
    // Closes the session when one is open.
    virtual ~TOrca();
    TOrca(const TOrca&) = delete;
    TOrca& operator=(const TOrca&) = delete;

    HPBORCA Handle() const { return session_; }

    void GetError(char* buffer, int32_t size);
    // The session's last error text.
    std::string ErrorText();

    int32_t SetLibraryList(const std::vector<std::string>& libraries);
    int32_t SetCurrentAppl(std::string_view library, std::string_view application);
    int32_t LibraryCreate(std::string_view library, std::string_view comment);
    int32_t LibraryDirectory(std::string_view library, char* commentBuffer, int32_t commentSize,
                             PBORCA_LISTPROC callback, void* userData);
    int32_t EntryCopy(std::string_view sourceLibrary, std::string_view targetLibrary,
                      std::string_view entry, int type);
    int32_t EntryDelete(std::string_view library, std::string_view entry, int type);
    // quietWhenTooSmall: a -10 result (the buffer is too small) is not reported, for a
    // caller that retries with a larger buffer.
    int32_t EntryExport(std::string_view library, std::string_view entry, int type, char* buffer,
                        int32_t size, bool quietWhenTooSmall = false);
    int32_t EntryInformation(std::string_view library, std::string_view entry, int type,
                             PBORCA_ENTRYINFO* info);
    // Throw EOrcaImportFailed after reporting a failure.
    int32_t CompileEntryImport(std::string_view library, std::string_view entry, int type,
                               std::string_view comment, std::string_view source,
                               PBORCA_ERRPROC callback, void* userData);
    int32_t CompileEntryRegenerate(std::string_view library, std::string_view entry, int type,
                                   PBORCA_ERRPROC callback, void* userData);
    int32_t ObjectQueryHierarchy(std::string_view library, std::string_view entry, int type,
                                 PBORCA_HIERPROC callback, void* userData);
    int32_t CheckOutEntry(std::string_view entry, std::string_view sourceLibrary,
                          std::string_view targetLibrary, std::string_view userId, int type,
                          int32_t makeCopy);
    int32_t CheckInEntry(std::string_view entry, std::string_view sourceLibrary,
                         std::string_view targetLibrary, std::string_view userId, int type,
                         int32_t moveEntry);
    int32_t ListCheckOutEntries(std::string_view library, PBORCA_CHECKPROC callback,
                                void* userData);
    int32_t ExecutableCreate(std::string_view executable, std::string_view icon,
                             std::string_view resourceFile, PBORCA_LNKPROC callback, void* userData,
                             std::vector<int32_t>& dynamicLibraryFlags, int32_t flags);
    int32_t DynamicLibraryCreate(std::string_view library, std::string_view resourceFile,
                                 int32_t flags);

    // "Orca Error: " + context + two blanks + the session's error text, to the log.
    void ReportError(std::string_view context);
    // "Orca Error: " + the session's error text, to the log.
    void ReportLastError();

  private:
    HPBORCA session_ = nullptr;
};

// Creates an empty library of the kind asked for (Unicode: PowerBuilder 10 and later),
// with the loaded ORCA library when it creates that kind, else with the ORCA library of
// the latest version of the table that does, loaded on first need and kept loaded. False
// with the reason in *error.
bool CreateLibraryOfKind(std::string_view library, std::string_view comment, bool unicode,
                         std::string* error);

// Callbacks for the wrappers' users.
// Appends the ancestor's name to the std::vector<std::string> given as user value.
void AncestorCallback(PBORCA_HIERARCHY* ancestor, void* userData);
// Writes the link error's message to the log (for ExecutableCreate).
void LinkErrorCallback(PBORCA_LINKERR* error, void* userData);
// Does nothing: the check-out list is only asked for its result (ListCheckOutEntries).
void ListCheckOutCallback(PBORCA_CHECKOUT* record, void* userData);

}  // namespace catalogue
