// The catalogue classes: manager, applications, libraries, references, entries.

#include "catalogue/Orcactrl.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "shell/Utilities.h"

namespace catalogue {

// ---- Helpers ------------------------------------------------------------------------

std::string_view SystemClassName(int entryType) {
    const orca::TEntryKind* kind = orca::EntryKind(entryType);
    return kind ? kind->systemClass : std::string_view();
}

int EntryTypeOrder(int entryType) {
    static constexpr int TypeOrder[11] = {1, 2, 3, 5, 7, 8, 9, 10, 6, 4, 11};
    return entryType >= 0 && entryType <= 10 ? TypeOrder[entryType] : 12;
}

std::optional<platform::TDateTime> LibraryFileDate(std::string_view path) {
    // One directory search gives existence, kind and date (no file name holds * or ?).
    if (path.empty() || path.find_first_of("*?") != std::string_view::npos)
        return std::nullopt;
    const std::vector<platform::TSearchRec> found = platform::FindFiles(path, platform::faAnyFile);
    if (found.empty() || (found.front().Attr & platform::faDirectory))
        return std::nullopt;
    return found.front().Time;
}

std::optional<bool> LibraryIsUnicode(std::string_view path) {
    const std::optional<std::string> head = platform::ReadFileBytes(path, 6);
    if (!head || head->size() < 6 || head->compare(0, 5, "HDR*P") != 0)
        return std::nullopt;
    return (*head)[5] == '\0';
}

// ---- Program-wide state -------------------------------------------------------------

namespace {

std::unique_ptr<TOrcaMgr>& MgrInstance() {
    static std::unique_ptr<TOrcaMgr> instance;
    return instance;
}

bool runFlag = true;

}  // namespace

TOrcaMgr& OrcaMgr() {
    auto& instance = MgrInstance();
    if (!instance)
        instance = std::make_unique<TOrcaMgr>();
    return *instance;
}

TOrcaMgr& CreateOrcaMgr() {
    ResetOrcaMgr();
    return OrcaMgr();
}

void ResetOrcaMgr() {
    // Freed before the pointer is cleared, so that nothing reached while the catalogue
    // is being freed can create a new manager.
    auto& instance = MgrInstance();
    if (instance) {
        std::unique_ptr<TOrcaMgr> old = std::move(instance);
        old.reset();
    }
}

bool HasOrcaMgr() {
    return MgrInstance() != nullptr;
}

bool RunFlag() {
    return runFlag;
}

void SetRunFlag(bool value) {
    runFlag = value;
}

TWalkScope::TWalkScope(TOrcaMgr& mgr) : mgr_(mgr) {
    ++mgr_.walks_;
}

TWalkScope::~TWalkScope() {
    if (--mgr_.walks_ == 0)
        mgr_.retired_.clear();
}

TUnattendedScope::TUnattendedScope(TOrcaMgr& mgr) : mgr_(mgr) {
    ++mgr_.unattended_;
}

TUnattendedScope::~TUnattendedScope() {
    --mgr_.unattended_;
}

// ---- TOrcaMgr -----------------------------------------------------------------------

namespace {
constexpr size_t InitialExportBufferSize = 500000;
}

TOrcaMgr::TOrcaMgr() : ExportBuffer(InitialExportBufferSize + 1, '\0') {
    SetRunFlag(true);
}

TOrcaMgr::~TOrcaMgr() {
    // Applications first (their sessions close while the ORCA library is loaded), then
    // what was retired, then the libraries with their entries.
    Apps.Clear();
    retired_.clear();
    session_.reset();
    Libs.Clear();
    if (module_) {
        ClearOrcaFunctions();
        module_.reset();
    }
}

void TOrcaMgr::ReportUnattended(TUnattendedFailure failure, const std::string& text) {
    if (text == unattendedReports_[failure])
        return;
    unattendedReports_[failure] = text;
    shell::LogMessage(text);
}

std::string TOrcaMgr::GetPBIniFile() {
    if (!Unattended())
        return Location.GetPBIniFile();
    const std::string path = Location.GetPBIniFile(/*notify=*/false);
    if (path.empty())
        ReportUnattended(PBIniNotFound, shell::PBIniNotFoundMessage(
                                            shell::OptionsForm().SelectedPBVersion().Number));
    else
        unattendedReports_[PBIniNotFound].clear();
    return path;
}

bool TOrcaMgr::LoadOrcaDll() {
    if (OrcaFunctions().Bound)
        return true;
    const shell::TPBVersionInfo& version = shell::OptionsForm().SelectedPBVersion();
    auto library = std::make_unique<platform::TSharedLibrary>();
    if (!library->Load(version.OrcaDll)) {
        const std::string why = "ORCA library " + std::string(version.OrcaDll) +
                                " not loaded: " + platform::LastErrorText();
        if (Unattended()) {
            // The App Paths set-up tells the user what it did: it waits for a command.
            ReportUnattended(OrcaNotLoaded, why);
            return false;
        }
        shell::WriteDebug(why);
        return Location.SetupPBAppPath();
    }
    const platform::TSharedLibrary& lib = *library;
    BindOrcaFunctions([&lib](std::string_view name) { return lib.Symbol(name); });
    module_ = std::move(library);
    moduleUnicode_ = version.Unicode;
    unattendedReports_[OrcaNotLoaded].clear();
    return true;
}

bool TOrcaMgr::CreatesUnicode() const {
    return moduleUnicode_.value_or(shell::OptionsForm().SelectedPBVersion().Unicode);
}

TOrca& TOrcaMgr::GetSession() {
    if (!session_)
        session_ = std::make_unique<TOrca>(*this);
    return *session_;
}

TPBLib* TOrcaMgr::FindLibrary(std::string_view path) {
    if (TPBLib* lib = Libs.Find(path))
        return lib;
    return Libs.Add(path, std::make_unique<TPBLib>(*this, path));
}

TPBLib* TOrcaMgr::OpenLibrary(std::string_view path) {
    TPBLib* lib = FindLibrary(path);
    lib->EnsureLoaded();
    return lib;
}

TPBApp* TOrcaMgr::GetApp(TObject* nodeData) const {
    if (auto* app = dynamic_cast<TPBApp*>(nodeData))
        return app;
    if (auto* libRef = dynamic_cast<TPBLibRef*>(nodeData))
        return libRef->App;
    if (auto* objRef = dynamic_cast<TPBObjRef*>(nodeData))
        return objRef->LibRef ? objRef->LibRef->App : nullptr;
    return nullptr;
}

TPBApp* TOrcaMgr::FindApp(std::string_view name) const {
    for (int i = 0; i < Apps.Count(); ++i)
        if (platform::AnsiSameText(Apps[i]->Name, name))
            return Apps[i];
    return nullptr;
}

TPBApp* TOrcaMgr::AddApp(std::string_view name, std::string_view appLib) {
    auto app = std::make_unique<TPBApp>(*this, name, appLib);
    const std::string key = app->AppKey();
    auto at =
        std::upper_bound(Apps.begin(), Apps.end(), key, [](const std::string& k, const auto& item) {
            return platform::AnsiCompareText(k, item.Name) < 0;
        });
    return Apps.Insert(static_cast<int>(at - Apps.begin()), key, std::move(app));
}

void TOrcaMgr::RemoveApp(TPBApp* app) {
    std::unique_ptr<TPBApp> owned = Apps.Take(app);
    if (!owned)
        return;
    if (app->LinkedApp && app->LinkedApp->LinkedApp == app) {
        app->LinkedApp->LinkedApp = nullptr;
        app->LinkedApp->ReplicationRole = 0;
    }
    app->LinkedApp = nullptr;
    Retire(std::move(owned));
}

void TOrcaMgr::Keep(std::unique_ptr<TObject> object) {
    object->retired_ = true;
    if (walks_ > 0)
        retired_.push_back(std::move(object));
}

void TOrcaMgr::Retire(std::unique_ptr<TPBObj> obj) {
    Keep(std::move(obj));
}

void TOrcaMgr::Retire(std::unique_ptr<TPBObjRef> ref) {
    Keep(std::move(ref));
}

void TOrcaMgr::Retire(std::unique_ptr<TPBLibRef> libRef) {
    for (const auto& item : libRef->ObjRefs)
        item.Obj->retired_ = true;
    Keep(std::move(libRef));
}

void TOrcaMgr::Retire(std::unique_ptr<TPBApp> app) {
    for (const auto& lib : app->LibRefs) {
        lib.Obj->retired_ = true;
        for (const auto& item : lib.Obj->ObjRefs)
            item.Obj->retired_ = true;
    }
    for (const auto& item : app->SysRefs)
        item.Obj->retired_ = true;
    Keep(std::move(app));
}

// ---- TPBObj -------------------------------------------------------------------------

TPBObj::TPBObj(std::string_view name, TPBLib* lib) : Lib(lib) {
    Name = name;
}

const PBORCA_ENTRYINFO& TPBObj::GetEntryInfo() {
    if (!Lib)
        return Info;
    PBORCA_ENTRYINFO info{};
    if (Lib->Mgr.GetSession().EntryInformation(Lib->Name, Name, EntryType, &info) == 0)
        Info = info;
    return Info;
}

const std::string& TPBObj::GetSource() {
    if (Lib && Lib->Mgr.Options.Contains(TCatalogueOption::LoadSourceOnDemand) && Source.empty() &&
        !LoadFailed)
        LoadSource();
    return Source;
}

std::string_view TPBObj::SourceText() {
    const std::string& source = GetSource();
    return source.empty() ? std::string_view() : std::string_view(source.data(), source.size() - 1);
}

int32_t TPBObj::SourceLength() {
    const std::string& source = GetSource();
    return source.empty() ? Info.lSourceSize : static_cast<int32_t>(source.size() - 1);
}

// ---- TPBLib -------------------------------------------------------------------------

TPBLib::TPBLib(TOrcaMgr& mgr, std::string_view path) : Mgr(mgr) {
    Name = path;
    if (auto date = LibraryFileDate(path)) {
        Exists = true;
        FileDate = *date;
    }
}

bool TPBLib::EnsureLoaded() {
    if (!Entries.Empty())
        return true;
    if (!Exists || !LoadDirectory())
        return false;
    SortEntries();
    return true;
}

namespace {

// What the directory callback fills.
struct TDirectoryRead {
    TPBLib* lib;
    bool exportSources;
};

void DirectoryCallback(PBORCA_DIRENTRY* record, void* userData) {
    auto* read = static_cast<TDirectoryRead*>(userData);
    TPBLib* lib = read ? read->lib : nullptr;
    if (!record || !lib)
        return;
    // The callback runs inside ORCA's C code: nothing may leave it by exception.
    try {
        auto entry =
            std::make_unique<TPBObj>(record->lpszEntryName ? record->lpszEntryName : "", lib);
        entry->Comment.assign(record->szComment,
                              strnlen(record->szComment, sizeof record->szComment));
        entry->CreateTime = platform::UnixToDateTime(record->lCreateTime);
        entry->Size = record->lEntrySize;
        entry->EntryType = static_cast<int>(record->otEntryType);
        const std::string name = entry->Name;
        TPBObj* obj = lib->Entries.Add(name, std::move(entry));
        if (read->exportSources &&
            lib->Mgr.Options.Contains(TCatalogueOption::LoadSourceWithDirectory))
            obj->GetSource();
    } catch (const std::exception& e) {
        shell::LogMessage("Load Error: " + lib->Name + ": " + e.what());
    }
}

}  // namespace

bool TPBLib::LoadDirectory(bool exportSources) {
    const int before = Entries.Count();
    TDirectoryRead read{this, exportSources};
    if (Mgr.GetSession().LibraryDirectory(Name, nullptr, 0, &DirectoryCallback, &read) == 0)
        return true;
    // An ORCA that lists part of a directory before failing leaves no half list behind.
    while (Entries.Count() > before)
        Entries.Take(Entries.Count() - 1).reset();
    return false;
}

int TPBLib::IndexOfEntry(std::string_view name, int type) const {
    for (int i = 0; i < Entries.Count(); ++i)
        if (Entries[i]->EntryType == type && platform::AnsiSameText(Entries[i]->Name, name))
            return i;
    return -1;
}

void TPBLib::SortEntries() {
    Entries.Sort([](const auto& a, const auto& b) {
        const int ta = EntryTypeOrder(a.Obj->EntryType), tb = EntryTypeOrder(b.Obj->EntryType);
        if (ta != tb)
            return ta < tb;
        return a.Obj->Name < b.Obj->Name;
    });
}

// ---- TPBObjRef ----------------------------------------------------------------------

TPBObjRef::TPBObjRef(TPBApp& app, TPBLibRef* libRef, std::string_view name)
    : LibRef(libRef), App(app) {
    if (libRef && libRef->Lib)
        Obj = libRef->Lib->Entries.Find(name);
    if (!Obj) {
        ownObj_ = std::make_unique<TPBObj>(name, libRef ? libRef->Lib : nullptr);
        Obj = ownObj_.get();
    }
}

TPBObjRef::TPBObjRef(TPBApp& app, TPBLibRef* libRef, TPBObj* obj)
    : Obj(obj), LibRef(libRef), App(app) {}

// ---- TPBLibRef ----------------------------------------------------------------------

TPBLibRef::TPBLibRef(TPBApp& app, TPBLib& lib) : Lib(&lib), App(&app) {
    BuildObjRefs();
}

void TPBLibRef::BuildObjRefs() {
    for (const auto& item : Lib->Entries)
        ObjRefs.Add(item.Obj->Name, std::make_unique<TPBObjRef>(*App, this, item.Obj));
}

void TPBLibRef::SyncObjRefs() {
    // How many references each entry of the library still needs.
    std::unordered_map<const TPBObj*, int> wanted;
    for (const auto& item : Lib->Entries)
        ++wanted[item.Obj];

    std::vector<std::unique_ptr<TPBObjRef>> removed;
    for (int i = 0; i < ObjRefs.Count(); ++i) {
        auto it = wanted.find(ObjRefs[i]->Obj);
        if (it != wanted.end() && it->second > 0)
            --it->second;
        else
            removed.push_back(ObjRefs.Take(i--));
    }
    for (int index = 0; index < Lib->Entries.Count(); ++index) {
        TPBObj* entry = Lib->Entries[index];
        int& need = wanted[entry];
        if (need > 0) {
            --need;
            ObjRefs.Insert(index, entry->Name, std::make_unique<TPBObjRef>(*App, this, entry));
        }
    }
    // Released last, so that orphaned descendants can find ancestors among the new
    // references.
    App->ReleaseObjRefs(std::move(removed));
}

TPBObjRef* TPBLibRef::FindObjRef(std::string_view name, int type) const {
    return FindObjRefUpper(platform::AnsiUpperCase(name), type);
}

TPBObjRef* TPBLibRef::FindObjRefUpper(const std::string& upperName, int type) const {
    if (indexVersion_ != ObjRefs.Version()) {
        index_.clear();
        for (const auto& item : ObjRefs)
            index_[platform::AnsiUpperCase(item.Obj->Obj->Name)].push_back(item.Obj);
        indexVersion_ = ObjRefs.Version();
    }
    auto it = index_.find(upperName);
    if (it == index_.end())
        return nullptr;
    for (TPBObjRef* ref : it->second)
        if (ref->Obj->EntryType == type)
            return ref;
    return nullptr;
}

// ---- TPBApp -------------------------------------------------------------------------

TPBApp::TPBApp(TOrcaMgr& mgr, std::string_view name, std::string_view appLib)
    : Mgr(mgr), AppLib(appLib) {
    Name = name;
    SystemRoot = SysRefs.Add("System", std::make_unique<TPBObjRef>(*this, nullptr, "System"));
    SystemRoot->Parent = SystemRoot;
}

std::string TPBApp::AppKey() const {
    return Name + ";(" + AppLib + ")";
}

std::string TPBApp::PBIniKey() const {
    return "$" + AppLib + "(" + Name + ")";
}

TOrca& TPBApp::GetSession() {
    if (!session_)
        session_ = std::make_unique<TOrca>(Mgr);
    return *session_;
}

void TPBApp::InitSession() {
    std::vector<std::string> paths;
    bool allExist = true;
    for (const auto& item : LibRefs) {
        if (item.Obj->Lib->Exists)
            paths.push_back(item.Obj->Lib->Name);
        else
            allExist = false;
    }
    if (paths.empty())
        return;
    TOrca& session = GetSession();
    session.SetLibraryList(paths);
    if (allExist)
        session.SetCurrentAppl(AppLib, Name);
}

void TPBApp::ForEachObjRef(const std::function<void(TPBObjRef&)>& action) {
    for (int i = 0; i < LibRefs.Count(); ++i) {
        TPBLibRef* libRef = LibRefs[i];
        for (int j = 0; j < libRef->ObjRefs.Count(); ++j)
            action(*libRef->ObjRefs[j]);
    }
}

TPBLibRef* TPBApp::AddLibRef(std::string_view path) {
    TPBLib* lib = Mgr.FindLibrary(path);
    return LibRefs.Add(path, std::make_unique<TPBLibRef>(*this, *lib));
}

void TPBApp::RemoveLibRef(TPBLibRef* libRef) {
    std::unique_ptr<TPBLibRef> owned = LibRefs.Take(libRef);
    if (!owned)
        return;
    std::vector<std::unique_ptr<TPBObjRef>> refs;
    while (!owned->ObjRefs.Empty())
        refs.push_back(owned->ObjRefs.Take(owned->ObjRefs.Count() - 1));
    ReleaseObjRefs(std::move(refs));
    Mgr.Retire(std::move(owned));
}

}  // namespace catalogue
