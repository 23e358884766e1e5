#pragma once
// Companion libraries. An entry is copied only between libraries of one kind: ANSI
// libraries (PowerBuilder 4 to 9) and Unicode libraries (PowerBuilder 10 and later) hold
// their compiled forms differently. Where the Temporary Library or a check-out library
// is of the other kind than the library an entry comes from, the entry goes to a
// companion library beside it, of the entry's kind: "temp.pbl" has "temp_unicode.pbl"
// for entries of Unicode libraries, or "temp_ansi.pbl" for entries of ANSI ones.

#include <string>
#include <string_view>

namespace build {

// The companion of `library` for entries of a library of that kind.
std::string CompanionName(std::string_view library, bool unicode);

// The library that stands in for `library` for entries of `entryLibrary`: `library`
// itself when both are of one kind (or either cannot be read: the ORCA call then says
// why), else its companion. With `create`, a missing companion is created (logged); the
// first use of a companion in a run is logged. Empty when the companion is missing and
// not created, or cannot be created (logged).
std::string LibraryForEntriesOf(std::string_view library, std::string_view entryLibrary,
                                bool create);

}  // namespace build
