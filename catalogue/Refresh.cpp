// Library refresh and change detection: libraries whose file date-time changed are read
// again and merged entry by entry into the catalogue, so that open views, references
// and the hierarchy keep their objects.
//
// Entries that a refresh removes are freed only after every application's references
// to the library were brought in line (their references leave the hierarchy, their
// descendants are attached again): nothing can reach a freed entry.
//
// A refresh never runs while a hierarchy walk is under way (the walk lets the message
// loop run, which may fire the timers): it is put off, "Refresh Needed." shows, and the
// automatic refresh tries again on its next tick.

#include "catalogue/Orcactrl.h"
#include "platform/Files.h"
#include "shell/options.h"
#include "shell/utilities.h"

namespace catalogue {

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
    DetectChanges();
    LoadApplications();
    SetOutOfDate(false);
}

void TOrcaMgr::DetectChanges() {
    const shell::TOptionsForm& options = shell::OptionsForm();
    const bool onlyReplicated = options.QuentisRefresh.Checked();
    const bool allLibraries = options.AllLibRefresh.Checked();
    // A refresh adds its temporary library to Libs and removes it again: the count is
    // read afresh at every step.
    for (int i = 0; i < Libs.Count(); ++i) {
        TPBLib* lib = Libs[i];
        if (std::optional<platform::TDateTime> date = LibraryFileDate(lib->Name)) {
            lib->Exists = true;
            const bool inScope =
                (onlyReplicated && (lib->Flags & Replicated)) || allLibraries || lib->IsCopy;
            if (*date != lib->FileDate && inScope) {
                if (!DeferRefresh && WalksInProgress() == 0)
                    lib->Refresh();
                else
                    SetOutOfDate(true);
            }
        } else if (lib->IsCopy && lib->SourceLib && ReplicateLibrary) {
            ReplicateLibrary(*lib->SourceLib);
        }
    }
    shell::ShowStatus("Ready.");
}

void TPBLib::Refresh() {
    shell::LogMessage("Refreshing library: " + Name);
    auto fresh = std::make_unique<TPBLib>(Mgr, Name);
    fresh->LoadDirectory();
    FileDate = fresh->FileDate;

    std::vector<TPBObj*> removed;  // freed once no reference reaches them
    std::vector<TPBObj*> matched;  // the fresh copies of entries this library keeps
    for (int i = 0; i < Entries.Count(); ++i) {
        TPBObj* entry = Entries[i];
        const int at = fresh->Entries.IndexOf(entry->Name);
        if (at >= 0) {
            TPBObj* now = fresh->Entries[at];
            if (now->CreateTime != entry->CreateTime || now->Comment != entry->Comment) {
                Flags |= Changed;
                entry->LoadSource();
                shell::LogMessage(Name + "->" + entry->Name + " changed.");
                entry->CreateTime = now->CreateTime;
                entry->Comment = now->Comment;
                entry->Size = now->Size;
                entry->Redisplay = true;
                entry->SourceLen = now->SourceLength();
            }
            fresh->Entries.Delete(at);
            matched.push_back(now);
        } else {
            shell::LogMessage(Name + "->" + entry->Name + " deleted.");
            Entries.Delete(i--);
            if (entry->Lib == this)
                removed.push_back(entry);
            Flags |= Changed;
        }
    }
    while (!fresh->Entries.Empty()) {
        TPBObj* entry = fresh->Entries[0];
        fresh->Entries.Delete(0);
        shell::LogMessage(Name + "->" + entry->Name + " added.");
        entry->Lib = this;
        Entries.Add(entry->Name, entry);
        entry->GetEntryInfo();
        entry->LoadSource();
        Flags |= Changed;
    }
    SortEntries();

    SyncLibraryRefs(*this);
    for (TPBObj* entry : removed)
        delete entry;
    for (TPBObj* entry : matched)
        delete entry;

    if ((Flags & Replicated) && Mgr.ReplicateLibrary) {
        bool replicate = (Flags & Changed) != 0;
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
}

void DetectTimerTimer() {
    TOrcaMgr& mgr = OrcaMgr();
    shell::TOptionsForm& options = shell::OptionsForm();
    mgr.DeferRefresh = true;
    mgr.DetectChanges();
    mgr.LoadApplications();
    if (mgr.OutOfDate && options.AutoRefreshRadioButton.Checked())
        options.AutoRefreshTimer.SetEnabled(true);
}

void AutoRefreshTimerTimer() {
    shell::TOptionsForm& options = shell::OptionsForm();
    if (WalksInProgress() > 0) {
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

void RefreshOrca(const std::function<void()>& refreshViews) {
    shell::PushCursor(shell::crHourGlass);
    if (OrcaMgr().LoadOrcaDll()) {
        AutoRefreshTimerTimer();
        if (refreshViews && WalksInProgress() == 0)
            refreshViews();
    }
    shell::PopCursor();
}

}  // namespace catalogue
