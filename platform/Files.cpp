#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Text.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

// The host path of a Windows path, or empty with the reason set.
std::string Map(std::string_view windowsPath) {
    std::string host = HostPath(windowsPath);
    if (host.empty())
        SetLastErrorText("the path " + std::string(windowsPath) + " does not exist");
    return host;
}

bool Fail(const std::string& what, std::string_view path, int err) {
    SetLastErrorText(what + " " + std::string(path) + ": " + std::strerror(err));
    return false;
}

// Attributes as Windows shows them for a host entry: names starting with a dot are
// hidden, entries nobody may write are read-only, and files carry the archive flag as
// freshly written Windows files do.
uint32_t AttributesOf(std::string_view name, const struct stat& st) {
    uint32_t attr = 0;
    if (S_ISDIR(st.st_mode)) {
        attr |= faDirectory;
    } else {
        attr |= faArchive;
    }
    if (!name.empty() && name[0] == '.')
        attr |= faHidden;
    if ((st.st_mode & 0222) == 0)
        attr |= faReadOnly;
    return attr;
}

bool StatHost(const std::string& host, struct stat& st) {
    return !host.empty() && ::stat(host.c_str(), &st) == 0;
}

// Plain matching of * and ? without regard to case; a ? may match nothing before a
// dot or at the end of the name, as on Windows.
bool MatchPlain(std::string_view name, std::string_view mask) {
    // reach[j]: the first i characters of name match the first j of mask.
    std::string reach(mask.size() + 1, '\0'), next(mask.size() + 1, '\0');
    auto closeOver = [&](std::string& row, size_t i) {
        // Wildcards that may match nothing at position i of the name.
        for (size_t j = 0; j < mask.size(); ++j) {
            if (!row[j])
                continue;
            if (mask[j] == '*' || (mask[j] == '?' && (i == name.size() || name[i] == '.')))
                row[j + 1] = 1;
        }
    };
    reach[0] = 1;
    closeOver(reach, 0);
    for (size_t i = 0; i < name.size(); ++i) {
        next.assign(mask.size() + 1, '\0');
        for (size_t j = 0; j < mask.size(); ++j) {
            if (!reach[j])
                continue;
            if (mask[j] == '*') {
                next[j] = 1;
            } else if (mask[j] == '?' || AsciiLower(mask[j]) == AsciiLower(name[i])) {
                next[j + 1] = 1;
            }
        }
        closeOver(next, i + 1);
        reach.swap(next);
    }
    return reach[mask.size()] != 0;
}

}  // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    if (mask.empty())
        return false;
    if (mask.size() == name.size() && mask.find_first_of("*?") == std::string_view::npos &&
        MatchPlain(name, mask))
        return true;  // the name itself, even one ending with a dot
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*") {
        if (MatchPlain(name, mask.substr(0, mask.size() - 2)))
            return true;
    } else if (mask.back() == '.') {
        if (name.find('.') != std::string_view::npos)
            return false;
        return MatchPlain(name, mask.substr(0, mask.size() - 1));
    }
    return MatchPlain(name, mask);
}

std::vector<TSearchRec> FindFiles(std::string_view windowsPattern, uint32_t attr) {
    std::vector<TSearchRec> found;
    const size_t cut = FileNameStart(windowsPattern);
    const std::string_view mask = windowsPattern.substr(cut);
    if (mask.empty()) {
        SetLastErrorText("no file name in " + std::string(windowsPattern));
        return found;
    }
    const std::string_view folder = windowsPattern.substr(0, cut);
    const std::string hostDir = Map(folder.empty() ? std::string_view(".") : folder);
    if (hostDir.empty())
        return found;

    // As FindFirst: hidden, system and directory entries only when asked for.
    const uint32_t excluded = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
    DIR* dir = ::opendir(hostDir.c_str());
    if (!dir) {
        Fail("cannot list", folder, errno);
        return found;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == ".." || !MatchesMask(name, mask))
            continue;
        const std::string host = hostDir + (hostDir.back() == '/' ? "" : "/") + std::string(name);
        struct stat st {};
        if (::stat(host.c_str(), &st) != 0 && ::lstat(host.c_str(), &st) != 0)
            continue;
        TSearchRec rec;
        rec.Name = name;
        rec.Attr = AttributesOf(name, st);
        if (rec.Attr & excluded)
            continue;
        rec.Time = UnixToLocalDateTime(st.st_mtime);
        rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        found.push_back(std::move(rec));
    }
    ::closedir(dir);
    // In the order an NTFS folder lists its names: by their upper case.
    std::sort(found.begin(), found.end(), [](const TSearchRec& a, const TSearchRec& b) {
        const int order = AnsiCompareText(a.Name, b.Name);
        return order != 0 ? order < 0 : a.Name < b.Name;
    });
    if (found.empty())
        SetLastErrorText("no file matches " + std::string(windowsPattern));
    return found;
}

std::vector<std::string> SortedNames(std::string_view windowsPattern, bool folders) {
    std::vector<std::string> names;
    for (const TSearchRec& rec : FindFiles(windowsPattern, folders ? uint32_t{faDirectory} : 0u))
        if (((rec.Attr & faDirectory) != 0) == folders)
            names.push_back(rec.Name);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return AsciiCompareText(a, b) < 0;
    });
    return names;
}

bool FileExists(std::string_view windowsPath) {
    struct stat st {};
    return StatHost(HostPath(windowsPath), st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(std::string_view windowsPath) {
    struct stat st {};
    return StatHost(HostPath(windowsPath), st) && S_ISDIR(st.st_mode);
}

// File dates are kept to the second, so that a date given with SetFileAge or kept by
// CopyFile reads back exactly.
std::optional<TDateTime> FileAge(std::string_view windowsPath) {
    struct stat st {};
    if (!StatHost(HostPath(windowsPath), st)) {
        Fail("cannot read the date of", windowsPath, ENOENT);
        return std::nullopt;
    }
    return UnixToLocalDateTime(st.st_mtime);
}

bool SetFileAge(std::string_view windowsPath, TDateTime value) {
    const std::string host = Map(windowsPath);
    if (host.empty())
        return false;
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(LocalDateTimeToUnix(value));
    if (::utimensat(AT_FDCWD, host.c_str(), times, 0) != 0)
        return Fail("cannot set the date of", windowsPath, errno);
    return true;
}

// The copy replaces the destination atomically: a copy that fails half-way leaves the
// destination as it was rather than half written.
bool CopyFile(std::string_view source, std::string_view destination, bool keepDate) {
    const std::string from = Map(source);
    const std::string to = from.empty() ? std::string() : Map(destination);
    if (to.empty())
        return false;
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0)
        return Fail("cannot copy", source, errno);
    if (S_ISDIR(st.st_mode))
        return Fail("cannot copy", source, EISDIR);
    auto bytes = ReadHostFile(from);
    if (!bytes || !WriteHostFileAtomic(to, *bytes))
        return false;
    if (keepDate) {
        timespec times[2]{};
        times[0].tv_nsec = UTIME_OMIT;
        times[1] = st.st_mtim;
        if (::utimensat(AT_FDCWD, to.c_str(), times, 0) != 0)
            return Fail("cannot set the date of", destination, errno);
    }
    return true;
}

bool DeleteFile(std::string_view windowsPath) {
    const std::string host = Map(windowsPath);
    if (host.empty())
        return false;
    struct stat st {};
    if (::lstat(host.c_str(), &st) != 0)
        return Fail("cannot delete", windowsPath, errno);
    if (S_ISDIR(st.st_mode))
        return Fail("cannot delete", windowsPath, EISDIR);
    if (::unlink(host.c_str()) != 0)
        return Fail("cannot delete", windowsPath, errno);
    return true;
}

bool ForceDirectories(std::string_view windowsPath) {
    const std::string host = Map(windowsPath);
    if (host.empty())
        return false;
    std::error_code ec;
    fs::create_directories(host, ec);
    if (ec || !fs::is_directory(host, ec)) {
        SetLastErrorText("cannot create the folder " + std::string(windowsPath) +
                         (ec ? ": " + ec.message() : std::string(": a file has its name")));
        return false;
    }
    return true;
}

std::optional<std::string> ReadFileBytes(std::string_view windowsPath, size_t limit) {
    const std::string host = Map(windowsPath);
    if (host.empty())
        return std::nullopt;
    return ReadHostFile(host, limit);
}

bool WriteFileBytes(std::string_view windowsPath, std::string_view bytes) {
    const std::string host = Map(windowsPath);
    if (host.empty())
        return false;
    return WriteHostFileAtomic(host, bytes);
}

}  // namespace platform
