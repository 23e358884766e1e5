#include "platform/Prefix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "platform/LastError.h"

namespace platform {

namespace {

std::mutex prefixMutex;
std::string prefixDir;       // chosen folder; empty until first use
std::string prefixOverride;  // set by SetPrefixDir
bool layoutChecked = false;

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string ChoosePrefix() {
    if (!prefixOverride.empty())
        return prefixOverride;
    std::string dir = EnvText("SORVANTI_PREFIX");
    if (dir.empty())
        dir = EnvText("WINEPREFIX");
    if (dir.empty()) {
        std::string data = EnvText("XDG_DATA_HOME");
        if (data.empty() || data[0] != '/') {
            // The XDG rules ignore a relative XDG_DATA_HOME.
            std::string home = EnvText("HOME");
            if (home.empty())
                home = std::filesystem::temp_directory_path().string();
            data = home + "/.local/share";
        }
        dir = data + "/sorvanti/prefix";
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir;
}

// Creates whatever part of the layout is missing and leaves existing parts (a real
// Wine prefix) alone.
void EnsureLayout(const std::string& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir + "/drive_c/windows", ec);
    if (ec)
        SetLastErrorText("cannot create the prefix " + dir + ": " + ec.message());
    fs::create_directories(dir + "/dosdevices", ec);
    const std::string driveC = dir + "/dosdevices/c:";
    struct stat st {};
    if (::lstat(driveC.c_str(), &st) != 0) {
        if (::symlink("../drive_c", driveC.c_str()) != 0 && errno != EEXIST)
            SetLastErrorText("cannot create " + driveC);
    }
    const std::string winIni = dir + "/drive_c/windows/win.ini";
    const int fd = ::open(winIni.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0)
        ::close(fd);
}

}  // namespace

const std::string& PrefixDir() {
    std::lock_guard lock(prefixMutex);
    if (prefixDir.empty()) {
        prefixDir = ChoosePrefix();
        layoutChecked = false;
    }
    if (!layoutChecked) {
        EnsureLayout(prefixDir);
        layoutChecked = true;
    }
    return prefixDir;
}

void SetPrefixDir(std::string hostDir) {
    std::lock_guard lock(prefixMutex);
    while (hostDir.size() > 1 && hostDir.back() == '/')
        hostDir.pop_back();
    prefixOverride = std::move(hostDir);
    prefixDir.clear();
    layoutChecked = false;
}

std::string WinIniHostPath() {
    return PrefixDir() + "/drive_c/windows/win.ini";
}

// Our own name: a Wine prefix already holds user.reg and system.reg in Wine's format.
std::string RegistryHostPath() {
    return PrefixDir() + "/sorvanti.reg";
}

std::string ProgramFileHostPath() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.string();
}

std::string ProgramFileName() {
    return std::filesystem::path(ProgramFileHostPath()).filename().string();
}

}  // namespace platform
