#include "platform/Registry.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/RegFile.h"
#include "platform/Text.h"

namespace platform {

namespace {

// The registry file as one call finds it. Every call loads the file afresh and writes
// it back at once, so that nothing is cached between calls.
struct LoadedRegistry {
    std::string hostPath;
    reg::Document doc;
    bool unreadable = false;   // it exists but cannot be read: reads give nothing, writes fail
    bool unparseable = false;  // kept aside before the first write over it
};

LoadedRegistry Load() {
    LoadedRegistry loaded;
    loaded.hostPath = RegistryHostPath();
    struct stat st {};
    if (::stat(loaded.hostPath.c_str(), &st) != 0) {
        loaded.unreadable = errno != ENOENT;
        return loaded;
    }
    std::optional<std::string> text =
        S_ISDIR(st.st_mode) ? std::nullopt : ReadHostFile(loaded.hostPath);
    if (!text) {
        loaded.unreadable = true;
        return loaded;
    }
    if (std::optional<reg::Document> doc = reg::Parse(*text)) {
        loaded.doc = std::move(*doc);
    } else {
        loaded.unparseable = true;
    }
    return loaded;
}

bool Fail(const std::string& reason) {
    SetLastErrorText("Cannot change the registry: " + reason);
    return false;
}

// Moves an unparseable file out of the way: registry.reg.bad, else registry.reg.bad.1, ...
bool KeepAside(const std::string& hostPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (int n = 0; n < 1000; ++n) {
        std::string aside = hostPath + ".bad" + (n == 0 ? "" : "." + std::to_string(n));
        if (fs::exists(fs::symlink_status(aside, ec)))
            continue;
        fs::rename(hostPath, aside, ec);
        if (ec)
            return Fail("the unreadable registry file " + hostPath + " cannot be kept aside (" +
                        ec.message() + ")");
        return true;
    }
    return Fail("there is no free name to keep the unreadable registry file " + hostPath +
                " aside");
}

bool Store(const LoadedRegistry& loaded) {
    if (loaded.unparseable && !KeepAside(loaded.hostPath))
        return false;
    if (!WriteHostFileAtomic(loaded.hostPath, reg::Serialize(loaded.doc))) {
        return Fail(LastErrorText());
    }
    return true;
}

const char* RootName(TRootKey root) {
    return root == TRootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::vector<std::string> FullPath(TRootKey root, std::string_view key) {
    return reg::SplitKeyPath(std::string(RootName(root)) + "\\" + std::string(key));
}

std::string JoinPath(const std::vector<std::string>& path) {
    std::string out;
    for (const std::string& part : path) {
        if (!out.empty())
            out.push_back('\\');
        out.append(part);
    }
    return out;
}

std::optional<std::string> ReadValue(TRootKey root, std::string_view key, std::string_view name) {
    const LoadedRegistry loaded = Load();
    const reg::Key* found = loaded.doc.FindPath(FullPath(root, key));
    if (!found)
        return std::nullopt;
    const reg::Entry* entry = found->FindValue(name);
    if (!entry || entry->kind != reg::Entry::Kind::String)
        return std::nullopt;
    return entry->data;
}

// Writes a string value; the key is created (with its parents) when create, else it
// must exist.
bool WriteValue(TRootKey root, std::string_view key, std::string_view name, std::string_view value,
                bool create) {
    if (std::string why = reg::Unstorable(name); !why.empty())
        return Fail("the value name " + why);
    if (std::string why = reg::Unstorable(value); !why.empty())
        return Fail("the value " + why);
    LoadedRegistry loaded = Load();
    if (loaded.unreadable)
        return Fail(loaded.hostPath + " cannot be read");
    const std::vector<std::string> path = FullPath(root, key);
    reg::Key* target = loaded.doc.FindPath(path);
    if (!target && !create) {
        return Fail("the key " + JoinPath(path) + " does not exist (any more)");
    }
    if (!target)
        target = &loaded.doc.ObtainPath(path);
    if (const reg::Entry* entry = target->FindValue(name);
        entry && entry->kind == reg::Entry::Kind::String && entry->data == value &&
        !loaded.unparseable) {
        return true;
    }
    target->SetString(name, value);
    return Store(loaded);
}

// Removes a key with its subkeys; false when it is missing (or a root key).
bool RemoveKey(TRootKey root, std::string_view key, bool missingIsFine) {
    std::vector<std::string> path = FullPath(root, key);
    if (path.size() < 2)
        return Fail("a root key cannot be deleted");
    LoadedRegistry loaded = Load();
    if (loaded.unreadable)
        return Fail(loaded.hostPath + " cannot be read");
    const std::string last = path.back();
    path.pop_back();
    reg::Key* parent = loaded.doc.FindPath(path);
    if (!parent || !parent->Remove(last)) {
        return missingIsFine ? true
                             : Fail("the key " + JoinPath(FullPath(root, key)) + " does not exist");
    }
    return Store(loaded);
}

bool ParseLong(std::string_view text, long* value) {
    text = TrimLeft(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return false;
    }
    if (text.empty())
        return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::vector<std::string> RegistryFileProblems() {
    const std::string hostPath = RegistryHostPath();
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0 && errno == ENOENT)
        return {};
    const std::string what = "Registry file " + hostPath + ": ";
    std::optional<std::string> text = S_ISDIR(st.st_mode) ? std::nullopt : ReadHostFile(hostPath);
    if (!text)
        return {what + "cannot be read; settings take their defaults and cannot be saved"};
    std::string error;
    std::optional<reg::Document> doc = reg::Parse(*text, &error);
    if (!doc) {
        return {what + "nothing in it can be read (" + error +
                "); settings take their defaults, and the file is kept aside as " + hostPath +
                ".bad when a setting is next saved"};
    }
    std::vector<std::string> problems;
    for (const std::string& skipped : doc->skippedLines)
        problems.push_back(what + "skipped " + skipped);
    return problems;
}

bool TRegistry::OpenKey(std::string_view key, bool canCreate) {
    const std::vector<std::string> path = FullPath(root_, key);
    LoadedRegistry loaded = Load();
    if (!loaded.doc.FindPath(path)) {
        if (!canCreate) {
            SetLastErrorText("The registry key " + JoinPath(path) + " does not exist");
            return false;
        }
        if (loaded.unreadable)
            return Fail(loaded.hostPath + " cannot be read");
        loaded.doc.ObtainPath(path);
        if (!Store(loaded))
            return false;
    }
    open_ = true;
    current_ = JoinPath(reg::SplitKeyPath(key));
    return true;
}

void TRegistry::CloseKey() {
    open_ = false;
    current_.clear();
}

bool TRegistry::DeleteKey(std::string_view key) {
    return RemoveKey(root_, key, false);
}

std::string TRegistry::ReadString(std::string_view name) const {
    if (!open_)
        return {};
    return ReadValue(root_, current_, name).value_or(std::string());
}

bool TRegistry::WriteString(std::string_view name, std::string_view value) {
    if (!open_)
        return Fail("no key is open");
    return WriteValue(root_, current_, name, value, false);
}

namespace {

std::string SectionPath(const std::string& base, std::string_view section) {
    if (section.empty())
        return base;
    return base + "\\" + std::string(section);
}

}  // namespace

std::string TRegIniFile::ReadString(std::string_view section, std::string_view ident,
                                    std::string_view defaultValue) const {
    return ReadValue(root_, SectionPath(base_, section), ident).value_or(std::string(defaultValue));
}

long TRegIniFile::ReadInteger(std::string_view section, std::string_view ident,
                              long defaultValue) const {
    const std::optional<std::string> text = ReadValue(root_, SectionPath(base_, section), ident);
    long value = 0;
    return text && ParseLong(*text, &value) ? value : defaultValue;
}

bool TRegIniFile::ReadBool(std::string_view section, std::string_view ident,
                           bool defaultValue) const {
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

bool TRegIniFile::WriteString(std::string_view section, std::string_view ident,
                              std::string_view value) {
    return WriteValue(root_, SectionPath(base_, section), ident, value, true);
}

bool TRegIniFile::WriteInteger(std::string_view section, std::string_view ident, long value) {
    return WriteString(section, ident, std::to_string(value));
}

bool TRegIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    return WriteString(section, ident, value ? "1" : "0");
}

bool TRegIniFile::EraseSection(std::string_view section) {
    if (reg::SplitKeyPath(section).empty())
        return Fail("no section named to erase");
    return RemoveKey(root_, SectionPath(base_, section), true);
}

}  // namespace platform
