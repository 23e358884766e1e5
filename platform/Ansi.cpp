#include "platform/Ansi.h"

namespace platform {

namespace {

// Windows-1252 has lower-case letters in three places: a-z, the Latin-1 block at
// 0xE0-0xFE (0xF7 is the division sign), and the four letters Microsoft added in
// 0x80-0x9F (s, oe and z with caron and y with diaeresis, the last of which has its
// capital at 0x9F). The micro sign (0xB5), sharp s (0xDF), the florin (0x83) and the
// ordinal indicators (0xAA, 0xBA) have no capital in the code page and stay.
constexpr std::array<unsigned char, 256> MakeUpperMap() {
    std::array<unsigned char, 256> map{};
    for (int b = 0; b < 256; ++b)
        map[b] = static_cast<unsigned char>(b);
    for (int b = 'a'; b <= 'z'; ++b)
        map[b] = static_cast<unsigned char>(b - 0x20);
    for (int b = 0xE0; b <= 0xFE; ++b) {
        if (b != 0xF7)
            map[b] = static_cast<unsigned char>(b - 0x20);
    }
    map[0x9A] = 0x8A;
    map[0x9C] = 0x8C;
    map[0x9E] = 0x8E;
    map[0xFF] = 0x9F;
    return map;
}

}  // namespace

const std::array<unsigned char, 256> AnsiUpperMap = MakeUpperMap();

std::string AnsiUpperCase(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        c = AnsiUpper(c);
    return result;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const int ca = AnsiUpperMap[static_cast<unsigned char>(a[i])];
        const int cb = AnsiUpperMap[static_cast<unsigned char>(b[i])];
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace platform
