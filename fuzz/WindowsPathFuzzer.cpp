// Fuzz target for Windows path handling: full paths, host mapping, file-name masks,
// library names and date-time texts on any bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "platform/Ansi.h"
#include "platform/DateTime.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/SharedLibrary.h"

namespace {

// The mask rules written the slow, obvious way, to hold the fast matcher to.
bool SlowPlain(std::string_view name, std::string_view mask) {
    if (mask.empty())
        return name.empty();
    if (mask[0] == '*')
        return SlowPlain(name, mask.substr(1)) ||
               (!name.empty() && SlowPlain(name.substr(1), mask));
    if (mask[0] == '?')
        return (!name.empty() && SlowPlain(name.substr(1), mask.substr(1))) ||
               ((name.empty() || name[0] == '.') && SlowPlain(name, mask.substr(1)));
    return !name.empty() && platform::AsciiLower(name[0]) == platform::AsciiLower(mask[0]) &&
           SlowPlain(name.substr(1), mask.substr(1));
}

bool SlowMask(std::string_view name, std::string_view mask) {
    if (mask.empty())
        return false;
    if (mask.find_first_of("*?") == std::string_view::npos && mask.size() == name.size() &&
        SlowPlain(name, mask))
        return true;
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
        SlowPlain(name, mask.substr(0, mask.size() - 2)))
        return true;
    if (mask.back() == '.' && !(mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*")) {
        return name.find('.') == std::string_view::npos &&
               SlowPlain(name, mask.substr(0, mask.size() - 1));
    }
    return SlowPlain(name, mask);
}

void UseTemporaryPrefix() {
    static bool done = false;
    if (done)
        return;
    done = true;
    char dir[] = "/tmp/sorvanti-fuzz-XXXXXX";
    if (::mkdtemp(dir))
        platform::SetPrefixDir(std::string(dir) + "/prefix");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform;
    UseTemporaryPrefix();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find('\n');
    const std::string_view first = input.substr(0, cut);
    const std::string_view second = cut == std::string_view::npos ? "" : input.substr(cut + 1);

    // A full path is a fixed point.
    const std::string full = FullWindowsPath(first);
    if (!full.empty())
        Check(FullWindowsPath(full) == full);
    const std::string host = HostPath(first);
    if (!host.empty())
        Check(host[0] == '/');
    if (!first.empty() && first[0] == '/' && first.find('\0') == std::string_view::npos) {
        const std::string windows = WindowsPath(first);
        Check(windows.size() >= 3 && windows[1] == ':' && windows[2] == '\\');
    }

    if (first.size() <= 16 && second.size() <= 16)
        Check(MatchesMask(first, second) == SlowMask(first, second));

    const std::string so = SharedObjectName(first);
    if (!so.empty())
        Check(so.size() >= 6 && so.compare(so.size() - 3, 3, ".so") == 0);

    if (size >= 8) {
        int64_t seconds = 0;
        double value = 0;
        std::memcpy(&seconds, data, sizeof seconds);
        std::memcpy(&value, data, sizeof value);
        const std::string text = DateTimeToString(value);
        Check(text.empty() || text.size() == 19);
        Check(std::isfinite(UnixToDateTime(seconds)));
        DateTimeToUnix(value);
        Check(DateTimeToString(UnixToDateTime(seconds % 62000000000LL)).size() == 19);
    }
    return 0;
}
