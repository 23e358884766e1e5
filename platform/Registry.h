#pragma once
// The registry: keys and string values under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE,
// kept in the prefix as one text file in the regedit 5 format
// ("Windows Registry Editor Version 5.00"). Key and value names compare without regard
// to case. Every change is written to the file at once and atomically. Lines of the file
// that cannot be understood are skipped and kept (platform/RegFile.h); a file of which
// nothing can be read is kept aside (renamed with a ".bad" suffix) before anything is
// written over it, and reads as empty.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class TRootKey { CurrentUser, LocalMachine };

// What reading the registry file finds wrong with it now, one text per line skipped
// ("Registry file <host path>: skipped line 7 (why): <the line>"), or one text saying
// that nothing of it can be read and it will be kept aside. Empty when the file is
// sound or missing. For the program to log once at start-up.
std::vector<std::string> RegistryFileProblems();

// A handle on the registry with one open key at a time, as the Windows API gives it.
// Key paths are relative to the root key; a leading backslash is ignored.
class TRegistry {
  public:
    explicit TRegistry(TRootKey root = TRootKey::CurrentUser) : root_(root) {}

    // Opens a key; when it does not exist, creates it (with its parents) if canCreate,
    // else fails.
    bool OpenKey(std::string_view key, bool canCreate);
    void CloseKey();
    // Deletes a key with all its subkeys and values.
    bool DeleteKey(std::string_view key);

    // String values of the open key; the empty name is the key's unnamed default value.
    // ReadString gives an empty text when the value (or the open key) does not exist.
    std::string ReadString(std::string_view name) const;
    bool WriteString(std::string_view name, std::string_view value);

  private:
    TRootKey root_;
    bool open_ = false;
    std::string current_;
};

// Sections and values under one base key, in the manner of an INI file kept in the
// registry: each section is a subkey of the base key. Reads open the section without
// creating it; writes create it.
class TRegIniFile {
  public:
    explicit TRegIniFile(std::string baseKey, TRootKey root = TRootKey::CurrentUser)
        : base_(std::move(baseKey)), root_(root) {}

    std::string ReadString(std::string_view section, std::string_view ident,
                           std::string_view defaultValue) const;
    // A number stored as decimal text; the default when missing or not a number.
    long ReadInteger(std::string_view section, std::string_view ident, long defaultValue) const;
    // A number that is not zero; the default when missing or not a number.
    bool ReadBool(std::string_view section, std::string_view ident, bool defaultValue) const;
    bool WriteString(std::string_view section, std::string_view ident, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view ident, long value);
    bool WriteBool(std::string_view section, std::string_view ident, bool value);  // "1"/"0"
    bool EraseSection(std::string_view section);

  private:
    std::string base_;
    TRootKey root_;
};

}  // namespace platform
