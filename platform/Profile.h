#pragma once
// Profile (INI) files with the semantics of the Windows private-profile functions, for
// pb.ini and WIN.INI. Section and key names compare without regard to case (leading
// and trailing blanks ignored); a missing key reads as the default; writing a missing
// key appends it as the last line of its section (the section is added at the end of
// the file when missing); deleting a key removes its line. Every call reads and writes
// the file itself: nothing is cached between calls. Every other byte of the file
// (comments, blank lines, line endings, unknown sections, lines that are not
// key=value) stays as it was. Writes replace the file atomically. File names are
// Windows paths.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The value of a key, blanks around it removed and one pair of enclosing quotes
// stripped, or the default when the key, section or file is missing. A bufferSize
// other than 0 limits the result to bufferSize - 1 characters, as the Windows buffer
// would.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::string_view fileName,
                                    size_t bufferSize = 0);
// Whether the section holds the key, compared as the reads compare it (false when the
// file is missing or cannot be read).
bool PrivateProfileKeyExists(std::string_view section, std::string_view key,
                             std::string_view fileName);
// The key names of a section in file order (duplicates as they stand).
std::vector<std::string> GetPrivateProfileKeys(std::string_view section, std::string_view fileName);

// Writes key=value (replacing the first line of that key, or appending). A missing
// value deletes the key's line; a missing key deletes the whole section. False with
// the reason in LastErrorText() when the file cannot be written; the file then stays
// as it was. Deleting what is not there succeeds without touching the file, as on
// Windows: a caller for whom that is a failure asks PrivateProfileKeyExists first.
bool WritePrivateProfileString(std::string_view section, std::optional<std::string_view> key,
                               std::optional<std::string_view> value, std::string_view fileName);

// The same on the Windows profile, WIN.INI in the prefix.
std::string GetProfileString(std::string_view section, std::string_view key,
                             std::string_view defaultValue, size_t bufferSize = 0);
bool WriteProfileString(std::string_view section, std::optional<std::string_view> key,
                        std::optional<std::string_view> value);

}  // namespace platform
