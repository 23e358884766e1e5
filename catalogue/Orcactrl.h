#pragma once
// The catalogue: the program's in-memory picture of the PowerBuilder world.
//
//   TOrcaMgr   the catalogue manager (one program-wide instance, OrcaMgr()): the ORCA
//              library and its own session, the applications of pb.ini, every library.
//   TPBApp     an application of pb.ini, with its library references in search order,
//              its own ORCA session and its inheritance hierarchy rooted at "System".
//   TPBLib     a library file, shared by every application that lists it.
//   TPBLibRef  one application's use of one library: one entry reference per entry.
//   TPBObj     a library entry with its directory data and its exported source.
//   TPBObjRef  one entry as one application sees it: the node of the hierarchy.
//
// Ownership is in the types: a TOwnedList owns, a TRefList or a plain pointer only
// refers. The manager owns the applications (Apps) and every library it ever created
// (Libs); an application owns its library references and the library-less entry
// references of its hierarchy (SysRefs); a library reference owns its entry references;
// a library owns its entries. Parent and Children links of the hierarchy never own.
// Objects are created by their owner (TOrcaMgr::AddApp, TOrcaMgr::FindLibrary,
// TPBApp::AddLibRef, ...); no constructor lists itself anywhere.
//
// Leaving the catalogue: an object taken out (an application or a library reference
// leaving pb.ini, an entry reference whose entry is gone, an entry a refresh deleted)
// is handed to the manager (TOrcaMgr::Retire), marked Retired(), and freed at once, or,
// while a walk is in progress (TWalkScope), when the last walk ends. So whatever holds
// a catalogue pointer across the message pump inside a walk scope never reaches freed
// memory; it checks Retired() to learn that the object has left. Whatever frees an entry
// reference first takes it out of the hierarchy: its children lose their parent and are
// attached again to the ancestor their source names (found elsewhere on the path, or a
// class under "System").
//
// Everything runs on the user-interface thread. Long operations let the message loop run
// between objects; the run flag (RunFlag()) cancels hierarchy walks.
//
// The units around these classes have their own headers: PbIni.h (pb.ini commands),
// Source.h (source analysis, loading for the views), Hierarchy.h, Refresh.h (change
// detection timers and the Refresh command), OrcaFunctions.h (ORCA sessions).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/FlagSet.h"
#include "catalogue/ObjList.h"
#include "catalogue/OrcaFunctions.h"
#include "orca/EntryTypes.h"
#include "orca/pborca.h"
#include "platform/DateTime.h"
#include "platform/SharedLibrary.h"
#include "shell/OptionsForm.h"

namespace catalogue {

class TOrcaMgr;
class TPBApp;
class TPBLib;
class TPBLibRef;
class TPBObj;
class TPBObjRef;

// ---- Common bases -------------------------------------------------------------------

// The root of every catalogue object: what the view trees keep in their nodes.
class TObject {
  public:
    virtual ~TObject() = default;
    // The object has left the catalogue (it is no longer in any list of its owner) and
    // is freed when no walk needs it any more.
    bool Retired() const { return retired_; }

  private:
    friend class TOrcaMgr;
    bool retired_ = false;
};

class TPBBase : public TObject {
  public:
    std::string Name;
    // Set on an entry by a library refresh when it changed; nothing clears it.
    bool Redisplay = false;
};

// Catalogue options (TOrcaMgr::Options).
enum class TCatalogueOption : unsigned {
    LoadSourceOnDemand = 1,       // GetSource exports an entry whose source is empty
    AncestorFromSource = 4,       // ancestors are read from the exported source
    LoadSourceWithDirectory = 8,  // every entry is exported while its directory is read
};
using TCatalogueOptions = TFlagSet<TCatalogueOption>;

// Library flags (TPBLib::Flags).
enum class TLibFlag : unsigned {
    Replicated = 2,  // the library takes part in replication
    Changed = 4,     // a refresh found changes
};
using TLibFlags = TFlagSet<TLibFlag>;

// Entry types are the ORCA codes (PBORCA_TYPE); orca/EntryTypes.h describes each.

// The system class of a type: the ancestor assumed when none is found ("" for a type
// outside the eleven).
std::string_view SystemClassName(int entryType);

// The place of a type in a library's entry order: application, datawindow, function,
// project, menu, pipeline, query, structure, user object, window, proxy object.
int EntryTypeOrder(int entryType);

// ---- Entries ------------------------------------------------------------------------

class TPBObj : public TPBBase {
  public:
    // An entry of a library (lib may be null: a system class or an unknown ancestor).
    TPBObj(std::string_view name, TPBLib* lib);

    int EntryType = 0;
    std::string Comment;
    platform::TDateTime CreateTime = 0;
    int32_t Size = 0;
    // The library the entry belongs to (never owning; null for a system class).
    TPBLib* Lib = nullptr;
    PBORCA_ENTRYINFO Info{};
    // The exported source text followed by one zero byte; empty until exported.
    std::string Source;
    int32_t SourceLen = 0;
    // The in-memory source was edited and must be imported back.
    bool Modified = false;
    // The last export failed: GetSource does not export again on demand (a reload does,
    // and a refresh that finds the entry changed), so that one broken entry is reported
    // once, not at every use.
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
    // Exports the entry and replaces Source (Source.cpp).
    void LoadSource();
};

// ---- Libraries ----------------------------------------------------------------------

class TPBLib : public TPBBase {
  public:
    // A library of that path: looks for the file (Exists, FileDate). The manager lists
    // it (FindLibrary); a refresh makes one for itself that nothing lists.
    TPBLib(TOrcaMgr& mgr, std::string_view path);
    TPBLib(const TPBLib&) = delete;
    TPBLib& operator=(const TPBLib&) = delete;

    TOrcaMgr& Mgr;
    bool Exists = false;
    // Entries in entry order (type order, then name in byte order).
    TOwnedList<TPBObj> Entries;
    platform::TDateTime FileDate = 0;
    TLibFlags Flags;
    // Replication: the mirror directory, the library this one was copied from, and
    // whether this library is such a copy.
    std::string MirrorDirectory;
    TPBLib* SourceLib = nullptr;
    uint8_t IsCopy = 0;

    // Reads the directory when no entry is known and the file exists. True when the
    // entries are those of a directory read (now or before); false when the file is
    // missing or its directory could not be read (nothing is kept of a failed read, so
    // the next call tries again).
    bool EnsureLoaded();
    // Reads the directory through the manager's session, appending one entry per
    // object; with exportSources each is exported at once when the catalogue options
    // say so (LoadSourceWithDirectory), without it none is. True when ORCA read the
    // directory; on failure (logged by the session) the entries appended by the failed
    // read are dropped again and the list is as it was.
    bool LoadDirectory(bool exportSources = true);
    void SortEntries();
    // The index of the entry of that name (any case) and type, or -1. A library may hold
    // a window and a menu of one name, so the name alone does not name an entry.
    int IndexOfEntry(std::string_view name, int type) const;
    // Reads the library again and merges the differences into the entries (change
    // detection); every reference to the library is brought in line at once
    // (Refresh.cpp). Entries are the same when name (any case) and type match. Only
    // changed and added entries are exported. An entry with an unsaved edit (Modified)
    // keeps its source and its mark whatever happened to it on disk; the log says so.
    // False when the directory could not be read: entries and FileDate stay as they
    // were, so that the next detection tries again.
    bool Refresh();
};

// The file of a library path: its date-time when it exists as a file; nothing when it
// is missing or is a directory (which no library can be).
std::optional<platform::TDateTime> LibraryFileDate(std::string_view path);
// Whether the library file is a Unicode one (PowerBuilder 10 and later), told by its
// header: after "HDR*" an ANSI library names "PowerBuilder" in single bytes, a Unicode
// one in UTF-16. Nothing when the file cannot be read or has no library header.
std::optional<bool> LibraryIsUnicode(std::string_view path);

// ---- References ---------------------------------------------------------------------

class TPBObjRef : public TObject {
  public:
    // The reference of a library's entry named name (the first of that name); when the
    // library has none, a new entry of that name that only this reference holds. With
    // no library reference, a new library-less entry (a system class).
    TPBObjRef(TPBApp& app, TPBLibRef* libRef, std::string_view name);
    // The reference of a known entry of libRef's library.
    TPBObjRef(TPBApp& app, TPBLibRef* libRef, TPBObj* obj);
    TPBObjRef(const TPBObjRef&) = delete;
    TPBObjRef& operator=(const TPBObjRef&) = delete;

    TPBObj* Obj = nullptr;
    TPBLibRef* LibRef = nullptr;
    TPBApp& App;
    // The ancestor's reference, null until resolved (ResolveParent); "System" is its
    // own parent.
    TPBObjRef* Parent = nullptr;
    // Descendants in the order they were attached.
    TRefList<TPBObjRef> Children;

  private:
    // The entry when no library holds it (a system class or a name a library lacks).
    std::unique_ptr<TPBObj> ownObj_;
};

class TPBLibRef : public TObject {
  public:
    // The application's reference to lib, with one entry reference per entry (the
    // application lists it: TPBApp::AddLibRef).
    TPBLibRef(TPBApp& app, TPBLib& lib);
    TPBLibRef(const TPBLibRef&) = delete;
    TPBLibRef& operator=(const TPBLibRef&) = delete;

    TPBLib* Lib = nullptr;
    TPBApp* App = nullptr;
    TOwnedList<TPBObjRef> ObjRefs;

    // Appends one entry reference per entry of the library.
    void BuildObjRefs();
    // Brings ObjRefs in line with the library's entries: references of entries that
    // are gone leave (TPBApp::ReleaseObjRefs), entries without a reference get one at
    // their place.
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
    // An application and its root "System" (the manager lists it: TOrcaMgr::AddApp).
    TPBApp(TOrcaMgr& mgr, std::string_view name, std::string_view appLib);
    TPBApp(const TPBApp&) = delete;
    TPBApp& operator=(const TPBApp&) = delete;

    TOrcaMgr& Mgr;
    std::string AppLib;
    TOwnedList<TPBObjRef> SysRefs;
    TPBObjRef* SystemRoot = nullptr;
    // Replication pair: 0 none, 1 source of a replica, 2 replica.
    uint8_t ReplicationRole = 0;
    TPBApp* LinkedApp = nullptr;
    TOwnedList<TPBLibRef> LibRefs;

    // name;(application library): the key of Apps.
    std::string AppKey() const;
    // $application library(name): the key of section "Application" in pb.ini.
    std::string PBIniKey() const;

    TOrca& GetSession();
    // Closes the application's session; the next GetSession opens a new one.
    void RenewSession() { session_.reset(); }
    // Reads the library search path from pb.ini and brings LibRefs in line with it
    // (PbIni.cpp).
    void LoadLibraryList();
    // Gives the session the existing libraries and, when all exist, the application.
    void InitSession();
    TPBLibRef* LibRef(int index) const { return LibRefs[index]; }
    void ForEachObjRef(const std::function<void(TPBObjRef&)>& action);

    // A reference to the library of that path (found or created in the manager's
    // Libs), appended to LibRefs with its entry references.
    TPBLibRef* AddLibRef(std::string_view path);
    // Takes the reference out of LibRefs and its entry references out of the hierarchy,
    // and retires it.
    void RemoveLibRef(TPBLibRef* libRef);
    // Takes entry references that already left their lists out of the hierarchy,
    // attaches their surviving children again and retires them (Hierarchy.cpp).
    void ReleaseObjRefs(std::vector<std::unique_ptr<TPBObjRef>> refs);
    // The first reference of the path (libraries in LibRefs order, each in ObjRefs
    // order) whose entry has that upper-case name (AnsiUpperCase) and type; nullptr
    // when no library of the path has one (Hierarchy.cpp).
    TPBObjRef* FindPathObjRefUpper(const std::string& upperName, int type) const;

  private:
    // Upper-case entry name -> references of the whole path in search order, rebuilt
    // when LibRefs or any library's ObjRefs changed: the hierarchy looks every ancestor
    // up once instead of once per library.
    mutable std::unordered_map<std::string, std::vector<TPBObjRef*>> pathIndex_;
    mutable std::vector<std::pair<const TPBLibRef*, uint64_t>> pathIndexLibs_;
    mutable uint64_t pathIndexVersion_ = ~uint64_t{0};
    std::unique_ptr<TOrca> session_;
};

// ---- The manager --------------------------------------------------------------------

class TOrcaMgr : public TObject {
  public:
    // Empty lists, the export buffer, the fixed options; sets the run flag.
    TOrcaMgr();
    // Frees every application (last first), every library and whatever was retired,
    // then releases the ORCA library.
    ~TOrcaMgr() override;
    TOrcaMgr(const TOrcaMgr&) = delete;
    TOrcaMgr& operator=(const TOrcaMgr&) = delete;

    bool OutOfDate = false;
    TCatalogueOptions Options{TCatalogueOption::LoadSourceOnDemand,
                              TCatalogueOption::AncestorFromSource,
                              TCatalogueOption::LoadSourceWithDirectory};
    platform::TDateTime PBIniDate = 0;
    bool DeferRefresh = false;
    // Every library, in creation order. Libraries stay for the whole run.
    TOwnedList<TPBLib> Libs;
    // The buffer every export goes through; it grows to the largest source exported.
    std::vector<char> ExportBuffer;
    // Applications sorted by their key, ignoring case.
    TOwnedList<TPBApp> Apps;
    // pb.ini location and the App Paths set-up of the chosen PowerBuilder version.
    shell::TPBLocation Location;

    // Replication of a library (the replication commands install it): run by change
    // detection for a missing copy and by a refresh of a replicated library.
    std::function<void(TPBLib&)> ReplicateLibrary;

    // The cached pb.ini path (empty until located).
    const std::string& PBIniFile() const { return Location.CachedPBIniFile(); }
    // The pb.ini path, located when not cached yet. Unattended, a pb.ini that cannot be
    // found is logged (once) instead of shown in a message box.
    std::string GetPBIniFile();
    // The text of pb.ini (the located path), or nothing when it is a folder, cannot be
    // read or is UTF-16 text. Then whoever asked keeps the catalogue as it is and the
    // log says why: once per problem while unattended, at every attempt otherwise
    // (PbIni.cpp).
    std::optional<std::string> ReadPBIni(const std::string& pbIni);

    // Loads the ORCA library of the chosen PowerBuilder version and binds its
    // functions; true when they are bound (also when a test bound them). A library that
    // cannot be loaded runs the App Paths set-up, which tells the user; unattended, the
    // failure is logged (once) instead and no set-up runs.
    bool LoadOrcaDll();
    // Whether the loaded ORCA library creates Unicode libraries: that of the version it
    // was loaded for, which a change of the settings does not replace before the next
    // start (the settings' choice when a test bound the functions).
    bool CreatesUnicode() const;
    TOrca& GetSession();

    // The library of that path (ignoring case), created into Libs when absent.
    TPBLib* FindLibrary(std::string_view path);
    TPBLib* OpenLibrary(std::string_view path);
    // The application of an application, library reference or entry reference of a
    // library; null otherwise.
    TPBApp* GetApp(TObject* nodeData) const;

    // The first application of that name (any case), or null.
    TPBApp* FindApp(std::string_view name) const;

    // A new application, listed at its place in Apps.
    TPBApp* AddApp(std::string_view name, std::string_view appLib);
    // Takes the application out of Apps, ends its replication pair and retires it.
    void RemoveApp(TPBApp* app);

    // Builds or updates Apps from pb.ini (PbIni.cpp).
    void LoadApplications();
    // Change detection and refresh (Refresh.cpp). DetectChanges is false when a
    // library it refreshed could not be read (it stays to be refreshed).
    bool DetectChanges();
    void RefreshAll();
    void SetOutOfDate(bool flag);

    // An object that left the catalogue: marked retired (with everything it owns) and
    // freed now, or when the last walk ends while walks are in progress.
    void Retire(std::unique_ptr<TPBApp> app);
    void Retire(std::unique_ptr<TPBLibRef> libRef);
    void Retire(std::unique_ptr<TPBObjRef> ref);
    void Retire(std::unique_ptr<TPBObj> obj);
    // Retired objects still waiting for the walks to end.
    int RetiredCount() const { return static_cast<int>(retired_.size()); }

    // Walks in progress (TWalkScope).
    int WalksInProgress() const { return walks_; }
    // Timer handlers in progress (TUnattendedScope).
    bool Unattended() const { return unattended_ > 0; }

  private:
    friend class TWalkScope;
    friend class TUnattendedScope;
    void Keep(std::unique_ptr<TObject> object);
    // What an unattended run could not do, each logged once until it succeeds again.
    enum TUnattendedFailure {
        PBIniNotFound,
        OrcaNotLoaded,
        PBIniUnreadable,
        UnattendedFailureCount
    };
    void ReportUnattended(TUnattendedFailure failure, const std::string& text);

    std::unique_ptr<TOrca> session_;
    std::unique_ptr<platform::TSharedLibrary> module_;
    std::optional<bool> moduleUnicode_;  // what module_ creates
    std::vector<std::unique_ptr<TObject>> retired_;
    int walks_ = 0;
    int unattended_ = 0;
    std::string unattendedReports_[UnattendedFailureCount];
};

// A walk in progress: a hierarchy walk, a search or a compile run that lets the message
// loop run between objects and holds catalogue pointers across it. While one lives,
// objects leaving the catalogue stay allocated (TOrcaMgr::Retire) and refreshes are put
// off (Refresh.cpp); the last one to end frees what was retired meanwhile.
class TWalkScope {
  public:
    explicit TWalkScope(TOrcaMgr& mgr);
    ~TWalkScope();
    TWalkScope(const TWalkScope&) = delete;
    TWalkScope& operator=(const TWalkScope&) = delete;

  private:
    TOrcaMgr& mgr_;
};

// A run no user started (the change-detection timers): while one lives, no catalogue
// operation opens a message box; what would be shown is logged.
class TUnattendedScope {
  public:
    explicit TUnattendedScope(TOrcaMgr& mgr);
    ~TUnattendedScope();
    TUnattendedScope(const TUnattendedScope&) = delete;
    TUnattendedScope& operator=(const TUnattendedScope&) = delete;

  private:
    TOrcaMgr& mgr_;
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

}  // namespace catalogue
