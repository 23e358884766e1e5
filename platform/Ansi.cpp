#include "platform/Ansi.h"

namespace platform {

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
