// Library refresh and change detection: libraries whose file date-time changed are read
// again and merged entry by entry into the catalogue, so that open views, references
// and the hierarchy keep their objects.
//
// A refresh reads the library's directory again into a library of its own that nothing
// lists; entries it finds new move over from it, entries that are gone are retired only
// after every application's references to the library were brought in line (their
// references leave the hierarchy, their descendants are attached again): nothing can
// reach a freed entry. Only the directory is read into it; what changed or came is
// exported afterwards, once. An entry with an unsaved edit keeps its source and its mark
// whatever the library did to it (the log says so, and the user reloads or saves). A
// directory that cannot be read (PowerBuilder may be writing the library) changes
// nothing, not even the library's date, so the next pass reads it again.
//
// A refresh never runs while a walk is under way (the walk lets the message loop run,
// which may fire the timers): it is put off, "Refresh Needed." shows, and the automatic
// refresh tries again on its next tick.

#include "catalogue/Refresh.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/Orcactrl.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"

namespace catalogue {

namespace {

// Names compared as the file search compares them: letter case folded in ASCII.
struct TFoldedHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const {
        uint64_t hash = 14695981039346656037u;  // FNV-1a
        for (char c : text)
            hash = (hash ^ static_cast<unsigned char>(platform::AsciiLower(c))) * 1099511628211u;
        return static_cast<size_t>(hash);
    }
};
struct TFoldedEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const {
        return platform::AsciiSameText(a, b);
    }
};

// The file dates of one detection pass. A folder holding two or more of the catalogue's
// libraries of one extension is listed once (FindFiles of *.ext) instead of searched once
// for each of them, which reads the whole folder every time. Names are looked up in the
// listing as the search matches them (letter case folded in ASCII). A library alone in
// its folder, one the listing lacks, or one that came during the pass is searched by
// itself (LibraryFileDate). Listings are dropped whenever the pass changes files (a
// refresh, a replication). The pass holds views of the libraries' names, which do not
// change while it runs (libraries never leave the manager's list).
class TPassDates {
  public:
    explicit TPassDates(const TOwnedList<TPBLib>& libs) {
        libs_.reserve(static_cast<size_t>(libs.Count()));
        for (const auto& item : libs) {
            const std::string_view path = item.Obj->Name;
            const size_t nameStart = NameStart(path);
            TGroup* group = nullptr;
            if (nameStart != std::string_view::npos) {
                // The folder and the extension ("c:\\apps\\" and ".pbl") name the group.
                const std::string_view folder = path.substr(0, nameStart);
                const std::string_view extension = path.substr(path.rfind('.'));
                auto [at, added] = groups_.try_emplace(TGroupKey{folder, extension});
                group = &at->second;
                if (added)
                    group->pattern = std::string(folder) + "*" + std::string(extension);
                ++group->libraries;
            }
            libs_.push_back({group, nameStart});
        }
    }

    // The date of the library at that index of the manager's list, as LibraryFileDate
    // gives it.
    std::optional<platform::TDateTime> Date(int index, const std::string& path) {
        const TLib lib = static_cast<size_t>(index) < libs_.size()
                             ? libs_[static_cast<size_t>(index)]
                             : TLib{nullptr, 0};
        if (lib.group && lib.group->libraries >= 2) {
            TGroup& group = *lib.group;
            if (!group.listed) {
                group.files.clear();
                for (platform::TSearchRec& rec :
                     platform::FindFiles(group.pattern, platform::faAnyFile)) {
                    // The first of names equal but for case, as the search gives it.
                    group.files.try_emplace(std::move(rec.Name), TFile{rec.Attr, rec.Time});
                }
                group.listed = true;
            }
            auto file = group.files.find(std::string_view(path).substr(lib.nameStart));
            if (file != group.files.end()) {
                if (file->second.attr & platform::faDirectory)
                    return std::nullopt;
                return file->second.time;
            }
        }
        return LibraryFileDate(path);
    }

    // The pass changed files: what was listed is listed again when next needed.
    void Forget() {
        for (auto& group : groups_)
            group.second.listed = false;
    }

  private:
    struct TFile {
        uint32_t attr;
        platform::TDateTime time;
    };
    struct TGroup {
        int libraries = 0;
        std::string pattern;  // folder\*.ext
        bool listed = false;
        std::unordered_map<std::string, TFile, TFoldedHash, TFoldedEqual> files;
    };
    struct TLib {
        TGroup* group;  // null: searched by itself
        size_t nameStart;
    };
    // Folder and extension, as views of a library's name.
    struct TGroupKey {
        std::string_view folder, extension;
    };
    struct TGroupHash {
        size_t operator()(const TGroupKey& key) const {
            return TFoldedHash()(key.folder) * 31 + TFoldedHash()(key.extension);
        }
    };
    struct TGroupEqual {
        bool operator()(const TGroupKey& a, const TGroupKey& b) const {
            return TFoldedEqual()(a.folder, b.folder) && TFoldedEqual()(a.extension, b.extension);
        }
    };

    // Where the file name of a library path starts; npos for a path that is not listed
    // with others: names with wildcards are no library, and names without an extension
    // or ending in a dot match in ways of their own, so those are searched by themselves.
    static size_t NameStart(std::string_view path) {
        const size_t slash = path.find_last_of("\\/:");
        const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
        const size_t dot = path.rfind('.');
        if (path.find_first_of("*?") != std::string_view::npos || dot == std::string_view::npos ||
            dot < nameStart || dot + 1 >= path.size())
            return std::string_view::npos;
        return nameStart;
    }

    std::vector<TLib> libs_;
    std::unordered_map<TGroupKey, TGroup, TGroupHash, TGroupEqual> groups_;
};

// Brings every application's references to the library in line with its entries.
void SyncLibraryRefs(TPBLib& lib) {
    for (const auto& app : lib.Mgr.Apps)
        for (const auto& libRef : app.Obj->LibRefs)
            if (libRef.Obj->Lib == &lib)
                libRef.Obj->SyncObjRefs();
}

// The AutoRefreshTimer's work, for the timer and for the Refresh command.
void AutoRefresh() {
    shell::TOptionsForm& options = shell::OptionsForm();
    if (OrcaMgr().WalksInProgress() > 0) {
        // Tried again on the next tick, once the walk has ended.
        options.AutoRefreshTimer.SetEnabled(true);
        OrcaMgr().SetOutOfDate(true);
        return;
    }
    options.AutoRefreshTimer.SetEnabled(false);
    options.DetectTimer.SetEnabled(false);
    OrcaMgr().RefreshAll();
    options.DetectTimer.SetEnabled(true);
}

}  // namespace

void TOrcaMgr::SetOutOfDate(bool flag) {
    shell::ShowRefreshNeeded(flag);
    OutOfDate = flag;
}

void TOrcaMgr::RefreshAll() {
    if (!LoadOrcaDll())
        return;
    if (WalksInProgress() > 0) {
        shell::WriteDebug("Refresh put off: a hierarchy walk is running.");
        SetOutOfDate(true);
        return;
    }
    DeferRefresh = false;
    const bool allRead = DetectChanges();
    LoadApplications();
    // A library that could not be read is still to be refreshed.
    SetOutOfDate(!allRead);
}

bool TOrcaMgr::DetectChanges() {
    bool allRead = true;
    const shell::TOptionsForm& options = shell::OptionsForm();
    const bool onlyReplicated = options.QuentisRefresh.Checked();
    const bool allLibraries = options.AllLibRefresh.Checked();
    TPassDates dates(Libs);
    // Replication may add libraries while the pass runs: the count is read afresh.
    for (int i = 0; i < Libs.Count(); ++i) {
        TPBLib* lib = Libs[i];
        if (std::optional<platform::TDateTime> date = dates.Date(i, lib->Name)) {
            lib->Exists = true;
            const bool inScope = (onlyReplicated && lib->Flags.Contains(TLibFlag::Replicated)) ||
                                 allLibraries || lib->IsCopy;
            if (*date != lib->FileDate && inScope) {
                if (!DeferRefresh && WalksInProgress() == 0) {
                    // A replicated library is copied by its refresh: files change.
                    const bool replicates =
                        lib->Flags.Contains(TLibFlag::Replicated) && ReplicateLibrary;
                    allRead = lib->Refresh() && allRead;
                    if (replicates)
                        dates.Forget();
                } else {
                    SetOutOfDate(true);
                }
            }
        } else if (lib->IsCopy && lib->SourceLib && ReplicateLibrary) {
            ReplicateLibrary(*lib->SourceLib);
            dates.Forget();
        }
    }
    shell::ShowStatus("Ready.");
    return allRead;
}

bool TPBLib::Refresh() {
    shell::LogMessage("Refreshing library: " + Name);
    // The directory alone: only the entries found changed or added are exported below.
    TPBLib fresh(Mgr, Name);
    if (!fresh.Exists || !fresh.LoadDirectory(/*exportSources=*/false)) {
        // PowerBuilder may be writing the library: an empty read is no deletion of every
        // entry. FileDate stays, so the next detection pass reads it again.
        shell::LogMessage("Library not refreshed: the directory of " + Name +
                          " could not be read; it is read again at the next detection.");
        return false;
    }
    FileDate = fresh.FileDate;

    std::vector<std::unique_ptr<TPBObj>> removed;  // retired once no reference reaches them
    for (int i = 0; i < Entries.Count(); ++i) {
        TPBObj* entry = Entries[i];
        const int at = fresh.IndexOfEntry(entry->Name, entry->EntryType);
        if (at >= 0) {
            const TPBObj* now = fresh.Entries[at];
            if (now->CreateTime != entry->CreateTime || now->Comment != entry->Comment) {
                Flags |= TLibFlag::Changed;
                entry->CreateTime = now->CreateTime;
                entry->Comment = now->Comment;
                entry->Size = now->Size;
                entry->Redisplay = true;
                if (entry->Modified) {
                    // The unsaved edit stays (source, length and mark); the user reloads
                    // the entry or saves it over the library's version.
                    entry->GetEntryInfo();
                    shell::LogMessage(Name + "->" + entry->Name +
                                      " changed in the library under an unsaved edit; the edit "
                                      "is kept (reload the object to drop it, or save it).");
                } else {
                    // LoadSource sets SourceLen from what it exported (0 when it failed).
                    entry->LoadSource();
                    shell::LogMessage(Name + "->" + entry->Name + " changed.");
                }
            }
            // The fresh copy goes with the temporary library.
            fresh.Entries.Take(at);
        } else if (entry->Modified) {
            // Kept with its edit: saving it puts it back into the library.
            Flags |= TLibFlag::Changed;
            shell::LogMessage(Name + "->" + entry->Name +
                              " deleted from the library under an unsaved edit; the edit is "
                              "kept (save it to put the object back, or reload it).");
        } else {
            shell::LogMessage(Name + "->" + entry->Name + " deleted.");
            removed.push_back(Entries.Take(i--));
            Flags |= TLibFlag::Changed;
        }
    }
    while (!fresh.Entries.Empty()) {
        std::unique_ptr<TPBObj> added = fresh.Entries.Take(0);
        const std::string name = added->Name;
        shell::LogMessage(Name + "->" + name + " added.");
        added->Lib = this;
        TPBObj* entry = Entries.Add(name, std::move(added));
        entry->LoadSource();  // asks for the information block first
        Flags |= TLibFlag::Changed;
    }
    SortEntries();

    SyncLibraryRefs(*this);
    for (auto& entry : removed)
        Mgr.Retire(std::move(entry));

    if (Flags.Contains(TLibFlag::Replicated) && Mgr.ReplicateLibrary) {
        bool replicate = Flags.Contains(TLibFlag::Changed);
        if (!replicate) {
            std::string root = shell::OptionsForm().ReplicationPath;
            if (!root.empty() && root.back() == '\\')
                root.pop_back();
            replicate =
                !shell::FileFound(root + "\\" + (Name.size() > 3 ? Name.substr(3) : std::string()));
        }
        if (replicate)
            Mgr.ReplicateLibrary(*this);
    }
    return true;
}

void DetectTimerTimer() {
    TOrcaMgr& mgr = OrcaMgr();
    TUnattendedScope unattended(mgr);
    shell::TOptionsForm& options = shell::OptionsForm();
    mgr.DeferRefresh = true;
    mgr.DetectChanges();
    mgr.LoadApplications();
    if (mgr.OutOfDate && options.AutoRefreshRadioButton.Checked())
        options.AutoRefreshTimer.SetEnabled(true);
}

void AutoRefreshTimerTimer() {
    TUnattendedScope unattended(OrcaMgr());
    AutoRefresh();
}

void RefreshOrca(const std::function<void()>& refreshViews) {
    shell::PushCursor(shell::crHourGlass);
    if (OrcaMgr().LoadOrcaDll()) {
        AutoRefresh();
        if (refreshViews && OrcaMgr().WalksInProgress() == 0)
            refreshViews();
    }
    shell::PopCursor();
}

}  // namespace catalogue
