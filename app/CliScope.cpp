// What the command line's commands share: stdout and stderr, paths, and the scopes and
// objects their operands name.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/CliSupport.h"
#include "build/Rebuild.h"
#include "catalogue/Hierarchy.h"
#include "catalogue/Source.h"
#include "orca/EntryTypes.h"
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "shell/OptionsForm.h"

namespace cli {

int Fail(const std::string& message) {
    ErrorLine("sorvanti-cli: %s\n", message.c_str());
    return ExitFailed;
}

bool Write(std::string_view text) {
    static bool failed = false;
    if (failed)
        return false;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
        failed = true;
        ErrorLine("sorvanti-cli: cannot write the output: %s\n", std::strerror(errno));
    }
    return !failed;
}

std::string TypeName(int type) {
    const orca::TEntryKind* kind = orca::EntryKind(type);
    return kind ? std::string(kind->typeName) : std::to_string(type);
}

std::string WindowsForm(const std::string& path) {
    return !path.empty() && path[0] == '/' ? platform::WindowsPath(path) : path;
}

bool LooksLikePath(const std::string& name) {
    return name.find('\\') != std::string::npos || name.find('/') != std::string::npos ||
           name.find(':') != std::string::npos;
}

catalogue::TPBObjRef* FindObjectRef(catalogue::TPBApp& app, const std::string& name) {
    catalogue::LoadNode(&app);
    for (const auto& lib : app.LibRefs)
        for (const auto& ref : lib.Obj->ObjRefs)
            if (platform::AnsiSameText(ref.Obj->Obj->Name, name))
                return ref.Obj;
    return nullptr;
}

catalogue::TPBLib* FindLibraryFile(catalogue::TOrcaMgr& mgr, const std::string& operand,
                                   std::string* error) {
    catalogue::TPBLib* lib = mgr.FindLibrary(platform::FullWindowsPath(WindowsForm(operand)));
    if (!lib->Exists) {
        *error = "no library " + operand + " (" + lib->Name + " is not a library file)";
        return nullptr;
    }
    if (!lib->EnsureLoaded()) {
        *error = "cannot read the library " + lib->Name;
        return nullptr;
    }
    return lib;
}

catalogue::TPBLibRef* FindLibRef(catalogue::TOrcaMgr& mgr, const catalogue::TPBLib& lib) {
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        catalogue::TPBApp& app = *mgr.Apps[i];
        app.LoadLibraryList();
        for (const auto& item : app.LibRefs)
            if (item.Obj->Lib == &lib) {
                catalogue::LoadNode(item.Obj);
                return item.Obj;
            }
    }
    return nullptr;
}

bool UseTemporaryLibrary(const TInvocation& invocation, std::string* error) {
    if (invocation.HasValue("--temp"))
        shell::OptionsForm().TempLibrary =
            platform::FullWindowsPath(WindowsForm(invocation.Value("--temp")));
    const std::string temp = shell::OptionsForm().TempLibrary;
    if (build::TemporaryLibrary().empty()) {
        *error = temp.empty() ? "no temporary library: give one with --temp LIB"
                              : "the temporary library " + temp + " is not a library file";
        return false;
    }
    return true;
}

bool ResolveScope(catalogue::TOrcaMgr& mgr, const std::string& operand, bool descendants,
                  TScope* scope, std::string* error) {
    const size_t open = operand.find('(');
    if (open != std::string::npos && open > 0 && operand.size() > open + 2 &&
        operand.back() == ')') {
        const std::string owner = operand.substr(0, open);
        const std::string name = operand.substr(open + 1, operand.size() - open - 2);
        if (catalogue::TPBApp* app = !LooksLikePath(owner) ? mgr.FindApp(owner) : nullptr) {
            scope->App = app;
            scope->Ref = FindObjectRef(*app, name);
            if (!scope->Ref) {
                *error = "no object " + name + " on the search path of " + app->Name;
                return false;
            }
            scope->Search.Kind =
                descendants ? search::TSearchScope::Hierarchy : search::TSearchScope::ObjectRef;
            scope->Search.ObjRef = scope->Ref;
            return true;
        }
        if (!LooksLikePath(owner)) {
            *error = "no application " + owner + " in " + mgr.PBIniFile();
            return false;
        }
        if (descendants) {
            *error = "--descendants needs an application: APP(OBJECT)";
            return false;
        }
        scope->Lib = FindLibraryFile(mgr, owner, error);
        if (!scope->Lib)
            return false;
        for (int i = 0; i < scope->Lib->Entries.Count() && !scope->Obj; ++i)
            if (platform::AnsiSameText(scope->Lib->Entries[i]->Name, name))
                scope->Obj = scope->Lib->Entries[i];
        if (!scope->Obj) {
            *error = "no object " + name + " in " + scope->Lib->Name;
            return false;
        }
        scope->Search.Kind = search::TSearchScope::Objects;
        scope->Search.Objs = {scope->Obj};
        return true;
    }
    if (descendants) {
        *error = "--descendants needs an object: APP(OBJECT)";
        return false;
    }
    if (!LooksLikePath(operand)) {
        scope->App = mgr.FindApp(operand);
        if (!scope->App) {
            *error = "no application " + operand + " in " + mgr.PBIniFile();
            return false;
        }
        scope->App->LoadLibraryList();
        scope->Search.Kind = search::TSearchScope::Application;
        scope->Search.App = scope->App;
        return true;
    }
    const std::string windows = platform::FullWindowsPath(WindowsForm(operand));
    if (platform::DirectoryExists(windows)) {
        scope->Search.Kind = search::TSearchScope::DirectoryTree;
        scope->Search.Directory = windows.back() == '\\' ? windows : windows + "\\";
        return true;
    }
    scope->Lib = FindLibraryFile(mgr, operand, error);
    if (!scope->Lib)
        return false;
    scope->Search.Kind = search::TSearchScope::Libraries;
    scope->Search.Libs = {scope->Lib};
    return true;
}

}  // namespace cli
