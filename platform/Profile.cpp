#include "platform/Profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/AtomicFile.h"
#include "platform/IniText.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Text.h"

namespace platform {

namespace {

// A bare file name stands for a file in the Windows folder, as it does for the Windows
// profile functions.
std::string ProfileHostPath(std::string_view fileName) {
    if (fileName.find_first_of("\\/:") == std::string_view::npos && !fileName.empty()) {
        return HostPath("c:\\windows\\" + std::string(fileName));
    }
    return HostPath(fileName);
}

// The file's bytes; empty when it is missing or cannot be read (reads then give the
// defaults) or when it is UTF-16, which this code does not interpret.
std::string ReadProfileText(const std::string& hostPath) {
    if (hostPath.empty())
        return {};
    std::optional<std::string> text = ReadHostFile(hostPath);
    if (!text || ini::IsUtf16(*text))
        return {};
    return std::move(*text);
}

bool Fail(std::string_view fileName, const std::string& reason) {
    SetLastErrorText("Cannot write the profile file " + std::string(fileName) + ": " + reason);
    return false;
}

bool WriteProfile(const std::string& hostPath, std::string_view displayName,
                  std::string_view section, std::optional<std::string_view> key,
                  std::optional<std::string_view> value) {
    // Names that cannot be stored cannot be present either: deleting them changes nothing.
    if (key && value) {
        if (std::string why = ini::Unstorable(section, key, value); !why.empty()) {
            return Fail(displayName, why);
        }
    }
    if (hostPath.empty())
        return Fail(displayName, "the path names no place on this system");

    std::string old;
    struct stat st {};
    const bool exists = ::stat(hostPath.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            return Fail(displayName, "it is a folder");
        std::optional<std::string> text = ReadHostFile(hostPath);
        if (!text)
            return Fail(displayName, "it cannot be read (" + LastErrorText() + ")");
        if (ini::IsUtf16(*text))
            return Fail(displayName, "it is a UTF-16 file");
        old = std::move(*text);
    } else if (errno != ENOENT) {
        return Fail(displayName, std::strerror(errno));
    }

    std::string updated;
    if (!key) {
        updated = ini::DeleteSection(old, section);
    } else if (!value) {
        updated = ini::DeleteKey(old, section, *key);
    } else {
        updated = ini::SetValue(old, section, *key, *value);
    }
    // Nothing to change (a value written again, a key or section already absent): the
    // file is not touched, so its date does not change either.
    if (updated == old)
        return true;

    // The Windows read-only attribute is a file without any write permission bit: the
    // rename of an atomic replacement would go through it, so it is checked here.
    if (exists && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        return Fail(displayName, "the file is read-only");
    }
    if (!WriteHostFileAtomic(hostPath, updated))
        return Fail(displayName, LastErrorText());
    return true;
}

std::string Truncated(std::string value, size_t bufferSize) {
    if (bufferSize > 0 && value.size() > bufferSize - 1)
        value.resize(bufferSize - 1);
    return value;
}

std::string ReadString(const std::string& hostPath, std::string_view section, std::string_view key,
                       std::string_view defaultValue, size_t bufferSize) {
    std::optional<std::string> value = ini::FindValue(ReadProfileText(hostPath), section, key);
    if (!value) {
        // Windows drops trailing spaces of the default (tabs stay).
        value = std::string(TrimRight(defaultValue, [](char c) { return c == ' '; }));
    }
    return Truncated(std::move(*value), bufferSize);
}

}  // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string_view fileName,
                                    size_t bufferSize) {
    return ReadString(ProfileHostPath(fileName), section, key, defaultValue, bufferSize);
}

bool PrivateProfileKeyExists(std::string_view section, std::string_view key,
                             std::string_view fileName) {
    return ini::FindValue(ReadProfileText(ProfileHostPath(fileName)), section, key).has_value();
}

std::vector<std::string> GetPrivateProfileKeys(std::string_view section,
                                               std::string_view fileName) {
    return ini::KeyNames(ReadProfileText(ProfileHostPath(fileName)), section);
}

bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                               std::optional<std::string_view> value, std::string_view fileName) {
    return WriteProfile(ProfileHostPath(fileName), fileName, section, key, value);
}

std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, size_t bufferSize) {
    return ReadString(WinIniHostPath(), section, key, defaultValue, bufferSize);
}

bool WriteProfileString(std::string_view section, std::optional<std::string_view> key,
                        std::optional<std::string_view> value) {
    return WriteProfile(WinIniHostPath(), "WIN.INI", section, key, value);
}

}  // namespace platform
