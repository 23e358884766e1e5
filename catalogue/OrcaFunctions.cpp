#include "catalogue/OrcaFunctions.h"

#include <algorithm>
#include <span>
#include <string>

#include "catalogue/Orcactrl.h"
#include "platform/Ansi.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/SharedLibrary.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"

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

// Hands our ORCA library the prefix the program uses: it maps Windows paths through a
// copy of the platform layer of its own. PowerBuilder's libraries lack the call.
void SetPrefixOf(const TSymbolLookup& lookup) {
    if (auto setPrefix =
            reinterpret_cast<decltype(&SorvantiOrca_SetPrefix)>(lookup("SorvantiOrca_SetPrefix")))
        setPrefix(platform::PrefixDir().c_str());
}

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
    SetPrefixOf(lookup);
}

void ClearOrcaFunctions() {
    Table() = TOrcaFunctionTable{};
}

bool CreateLibraryOfKind(std::string_view library, std::string_view comment, bool unicode,
                         std::string* error) {
    TOrcaMgr& mgr = OrcaMgr();
    if (!mgr.LoadOrcaDll()) {
        *error = "the ORCA library is not loaded";
        return false;
    }
    if (mgr.CreatesUnicode() == unicode) {
        TOrca& session = mgr.GetSession();
        if (session.LibraryCreate(library, comment) == PBORCA_OK)
            return true;
        *error = session.ErrorText();
        return false;
    }
    const shell::TPBVersionInfo* version = nullptr;
    for (const shell::TPBVersionInfo& row : shell::PBVersionTable)
        if (row.Unicode == unicode)
            version = &row;
    if (!version) {
        *error = "no PowerBuilder version of the table creates such libraries";
        return false;
    }
    const std::string dll(version->OrcaDll);
    // Loaded on first need and kept for the rest of the run, as the program's own ORCA
    // library is: companions may be created again (a new Temporary Library, a companion
    // the user deleted).
    static platform::TSharedLibrary& other = *new platform::TSharedLibrary;
    if (other.HostPath().empty() && !other.Load(dll)) {
        *error = "ORCA library " + dll + " not loaded: " + platform::LastErrorText();
        return false;
    }
    const TSymbolLookup lookup = [](std::string_view name) { return other.Symbol(name); };
    auto open = reinterpret_cast<decltype(&PBORCA_SessionOpen)>(lookup("PBORCA_SessionOpen"));
    auto close = reinterpret_cast<decltype(&PBORCA_SessionClose)>(lookup("PBORCA_SessionClose"));
    auto create = reinterpret_cast<decltype(&PBORCA_LibraryCreate)>(lookup("PBORCA_LibraryCreate"));
    auto getError =
        reinterpret_cast<decltype(&PBORCA_SessionGetError)>(lookup("PBORCA_SessionGetError"));
    if (!open || !close || !create || !getError) {
        *error = "ORCA library " + dll + " lacks the calls to create a library";
        return false;
    }
    SetPrefixOf(lookup);
    const HPBORCA session = open();
    if (!session) {
        *error = "ORCA library " + dll + " opened no session";
        return false;
    }
    const std::string name(library), text(comment);
    const bool created = create(session, name.c_str(), text.c_str()) == PBORCA_OK;
    if (!created) {
        char buffer[500] = {};
        getError(session, buffer, sizeof buffer);
        buffer[sizeof buffer - 1] = '\0';
        *error = buffer;
    }
    close(session);
    return created;
}

// ---- TOrca --------------------------------------------------------------------------

TOrca::TOrca(TOrcaMgr& mgr) {
    if (!mgr.LoadOrcaDll())
        return;
    if (auto open = Fn<decltype(&PBORCA_SessionOpen)>(TOrcaSlot::SessionOpen))
        session_ = open();
    if (!session_)
        ReportLastError();
}

TOrca::~TOrca() {
    if (!session_)
        return;
    if (auto close = Fn<decltype(&PBORCA_SessionClose)>(TOrcaSlot::SessionClose))
        close(session_);
}

void TOrca::GetError(char* buffer, int32_t size) {
    if (!buffer || size <= 0)
        return;
    buffer[0] = '\0';
    if (auto get = Fn<decltype(&PBORCA_SessionGetError)>(TOrcaSlot::SessionGetError))
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

namespace {

// A zero-terminated copy of a caller's text, alive until the end of the ORCA call it is
// passed to.
class TCText {
  public:
    explicit TCText(std::string_view text) : text_(text) {}
    operator const char*() const { return text_.c_str(); }

  private:
    std::string text_;
};

// What a wrapper hands ORCA: texts as zero-terminated copies, everything else as it is.
TCText Pass(std::string_view text) {
    return TCText(text);
}
template <class V>
V Pass(V value) {
    return value;
}

PBORCA_TYPE Type(int type) {
    return static_cast<PBORCA_TYPE>(type);
}

// How a wrapper reports a non-zero result: "Orca Error: " + context + two blanks + the
// session's error text (withContext), else "Orca Error: " + the error text; only the
// results in only (when given), never those in except.
struct TReport {
    std::string context;
    bool withContext = false;
    std::span<const int32_t> only{};
    std::span<const int32_t> except{};

    bool Reported(int32_t rc) const {
        if (rc == 0 || std::find(except.begin(), except.end(), rc) != except.end())
            return false;
        return only.empty() || std::find(only.begin(), only.end(), rc) != only.end();
    }
};

// The call every wrapper makes: the function of the slot with the session handle first.
// A function the library lacks is not called: the line names it (with the context) and
// the result is OrcaFunctionMissing.
template <class F, class... Args>
int32_t Call(TOrca& orca, TOrcaSlot slot, const TReport& report, Args... args) {
    const F fn = Fn<F>(slot);
    if (!fn) {
        shell::LogMessage("Orca Error: " + report.context + "  " + MissingFunctionText(slot));
        return OrcaFunctionMissing;
    }
    const int32_t rc = fn(orca.Handle(), Pass(args)...);
    if (report.Reported(rc)) {
        if (report.withContext)
            orca.ReportError(report.context);
        else
            orca.ReportLastError();
    }
    return rc;
}

constexpr int32_t ListFailures[] = {-1, -4, -5, -6};
constexpr int32_t AlreadyCurrent[] = {PBORCA_DUPOPERATION};
constexpr int32_t NoAncestors[] = {PBORCA_OBJHASNOANCS};
constexpr int32_t TooSmall[] = {PBORCA_BUFFERTOOSMALL};

}  // namespace

int32_t TOrca::SetLibraryList(const std::vector<std::string>& libraries) {
    TCStringArray list(libraries);
    return Call<decltype(&PBORCA_SessionSetLibraryList)>(
        *this, TOrcaSlot::SessionSetLibraryList,
        {.context = "SetLibraryList", .only = ListFailures}, list.Data(), list.Count());
}

int32_t TOrca::SetCurrentAppl(std::string_view library, std::string_view application) {
    return Call<decltype(&PBORCA_SessionSetCurrentAppl)>(
        *this, TOrcaSlot::SessionSetCurrentAppl,
        {.context = "SetCurrentAppl", .except = AlreadyCurrent}, library, application);
}

int32_t TOrca::LibraryCreate(std::string_view library, std::string_view comment) {
    return Call<decltype(&PBORCA_LibraryCreate)>(*this, TOrcaSlot::LibraryCreate,
                                                 {.context = "LibraryCreate"}, library, comment);
}

int32_t TOrca::LibraryDirectory(std::string_view library, char* commentBuffer, int32_t commentSize,
                                PBORCA_LISTPROC callback, void* userData) {
    return Call<decltype(&PBORCA_LibraryDirectory)>(
        *this, TOrcaSlot::LibraryDirectory,
        {.context = "LibraryDirectory: " + std::string(library), .withContext = true}, library,
        commentBuffer, commentSize, callback, userData);
}

int32_t TOrca::EntryCopy(std::string_view sourceLibrary, std::string_view targetLibrary,
                         std::string_view entry, int type) {
    return Call<decltype(&PBORCA_LibraryEntryCopy)>(
        *this, TOrcaSlot::LibraryEntryCopy,
        {.context = "EntryCopy: " + std::string(entry), .withContext = true}, sourceLibrary,
        targetLibrary, entry, Type(type));
}

int32_t TOrca::EntryDelete(std::string_view library, std::string_view entry, int type) {
    return Call<decltype(&PBORCA_LibraryEntryDelete)>(
        *this, TOrcaSlot::LibraryEntryDelete,
        {.context = "EntryDelete: " + std::string(entry), .withContext = true}, library, entry,
        Type(type));
}

int32_t TOrca::EntryExport(std::string_view library, std::string_view entry, int type, char* buffer,
                           int32_t size, bool quietWhenTooSmall) {
    return Call<decltype(&PBORCA_LibraryEntryExport)>(
        *this, TOrcaSlot::LibraryEntryExport,
        {.context = "EntryExport:" + std::string(library) + ":" + std::string(entry),
         .withContext = true,
         .except =
             quietWhenTooSmall ? std::span<const int32_t>(TooSmall) : std::span<const int32_t>()},
        library, entry, Type(type), buffer, size);
}

int32_t TOrca::EntryInformation(std::string_view library, std::string_view entry, int type,
                                PBORCA_ENTRYINFO* info) {
    return Call<decltype(&PBORCA_LibraryEntryInformation)>(
        *this, TOrcaSlot::LibraryEntryInformation,
        {.context = "EntryInformation: " + std::string(library) + ":" + std::string(entry),
         .withContext = true},
        library, entry, Type(type), info);
}

int32_t TOrca::CompileEntryImport(std::string_view library, std::string_view entry, int type,
                                  std::string_view comment, std::string_view source,
                                  PBORCA_ERRPROC callback, void* userData) {
    const int32_t rc = Call<decltype(&PBORCA_CompileEntryImport)>(
        *this, TOrcaSlot::CompileEntryImport, {.context = "CompileEntryImport"}, library, entry,
        Type(type), comment, source, static_cast<int32_t>(source.size()), callback, userData);
    if (rc != 0)
        throw EOrcaImportFailed();
    return rc;
}

int32_t TOrca::CompileEntryRegenerate(std::string_view library, std::string_view entry, int type,
                                      PBORCA_ERRPROC callback, void* userData) {
    const int32_t rc = Call<decltype(&PBORCA_CompileEntryRegenerate)>(
        *this, TOrcaSlot::CompileEntryRegenerate, {.context = "CompileEntryRegenerate"}, library,
        entry, Type(type), callback, userData);
    if (rc != 0)
        throw EOrcaImportFailed();
    return rc;
}

int32_t TOrca::ObjectQueryHierarchy(std::string_view library, std::string_view entry, int type,
                                    PBORCA_HIERPROC callback, void* userData) {
    return Call<decltype(&PBORCA_ObjectQueryHierarchy)>(
        *this, TOrcaSlot::ObjectQueryHierarchy,
        {.context = "ObjectQueryHierarchy", .except = NoAncestors}, library, entry, Type(type),
        callback, userData);
}

int32_t TOrca::CheckOutEntry(std::string_view entry, std::string_view sourceLibrary,
                             std::string_view targetLibrary, std::string_view userId, int type,
                             int32_t makeCopy) {
    return Call<decltype(&PBORCA_CheckOutEntry)>(*this, TOrcaSlot::CheckOutEntry,
                                                 {.context = "CheckOutEntry"}, entry, sourceLibrary,
                                                 targetLibrary, userId, Type(type), makeCopy);
}

int32_t TOrca::CheckInEntry(std::string_view entry, std::string_view sourceLibrary,
                            std::string_view targetLibrary, std::string_view userId, int type,
                            int32_t moveEntry) {
    return Call<decltype(&PBORCA_CheckInEntry)>(*this, TOrcaSlot::CheckInEntry,
                                                {.context = "CheckInEntry"}, entry, sourceLibrary,
                                                targetLibrary, userId, Type(type), moveEntry);
}

int32_t TOrca::ListCheckOutEntries(std::string_view library, PBORCA_CHECKPROC callback,
                                   void* userData) {
    return Call<decltype(&PBORCA_ListCheckOutEntries)>(*this, TOrcaSlot::ListCheckOutEntries,
                                                       {.context = "ListCheckOutEntries"}, library,
                                                       callback, userData);
}

int32_t TOrca::ExecutableCreate(std::string_view executable, std::string_view icon,
                                std::string_view resourceFile, PBORCA_LNKPROC callback,
                                void* userData, std::vector<int32_t>& dynamicLibraryFlags,
                                int32_t flags) {
    // The context keeps the program's own spelling of this message.
    return Call<decltype(&PBORCA_ExecutableCreate)>(
        *this, TOrcaSlot::ExecutableCreate,
        {.context = "Create Exececutable " + std::string(executable) + ":", .withContext = true},
        executable, icon, resourceFile, callback, userData, dynamicLibraryFlags.data(),
        static_cast<int32_t>(dynamicLibraryFlags.size()), flags);
}

int32_t TOrca::DynamicLibraryCreate(std::string_view library, std::string_view resourceFile,
                                    int32_t flags) {
    return Call<decltype(&PBORCA_DynamicLibraryCreate)>(
        *this, TOrcaSlot::DynamicLibraryCreate,
        {.context = "Create Dynamic Library " + std::string(library) + ": ", .withContext = true},
        library, resourceFile, flags);
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
