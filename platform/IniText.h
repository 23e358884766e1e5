#pragma once
// The text of a profile (INI) file in memory: lookups and edits on the bytes as they
// stand, so that an edit changes only the line it concerns and every other byte of the
// file (comments, blank lines, line endings, junk) stays as it was.
//
// Lines end at CR LF, LF or a lone CR. Blanks are space, tab, vertical tab, form feed
// and Ctrl-Z. After leading blanks a line is:
//   - blank (nothing else on it);
//   - a comment, when it starts with ";";
//   - a section header, when it starts with "[" and holds a "]": the name is the text
//     up to the first "]", blanks around it removed;
//   - a key line, when it holds "=": the name is the text before the first "=" and the
//     value the text after it, blanks around both removed;
//   - anything else, which is kept but is no key (Windows lists no key for it either).
// Lines before the first header belong to no section. Names compare without regard
// to case (Windows-1252); an empty name matches nothing. When a section name occurs
// more than once, lookups and edits address its first occurrence (removing a section
// removes every occurrence). A UTF-8 byte order mark is kept and skipped.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ini {

// The value of the first line of key in the section, blanks removed and one pair of
// enclosing quotes (" or ') stripped; nullopt when the section or key is missing.
std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key);
// The key names of the section in file order, duplicates included.
std::vector<std::string> KeyNames(std::string_view text, std::string_view section);

// Why a name or value cannot be stored in a profile file without changing the file's
// structure (a line break, a "]" in a section name, an "=" in a key...), or empty
// when it can. An empty value of key is the section check alone.
std::string Unstorable(std::string_view section, std::optional<std::string_view> key,
                       std::optional<std::string_view> value);

// The text after an edit. Names are taken without surrounding blanks. SetValue
// replaces the value of the key's first line in place (the key keeps its spelling and
// what stands before its value), or inserts key=value after the last non-blank line of
// the section, or appends the section with the key at the end of the text. New lines
// end as most lines of the text do (CR LF for a text without line ends); when the text
// does not end with a line end, neither does the edited text.
std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value);
// Removes the first line of the key (the text is unchanged when it is missing).
std::string DeleteKey(std::string_view text, std::string_view section, std::string_view key);
// Removes every occurrence of the section: its header and all lines up to the next header.
std::string DeleteSection(std::string_view text, std::string_view section);

// True when the text starts with a UTF-16 byte order mark: such a file is not edited.
bool IsUtf16(std::string_view text);

}  // namespace platform::ini
