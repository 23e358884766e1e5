// Executables and dynamic libraries through ORCA.

#include "build/Executable.h"

#include "platform/Files.h"
#include "platform/Paths.h"
#include "shell/Utilities.h"

namespace build {

namespace {

// The folder of a path without a separator at its end ("c:\apps" for "c:\apps\x.pbl").
std::string FolderOf(std::string_view path) {
    std::string dir = shell::ExtractDir(path);
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/'))
        dir.pop_back();
    if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/'))
        dir.pop_back();
    return dir;
}

// The file name of a path without its extension.
std::string BaseName(std::string_view path) {
    const size_t slash = path.find_last_of("\\/:");
    std::string name(path.substr(slash == std::string_view::npos ? 0 : slash + 1));
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.resize(dot);
    return name;
}

}  // namespace

void LinkErrorProc(PBORCA_LINKERR* error, void*) {
    try {
        if (error && error->lpszMessageText)
            shell::LogMessage(error->lpszMessageText);
    } catch (...) {
    }
}

std::string DefaultExecutableName(const catalogue::TPBApp& app) {
    return FolderOf(app.AppLib) + "\\" + app.Name + ".exe";
}

bool CreateExecutable(catalogue::TPBApp& app, std::string executable,
                      std::vector<int32_t> dynamicLibraryFlags, const std::string& resourceFile,
                      const std::string& icon) {
    if (executable.empty())
        executable = DefaultExecutableName(app);
    if (platform::FileExists(executable))
        platform::DeleteFile(executable);
    if (!platform::SetCurrentDir(FolderOf(app.AppLib))) {
        shell::LogMessage("Cannot create " + executable + ": the folder " + FolderOf(app.AppLib) +
                          " cannot be made the current one.");
        shell::ShowStatus("Ready.");
        return false;
    }
    shell::ShowStatus("Creating Executable " + executable);
    if (app.LibRefs.Count() == 0)
        app.LoadLibraryList();
    app.InitSession();
    // Linked into the executable, unless the caller says otherwise.
    dynamicLibraryFlags.resize(static_cast<size_t>(app.LibRefs.Count()), 0);
    const bool ok =
        app.GetSession().ExecutableCreate(executable, icon, resourceFile, &LinkErrorProc, nullptr,
                                          dynamicLibraryFlags, 0) == PBORCA_OK;
    shell::ShowStatus("Ready.");
    return ok;
}

std::string DynamicLibraryName(std::string_view libraryPath) {
    return FolderOf(libraryPath) + "\\" + BaseName(libraryPath) + ".pbd";
}

bool CreateDynamicLibrary(catalogue::TPBLibRef& libRef, const std::string& resourceFile,
                          int32_t flags) {
    shell::ShowStatus("Creating Dynamic Library " + DynamicLibraryName(libRef.Lib->Name));
    libRef.App->InitSession();
    const bool ok = libRef.App->GetSession().DynamicLibraryCreate(libRef.Lib->Name, resourceFile,
                                                                  flags) == PBORCA_OK;
    shell::ShowStatus("Ready.");
    return ok;
}

}  // namespace build
