#pragma once
// File services on Windows paths, in the manner of the Windows API (and of the
// SysUtils helpers the program's own code is written against). Failures return false
// or an empty result and leave the reason in LastErrorText().

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DateTime.h"

namespace platform {

enum : uint32_t {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faSysFile = 0x04,
    faVolumeID = 0x08,
    faDirectory = 0x10,
    faArchive = 0x20,
    faAnyFile = 0x3F,
};

struct TSearchRec {
    std::string Name;       // long name
    std::string ShortName;  // alternate 8.3 name; empty where the file system has none
    uint32_t Attr = 0;
    TDateTime Time = 0;  // last write, local time
    uint64_t Size = 0;
};

// Entries matching a pattern (* and ? in the last component, Windows rules) whose
// attributes fit attr as FindFirst would: plain files always, directories, hidden and
// system files only when asked for. "." and ".." are not listed.
std::vector<TSearchRec> FindFiles(std::string_view windowsPattern, uint32_t attr);
// The names of the folders (folders true) or the files a pattern of FindFiles finds, in
// the order the program's lists show them: ASCII letters without regard to case.
std::vector<std::string> SortedNames(std::string_view windowsPattern, bool folders);
// Whether a file name matches a pattern of FindFiles: * and ? without regard to case;
// "name.*" also matches "name" (so "*.*" matches every name), "name." matches only
// names without a dot, and a ? before a dot or at the end may match nothing.
bool MatchesMask(std::string_view name, std::string_view mask);

bool FileExists(std::string_view windowsPath);  // a file, not a directory
bool DirectoryExists(std::string_view windowsPath);
std::optional<TDateTime> FileAge(std::string_view windowsPath);  // last write, local time
bool SetFileAge(std::string_view windowsPath, TDateTime value);

// Copies source over destination (created or emptied); keepDate gives the copy the
// source's last-write time.
bool CopyFile(std::string_view source, std::string_view destination, bool keepDate);
bool DeleteFile(std::string_view windowsPath);
// Creates a directory with every missing parent.
bool ForceDirectories(std::string_view windowsPath);

// The current directory that relative Windows paths are resolved against; false (the
// directory unchanged) when the folder does not exist.
bool SetCurrentDir(std::string_view windowsPath);

// The whole file, or its first `limit` bytes, or nullopt (reason in LastErrorText()).
std::optional<std::string> ReadFileBytes(std::string_view windowsPath, size_t limit = SIZE_MAX);
// Replaces the file's content atomically (see AtomicFile.h).
bool WriteFileBytes(std::string_view windowsPath, std::string_view bytes);

}  // namespace platform
