#pragma once
// The ANSI face of a Unicode library, for the ORCA calls: the program works in the ANSI
// code page, so through the calls a Unicode library shows its names, comments and
// sources converted to the code page, with HEXASCII escapes for what the code page
// lacks (orca/TextBridge.h). The view is an ordinary ANSI PblLibrary, so every call
// works on it as on an ANSI library; it remembers the library it shows (StoredForm), and
// each of its entries the stored entry it came from (origin).
//
// A changed view is written in the Unicode layout: StoredFormOf gives the Unicode library
// for it, in which every entry the view still holds unchanged is the stored entry byte
// for byte (compiled forms, .prp entries and anything unknown included) and every new
// or replaced entry is converted back to UTF-16.

#include <memory>
#include <string>

#include "orca/PblLibrary.h"

namespace orca {

// The view of a Unicode library; nullptr with the reason in *error when a source entry
// is not UTF-16 (an odd byte count) or a converted comment would not fit an entry.
std::unique_ptr<PblLibrary> AnsiViewOf(std::shared_ptr<const PblLibrary> stored,
                                       std::string* error);
// The Unicode library to write for a view; nullptr with the reason in *error when a
// changed text holds a malformed escape or a name does not convert.
std::unique_ptr<PblLibrary> StoredFormOf(const PblLibrary& view, std::string* error);

}  // namespace orca
