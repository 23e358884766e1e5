// The catalogue classes: manager, applications, libraries, references, entries.

#include "catalogue/Orcactrl.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "shell/utilities.h"

namespace catalogue {

// ---- Helpers ------------------------------------------------------------------------

std::string_view SystemClassName(int entryType) {
    return entryType >= 0 && entryType <= 10 ? SystemClassNames[entryType] : std::string_view();
}

int EntryTypeOrder(int entryType) {
    static constexpr int order[11] = {1, 2, 3, 5, 7, 8, 9, 10, 6, 4, 11};
    return entryType >= 0 && entryType <= 10 ? order[entryType] : 12;
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

// ---- Program-wide state -------------------------------------------------------------

namespace {

std::unique_ptr<TOrcaMgr>& MgrInstance() {
    static std::unique_ptr<TOrcaMgr> instance;
    return instance;
}

bool runFlag = true;
int walksInProgress = 0;

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
    walksInProgress = 0;
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

int WalksInProgress() {
    return walksInProgress;
}

TWalkScope::TWalkScope() {
    ++walksInProgress;
}

TWalkScope::~TWalkScope() {
    if (walksInProgress > 0)
        --walksInProgress;
}

// ---- TOrcaMgr -----------------------------------------------------------------------

namespace {
constexpr size_t InitialExportBufferSize = 500000;
}

TOrcaMgr::TOrcaMgr() : ExportBuffer(InitialExportBufferSize + 1, '\0') {
    SetRunFlag(true);
}

TOrcaMgr::~TOrcaMgr() {
    while (!Apps.Empty())
        delete Apps[Apps.Count() - 1];
    session_.reset();

    // Entries are owned by the library they belong to (Lib), which may not be the only
    // library listing them (Assign): collect them first, free them last.
    std::vector<TPBLib*> libs;
    for (const auto& item : Libs)
        libs.push_back(item.Obj);
    Libs.Clear();
    std::vector<TPBObj*> entries;
    for (TPBLib* lib : libs) {
        for (const auto& item : lib->Entries)
            if (item.Obj->Lib == lib)
                entries.push_back(item.Obj);
        lib->Entries.Clear();
    }
    for (TPBLib* lib : libs)
        delete lib;
    for (TPBObj* obj : entries)
        delete obj;

    if (module_) {
        ClearOrcaFunctions();
        module_.reset();
    }
}

bool TOrcaMgr::OrcaLoaded() const {
    return OrcaFunctions().Bound;
}

bool TOrcaMgr::LoadOrcaDll() {
    if (OrcaFunctions().Bound)
        return true;
    const shell::TPBVersionInfo& version = shell::OptionsForm().SelectedPBVersion();
    auto library = std::make_unique<platform::TSharedLibrary>();
    if (!library->Load(version.OrcaDll)) {
        shell::WriteDebug("ORCA library " + std::string(version.OrcaDll) +
                          " not loaded: " + platform::LastErrorText());
        return SetupPBAppPath();
    }
    const platform::TSharedLibrary& lib = *library;
    BindOrcaFunctions([&lib](std::string_view name) { return lib.Symbol(name); });
    module_ = std::move(library);
    return true;
}

TOrca& TOrcaMgr::GetSession() {
    if (!session_)
        session_ = std::make_unique<TOrca>(*this);
    return *session_;
}

TPBLib* TOrcaMgr::FindLibrary(std::string_view path) {
    if (TPBLib* lib = Libs.Find(path))
        return lib;
    return new TPBLib(*this, path);
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

void TOrcaMgr::AddApp(TPBApp* app) {
    const std::string key = app->AppKey();
    auto& items = Apps.Items();
    auto at = std::upper_bound(items.begin(), items.end(), key,
                               [](const std::string& k, const auto& item) {
                                   return platform::AnsiCompareText(k, item.Name) < 0;
                               });
    Apps.Insert(static_cast<int>(at - items.begin()), key, app);
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
    if (Lib && (Lib->Mgr.Options & LoadSourceOnDemand) && Source.empty() && !LoadFailed)
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
    Mgr.Libs.Add(path, this);
}

TPBLib::~TPBLib() {
    Mgr.Libs.Remove(this);
    for (int i = Entries.Count() - 1; i >= 0; --i)
        if (Entries[i]->Lib == this)
            delete Entries[i];
}

void TPBLib::EnsureLoaded() {
    if (Entries.Empty() && Exists) {
        LoadDirectory();
        SortEntries();
    }
}

namespace {

void DirectoryCallback(PBORCA_DIRENTRY* record, void* userData) {
    auto* lib = static_cast<TPBLib*>(userData);
    if (!record || !lib)
        return;
    // The callback runs inside ORCA's C code: nothing may leave it by exception.
    try {
        auto* obj = new TPBObj(record->lpszEntryName ? record->lpszEntryName : "", lib);
        obj->Comment.assign(record->szComment,
                            strnlen(record->szComment, sizeof record->szComment));
        obj->CreateTime =
            shell::SecondsToDateTime(record->lCreateTime, platform::UnixEpochDateTime);
        obj->Size = record->lEntrySize;
        obj->EntryType = static_cast<int>(record->otEntryType);
        lib->Entries.Add(obj->Name, obj);
        if (lib->Mgr.Options & LoadSourceWithDirectory)
            obj->GetSource();
    } catch (const std::exception& e) {
        shell::LogMessage("Load Error: " + lib->Name + ": " + e.what());
    }
}

}  // namespace

void TPBLib::LoadDirectory() {
    Mgr.GetSession().LibraryDirectory(Name, nullptr, 0, &DirectoryCallback, this);
}

void TPBLib::SortEntries() {
    auto& items = Entries.Items();
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        const int ta = EntryTypeOrder(a.Obj->EntryType), tb = EntryTypeOrder(b.Obj->EntryType);
        if (ta != tb)
            return ta < tb;
        return a.Obj->Name < b.Obj->Name;
    });
}

void TPBLib::Assign(const TPBLib& source) {
    Exists = source.Exists;
    // Entries of this library's own that the new list does not hold are freed, once no
    // reference can reach them any more.
    std::vector<TPBObj*> dropped;
    for (const auto& item : Entries)
        if (item.Obj->Lib == this && source.Entries.IndexOfObject(item.Obj) < 0)
            dropped.push_back(item.Obj);
    Entries.Clear();
    for (const auto& item : source.Entries)
        Entries.Add(item.Name, item.Obj);
    FileDate = source.FileDate;
    SyncLibraryRefs(*this);
    for (TPBObj* obj : dropped)
        delete obj;
}

void SyncLibraryRefs(TPBLib& lib) {
    for (int a = 0; a < lib.Mgr.Apps.Count(); ++a) {
        TPBApp* app = lib.Mgr.Apps[a];
        for (int r = 0; r < app->LibRefs.Count(); ++r)
            if (app->LibRefs[r]->Lib == &lib)
                app->LibRefs[r]->SyncObjRefs();
    }
}

// ---- TPBObjRef ----------------------------------------------------------------------

TPBObjRef::TPBObjRef(TPBApp& app, TPBLibRef* libRef, std::string_view name)
    : LibRef(libRef), App(app) {
    if (libRef && libRef->Lib)
        Obj = libRef->Lib->Entries.Find(name);
    if (!Obj) {
        Obj = new TPBObj(name, libRef ? libRef->Lib : nullptr);
        ownsObj_ = true;
    }
}

TPBObjRef::TPBObjRef(TPBApp& app, TPBLibRef* libRef, TPBObj* obj)
    : Obj(obj), LibRef(libRef), App(app) {}

TPBObjRef::~TPBObjRef() {
    if (ownsObj_)
        delete Obj;
}

// ---- TPBLibRef ----------------------------------------------------------------------

TPBLibRef::TPBLibRef(TPBApp& app, std::string_view path) : App(&app) {
    app.LibRefs.Add(path, this);
    Lib = app.Mgr.FindLibrary(path);
    BuildObjRefs();
}

TPBLibRef::~TPBLibRef() {
    App->LibRefs.Remove(this);
    std::vector<TPBObjRef*> refs;
    for (int i = ObjRefs.Count() - 1; i >= 0; --i)
        refs.push_back(ObjRefs[i]);
    ObjRefs.Clear();
    App->ReleaseObjRefs(refs);
}

void TPBLibRef::BuildObjRefs() {
    for (const auto& item : Lib->Entries)
        ObjRefs.Add(item.Obj->Name, new TPBObjRef(*App, this, item.Obj));
}

void TPBLibRef::SyncObjRefs() {
    // How many references each entry of the library still needs.
    std::unordered_map<const TPBObj*, int> wanted;
    for (const auto& item : Lib->Entries)
        ++wanted[item.Obj];

    std::vector<TPBObjRef*> removed;
    for (int i = 0; i < ObjRefs.Count(); ++i) {
        TPBObjRef* ref = ObjRefs[i];
        auto it = wanted.find(ref->Obj);
        if (it != wanted.end() && it->second > 0) {
            --it->second;
        } else {
            ObjRefs.Delete(i--);
            removed.push_back(ref);
        }
    }
    for (int index = 0; index < Lib->Entries.Count(); ++index) {
        TPBObj* entry = Lib->Entries[index];
        int& need = wanted[entry];
        if (need > 0) {
            --need;
            ObjRefs.Insert(index, entry->Name, new TPBObjRef(*App, this, entry));
        }
    }
    // Released last, so that orphaned descendants can find ancestors among the new
    // references.
    App->ReleaseObjRefs(removed);
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

TPBApp::TPBApp(TOrcaMgr& mgr, std::string_view name, int /*kind*/, std::string_view appLib)
    : Mgr(mgr), AppLib(appLib) {
    Name = name;
    Mgr.AddApp(this);
    SystemRoot = new TPBObjRef(*this, nullptr, "System");
    SystemRoot->Parent = SystemRoot;
    SysRefs.Add("System", SystemRoot);
    shell::SetGauge(0, 100, 100);
}

TPBApp::~TPBApp() {
    destroying_ = true;
    if (LinkedApp && LinkedApp->LinkedApp == this) {
        LinkedApp->LinkedApp = nullptr;
        LinkedApp->ReplicationRole = 0;
    }
    while (!LibRefs.Empty())
        delete LibRefs[LibRefs.Count() - 1];
    Mgr.Apps.Remove(this);
    session_.reset();
    for (int i = SysRefs.Count() - 1; i >= 0; --i)
        delete SysRefs[i];
    SysRefs.Clear();
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

TPBObjRef* TPBApp::FindObjRef(std::string_view name, std::string_view libraryPath, int type) {
    return catalogue::FindObjRef(*this, name, libraryPath, type);
}

void TPBApp::BuildHierarchy() {
    catalogue::BuildHierarchy(*this);
}

}  // namespace catalogue
