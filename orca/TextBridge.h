#pragma once
// The texts of Unicode libraries (UTF-16LE, as PowerBuilder 10 and later store names,
// comments and sources) in the forms the rest of the program and the export files use:
//
// - ANSI: bytes of the code page in use (platform/CodePage.h). A character the code page
//   lacks, and NUL, which would end a C string, is written as PowerBuilder's HEXASCII
//   escape: "$$HEX" COUNT "$$", then each UTF-16 code unit as four lower-case hex digits
//   low byte first, then "$$ENDHEX$$" (U+00A0 is "$$HEX1$$a000$$ENDHEX$$"). A run of such
//   units makes one escape. So nothing is lost, lone surrogates included.
// - UTF-8 (the export files PowerBuilder writes): every character as itself; a lone
//   surrogate, which UTF-8 cannot hold, and NUL are written as HEXASCII escapes.
//
// Text that reads like an escape ("$$HEX") is itself escaped on the way out (its first
// '$' becomes "$$HEX1$$2400$$ENDHEX$$"), so that the way back gives the same UTF-16 code
// units for every input. On the way back every "$$HEX" must begin a well-formed escape:
// anything else is an error naming the offset, and nothing is converted.
//
// UTF-16 is passed as its little-endian bytes, as stored in the library (an even count).

#include <cstddef>
#include <string>
#include <string_view>

namespace orca {

// UTF-16LE bytes to ANSI with escapes. An odd last byte is ignored (callers check).
std::string Utf16ToAnsi(std::string_view utf16);
// ANSI with escapes to UTF-16LE bytes; false with the reason in *error on a malformed
// escape (*out is then unspecified).
bool AnsiToUtf16(std::string_view ansi, std::string* out, std::string* error);

// UTF-16LE bytes to UTF-8 with escapes for lone surrogates and NUL.
std::string Utf16ToUtf8(std::string_view utf16);
// UTF-8 (escapes allowed) to UTF-16LE bytes; false with the reason in *error on bytes
// that are not UTF-8 or a malformed escape.
bool Utf8ToUtf16(std::string_view utf8, std::string* out, std::string* error);

// A name or a comment of a library as UTF-8, strictly: false, with the reason in *error,
// for an odd byte count, a lone surrogate or a NUL. Names are held this way in memory.
bool Utf16ToUtf8Strict(std::string_view utf16, std::string* out, std::string* error);
// UTF-8 (no escapes) to UTF-16LE bytes; false on bytes that are not UTF-8.
bool Utf8ToUtf16Strict(std::string_view utf8, std::string* out, std::string* error);

}  // namespace orca
