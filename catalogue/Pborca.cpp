#include "catalogue/Pborca.h"

#include <string>

#include "catalogue/Orcactrl.h"
#include "platform/Ansi.h"
#include "shell/utilities.h"

namespace catalogue {

namespace {

TOrcaFunctionTable& Table() {
    static TOrcaFunctionTable table;
    return table;
}

// The function of a slot, typed as the ORCA declaration of the same name.
template <class F>
F Fn(TOrcaSlot slot) {
    return reinterpret_cast<F>(Table()[slot]);
}

#define ORCA_FN(slot, name) Fn<decltype(&name)>(TOrcaSlot::slot)

// Arrays of writable C strings for the calls that take char**: the texts are copies.
class TCStringArray {
  public:
    explicit TCStringArray(const std::vector<std::string>& texts) : texts_(texts) {
        pointers_.reserve(texts_.size() + 1);
        for (std::string& t : texts_)
            pointers_.push_back(t.data());
        pointers_.push_back(nullptr);
    }
    char** Data() { return pointers_.data(); }
    int32_t Count() const { return static_cast<int32_t>(texts_.size()); }

  private:
    std::vector<std::string> texts_;
    std::vector<char*> pointers_;
};

std::string MissingFunctionText(TOrcaSlot slot) {
    return "the ORCA library has no function " +
           std::string(OrcaFunctionNames[static_cast<size_t>(slot)]);
}

}  // namespace

TOrcaFunctionTable& OrcaFunctions() {
    return Table();
}

void BindOrcaFunctions(const TSymbolLookup& lookup) {
    TOrcaFunctionTable& table = Table();
    for (size_t i = 0; i < table.Slots.size(); ++i) {
        void* address = lookup(OrcaFunctionNames[i]);
        if (!address)
            address = lookup(platform::AnsiUpperCase(OrcaFunctionNames[i]));
        table.Slots[i] = address;
    }
    table.Bound = true;
}

void ClearOrcaFunctions() {
    Table() = TOrcaFunctionTable{};
}

// ---- TOrca --------------------------------------------------------------------------

TOrca::TOrca(TOrcaMgr& mgr) {
    if (!mgr.LoadOrcaDll())
        return;
    if (auto open = ORCA_FN(SessionOpen, PBORCA_SessionOpen))
        session_ = open();
    if (!session_)
        ReportLastError();
}

TOrca::~TOrca() {
    if (!session_)
        return;
    if (auto close = ORCA_FN(SessionClose, PBORCA_SessionClose))
        close(session_);
}

void TOrca::GetError(char* buffer, int32_t size) {
    if (!buffer || size <= 0)
        return;
    buffer[0] = '\0';
    if (auto get = ORCA_FN(SessionGetError, PBORCA_SessionGetError))
        get(session_, buffer, size);
    buffer[size - 1] = '\0';
}

std::string TOrca::ErrorText() {
    char text[500];
    GetError(text, sizeof text);
    return text;
}

void TOrca::ReportError(std::string_view context) {
    shell::LogMessage("Orca Error: " + std::string(context) + "  " + ErrorText());
}

void TOrca::ReportLastError() {
    shell::LogMessage("Orca Error: " + ErrorText());
}

// A call through a slot that may be empty: a missing function is logged with the
// wrapper's context and gives OrcaFunctionMissing.
#define ORCA_CALL(slot, name, context, ...)                                  \
    [&]() -> int32_t {                                                       \
        auto fn = ORCA_FN(slot, name);                                       \
        if (!fn) {                                                           \
            shell::LogMessage("Orca Error: " + std::string(context) + "  " + \
                              MissingFunctionText(TOrcaSlot::slot));         \
            missing = true;                                                  \
            return OrcaFunctionMissing;                                      \
        }                                                                    \
        return fn(__VA_ARGS__);                                              \
    }()

int32_t TOrca::SetLibraryList(const std::vector<std::string>& libraries) {
    TCStringArray list(libraries);
    bool missing = false;
    const int32_t rc = ORCA_CALL(SessionSetLibraryList, PBORCA_SessionSetLibraryList,
                                 "SetLibraryList", session_, list.Data(), list.Count());
    if (!missing && (rc == -1 || rc == -4 || rc == -5 || rc == -6))
        ReportLastError();
    return rc;
}

int32_t TOrca::SetCurrentAppl(std::string_view library, std::string_view application) {
    const std::string lib(library), app(application);
    bool missing = false;
    const int32_t rc = ORCA_CALL(SessionSetCurrentAppl, PBORCA_SessionSetCurrentAppl,
                                 "SetCurrentAppl", session_, lib.c_str(), app.c_str());
    if (rc != 0 && rc != PBORCA_DUPOPERATION && !missing)
        ReportLastError();
    return rc;
}

int32_t TOrca::LibraryCreate(std::string_view library, std::string_view comment) {
    const std::string lib(library), text(comment);
    bool missing = false;
    const int32_t rc = ORCA_CALL(LibraryCreate, PBORCA_LibraryCreate, "LibraryCreate", session_,
                                 lib.c_str(), text.c_str());
    if (rc != 0 && !missing)
        ReportLastError();
    return rc;
}

int32_t TOrca::LibraryDirectory(std::string_view library, char* commentBuffer, int32_t commentSize,
                                PBORCA_LISTPROC callback, void* userData) {
    const std::string lib(library);
    const std::string context = "LibraryDirectory: " + lib;
    bool missing = false;
    const int32_t rc = ORCA_CALL(LibraryDirectory, PBORCA_LibraryDirectory, context, session_,
                                 lib.c_str(), commentBuffer, commentSize, callback, userData);
    if (rc != 0 && !missing)
        ReportError(context);
    return rc;
}

int32_t TOrca::EntryCopy(std::string_view sourceLibrary, std::string_view targetLibrary,
                         std::string_view entry, int type) {
    const std::string source(sourceLibrary), target(targetLibrary), name(entry);
    const std::string context = "EntryCopy: " + name;
    bool missing = false;
    const int32_t rc =
        ORCA_CALL(LibraryEntryCopy, PBORCA_LibraryEntryCopy, context, session_, source.c_str(),
                  target.c_str(), name.c_str(), static_cast<PBORCA_TYPE>(type));
    if (rc != 0 && !missing)
        ReportError(context);
    return rc;
}

int32_t TOrca::EntryDelete(std::string_view library, std::string_view entry, int type) {
    const std::string lib(library), name(entry);
    const std::string context = "EntryDelete: " + name;
    bool missing = false;
    const int32_t rc = ORCA_CALL(LibraryEntryDelete, PBORCA_LibraryEntryDelete, context, session_,
                                 lib.c_str(), name.c_str(), static_cast<PBORCA_TYPE>(type));
    if (rc != 0 && !missing)
        ReportError(context);
    return rc;
}

int32_t TOrca::EntryExport(std::string_view library, std::string_view entry, int type, char* buffer,
                           int32_t size, bool quietWhenTooSmall) {
    const std::string lib(library), name(entry);
    const std::string context = "EntryExport:" + lib + ":" + name;
    bool missing = false;
    const int32_t rc =
        ORCA_CALL(LibraryEntryExport, PBORCA_LibraryEntryExport, context, session_, lib.c_str(),
                  name.c_str(), static_cast<PBORCA_TYPE>(type), buffer, size);
    if (rc != 0 && !missing && !(quietWhenTooSmall && rc == PBORCA_BUFFERTOOSMALL))
        ReportError(context);
    return rc;
}

int32_t TOrca::EntryInformation(std::string_view library, std::string_view entry, int type,
                                PBORCA_ENTRYINFO* info) {
    const std::string lib(library), name(entry);
    const std::string context = "EntryInformation: " + lib + ":" + name;
    bool missing = false;
    const int32_t rc =
        ORCA_CALL(LibraryEntryInformation, PBORCA_LibraryEntryInformation, context, session_,
                  lib.c_str(), name.c_str(), static_cast<PBORCA_TYPE>(type), info);
    if (rc != 0 && !missing)
        ReportError(context);
    return rc;
}

int32_t TOrca::CompileEntryImport(std::string_view library, std::string_view entry, int type,
                                  std::string_view comment, std::string_view source,
                                  PBORCA_ERRPROC callback, void* userData) {
    const std::string lib(library), name(entry), text(comment), body(source);
    bool missing = false;
    const int32_t rc =
        ORCA_CALL(CompileEntryImport, PBORCA_CompileEntryImport, "CompileEntryImport", session_,
                  lib.c_str(), name.c_str(), static_cast<PBORCA_TYPE>(type), text.c_str(),
                  body.c_str(), static_cast<int32_t>(body.size()), callback, userData);
    if (rc != 0) {
        if (!missing)
            ReportLastError();
        throw EOrcaImportFailed();
    }
    return rc;
}

int32_t TOrca::CompileEntryRegenerate(std::string_view library, std::string_view entry, int type,
                                      PBORCA_ERRPROC callback, void* userData) {
    const std::string lib(library), name(entry);
    bool missing = false;
    const int32_t rc = ORCA_CALL(CompileEntryRegenerate, PBORCA_CompileEntryRegenerate,
                                 "CompileEntryRegenerate", session_, lib.c_str(), name.c_str(),
                                 static_cast<PBORCA_TYPE>(type), callback, userData);
    if (rc != 0) {
        if (!missing)
            ReportLastError();
        throw EOrcaImportFailed();
    }
    return rc;
}

int32_t TOrca::ObjectQueryHierarchy(std::string_view library, std::string_view entry, int type,
                                    PBORCA_HIERPROC callback, void* userData) {
    const std::string lib(library), name(entry);
    bool missing = false;
    const int32_t rc = ORCA_CALL(ObjectQueryHierarchy, PBORCA_ObjectQueryHierarchy,
                                 "ObjectQueryHierarchy", session_, lib.c_str(), name.c_str(),
                                 static_cast<PBORCA_TYPE>(type), callback, userData);
    if (rc != 0 && rc != PBORCA_OBJHASNOANCS && !missing)
        ReportLastError();
    return rc;
}

int32_t TOrca::CheckOutEntry(std::string_view entry, std::string_view sourceLibrary,
                             std::string_view targetLibrary, std::string_view userId, int type,
                             int32_t makeCopy) {
    const std::string name(entry), source(sourceLibrary), target(targetLibrary), user(userId);
    bool missing = false;
    const int32_t rc = ORCA_CALL(CheckOutEntry, PBORCA_CheckOutEntry, "CheckOutEntry", session_,
                                 name.c_str(), source.c_str(), target.c_str(), user.c_str(),
                                 static_cast<PBORCA_TYPE>(type), makeCopy);
    if (rc != 0 && !missing)
        ReportLastError();
    return rc;
}

int32_t TOrca::CheckInEntry(std::string_view entry, std::string_view sourceLibrary,
                            std::string_view targetLibrary, std::string_view userId, int type,
                            int32_t moveEntry) {
    const std::string name(entry), source(sourceLibrary), target(targetLibrary), user(userId);
    bool missing = false;
    const int32_t rc = ORCA_CALL(CheckInEntry, PBORCA_CheckInEntry, "CheckInEntry", session_,
                                 name.c_str(), source.c_str(), target.c_str(), user.c_str(),
                                 static_cast<PBORCA_TYPE>(type), moveEntry);
    if (rc != 0 && !missing)
        ReportLastError();
    return rc;
}

int32_t TOrca::ListCheckOutEntries(std::string_view library, PBORCA_CHECKPROC callback,
                                   void* userData) {
    const std::string lib(library);
    bool missing = false;
    const int32_t rc = ORCA_CALL(ListCheckOutEntries, PBORCA_ListCheckOutEntries,
                                 "ListCheckOutEntries", session_, lib.c_str(), callback, userData);
    if (rc != 0 && !missing)
        ReportLastError();
    return rc;
}

int32_t TOrca::ExecutableCreate(std::string_view executable, std::string_view icon,
                                std::string_view resourceFile, PBORCA_LNKPROC callback,
                                void* userData, std::vector<int32_t>& dynamicLibraryFlags,
                                int32_t flags) {
    const std::string exe(executable), ico(icon), res(resourceFile);
    // The context keeps the program's own spelling of this message.
    const std::string context = "Create Exececutable " + exe + ":";
    bool missing = false;
    const int32_t rc =
        ORCA_CALL(ExecutableCreate, PBORCA_ExecutableCreate, context, session_, exe.c_str(),
                  ico.c_str(), res.c_str(), callback, userData, dynamicLibraryFlags.data(),
                  static_cast<int32_t>(dynamicLibraryFlags.size()), flags);
    if (rc != 0 && !missing)
        ReportError(context);
    return rc;
}

int32_t TOrca::DynamicLibraryCreate(std::string_view library, std::string_view resourceFile,
                                    int32_t flags) {
    const std::string lib(library), res(resourceFile);
    const std::string context = "Create Dynamic Library " + lib + ": ";
    bool missing = false;
    const int32_t rc = ORCA_CALL(DynamicLibraryCreate, PBORCA_DynamicLibraryCreate, context,
                                 session_, lib.c_str(), res.c_str(), flags);
    if (rc != 0 && !missing)
        ReportError(context);
    return rc;
}

// ---- Callbacks ----------------------------------------------------------------------

void AncestorCallback(PBORCA_HIERARCHY* ancestor, void* userData) {
    if (!ancestor || !userData)
        return;
    static_cast<std::vector<std::string>*>(userData)->push_back(
        ancestor->lpszAncestorName ? ancestor->lpszAncestorName : "");
}

void LinkErrorCallback(PBORCA_LINKERR* error, void* /*userData*/) {
    if (error && error->lpszMessageText)
        shell::LogMessage(error->lpszMessageText);
}

void ListCheckOutCallback(PBORCA_CHECKOUT* /*record*/, void* /*userData*/) {}

}  // namespace catalogue
