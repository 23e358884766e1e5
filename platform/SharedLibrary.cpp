#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/Ansi.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace platform {

namespace {

// The folders of the program's App Paths "Path" value, as Windows paths.
std::vector<std::string> AppPathFolders() {
    std::vector<std::string> folders;
    TRegistry registry(TRootKey::LocalMachine);
    if (!registry.OpenKey(
            "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + ProgramFileName(), false))
        return folders;
    const std::string value = registry.ReadString("Path");
    registry.CloseKey();
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(';', start);
        if (end == std::string::npos)
            end = value.size();
        std::string folder(Trim(std::string_view(value).substr(start, end - start)));
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        if (!folder.empty())
            folders.push_back(std::move(folder));
        start = end + 1;
    }
    return folders;
}

bool IsFile(const std::string& host) {
    struct stat st {};
    return !host.empty() && ::stat(host.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

std::string SharedObjectName(std::string_view dllName) {
    std::string name;
    for (char c : dllName.substr(FileNameStart(dllName)))
        name += AsciiLower(c);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0)
        name.resize(name.size() - 4);
    if (name.empty())
        return {};
    if (name.compare(0, 3, "lib") != 0)
        name = "lib" + name;
    if (name.size() < 3 || name.compare(name.size() - 3, 3, ".so") != 0)
        name += ".so";
    return name;
}

TSharedLibrary::~TSharedLibrary() {
    Unload();
}

bool TSharedLibrary::Load(std::string_view dllName) {
    const std::string name = SharedObjectName(dllName);
    if (name.empty() || name.find('\0') != std::string::npos) {
        SetLastErrorText("no library name in \"" + std::string(dllName) + "\"");
        return false;
    }
    // A name with a folder is looked for in that folder only.
    std::vector<std::string> folders;
    const size_t cut = FileNameStart(dllName);
    if (cut > 0) {
        folders.emplace_back(dllName.substr(0, cut));
    } else {
        const std::string program = ProgramFileHostPath();
        if (!program.empty())
            folders.push_back(WindowsPath(std::filesystem::path(program).parent_path().string()));
        for (auto& folder : AppPathFolders())
            folders.push_back(std::move(folder));
    }
    std::string tried;
    for (const auto& folder : folders) {
        std::string windowsPath = folder;
        if (!windowsPath.empty() && !IsSeparator(windowsPath.back()) && windowsPath.back() != ':')
            windowsPath += '\\';
        const std::string host = platform::HostPath(windowsPath + name);
        if (IsFile(host)) {
            if (LoadHostPath(host))
                return true;
            tried += (tried.empty() ? "" : "; ") + LastErrorText();
        }
    }
    if (tried.empty()) {
        std::string list;
        for (const auto& folder : folders)
            list += (list.empty() ? "" : ", ") + folder;
        SetLastErrorText(name + " (for " + std::string(dllName) + ") was not found in " +
                         (list.empty() ? std::string("any folder") : list));
    } else {
        SetLastErrorText("cannot load " + name + ": " + tried);
    }
    return false;
}

bool TSharedLibrary::LoadHostPath(const std::string& hostPath) {
    Unload();
    ::dlerror();
    void* handle = ::dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = ::dlerror();
        SetLastErrorText(reason ? std::string(reason) : "cannot load " + hostPath);
        return false;
    }
    handle_ = handle;
    path_ = hostPath;
    return true;
}

void TSharedLibrary::Unload() {
    if (handle_)
        ::dlclose(handle_);
    handle_ = nullptr;
    path_.clear();
}

void* TSharedLibrary::Symbol(std::string_view name) const {
    if (!handle_ || name.empty() || name.find('\0') != std::string_view::npos)
        return nullptr;
    if (void* address = ::dlsym(handle_, std::string(name).c_str()))
        return address;
    const std::string upper = AnsiUpperCase(name);
    if (upper == name)
        return nullptr;
    return ::dlsym(handle_, upper.c_str());
}

}  // namespace platform
