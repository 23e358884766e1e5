// Library refresh and change detection: libraries whose file date-time changed are read
// again and merged entry by entry into the catalogue, so that open views, references
// and the hierarchy keep their objects.
//
// A refresh reads the library's directory again into a library of its own that nothing
// lists; entries it finds new move over from it, entries that are gone are retired only
// after every application's references to the library were brought in line (their
// references leave the hierarchy, their descendants are attached again): nothing can
// reach a freed entry.
//
// A refresh never runs while a walk is under way (the walk lets the message loop run,
// which may fire the timers): it is put off, "Refresh Needed." shows, and the automatic
// refresh tries again on its next tick.

#include "catalogue/Refresh.h"

#include "catalogue/Orcactrl.h"
#include "platform/Files.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"

namespace catalogue {

namespace {

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
    // Replication may add libraries while the pass runs: the count is read afresh.
    for (int i = 0; i < Libs.Count(); ++i) {
        TPBLib* lib = Libs[i];
        if (std::optional<platform::TDateTime> date = LibraryFileDate(lib->Name)) {
            lib->Exists = true;
            const bool inScope = (onlyReplicated && lib->Flags.Contains(TLibFlag::Replicated)) ||
                                 allLibraries || lib->IsCopy;
            if (*date != lib->FileDate && inScope) {
                if (!DeferRefresh && WalksInProgress() == 0)
                    allRead = lib->Refresh() && allRead;
                else
                    SetOutOfDate(true);
            }
        } else if (lib->IsCopy && lib->SourceLib && ReplicateLibrary) {
            ReplicateLibrary(*lib->SourceLib);
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
