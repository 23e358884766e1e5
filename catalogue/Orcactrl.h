#pragma once
// The catalogue: the program's in-memory picture of the PowerBuilder world.
//
//   TOrcaMgr   the catalogue manager (one program-wide instance, OrcaMgr()): the ORCA
//              library and its own session, the applications of pb.ini, every library.
//   TPBApp     an application of pb.ini, with its library references in search order,
//              its own ORCA session and its inheritance hierarchy rooted at "System".
//   TPBLib     a library file, shared by every application that lists it; owns its
//              entries.
//   TPBLibRef  one application's use of one library; owns one entry reference per
//              entry of the library.
//   TPBObj     a library entry with its directory data and its exported source.
//   TPBObjRef  one entry as one application sees it: the node of the hierarchy.
//
// Ownership: the manager owns the applications (Apps) and, for the whole run, every
// library it ever created (Libs); an application owns its library references and the
// library-less entry references of its hierarchy (SysRefs); a library reference owns its
// entry references; a library owns the entries whose Lib it is. Parent and Children
// links of the hierarchy never own. Whatever frees an entry reference first takes it
// out of the hierarchy: its children lose their parent and are attached again to the
// ancestor their source names (found elsewhere on the path, or a class under "System").
//
// Everything runs on the user-interface thread. Long operations let the message loop run
// between objects; the run flag (RunFlag()) cancels hierarchy walks.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/Pborca.h"
#include "orca/pborca.h"
#include "platform/Ansi.h"
#include "platform/DateTime.h"
#include "platform/SharedLibrary.h"
#include "shell/options.h"

namespace catalogue {

class TOrcaMgr;
class TPBApp;
class TPBLib;
class TPBLibRef;
class TPBObj;
class TPBObjRef;

// ---- Lists --------------------------------------------------------------------------

// A list of objects, each under a name (the list's key). It never frees its objects:
// the owner of a list frees what it owns. Lookups by name ignore letter case
// (Windows-1252) and give the first match.
template <class T>
class TObjList {
  public:
    struct Item {
        std::string Name;
        T* Obj;
    };

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    T* operator[](int index) const { return items_.at(static_cast<size_t>(index)).Obj; }
    const std::string& Name(int index) const { return items_.at(static_cast<size_t>(index)).Name; }

    void Add(std::string_view name, T* obj) {
        ++version_;
        items_.push_back({std::string(name), obj});
    }
    void Insert(int index, std::string_view name, T* obj) {
        ++version_;
        index = std::clamp(index, 0, Count());
        items_.insert(items_.begin() + index, Item{std::string(name), obj});
    }
    void Delete(int index) {
        ++version_;
        items_.erase(items_.begin() + index);
    }
    // Takes the object out of the list; false when it is not listed.
    bool Remove(const T* obj) {
        const int i = IndexOfObject(obj);
        if (i < 0)
            return false;
        Delete(i);
        return true;
    }
    void Move(int from, int to) {
        if (from == to)
            return;
        ++version_;
        Item item = std::move(items_.at(static_cast<size_t>(from)));
        items_.erase(items_.begin() + from);
        items_.insert(items_.begin() + std::clamp(to, 0, Count()), std::move(item));
    }
    void Clear() {
        ++version_;
        items_.clear();
    }
    // Changes with every change of the list (for indexes kept beside it).
    uint64_t Version() const { return version_; }

    int IndexOf(std::string_view name) const;
    int IndexOfObject(const T* obj) const {
        for (size_t i = 0; i < items_.size(); ++i)
            if (items_[i].Obj == obj)
                return static_cast<int>(i);
        return -1;
    }
    T* Find(std::string_view name) const {
        const int i = IndexOf(name);
        return i < 0 ? nullptr : items_[static_cast<size_t>(i)].Obj;
    }

    // Direct access; the list counts it as a change.
    std::vector<Item>& Items() {
        ++version_;
        return items_;
    }
    const std::vector<Item>& Items() const { return items_; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

  private:
    std::vector<Item> items_;
    uint64_t version_ = 0;
};

template <class T>
int TObjList<T>::IndexOf(std::string_view name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (platform::AnsiSameText(items_[i].Name, name))
            return static_cast<int>(i);
    return -1;
}

// ---- Common bases -------------------------------------------------------------------

// The root of every catalogue object: what the view trees keep in their nodes.
class TObject {
  public:
    virtual ~TObject() = default;
};

class TPBBase : public TObject {
  public:
    std::string Name;
    // Set on an entry by a library refresh when it changed; nothing clears it.
    bool Redisplay = false;
};

// Catalogue options (TOrcaMgr::Options).
enum : unsigned {
    LoadSourceOnDemand = 1,       // GetSource exports an entry whose source is empty
    AncestorFromSource = 4,       // ancestors are read from the exported source
    LoadSourceWithDirectory = 8,  // every entry is exported while its directory is read
};

// Library flags (TPBLib::Flags).
enum : unsigned {
    Replicated = 2,  // the library takes part in replication
    Changed = 4,     // a refresh found changes
};

// Entry types (the ORCA codes).
enum : int {
    otApplication = 0,
    otDataWindow = 1,
    otFunction = 2,
    otMenu = 3,
    otQuery = 4,
    otStructure = 5,
    otUserObject = 6,
    otWindow = 7,
    otPipeline = 8,
    otProject = 9,
    otProxyObject = 10,
};

// The system class of each entry type: the ancestor assumed when none is found, and the
// order of SysRefs after BuildHierarchy.
inline constexpr std::string_view SystemClassNames[11] = {
    "application", "datawindow", "function_object", "menu",    "query",       "structure",
    "UserObject",  "Window",     "pipeline",        "project", "proxy_object"};
// The system class name of a type ("" for a type outside 0..10).
std::string_view SystemClassName(int entryType);

// The place of a type in a library's entry order: application, datawindow, function,
// project, menu, pipeline, query, structure, user object, window, proxy object.
int EntryTypeOrder(int entryType);

// ---- Entries ------------------------------------------------------------------------

class TPBObj : public TPBBase {
  public:
    // An entry of a library (lib may be null: a system class or an unknown ancestor).
    TPBObj(std::string_view name, TPBLib* lib);
    ~TPBObj() override = default;

    int EntryType = 0;
    std::string Comment;
    platform::TDateTime CreateTime = 0;
    int32_t Size = 0;
    TPBLib* Lib = nullptr;
    PBORCA_ENTRYINFO Info{};
    // The exported source text followed by one zero byte; empty until exported.
    std::string Source;
    int32_t SourceLen = 0;
    // The in-memory source was edited and must be imported back.
    bool Modified = false;
    // The last export failed: GetSource does not export again on demand (a reload or a
    // refresh does), so that one broken entry is reported once, not at every use.
    bool LoadFailed = false;

    // The information block, asked of ORCA (unchanged when ORCA fails).
    const PBORCA_ENTRYINFO& GetEntryInfo();
    // The source, exported first when it is empty (for a library entry).
    const std::string& GetSource();
    // The source text without its zero byte (exporting first when needed).
    std::string_view SourceText();
    // The exported text's length, or the information block's source size when nothing
    // could be exported.
    int32_t SourceLength();
    // Exports the entry and replaces Source.
    void LoadSource();
};

// ---- Libraries ----------------------------------------------------------------------

class TPBLib : public TPBBase {
  public:
    // Looks for the file (Exists, FileDate) and joins the manager's Libs.
    TPBLib(TOrcaMgr& mgr, std::string_view path);
    // Leaves Libs and frees the entries it owns.
    ~TPBLib() override;
    TPBLib(const TPBLib&) = delete;
    TPBLib& operator=(const TPBLib&) = delete;

    TOrcaMgr& Mgr;
    bool Exists = false;
    // Entries in entry order (type order, then name in byte order).
    TObjList<TPBObj> Entries;
    platform::TDateTime FileDate = 0;
    unsigned Flags = 0;
    // Replication: the mirror directory, the library this one was copied from, and
    // whether this library is such a copy.
    std::string MirrorDirectory;
    TPBLib* SourceLib = nullptr;
    uint8_t IsCopy = 0;

    // Reads the directory when no entry is known and the file exists.
    void EnsureLoaded();
    // Reads the directory through the manager's session, appending one entry per
    // object (exported at once with LoadSourceWithDirectory).
    void LoadDirectory();
    void SortEntries();
    // Reads the library again and merges the differences into the entries (change
    // detection); every reference to the library is brought in line at once.
    void Refresh();
    // Copies Exists, the list of entries (the same entry objects, which stay owned by
    // their own library) and FileDate.
    virtual void Assign(const TPBLib& source);
};

// Brings every application's references to the library in line with its entries.
void SyncLibraryRefs(TPBLib& lib);

// The file of a library path: its date-time when it exists as a file; nothing when it
// is missing or is a directory (which no library can be).
std::optional<platform::TDateTime> LibraryFileDate(std::string_view path);

// ---- References ---------------------------------------------------------------------

class TPBObjRef : public TObject {
  public:
    // The reference of a library's entry named name (the first of that name); when the
    // library has none, a new entry of that name that only this reference holds. With
    // no library reference, a new library-less entry (a system class).
    TPBObjRef(TPBApp& app, TPBLibRef* libRef, std::string_view name);
    // The reference of a known entry of libRef's library.
    TPBObjRef(TPBApp& app, TPBLibRef* libRef, TPBObj* obj);
    ~TPBObjRef() override;
    TPBObjRef(const TPBObjRef&) = delete;
    TPBObjRef& operator=(const TPBObjRef&) = delete;

    TPBObj* Obj = nullptr;
    TPBLibRef* LibRef = nullptr;
    TPBApp& App;
    // The ancestor's reference, null until resolved (ResolveParent); "System" is its
    // own parent.
    TPBObjRef* Parent = nullptr;
    // Descendants in the order they were attached (not owned).
    TObjList<TPBObjRef> Children;

  private:
    bool ownsObj_ = false;
};

class TPBLibRef : public TObject {
  public:
    // Joins app's LibRefs under path, finds or creates the shared library and builds
    // one entry reference per entry.
    TPBLibRef(TPBApp& app, std::string_view path);
    // Leaves the application's LibRefs and frees its entry references (taking them out
    // of the hierarchy).
    ~TPBLibRef() override;
    TPBLibRef(const TPBLibRef&) = delete;
    TPBLibRef& operator=(const TPBLibRef&) = delete;

    TPBLib* Lib = nullptr;
    TPBApp* App = nullptr;
    TObjList<TPBObjRef> ObjRefs;

    // Appends one entry reference per entry of the library.
    void BuildObjRefs();
    // Brings ObjRefs in line with the library's entries: references of entries that
    // are gone are freed, entries without a reference get one at their place.
    void SyncObjRefs();
    // The first reference whose entry has that name (ignoring case) and type.
    TPBObjRef* FindObjRef(std::string_view name, int type) const;
    // The same for a name already in upper case (AnsiUpperCase).
    TPBObjRef* FindObjRefUpper(const std::string& upperName, int type) const;
    TPBObjRef* ObjRef(int index) const { return ObjRefs[index]; }

  private:
    // Upper-case entry name -> references in ObjRefs order, rebuilt when ObjRefs changed:
    // the hierarchy looks every ancestor up in every library of the path.
    mutable std::unordered_map<std::string, std::vector<TPBObjRef*>> index_;
    mutable uint64_t indexVersion_ = ~uint64_t{0};
};

// ---- Applications -------------------------------------------------------------------

class TPBApp : public TPBBase {
  public:
    // Joins the manager's Apps (sorted by AppKey) and creates the root "System". kind
    // is accepted and not used.
    TPBApp(TOrcaMgr& mgr, std::string_view name, int kind, std::string_view appLib);
    // Frees the library references (last first), leaves Apps, closes the session and
    // frees the hierarchy's system classes.
    ~TPBApp() override;
    TPBApp(const TPBApp&) = delete;
    TPBApp& operator=(const TPBApp&) = delete;

    TOrcaMgr& Mgr;
    std::string AppLib;
    TObjList<TPBObjRef> SysRefs;
    TPBObjRef* SystemRoot = nullptr;
    // Replication pair: 0 none, 1 source of a replica, 2 replica.
    uint8_t ReplicationRole = 0;
    TPBApp* LinkedApp = nullptr;
    TObjList<TPBLibRef> LibRefs;

    // name;(application library): the key of Apps.
    std::string AppKey() const;
    // $application library(name): the key of section "Application" in pb.ini.
    std::string PBIniKey() const;

    TOrca& GetSession();
    // Reads the library search path from pb.ini and brings LibRefs in line with it.
    void LoadLibraryList();
    // Gives the session the existing libraries and, when all exist, the application.
    void InitSession();
    TPBLibRef* LibRef(int index) const { return LibRefs[index]; }
    void ForEachObjRef(const std::function<void(TPBObjRef&)>& action);
    // The reference to use for an ancestor name (see Hierarchy.cpp).
    TPBObjRef* FindObjRef(std::string_view name, std::string_view libraryPath, int type);
    void BuildHierarchy();

    // Frees entry references that already left their lists: takes them out of the
    // hierarchy and attaches their surviving children again.
    void ReleaseObjRefs(const std::vector<TPBObjRef*>& refs);
    // The first reference of the path (libraries in LibRefs order, each in ObjRefs
    // order) whose entry has that upper-case name (AnsiUpperCase) and type; nullptr
    // when no library of the path has one.
    TPBObjRef* FindPathObjRefUpper(const std::string& upperName, int type) const;

  private:
    // Upper-case entry name -> references of the whole path in search order, rebuilt
    // when LibRefs or any library's ObjRefs changed: the hierarchy looks every ancestor
    // up once instead of once per library.
    mutable std::unordered_map<std::string, std::vector<TPBObjRef*>> pathIndex_;
    mutable std::vector<std::pair<const TPBLibRef*, uint64_t>> pathIndexLibs_;
    mutable uint64_t pathIndexVersion_ = ~uint64_t{0};
    std::unique_ptr<TOrca> session_;
    bool destroying_ = false;
};

// ---- The manager --------------------------------------------------------------------

class TOrcaMgr : public TObject {
  public:
    // Empty lists, the export buffer, the fixed options; sets the run flag.
    TOrcaMgr();
    // Frees every application (last first), every library, then releases the ORCA
    // library.
    ~TOrcaMgr() override;
    TOrcaMgr(const TOrcaMgr&) = delete;
    TOrcaMgr& operator=(const TOrcaMgr&) = delete;

    bool OutOfDate = false;
    unsigned Options = LoadSourceOnDemand | AncestorFromSource | LoadSourceWithDirectory;
    platform::TDateTime PBIniDate = 0;
    bool DeferRefresh = false;
    // Every library, in creation order (not owned through the list; see the class notes).
    TObjList<TPBLib> Libs;
    // The buffer every export goes through; it grows to the largest source exported.
    std::vector<char> ExportBuffer;
    // Applications sorted by their key, ignoring case; owned.
    TObjList<TPBApp> Apps;
    // pb.ini location and the App Paths set-up of the chosen PowerBuilder version.
    shell::TPBLocation Location;

    // Replication of a library (the replication commands install it): run by change
    // detection for a missing copy and by a refresh of a replicated library.
    std::function<void(TPBLib&)> ReplicateLibrary;

    // The cached pb.ini path (empty until located).
    const std::string& PBIniFile() const { return Location.CachedPBIniFile(); }
    std::string GetPBIniFile() { return Location.GetPBIniFile(); }
    std::string LocatePBIni() { return Location.LocatePBIni(); }
    bool SetupPBAppPath() { return Location.SetupPBAppPath(); }

    // Loads the ORCA library of the chosen PowerBuilder version and binds its
    // functions; true when they are bound (also when a test bound them).
    bool LoadOrcaDll();
    bool OrcaLoaded() const;
    TOrca& GetSession();

    TPBLib* FindLibrary(std::string_view path);
    TPBLib* OpenLibrary(std::string_view path);
    // The application of an application, library reference or entry reference of a
    // library; null otherwise.
    TPBApp* GetApp(TObject* nodeData) const;

    // Builds or updates Apps from pb.ini (see PbIni.cpp).
    void LoadApplications();
    // Change detection and refresh (see Refresh.cpp).
    void DetectChanges();
    void RefreshAll();
    void SetOutOfDate(bool flag);

    // Inserts an application at its place in Apps (its constructor calls this).
    void AddApp(TPBApp* app);

  private:
    std::unique_ptr<TOrca> session_;
    std::unique_ptr<platform::TSharedLibrary> module_;
};

// ---- Program-wide state -------------------------------------------------------------

// The catalogue manager, created on first use.
TOrcaMgr& OrcaMgr();
// Creates the catalogue manager anew (start of the program).
TOrcaMgr& CreateOrcaMgr();
// Frees the catalogue manager and everything in it (end of the program, tests).
void ResetOrcaMgr();
bool HasOrcaMgr();

// The run flag: hierarchy walks, save-all and compile runs go on while it is true; the
// stop command clears it. Creating the manager sets it.
bool RunFlag();
void SetRunFlag(bool value);

// While a hierarchy walk runs (it lets the message loop run between objects), a refresh
// would free entries and references the walk still holds: refreshes are put off until
// no walk runs (see Refresh.cpp).
int WalksInProgress();
class TWalkScope {
  public:
    TWalkScope();
    ~TWalkScope();
    TWalkScope(const TWalkScope&) = delete;
    TWalkScope& operator=(const TWalkScope&) = delete;
};

// ---- pb.ini commands (PbIni.cpp) ----------------------------------------------------

// Deletes the application's key from pb.ini, ends its replication pair and frees it.
// False (with a log line, nothing freed) when pb.ini cannot be written.
bool DeleteAppFromPBIni(TPBApp* app);
// Removes the library from the application's search path in pb.ini (the entry moves to
// the end of its section) and frees the reference. False (with a log line, nothing
// freed) when pb.ini cannot be read or written.
bool DeleteLibFromPBIni(TPBLibRef* libRef);
// Name and application library of a pb.ini key "$library(name)"; false when the key
// does not have that form.
bool ParseApplicationKey(std::string_view key, std::string& name, std::string& appLib);

// ---- Source analysis and hierarchy (Hierarchy.cpp) ----------------------------------

// The ancestor named by the entry's source ("global type NAME from ANCESTOR"), else by
// ORCA's hierarchy query, else the system class of its type.
std::string AncestorName(TPBObjRef& ref);
// Loads a catalogue object for the views: an application's library list and hierarchy;
// a library reference's library and references.
void LoadNode(TObject* nodeData);
TPBObjRef* ResolveParent(TPBObjRef& ref);
TPBObjRef* FindObjRef(TPBApp& app, std::string_view name, std::string_view libraryPath, int type);
void BuildHierarchy(TPBApp& app);
// The ancestor just below "System" ("System" for itself).
TPBObjRef* RootClass(TPBObjRef& ref);
// Applies the action to every descendant, depth first, while the run flag is set, letting
// the message loop run after each.
void WalkDescendants(TPBObjRef& ref, const std::function<void(TPBObjRef&)>& action);

// ---- Change detection timers and the Refresh command (Refresh.cpp) ------------------

// DetectTimer: marks what changed; arms AutoRefreshTimer when a change waits and
// automatic refresh is chosen.
void DetectTimerTimer();
// AutoRefreshTimer: refreshes everything with both timers stopped.
void AutoRefreshTimerTimer();
// The frame's Refresh command: refreshes the catalogue, then refreshViews (the open
// application views' trees, in screen order), under the hourglass.
void RefreshOrca(const std::function<void()>& refreshViews);

}  // namespace catalogue
