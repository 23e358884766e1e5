// Regenerate, rebuild and Save All Changes.

#include "build/Rebuild.h"

#include <exception>
#include <unordered_set>

#include "build/Companion.h"
#include "catalogue/Hierarchy.h"
#include "platform/Ansi.h"
#include "platform/DateTime.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"

namespace build {

namespace {

bool compileInProgress = false;

// Backs the entry up into the temporary library, compiles it (an import of the program's
// source, or a regeneration), and on failure copies the backup back.
bool Compile(catalogue::TOrca& session, catalogue::TPBObj& obj, bool import) {
    if (!obj.Lib)
        return false;
    const std::string& lib = obj.Lib->Name;
    const std::string what = lib + "->" + obj.Name;
    shell::ShowStatus((import ? "Rebuilding " : "Regenerating ") + what);
    const std::string temp = TemporaryLibrary();
    if (temp.empty()) {
        shell::LogMessage("Not compiled: " + what +
                          ": a Temporary Library is required (see Preferences).");
        return false;
    }
    if (platform::AnsiSameText(temp, lib)) {
        shell::LogMessage("Not compiled: " + what +
                          ": the Temporary Library is the library being built.");
        return false;
    }
    if (import && obj.Source.empty() &&
        obj.Lib->Mgr.Options.Contains(catalogue::TCatalogueOption::LoadSourceOnDemand))
        obj.GetSource();
    if (import && obj.Source.empty()) {
        shell::LogMessage("Not compiled: " + what + ": there is no source to import.");
        return false;
    }
    // An entry of a library of the other kind than the temporary library is backed up in
    // the temporary library's companion of its kind.
    const std::string backup = LibraryForEntriesOf(temp, lib, true);
    if (backup.empty()) {
        shell::LogMessage("Not compiled: " + what + ": no backup could be made beside " + temp +
                          ".");
        return false;
    }
    if (platform::AnsiSameText(backup, lib)) {
        shell::LogMessage("Not compiled: " + what + ": the backup library " + backup +
                          " is the library being built.");
        return false;
    }
    // Without a backup of this very entry, a failed compile could only be "restored" from
    // whatever an earlier run left in the temporary library.
    if (session.EntryCopy(lib, backup, obj.Name, obj.EntryType) != PBORCA_OK) {
        shell::LogMessage("Not compiled: " + what + ": no backup could be made in " + backup + ".");
        return false;
    }
    bool ok = false;
    try {
        ok = import ? session.CompileEntryImport(lib, obj.Name, obj.EntryType, obj.Comment,
                                                 obj.SourceText(), &CompileErrorProc,
                                                 nullptr) == PBORCA_OK
                    : session.CompileEntryRegenerate(lib, obj.Name, obj.EntryType,
                                                     &CompileErrorProc, nullptr) == PBORCA_OK;
    } catch (const catalogue::EOrcaImportFailed&) {
        ok = false;
    } catch (const std::exception& e) {
        shell::LogMessage("Compile of " + what + " failed: " + e.what());
        ok = false;
    }
    if (ok) {
        obj.CreateTime = platform::Now();
        obj.Modified = false;
        return true;
    }
    session.EntryCopy(backup, lib, obj.Name, obj.EntryType);
    if (import)
        shell::LogMessage("Error importing " + lib + ":" + obj.Name);
    return false;
}

}  // namespace

std::string CompileErrorLine(const PBORCA_COMPERR& error) {
    return "Compile error level:" + std::to_string(error.iLevel) +
           ";  Message #:" + (error.lpszMessageNumber ? error.lpszMessageNumber : "") +
           ";  Message:" + (error.lpszMessageText ? error.lpszMessageText : "") +
           ";  Column:" + std::to_string(error.iColumnNumber) +
           ";  Line:" + std::to_string(error.iLineNumber);
}

void CompileErrorProc(PBORCA_COMPERR* error, void*) {
    // Called from inside ORCA's C code: nothing may leave it by exception.
    try {
        if (error)
            shell::LogMessage(CompileErrorLine(*error));
    } catch (...) {
    }
}

bool CompileInProgress() {
    return compileInProgress;
}

void SetCompileInProgress(bool value) {
    compileInProgress = value;
}

std::string TemporaryLibrary() {
    const std::string temp = shell::OptionsForm().TempLibrary;
    return !temp.empty() && catalogue::LibraryFileDate(temp) ? temp : std::string();
}

bool RegenerateEntry(catalogue::TPBObjRef& ref) {
    if (!ref.Obj || !ref.Obj->Lib || !ref.LibRef)
        return false;
    return Compile(ref.App.GetSession(), *ref.Obj, false);
}

bool RebuildEntry(catalogue::TPBObjRef& ref) {
    if (!ref.Obj || !ref.Obj->Lib || !ref.LibRef)
        return false;
    // A fresh session, set up again, for every object rebuilt.
    ref.App.RenewSession();
    ref.App.InitSession();
    return Compile(ref.App.GetSession(), *ref.Obj, true);
}

bool RebuildObject(catalogue::TPBObj& obj) {
    if (!obj.Lib)
        return false;
    return Compile(obj.Lib->Mgr.GetSession(), obj, true);
}

// ---- Compile runs ---------------------------------------------------------------------

std::vector<catalogue::TPBObjRef*> EntriesOfLibRef(catalogue::TPBLibRef& libRef) {
    std::vector<catalogue::TPBObjRef*> refs;
    for (int i = 0; i < libRef.ObjRefs.Count(); ++i)
        refs.push_back(libRef.ObjRef(i));
    return refs;
}

std::vector<catalogue::TPBObjRef*> EntriesOfApp(catalogue::TPBApp& app) {
    std::vector<catalogue::TPBObjRef*> refs;
    for (int i = 0; i < app.LibRefs.Count(); ++i)
        for (catalogue::TPBObjRef* ref : EntriesOfLibRef(*app.LibRef(i)))
            refs.push_back(ref);
    return refs;
}

namespace {

void AddBranch(catalogue::TPBObjRef& ref, std::vector<catalogue::TPBObjRef*>& refs,
               std::unordered_set<const catalogue::TPBObjRef*>& seen) {
    if (!seen.insert(&ref).second)
        return;
    if (ref.LibRef && ref.Obj && ref.Obj->Lib)
        refs.push_back(&ref);
    for (const auto& child : ref.Children)
        AddBranch(*child.Obj, refs, seen);
}

}  // namespace

std::vector<catalogue::TPBObjRef*> EntriesOfBranch(catalogue::TPBObjRef& root) {
    std::vector<catalogue::TPBObjRef*> refs;
    std::unordered_set<const catalogue::TPBObjRef*> seen;
    AddBranch(root, refs, seen);
    return refs;
}

std::vector<catalogue::TPBObjRef*> EntriesOfHits(const std::vector<search::TSearchResult>& results,
                                                 std::span<const int> rows, bool* noMaster) {
    std::vector<catalogue::TPBObjRef*> refs;
    std::unordered_set<int> chosen(rows.begin(), rows.end());
    if (noMaster)
        *noMaster = false;
    catalogue::TPBObjRef* last = nullptr;
    for (size_t i = 0; i < results.size(); ++i) {
        catalogue::TPBObjRef* ref = results[i].ObjRef();
        if (!ref) {
            if (noMaster)
                *noMaster = true;
            break;
        }
        if (chosen.count(static_cast<int>(i)) && ref != last) {
            refs.push_back(ref);
            last = ref;
        }
    }
    return refs;
}

TCompileCount CompileEntries(const std::vector<catalogue::TPBObjRef*>& refs, bool regenerate) {
    TCompileCount count;
    SetCompileInProgress(true);
    {
        catalogue::TWalkScope walk(catalogue::OrcaMgr());
        for (catalogue::TPBObjRef* ref : refs) {
            shell::ProcessMessages();
            if (!catalogue::RunFlag()) {
                count.Stopped = true;
                break;
            }
            if (ref->Retired() || !ref->Obj || ref->Obj->Retired())
                continue;
            const bool ok = regenerate ? RegenerateEntry(*ref) : RebuildEntry(*ref);
            ok ? ++count.Compiled : ++count.Failed;
        }
    }
    SetCompileInProgress(false);
    shell::ShowStatus("Ready.");
    return count;
}

TSaveCount SaveAllChanges(catalogue::TOrcaMgr& mgr) {
    TSaveCount count;
    const auto counted = [&](bool ok) { ok ? ++count.Saved : ++count.Failed; };
    catalogue::TWalkScope walk(mgr);
    std::vector<catalogue::TPBApp*> apps;
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        apps.push_back(mgr.Apps[i]);
    std::unordered_set<const catalogue::TPBObj*> tried;
    for (catalogue::TPBApp* app : apps) {
        if (!catalogue::RunFlag())
            break;
        if (app->Retired() || !app->SystemRoot)
            continue;
        catalogue::WalkDescendants(*app->SystemRoot, [&](catalogue::TPBObjRef& ref) {
            if (ref.Obj && ref.Obj->Modified && tried.insert(ref.Obj).second)
                counted(RebuildEntry(ref));
        });
    }
    // What no hierarchy reached: through an application that lists the library, else
    // through the manager's own session.
    for (int i = 0; i < mgr.Libs.Count() && catalogue::RunFlag(); ++i) {
        catalogue::TPBLib* lib = mgr.Libs[i];
        std::vector<catalogue::TPBObj*> modified;
        for (int j = 0; j < lib->Entries.Count(); ++j)
            if (lib->Entries[j]->Modified && !tried.count(lib->Entries[j]))
                modified.push_back(lib->Entries[j]);
        for (catalogue::TPBObj* obj : modified) {
            if (!catalogue::RunFlag())
                break;
            tried.insert(obj);
            catalogue::TPBObjRef* ref = nullptr;
            for (catalogue::TPBApp* app : apps)
                for (int k = 0; !ref && !app->Retired() && k < app->LibRefs.Count(); ++k)
                    if (app->LibRef(k)->Lib == lib)
                        ref = app->LibRef(k)->FindObjRef(obj->Name, obj->EntryType);
            counted(ref && ref->Obj == obj ? RebuildEntry(*ref) : RebuildObject(*obj));
            shell::ProcessMessages();
        }
    }
    count.Stopped = !catalogue::RunFlag();
    if (count.Saved + count.Failed > 0 || count.Stopped)
        shell::LogMessage("Save All Changes: " + std::to_string(count.Saved) + " saved, " +
                          std::to_string(count.Failed) + " failed" +
                          (count.Stopped ? ", stopped before the end." : "."));
    return count;
}

}  // namespace build
