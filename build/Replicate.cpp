// Application replication.

#include "build/Replicate.h"

#include "build/Companion.h"
#include "catalogue/PbIni.h"
#include "catalogue/Source.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"

namespace build {

namespace {

std::string FileNameOf(std::string_view path) {
    const size_t slash = path.find_last_of("\\/:");
    return std::string(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
}

std::string WithoutTrailingSeparator(std::string path) {
    if (!path.empty() && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

bool Refuse(std::string_view message, bool preferences) {
    shell::ShowNotice(message);
    if (preferences)
        shell::ShellUI().OpenPreferences();
    return false;
}

}  // namespace

std::string ReplicaPath(std::string_view replicationPath, std::string_view libraryPath) {
    return WithoutTrailingSeparator(std::string(replicationPath)) + "\\" +
           std::string(libraryPath.substr(std::min<size_t>(3, libraryPath.size())));
}

std::string MirrorDirectory(std::string_view replicationPath, std::string_view libraryPath) {
    // One separator after the replication directory, also when it ends with one, so that
    // the catalogue and pb.ini name each copy by the path ReplicateLibrary writes.
    const std::string dir = shell::ExtractDir(libraryPath);
    return WithoutTrailingSeparator(std::string(replicationPath)) + "\\" +
           WithoutTrailingSeparator(dir.substr(std::min<size_t>(3, dir.size())));
}

void ReplicateLibrary(catalogue::TPBLib& lib) {
    const std::string target = ReplicaPath(shell::OptionsForm().ReplicationPath, lib.Name);
    shell::ShowStatus("Replicating " + lib.Name + " to " + target + ".");
    if (shell::CopyFileWithStatus(lib.Name, target, true)) {
        lib.Flags = catalogue::TLibFlags{catalogue::TLibFlag::Replicated};
        shell::LogMessage("Replicated " + lib.Name + " to " + target + ".");
        return;
    }
    platform::ForceDirectories(shell::ExtractDir(target));
    shell::LogMessage("Attempted to copy " + lib.Name + " to " + target + ".");
}

void InstallReplication(catalogue::TOrcaMgr& mgr) {
    mgr.ReplicateLibrary = [](catalogue::TPBLib& lib) { ReplicateLibrary(lib); };
}

catalogue::TPBApp* ReplicateApplication(catalogue::TOrcaMgr& mgr, catalogue::TPBApp& app) {
    const shell::TOptionsForm& options = shell::OptionsForm();
    const std::string& repl = options.ReplicationPath;
    std::string checkOut = options.CheckOutLibrary;
    if (repl.empty() || !platform::DirectoryExists(repl))
        return Refuse("Replication Directory is incorrect.  See Preferences.", true), nullptr;
    if (checkOut.empty() || !platform::FileExists(checkOut))
        return Refuse("Check-Out Library is incorrect.  See Preferences.", true), nullptr;
    if (!platform::FileExists(app.AppLib))
        return Refuse(app.Name + " in library " + app.AppLib + " is an invalid application.",
                      false),
               nullptr;
    if (platform::AnsiSameText(checkOut, app.AppLib))
        return Refuse("You cannot replicate a replication application.", false), nullptr;
    // The application entry goes to a library of its own library's kind.
    checkOut = LibraryForEntriesOf(checkOut, app.AppLib, true);
    if (checkOut.empty())
        return Refuse("Check-Out Library is incorrect.  See Preferences.", true), nullptr;
    if (platform::AnsiSameText(checkOut, app.AppLib))
        return Refuse("You cannot replicate a replication application.", false), nullptr;
    shell::LogMessage("Replicating application: " + app.AppLib + ":" + app.Name);
    if (!platform::SetCurrentDir(shell::ExtractDir(app.AppLib))) {
        shell::LogMessage("Replication stopped: " + shell::ExtractDir(app.AppLib) +
                          " cannot be made the current folder.");
        return nullptr;
    }
    if (app.LibRefs.Count() == 0)
        app.LoadLibraryList();
    std::string libraryList = checkOut + ";";
    app.ReplicationRole = 1;
    for (int i = 0; i < app.LibRefs.Count(); ++i) {
        catalogue::TPBLibRef* libRef = app.LibRef(i);
        catalogue::TPBLib& source = *libRef->Lib;
        shell::ShowStatus("Preparing to replicate library: " + source.Name);
        catalogue::LoadNode(libRef);
        if (!source.Exists)
            continue;
        source.Flags = catalogue::TLibFlags{catalogue::TLibFlag::Replicated};
        source.MirrorDirectory = MirrorDirectory(repl, source.Name);
        platform::ForceDirectories(source.MirrorDirectory);
        const std::string target = source.MirrorDirectory + "\\" + FileNameOf(source.Name);
        catalogue::TPBLib* copy = mgr.FindLibrary(target);
        copy->SourceLib = &source;
        if (!platform::FileExists(target)) {
            ReplicateLibrary(source);
            copy->Exists = platform::FileExists(target);
            if (copy->Exists) {
                if (const auto date = catalogue::LibraryFileDate(target))
                    copy->FileDate = *date;
                copy->EnsureLoaded();
            }
        }
        copy->IsCopy = 1;
        libraryList += target + ";";
    }
    const std::string pbIni = mgr.GetPBIniFile();
    platform::WritePrivateProfileString("Application", "AppName", app.Name, pbIni);
    platform::WritePrivateProfileString("Application", "AppLib", checkOut, pbIni);
    platform::WritePrivateProfileString("Application", "DefLib", checkOut, pbIni);
    platform::WritePrivateProfileString("Application", "$" + checkOut + "(" + app.Name + ")",
                                        libraryList, pbIni);
    app.GetSession().EntryCopy(app.AppLib, checkOut, app.Name, PBORCA_APPLICATION);

    catalogue::TPBApp* replica = nullptr;
    for (int i = 0; i < mgr.Apps.Count() && !replica; ++i)
        if (platform::AnsiSameText(mgr.Apps[i]->Name, app.Name) &&
            platform::AnsiSameText(mgr.Apps[i]->AppLib, checkOut))
            replica = mgr.Apps[i];
    if (!replica)
        replica = mgr.AddApp(app.Name, checkOut);
    replica->ReplicationRole = 2;
    replica->LinkedApp = &app;
    app.LinkedApp = replica;
    replica->LoadLibraryList();
    // Each copy is paired with the source library it records (not by position: a source
    // library that does not exist has no copy).
    for (int i = 0; i < replica->LibRefs.Count(); ++i) {
        catalogue::TPBLibRef* libRef = replica->LibRef(i);
        catalogue::LoadNode(libRef);
        if (catalogue::TPBLib* source = libRef->Lib->SourceLib; source && libRef->Lib->IsCopy)
            source->FileDate = libRef->Lib->FileDate;
    }
    shell::ShowStatus("Ready.");
    return replica;
}

void SaveReplicationLinks(catalogue::TOrcaMgr& mgr) {
    platform::TRegIniFile& registry = shell::RegIniFile();
    registry.EraseSection("Quentis");
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        const catalogue::TPBApp* app = mgr.Apps[i];
        if (app->ReplicationRole != 1 || !app->LinkedApp)
            continue;
        registry.WriteString("Quentis", app->AppLib + "(" + app->Name + ")",
                             app->LinkedApp->AppLib + "(" + app->LinkedApp->Name + ")");
    }
}

}  // namespace build
