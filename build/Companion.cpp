#include "build/Companion.h"

#include <set>

#include "catalogue/Orcactrl.h"
#include "platform/Ansi.h"
#include "shell/Utilities.h"

namespace build {

namespace {

const char* KindName(bool unicode) {
    return unicode ? "Unicode" : "ANSI";
}

// The companions this run has used (upper case), so the log names each once.
std::set<std::string>& Announced() {
    static std::set<std::string> names;
    return names;
}

}  // namespace

std::string CompanionName(std::string_view library, bool unicode) {
    const size_t slash = library.find_last_of("\\/:");
    const size_t dot = library.rfind('.');
    const std::string_view stem =
        dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)
            ? library
            : library.substr(0, dot);
    return std::string(stem) + (unicode ? "_unicode.pbl" : "_ansi.pbl");
}

std::string LibraryForEntriesOf(std::string_view library, std::string_view entryLibrary,
                                bool create) {
    const std::optional<bool> entryUnicode = catalogue::LibraryIsUnicode(entryLibrary);
    const std::optional<bool> libraryUnicode = catalogue::LibraryIsUnicode(library);
    if (!entryUnicode || !libraryUnicode || *entryUnicode == *libraryUnicode)
        return std::string(library);
    const bool unicode = *entryUnicode;
    std::string companion = CompanionName(library, unicode);
    const std::optional<bool> existing = catalogue::LibraryIsUnicode(companion);
    if (existing && *existing != unicode) {
        shell::LogMessage("The companion library " + companion + " of " + std::string(library) +
                          " is not a " + KindName(unicode) + " library; entries of " +
                          std::string(entryLibrary) + " cannot go there.");
        return {};
    }
    const std::string key = platform::AnsiUpperCase(companion);
    if (!catalogue::LibraryFileDate(companion)) {
        if (!create)
            return {};
        std::string why;
        if (!catalogue::CreateLibraryOfKind(companion,
                                            "Entries of " + std::string(KindName(unicode)) +
                                                " libraries, beside " + std::string(library),
                                            unicode, &why)) {
            shell::LogMessage("The companion library " + companion + " for entries of " +
                              KindName(unicode) + " libraries cannot be created: " + why);
            return {};
        }
        shell::LogMessage("Created the companion library " + companion + " beside " +
                          std::string(library) + ": entries of " + KindName(unicode) +
                          " libraries go there.");
        Announced().insert(key);
    } else if (Announced().insert(key).second) {
        shell::LogMessage("Entries of " + std::string(KindName(unicode)) +
                          " libraries go to the companion library " + companion + " of " +
                          std::string(library) + ".");
    }
    return companion;
}

}  // namespace build
