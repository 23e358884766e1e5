#pragma once
// The registry file in memory: a tree of keys read from and written to the regedit 5
// text format.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Vellanor]
//   @="default value"
//   "Name"="c:\\path with \"quotes\""
//   "Count"=dword:0000001e
//
// The file is single-byte ANSI text with CR LF line ends; regedit's own exports are
// UTF-16, which is not read (such a file counts as unparseable). Reading also takes
// "REGEDIT4" as the first line, LF or lone CR line ends, a UTF-8 byte order mark, comment
// lines starting with ";" or "#" (before the header line too), a comment from ";" after
// a value or a key line (a ";" inside a quoted text is data), a key named more than once
// (its values are merged), [-KEY] lines (the key is removed) and "name"=- (the value is
// removed). Values other than strings (dword:, hex:, hex(n): with "\" continuation
// lines) are kept as their raw text, so they survive a rewrite. Comments stay with the
// key they follow, and a comment after a value stays with the value.
//
// As regedit does, a line that cannot be understood is skipped and the rest read: a
// bad value line, or a bad key line with the values below it up to the next key line.
// Each skipped line is reported (Document::skippedLines) and kept, so that a rewrite
// loses nothing the user wrote: a value line as a comment where it stood, a key line and
// its lines at the end of the file. Only a text without the header
// line, or with lines skipped and no key read at all, is refused.
// Key and value names compare without regard to case and keep the case they were
// created with; subkeys are kept in case-insensitive order, values in file order.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::reg {

struct Entry {
    enum class Kind { String, Raw, Comment };
    Kind kind = Kind::String;
    std::string name;      // empty: the key's unnamed default value (unused for comments)
    std::string data;      // the string; the raw text after "="; the whole comment line
    std::string trailing;  // blanks and a ";" comment after the value on its line, or empty
};

struct Key {
    std::string name;
    std::vector<Entry> entries;  // values and comments in file order
    std::vector<Key> subkeys;    // in case-insensitive order of their names

    Key* Find(std::string_view subkeyName);
    const Key* Find(std::string_view subkeyName) const;
    // The subkey, added in its place when missing.
    Key& Obtain(std::string_view subkeyName);
    bool Remove(std::string_view subkeyName);

    Entry* FindValue(std::string_view valueName);
    const Entry* FindValue(std::string_view valueName) const;
    // Sets a string value, replacing a value of that name (of any kind) where it stands.
    void SetString(std::string_view valueName, std::string_view text);
    bool RemoveValue(std::string_view valueName);
};

// The whole file: comments before the first key, and a nameless root whose subkeys are
// the root keys (HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and any other HKEY_ name read).
struct Document {
    std::vector<std::string> leadingComments;
    Key root;
    // The lines reading skipped, in file order: "line 7 (why): the line's text". Not
    // written back as such (the lines themselves stay as comments).
    std::vector<std::string> skippedLines;
    // Key lines that could not be read and the lines below them, written back at the end
    // of the file.
    std::vector<std::string> skippedKeyLines;

    Key* FindPath(const std::vector<std::string>& path);
    const Key* FindPath(const std::vector<std::string>& path) const;
    Key& ObtainPath(const std::vector<std::string>& path);
};

// The document of a registry file, or nullopt with the reason (and line) in error when
// nothing of the text can be read as a registry file. An empty text (blanks only
// included) is an empty document.
std::optional<Document> Parse(std::string_view text, std::string* error = nullptr);
std::string Serialize(const Document& document);

// Why a value name or string cannot be written in the format (a line break or a NUL),
// or empty.
std::string Unstorable(std::string_view text);

// The components of a key path: separated by "\", empty components skipped.
std::vector<std::string> SplitKeyPath(std::string_view path);

}  // namespace platform::reg
