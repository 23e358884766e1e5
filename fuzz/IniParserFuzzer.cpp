// Fuzz target for the profile (INI) text: every lookup on any bytes, and edits that must
// change nothing but their own line.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/IniText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform;
    const std::string text(reinterpret_cast<const char*>(data), size);

    // A section that is not there is added at the end and can be taken away again.
    const std::string added = ini::SetValue(text, "Fuzz Section", "key", "value");
    if (!ini::FindValue(text, "fuzz section", "key")) {
        Check(ini::FindValue(added, "FUZZ SECTION", "KEY") == "value");
        Check(ini::DeleteSection(added, "fuzz section") == text);
    }

    // The names of the headers as the parser finds them: a line that starts, after
    // blanks, with "[" and holds a "]". A "[" further into a line heads nothing, so a
    // key set under its name would go into a new section of its own.
    std::vector<std::string> headers;
    const size_t bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    for (size_t begin = bom; begin < text.size();) {
        size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string::npos)
            end = text.size();
        size_t open = text.find_first_not_of(std::string_view(" \t\v\f\x1a"), begin);
        if (open < end && text[open] == '[') {
            const size_t close = text.find(']', open);
            if (close < end)
                headers.push_back(text.substr(open + 1, close - open - 1));
        }
        begin = end + 1;
    }
    size_t sections = 0;
    for (const std::string& section : headers) {
        if (++sections > 8)
            break;
        size_t keys = 0;
        for (const std::string& key : ini::KeyNames(text, section)) {
            if (++keys > 16)
                break;
            Check(ini::FindValue(text, section, key).has_value());
        }
        if (!ini::Unstorable(section, "new key", "v").empty())
            continue;

        // A new key goes into the section and out again without a trace.
        if (!ini::FindValue(text, section, "new key")) {
            const std::string withKey = ini::SetValue(text, section, "new key", "v");
            Check(ini::FindValue(withKey, section, "new key") == "v");
            Check(ini::DeleteKey(withKey, section, "New Key") == text);
        }
        // An existing key takes a new value in place; the other keys stay.
        const auto names = ini::KeyNames(text, section);
        if (!names.empty() && ini::Unstorable(section, names.front(), "x").empty()) {
            const std::string replaced = ini::SetValue(text, section, names.front(), "x");
            Check(ini::FindValue(replaced, section, names.front()) == "x");
            Check(ini::KeyNames(replaced, section) == names);
        }
        // Removing a section leaves the others.
        const std::string removed = ini::DeleteSection(text, section);
        Check(!ini::FindValue(removed, section, "new key").has_value() ||
              ini::FindValue(text, section, "new key").has_value());
    }
    return 0;
}
