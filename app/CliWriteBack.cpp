// The write-back commands: import, regenerate and rebuild, executables and dynamic
// libraries, check-out and check-in, each through the window's own operation (build/),
// ORCA's messages reaching stderr through the log.

#include <cstdio>

#include "app/CliSupport.h"
#include "build/CheckOut.h"
#include "build/Executable.h"
#include "build/Rebuild.h"
#include "catalogue/Hierarchy.h"
#include "catalogue/OrcaFunctions.h"
#include "catalogue/Source.h"
#include "orca/OrcaObjects.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "shell/Utilities.h"

namespace cli {

namespace {

catalogue::TPBApp* App(catalogue::TOrcaMgr& mgr, const std::string& name, std::string* error) {
    catalogue::TPBApp* app = mgr.FindApp(name);
    if (!app)
        *error = "no application " + name + " in " + mgr.PBIniFile();
    return app;
}

catalogue::TPBLibRef* LibRefOfOperand(catalogue::TOrcaMgr& mgr, const std::string& operand,
                                      std::string* error) {
    catalogue::TPBLib* lib = FindLibraryFile(mgr, operand, error);
    if (!lib)
        return nullptr;
    catalogue::TPBLibRef* libRef = FindLibRef(mgr, *lib);
    if (!libRef)
        *error = lib->Name + " is on the library list of no application in " + mgr.PBIniFile();
    return libRef;
}

// Imports one exported source file into lib; false after saying why. noBackup: why an
// entry that exists could not be backed up (empty when it can).
bool ImportFile(catalogue::TOrcaMgr& mgr, catalogue::TPBLib& lib, const std::string& file,
                const std::string& noBackup) {
    const std::string host = file[0] == '/' ? file : platform::HostPath(file);
    const std::optional<std::string> bytes = platform::ReadHostFile(host);
    if (!bytes) {
        Fail("cannot read " + file);
        return false;
    }
    orca::ExportFile parsed = orca::ParseExportFile(*bytes);
    // A UTF-8 file comes to the calls in the code page, what it lacks as HEXASCII escapes
    // (which a Unicode library turns back into its characters).
    if (parsed.encoding == orca::ExportEncoding::Utf8) {
        std::string why;
        if (!orca::StoredTexts(orca::ExportFile(parsed), orca::PblKind::Ansi, &parsed.entryName,
                               &parsed.comment, &parsed.source, &why)) {
            Fail(file + ": " + why + "; not imported");
            return false;
        }
    }
    const std::string entryName =
        !parsed.entryName.empty() ? parsed.entryName : host.substr(host.find_last_of('/') + 1);
    bool isSource = false;
    const int type = orca::EntryTypeOfName(entryName, &isSource);
    if (!isSource || type < 0) {  // 0 is an application
        Fail(file + ": " + entryName + " is not the name of an exported source (.sr*)");
        return false;
    }
    const std::string name(orca::ObjectName(entryName));
    const int index = lib.IndexOfEntry(name, type);
    if (index >= 0) {
        // An entry there already: the window's rebuild, with its backup and copy back.
        if (!noBackup.empty()) {
            Fail(file + ": not imported: " + name + " exists in " + lib.Name + " and " + noBackup);
            return false;
        }
        catalogue::TPBObj& obj = *lib.Entries[index];
        obj.Source = parsed.source + '\0';
        obj.SourceLen = static_cast<int32_t>(parsed.source.size());
        obj.Comment = parsed.comment;
        obj.Modified = true;
        return build::RebuildObject(obj);
    }
    // A new entry: nothing to back up; a failed import leaves no entry.
    shell::ShowStatus("Importing " + lib.Name + "->" + name);
    try {
        return mgr.GetSession().CompileEntryImport(lib.Name, name, type, parsed.comment,
                                                   parsed.source, &build::CompileErrorProc,
                                                   nullptr) == PBORCA_OK;
    } catch (const catalogue::EOrcaImportFailed&) {
        return false;
    }
}

// The entries a compile scope names, in the window's order; false and *error when the
// scope has no application to compile through.
bool CompileScope(catalogue::TOrcaMgr& mgr, const TInvocation& inv,
                  std::vector<catalogue::TPBObjRef*>* refs, std::string* error) {
    TScope scope;
    if (!ResolveScope(mgr, inv.Operands[0], inv.Has("--descendants"), &scope, error))
        return false;
    if (scope.Ref) {
        *refs = inv.Has("--descendants") ? build::EntriesOfBranch(*scope.Ref)
                                         : std::vector<catalogue::TPBObjRef*>{scope.Ref};
    } else if (scope.App) {
        catalogue::LoadNode(scope.App);
        *refs = build::EntriesOfApp(*scope.App);
    } else if (scope.Lib && !scope.Obj) {
        catalogue::TPBLibRef* libRef = FindLibRef(mgr, *scope.Lib);
        if (!libRef) {
            *error = std::string(build::NoMasterMessage) + " (" + scope.Lib->Name +
                     " is on the library list of no application)";
            return false;
        }
        *refs = build::EntriesOfLibRef(*libRef);
    } else {
        *error = std::string(build::NoMasterMessage) + " (give APP, APP(OBJECT) or a library)";
        return false;
    }
    return true;
}

}  // namespace

int ImportCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    std::string error;
    catalogue::TPBLib* lib = FindLibraryFile(mgr, inv.Operands[0], &error);
    if (!lib)
        return Fail(error);
    // Entries that exist are rebuilt, which needs the backup.
    std::string noBackup;
    UseTemporaryLibrary(inv, &noBackup);
    int imported = 0, failed = 0;
    for (size_t i = 1; i < inv.Operands.size(); ++i) {
        ImportFile(mgr, *lib, inv.Operands[i], noBackup) ? ++imported : ++failed;
    }
    ErrorLine("sorvanti-cli: %d imported, %d failed, into %s\n", imported, failed,
              lib->Name.c_str());
    return failed == 0 ? ExitOk : ExitFailed;
}

int CompileCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    std::string error;
    std::vector<catalogue::TPBObjRef*> refs;
    if (!CompileScope(mgr, inv, &refs, &error) || !UseTemporaryLibrary(inv, &error))
        return Fail(error);
    const bool regenerate = inv.Command == "regenerate";
    const build::TCompileCount count = build::CompileEntries(refs, regenerate);
    ErrorLine("sorvanti-cli: %d %s, %d failed\n", count.Compiled,
              regenerate ? "regenerated" : "rebuilt", count.Failed);
    return count.Failed == 0 && !count.Stopped ? ExitOk : ExitFailed;
}

int ExeCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    std::string error;
    catalogue::TPBApp* app = App(mgr, inv.Operands[0], &error);
    if (!app)
        return Fail(error);
    app->LoadLibraryList();
    const std::string out = inv.HasValue("--out")
                                ? platform::FullWindowsPath(WindowsForm(inv.Value("--out")))
                                : build::DefaultExecutableName(*app);
    if (!build::CreateExecutable(*app, out))
        return Fail("the executable " + out + " could not be built");
    ErrorLine("sorvanti-cli: built %s\n", out.c_str());
    return ExitOk;
}

int PbdCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    std::string error;
    catalogue::TPBLibRef* libRef = LibRefOfOperand(mgr, inv.Operands[0], &error);
    if (!libRef)
        return Fail(error);
    const std::string pbd = build::DynamicLibraryName(libRef->Lib->Name);
    if (!build::CreateDynamicLibrary(*libRef))
        return Fail("the dynamic library " + pbd + " could not be built");
    ErrorLine("sorvanti-cli: built %s\n", pbd.c_str());
    return ExitOk;
}

int CheckOutCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    std::string error;
    catalogue::TPBApp* app = App(mgr, inv.Operands[0], &error);
    if (!app)
        return Fail(error);
    catalogue::TPBObjRef* ref = FindObjectRef(*app, inv.Operands[1]);
    if (!ref)
        return Fail("no object " + inv.Operands[1] + " on the search path of " + app->Name);
    const std::string dest = platform::FullWindowsPath(WindowsForm(inv.Operands[2]));
    if (!build::CheckOutEntry(*ref, dest, inv.Value("--user")))
        return Fail(ref->Obj->Name + " could not be checked out into " + dest);
    ErrorLine("sorvanti-cli: %s checked out from %s into %s by %s\n", ref->Obj->Name.c_str(),
              ref->Obj->Lib->Name.c_str(), dest.c_str(), inv.Value("--user").c_str());
    return ExitOk;
}

int CheckInCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    std::string error;
    catalogue::TPBApp* app = App(mgr, inv.Operands[0], &error);
    if (!app)
        return Fail(error);
    catalogue::TPBObjRef* ref = FindObjectRef(*app, inv.Operands[1]);
    if (!ref)
        return Fail("no object " + inv.Operands[1] + " on the search path of " + app->Name);
    if (!build::CheckInEntry(*ref))
        return Fail(ref->Obj->Name + " could not be checked in from " +
                    std::string(build::CheckInLibrary));
    ErrorLine("sorvanti-cli: %s checked in into %s\n", ref->Obj->Name.c_str(),
              ref->Obj->Lib->Name.c_str());
    return ExitOk;
}

int CheckedOutCommand(catalogue::TOrcaMgr& mgr, const TInvocation& inv) {
    std::string error;
    catalogue::TPBLibRef* libRef = LibRefOfOperand(mgr, inv.Operands[0], &error);
    if (!libRef)
        return Fail(error);
    std::vector<build::TCheckedOut> entries;
    if (!build::ListCheckOutEntries(*libRef, &entries))
        return Fail("the check-out records of " + libRef->Lib->Name + " could not be read");
    std::string out;
    for (const build::TCheckedOut& e : entries)
        out += e.Entry + "\t" + e.User + "\t" + e.Library + "\t" + std::string(1, e.Mode) + "\n";
    return Write(out) ? ExitOk : ExitFailed;
}

}  // namespace cli
