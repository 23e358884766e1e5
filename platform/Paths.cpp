#include "platform/Paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/Text.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

bool IsDriveLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A Windows path taken apart: either a drive or a UNC share, and the components below.
struct TWinPath {
    char drive = 0;  // lower case; 0 for a UNC path
    std::string server, share;
    std::vector<std::string> parts;
};

std::vector<std::string> SplitComponents(std::string_view text) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i]))
            ++i;
        const size_t start = i;
        while (i < text.size() && !IsSeparator(text[i]))
            ++i;
        if (i > start)
            parts.emplace_back(text.substr(start, i - start));
    }
    return parts;
}

// Appends components to a path, taking "." and ".." out; ".." at the root stays there.
void AppendComponents(std::vector<std::string>& parts, const std::vector<std::string>& more) {
    for (const auto& part : more) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
}

std::mutex currentDirMutex;
std::string currentDir;  // Windows form; empty until set, then the host's is used

std::string CurrentDirText() {
    {
        std::lock_guard lock(currentDirMutex);
        if (!currentDir.empty())
            return currentDir;
    }
    std::error_code ec;
    const auto cwd = fs::current_path(ec);
    if (ec)
        return {};
    return WindowsPath(cwd.string());
}

std::optional<TWinPath> Parse(std::string_view path, int depth = 0);

std::optional<TWinPath> CurrentDirParsed(int depth) {
    if (depth > 2)
        return std::nullopt;
    const std::string cwd = CurrentDirText();
    if (cwd.empty())
        return std::nullopt;
    return Parse(cwd, depth + 1);
}

std::optional<TWinPath> Parse(std::string_view path, int depth) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return std::nullopt;
    TWinPath result;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        std::string_view rest = path.substr(2);
        // Device-namespace forms: \\?\c:\x, \\.\c:\x and \\?\UNC\server\share\x.
        if (rest.size() >= 2 && (rest[0] == '?' || rest[0] == '.') && IsSeparator(rest[1])) {
            rest = rest.substr(2);
            if (rest.size() >= 4 && AsciiSameText(rest.substr(0, 3), "UNC") &&
                IsSeparator(rest[3])) {
                rest = rest.substr(4);
            } else if (rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == ':') {
                return Parse(rest, depth);
            } else {
                return std::nullopt;  // a device (\\.\pipe\x), never a file
            }
        }
        auto parts = SplitComponents(rest);
        // "?" and "." name the device namespace, not a server.
        if (parts.size() < 2 || parts[0] == "." || parts[0] == ".." || parts[0] == "?" ||
            parts[1] == "." || parts[1] == "..")
            return std::nullopt;
        result.server = parts[0];
        result.share = parts[1];
        AppendComponents(result.parts, {parts.begin() + 2, parts.end()});
        return result;
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        result.drive = AsciiLower(path[0]);
        std::string_view rest = path.substr(2);
        if (rest.empty() || !IsSeparator(rest[0])) {
            // "c:name" is relative to the current directory when it is on that drive,
            // else to the drive's root.
            auto cwd = CurrentDirParsed(depth);
            if (cwd && cwd->drive == result.drive)
                result = *cwd;
        }
        AppendComponents(result.parts, SplitComponents(rest));
        return result;
    }
    auto cwd = CurrentDirParsed(depth);
    if (!cwd)
        return std::nullopt;
    result = *cwd;
    if (IsSeparator(path[0]))
        result.parts.clear();  // root of the current drive
    AppendComponents(result.parts, SplitComponents(path));
    return result;
}

std::string Format(const TWinPath& path) {
    std::string text;
    if (path.drive != 0) {
        text = std::string(1, path.drive) + ":";
        if (path.parts.empty())
            return text + "\\";
    } else {
        text = "\\\\" + path.server + "\\" + path.share;
    }
    for (const auto& part : path.parts)
        text += "\\" + part;
    return text;
}

std::string JoinHost(const std::string& dir, const std::string& name) {
    if (!dir.empty() && dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

// The folder a link of the prefix (dosdevices/c:, unc/server/share) stands for: a
// relative link is resolved against the link's own folder, lexically, so that the
// mapped paths read as the prefix's own (…/prefix/drive_c/…).
std::optional<std::string> LinkedFolder(const std::string& link) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) != 0)
        return std::nullopt;
    if (!S_ISLNK(st.st_mode))
        return link;
    std::error_code ec;
    fs::path target = fs::read_symlink(link, ec);
    if (ec)
        return std::nullopt;
    if (target.is_relative())
        target = fs::path(link).parent_path() / target;
    std::string text = target.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::optional<std::string> DriveFolder(char drive) {
    if (drive == 'z')
        return std::string("/");
    const std::string devices = PrefixDir() + "/dosdevices/";
    if (auto dir = LinkedFolder(devices + drive + ":"))
        return dir;
    const char upper = static_cast<char>(drive - 0x20);
    return LinkedFolder(devices + upper + ":");
}

// The entry of a folder named like name: its exact name when it exists, else the
// entries equal to it without regard to case, the least in byte order winning so that
// the choice does not depend on the order the folder lists them in.
std::optional<std::string> MatchEntry(const std::string& dir, const std::string& name) {
    struct stat st {};
    if (::lstat(JoinHost(dir, name).c_str(), &st) == 0)
        return name;
    DIR* handle = ::opendir(dir.c_str());
    if (!handle)
        return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(handle)) {
        const std::string_view entryName(entry->d_name);
        if (entryName == "." || entryName == "..")
            continue;
        // Host names are usually UTF-8: only ASCII letters fold, never bytes above 0x7F.
        if (AsciiSameText(entryName, name) && (!best || entryName < *best))
            best = std::string(entryName);
    }
    ::closedir(handle);
    return best;
}

// Appends components to a host folder, matching each existing one without regard to
// case; from the first that does not exist on, components are kept as given.
std::string MapComponents(std::string dir, const std::vector<std::string>& parts) {
    // Usually the path exists as written: then each component matches exactly, and one
    // look at the whole path stands for one per component.
    std::string exact = dir;
    for (const auto& part : parts)
        exact = JoinHost(exact, part);
    struct stat st {};
    if (!parts.empty() && ::lstat(exact.c_str(), &st) == 0)
        return exact;
    bool matching = true;
    for (const auto& part : parts) {
        if (matching) {
            if (auto entry = MatchEntry(dir, part)) {
                dir = JoinHost(dir, *entry);
                continue;
            }
            matching = false;
        }
        dir = JoinHost(dir, part);
    }
    return dir;
}

std::optional<std::string> ShareFolder(const std::string& server, const std::string& share) {
    const std::string unc = PrefixDir() + "/unc";
    auto serverEntry = MatchEntry(unc, server);
    if (!serverEntry)
        return std::nullopt;
    auto serverDir = LinkedFolder(JoinHost(unc, *serverEntry));
    if (!serverDir)
        return std::nullopt;
    auto shareEntry = MatchEntry(*serverDir, share);
    if (!shareEntry)
        return std::nullopt;
    return LinkedFolder(JoinHost(*serverDir, *shareEntry));
}

bool IsWithin(const std::string& path, const std::string& dir, std::string& rest) {
    if (dir == "/") {
        rest = path.substr(1);
        return !path.empty() && path[0] == '/';
    }
    if (path.compare(0, dir.size(), dir) != 0)
        return false;
    if (path.size() == dir.size()) {
        rest.clear();
        return true;
    }
    if (path[dir.size()] != '/')
        return false;
    rest = path.substr(dir.size() + 1);
    return true;
}

std::string DriveForm(char drive, const std::string& rest) {
    std::string text = std::string(1, drive) + ":\\";
    for (char c : rest)
        text += c == '/' ? '\\' : c;
    return text;
}

}  // namespace

std::string FullWindowsPath(std::string_view windowsPath) {
    auto parsed = Parse(windowsPath);
    return parsed ? Format(*parsed) : std::string();
}

std::string HostPath(std::string_view windowsPath) {
    auto parsed = Parse(windowsPath);
    if (!parsed)
        return {};
    std::optional<std::string> base = parsed->drive != 0
                                          ? DriveFolder(parsed->drive)
                                          : ShareFolder(parsed->server, parsed->share);
    if (!base)
        return {};
    return MapComponents(*base, parsed->parts);
}

std::string WindowsPath(std::string_view hostPath) {
    if (hostPath.empty() || hostPath.find('\0') != std::string_view::npos)
        return {};
    std::error_code ec;
    fs::path path(hostPath);
    if (path.is_relative()) {
        path = fs::absolute(path, ec);
        if (ec)
            return {};
    }
    std::string lexical = path.lexically_normal().string();
    while (lexical.size() > 1 && lexical.back() == '/')
        lexical.pop_back();
    std::string canonical = fs::weakly_canonical(lexical, ec).string();
    if (ec)
        canonical = lexical;
    while (canonical.size() > 1 && canonical.back() == '/')
        canonical.pop_back();

    std::string best;
    for (char drive = 'a'; drive < 'z'; ++drive) {
        auto folder = DriveFolder(drive);
        if (!folder)
            continue;
        std::string canonicalFolder = fs::weakly_canonical(*folder, ec).string();
        if (ec)
            canonicalFolder = *folder;
        std::string rest;
        for (const auto& [candidatePath, candidateFolder] :
             {std::pair{&lexical, folder.operator->()}, std::pair{&canonical, &canonicalFolder}}) {
            if (IsWithin(*candidatePath, *candidateFolder, rest)) {
                std::string form = DriveForm(drive, rest);
                if (best.empty() || form.size() < best.size())
                    best = std::move(form);
            }
        }
    }
    if (!best.empty())
        return best;
    return DriveForm('z', lexical.substr(1));
}

bool SetCurrentDir(std::string_view windowsPath) {
    const std::string full = FullWindowsPath(windowsPath);
    const std::string host = HostPath(full);
    struct stat st {};
    if (host.empty() || ::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastErrorText("the folder " + std::string(windowsPath) + " does not exist");
        return false;
    }
    std::lock_guard lock(currentDirMutex);
    currentDir = full;
    return true;
}

std::vector<std::string> LogicalDrives() {
    std::vector<std::string> drives;
    for (char drive = 'a'; drive <= 'z'; ++drive) {
        auto folder = DriveFolder(drive);
        struct stat st {};
        if (folder && ::stat(folder->c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            drives.push_back(std::string(1, drive) + ":");
    }
    return drives;
}

}  // namespace platform
