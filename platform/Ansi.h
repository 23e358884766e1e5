#pragma once
// Single-byte ANSI text in the code page of the user's Windows (platform/CodePage.h):
// upper-casing of all 256 byte values and the case-insensitive comparisons built on it.

#include <array>
#include <string>
#include <string_view>

namespace platform {

// AnsiUpperMap[b] is the upper case of byte b in the code page in use (Windows-1252
// until the code page is chosen). A plain table, looked up by index in the search loops;
// it changes only when the code page does.
extern const std::array<unsigned char, 256>& AnsiUpperMap;

inline char AnsiUpper(char c) {
    return static_cast<char>(AnsiUpperMap[static_cast<unsigned char>(c)]);
}
std::string AnsiUpperCase(std::string_view text);
// <0, 0, >0 comparing the upper-cased texts byte by byte.
int AnsiCompareText(std::string_view a, std::string_view b);
inline bool AnsiSameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

// ASCII letters only, for names that are not ANSI text (host file names, which
// are usually UTF-8) or that PowerBuilder itself folds that way (entry names, keywords).
inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline bool AsciiSameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}
// <0, 0, >0 comparing byte by byte with the ASCII letters lowered, so '_' and the
// digits sort before the letters; a text sorts before the longer texts it begins.
inline int AsciiCompareText(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace platform
