#pragma once
// The ANSI code page of the user's Windows: the single-byte character set every text of
// the program is in. It decides the upper-case map of platform/Ansi.h (AnsiUpperMap)
// and how the bytes look on the screen (AnsiToUnicode, UnicodeToAnsi).
//
// The code page is chosen once, at the first call of AnsiCodePage(), AnsiToUnicode() or
// UnicodeToAnsi() (the program makes the first call at start-up, before any other
// thread runs); until then the tables hold Windows-1252. The choice, in order:
//   1. SORVANTI_CODEPAGE, a number such as 1253 (ignored unless it names a single-byte
//      code page the host's iconv knows);
//   2. the Locale value (an LCID in hex, "00000408") of HKEY_CURRENT_USER\Control
//      Panel\International in the prefix's registry: the program's own registry file,
//      else the user.reg of a Wine prefix;
//   3. the host locale (LC_ALL, else LC_CTYPE, else LANG), as Wine derives the code page
//      from it: el_GR.UTF-8 gives 1253, ru_RU 1251, and so on;
//   4. Windows-1252.
// Only single-byte code pages are used: Japanese, Chinese and Korean Windows have
// double-byte code pages, which the program's byte-wise texts cannot hold, so those
// locales keep 1252.
//
// The tables come from the host's iconv (glibc's "CP1253" and so on) and the upper case
// of each character from the Unicode tables of the "C.UTF-8" locale. A byte the code
// page leaves undefined stands for the character of the same number (as in Latin-1), so
// every byte survives the way to Unicode and back.

#include <string>
#include <string_view>

namespace platform {

inline constexpr int DefaultAnsiCodePage = 1252;

// The code page in use, chosen on the first call as described above.
int AnsiCodePage();
// Uses the code page from now on (tests, and a start-up that knows better). False,
// changing nothing, when it is not a single-byte code page iconv knows. Not for use while
// other threads work on texts.
bool SetAnsiCodePage(int codePage);

// The choice described above, made afresh from the environment and the prefix, without
// putting it into use.
int ChooseAnsiCodePage();
// The ANSI code page Windows gives a locale id (0x0408 Greek: 1253), 1252 when it has
// no single-byte one.
int CodePageOfLcid(unsigned lcid);
// The ANSI code page Wine gives a host locale name ("el_GR.UTF-8": 1253,
// "sr_RS@latin": 1250), 1252 for "C", "POSIX", an empty name and the rest.
int CodePageOfLocaleName(std::string_view locale);

// Bytes of the code page in use to UTF-16, one unit per byte.
std::u16string AnsiToUnicode(std::string_view text);
// UTF-16 to bytes of the code page in use, one byte per character; a character the code
// page lacks (a surrogate pair counts as one) becomes '?'.
std::string UnicodeToAnsi(std::u16string_view text);

}  // namespace platform
