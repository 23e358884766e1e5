#pragma once
// Small text helpers shared by the platform's file formats and path handling and by the
// ORCA library: blanks, trimming and the separators of Windows paths. A format that
// counts more bytes as blanks (profile files, PowerScript source) passes its own test
// to the trimming functions, so the difference stands where it is used.

#include <cstddef>
#include <string_view>

namespace platform {

// A blank as most of the program's texts know it: a space or a tab (never a line end).
constexpr bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// A separator of the components of a Windows path: a backslash or a slash.
constexpr bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// Where the file name of a Windows path starts: after its last separator or drive colon
// (0 when it has neither; the size when it ends with one).
constexpr size_t FileNameStart(std::string_view path) {
    size_t cut = path.size();
    while (cut > 0 && !IsSeparator(path[cut - 1]) && path[cut - 1] != ':')
        --cut;
    return cut;
}

using TBlankTest = bool (*)(char);

// The text without the bytes that blank holds for at its start, its end, or both.
constexpr std::string_view TrimLeft(std::string_view text, TBlankTest blank = IsBlank) {
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    return text;
}
constexpr std::string_view TrimRight(std::string_view text, TBlankTest blank = IsBlank) {
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}
constexpr std::string_view Trim(std::string_view text, TBlankTest blank = IsBlank) {
    return TrimRight(TrimLeft(text, blank), blank);
}

}  // namespace platform
