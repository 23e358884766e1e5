#include "orca/TextBridge.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/CodePage.h"

namespace orca {

namespace {

constexpr std::string_view EscapeStart = "$$HEX";
constexpr std::string_view EscapeEnd = "$$ENDHEX$$";
constexpr const char* HexDigits = "0123456789abcdef";

// Code unit -> byte of the code page in use, -1 where the code page has no byte for it.
// Built again when the code page changes.
struct ReverseTable {
    int codePage = 0;
    std::array<int16_t, 65536> byteOf{};
};

const ReverseTable& CodePageReverse() {
    static std::mutex mutex;
    static std::shared_ptr<const ReverseTable> table;
    const int codePage = platform::AnsiCodePage();
    const std::lock_guard<std::mutex> lock(mutex);
    if (!table || table->codePage != codePage) {
        auto built = std::make_shared<ReverseTable>();
        built->codePage = codePage;
        built->byteOf.fill(-1);
        std::string all(256, '\0');
        for (int b = 0; b < 256; ++b)
            all[static_cast<size_t>(b)] = static_cast<char>(b);
        const std::u16string units = platform::AnsiToUnicode(all);
        for (const char16_t unit : units) {
            // The byte the code page writes for the unit, which reads back as the unit.
            const std::string byte = platform::UnicodeToAnsi(std::u16string(1, unit));
            if (byte.size() == 1 && platform::AnsiToUnicode(byte)[0] == unit)
                built->byteOf[unit] = static_cast<unsigned char>(byte[0]);
        }
        table = std::move(built);
    }
    // Kept alive by the static pointer until the code page changes, which happens only
    // while no other thread works on texts.
    return *table;
}

char16_t UnitAt(std::string_view utf16, size_t i) {
    return static_cast<char16_t>(static_cast<unsigned char>(utf16[2 * i]) |
                                 (static_cast<unsigned char>(utf16[2 * i + 1]) << 8));
}

void PutUnit(std::string* out, char16_t unit) {
    out->push_back(static_cast<char>(unit & 0xff));
    out->push_back(static_cast<char>(unit >> 8));
}

bool IsHigh(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLow(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

// True when the units from i on read "$HEX" after a '$' at i - 1: that '$' would begin
// an escape when read back.
bool StartsEscape(std::string_view utf16, size_t units, size_t i) {
    static constexpr char16_t rest[] = {u'$', u'H', u'E', u'X'};
    if (units - i < 5)
        return false;
    for (size_t k = 0; k < 4; ++k)
        if (UnitAt(utf16, i + 1 + k) != rest[k])
            return false;
    return true;
}

void AppendEscape(std::string* out, std::string_view utf16, size_t from, size_t to) {
    *out += EscapeStart;
    *out += std::to_string(to - from);
    *out += "$$";
    for (size_t i = from; i < to; ++i) {
        const char16_t u = UnitAt(utf16, i);
        for (const unsigned byte :
             {static_cast<unsigned>(u & 0xff), static_cast<unsigned>(u >> 8)}) {
            out->push_back(HexDigits[byte >> 4]);
            out->push_back(HexDigits[byte & 15]);
        }
    }
    *out += EscapeEnd;
}

// Writes the units of utf16, each either as itself through put(unit, i, out) (which
// gives the units it used, 0 when the unit must be escaped) or in an escape.
template <class Put>
std::string Encode(std::string_view utf16, size_t reserve, const Put& put, std::string out = {},
                   size_t i = 0) {
    const size_t units = utf16.size() / 2;
    out.reserve(reserve);
    while (i < units) {
        size_t used = 0;
        const char16_t u = UnitAt(utf16, i);
        if (u != 0 && !(u == u'$' && StartsEscape(utf16, units, i)))
            used = put(u, i, &out);
        if (used != 0) {
            i += used;
            continue;
        }
        // A run of units that go into one escape.
        const size_t from = i++;
        while (i < units) {
            const char16_t next = UnitAt(utf16, i);
            if (next != 0 && !(next == u'$' && StartsEscape(utf16, units, i))) {
                std::string probe;
                if (put(next, i, &probe) != 0)
                    break;
            }
            ++i;
        }
        AppendEscape(&out, utf16, from, i);
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Malformed(std::string* error, size_t at, const std::string& why) {
    if (error)
        *error = "malformed HEXASCII escape at byte " + std::to_string(at) + ": " + why;
    return false;
}

// The escape at text[at...] ("$$HEX" already seen) appended to out as UTF-16; the
// position after it in *next.
bool ReadEscape(std::string_view text, size_t at, std::string* out, size_t* next,
                std::string* error) {
    size_t pos = at + EscapeStart.size();
    size_t count = 0;
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 9) {
        count = count * 10 + static_cast<size_t>(text[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0 || count == 0)
        return Malformed(error, at, "no unit count after $$HEX");
    if (text.substr(pos, 2) != "$$")
        return Malformed(error, at, "no $$ after the unit count");
    pos += 2;
    if (text.size() - pos < count * 4)
        return Malformed(error, at, "the text ends before its " + std::to_string(count) + " units");
    for (size_t k = 0; k < count; ++k, pos += 4) {
        int v[4];
        for (size_t d = 0; d < 4; ++d)
            v[d] = HexValue(text[pos + d]);
        if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[3] < 0)
            return Malformed(error, at,
                             "unit " + std::to_string(k + 1) + " of " + std::to_string(count) +
                                 " is not four hex digits");
        out->push_back(static_cast<char>(v[0] << 4 | v[1]));
        out->push_back(static_cast<char>(v[2] << 4 | v[3]));
    }
    if (text.substr(pos, EscapeEnd.size()) != EscapeEnd)
        return Malformed(error, at, "no $$ENDHEX$$ after its " + std::to_string(count) + " units");
    *next = pos + EscapeEnd.size();
    return true;
}

// Reads text: escapes, and between them literal text through literal(piece, out, error,
// offset of the piece).
template <class Literal>
bool Decode(std::string_view text, std::string* out, std::string* error, const Literal& literal) {
    out->clear();
    out->reserve(text.size() * 2);
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t escape = text.find(EscapeStart, pos);
        const size_t end = escape == std::string_view::npos ? text.size() : escape;
        if (!literal(text.substr(pos, end - pos), out, error, pos))
            return false;
        if (escape == std::string_view::npos)
            break;
        if (!ReadEscape(text, escape, out, &pos, error))
            return false;
    }
    return true;
}

void PutUtf8(std::string* out, uint32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// UTF-8 to UTF-16 units, strictly (no overlong forms, no surrogates, nothing past
// U+10FFFF).
bool Utf8Units(std::string_view text, std::string* out, std::string* error, size_t base) {
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out->push_back(static_cast<char>(b));
            out->push_back('\0');
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t c = 0, min = 0;
        if ((b & 0xE0) == 0xC0) {
            length = 2, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            length = 3, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            length = 4, c = b & 0x07, min = 0x10000;
        }
        bool ok = length != 0 && text.size() - i >= length;
        for (size_t k = 1; ok && k < length; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            ok = (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            if (error)
                *error = "the text is not UTF-8 at byte " + std::to_string(base + i);
            return false;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            PutUnit(out, static_cast<char16_t>(0xD800 + (c >> 10)));
            PutUnit(out, static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            PutUnit(out, static_cast<char16_t>(c));
        }
        i += length;
    }
    return true;
}

}  // namespace

std::string Utf16ToAnsi(std::string_view utf16) {
    const ReverseTable& table = CodePageReverse();
    const size_t units = utf16.size() / 2;
    // Text the code page holds whole, as most sources are, in one tight loop; from the
    // first unit that needs an escape (or may) on, unit by unit.
    std::string out(units, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(utf16.data());
    size_t i = 0;
    for (; i < units; ++i) {
        const auto u = static_cast<char16_t>(in[2 * i] | (in[2 * i + 1] << 8));
        const int16_t b = table.byteOf[u];
        if (b <= 0 || (u == u'$' && StartsEscape(utf16, units, i)))
            break;
        out[i] = static_cast<char>(b);
    }
    if (i == units)
        return out;
    out.resize(i);
    return Encode(
        utf16, units + 32,
        [&](char16_t u, size_t, std::string* to) -> size_t {
            const int16_t b = table.byteOf[u];
            if (b < 0)
                return 0;
            to->push_back(static_cast<char>(b));
            return 1;
        },
        std::move(out), i);
}

bool AnsiToUtf16(std::string_view ansi, std::string* out, std::string* error) {
    platform::AnsiCodePage();
    // One table lookup per byte: the code page's characters for all 256 bytes.
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b)
        all[static_cast<size_t>(b)] = static_cast<char>(b);
    const std::u16string units = platform::AnsiToUnicode(all);
    return Decode(ansi, out, error,
                  [&](std::string_view piece, std::string* to, std::string*, size_t) {
                      for (const char c : piece)
                          PutUnit(to, units[static_cast<unsigned char>(c)]);
                      return true;
                  });
}

std::string Utf16ToUtf8(std::string_view utf16) {
    const size_t units = utf16.size() / 2;
    return Encode(utf16, utf16.size() + utf16.size() / 4,
                  [&](char16_t u, size_t i, std::string* out) -> size_t {
                      if (IsHigh(u)) {
                          if (i + 1 >= units || !IsLow(UnitAt(utf16, i + 1)))
                              return 0;
                          const char16_t low = UnitAt(utf16, i + 1);
                          PutUtf8(out, 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) +
                                           (low - 0xDC00));
                          return 2;
                      }
                      if (IsLow(u))
                          return 0;
                      PutUtf8(out, u);
                      return 1;
                  });
}

bool Utf8ToUtf16(std::string_view utf8, std::string* out, std::string* error) {
    return Decode(utf8, out, error, Utf8Units);
}

bool Utf16ToUtf8Strict(std::string_view utf16, std::string* out, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (utf16.size() % 2 != 0)
        return fail("an odd number of bytes (" + std::to_string(utf16.size()) +
                    ") is no UTF-16 text");
    out->clear();
    const size_t units = utf16.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        const char16_t u = UnitAt(utf16, i);
        if (u == 0)
            return fail("a NUL character at UTF-16 unit " + std::to_string(i));
        if (IsHigh(u) && i + 1 < units && IsLow(UnitAt(utf16, i + 1))) {
            PutUtf8(out, 0x10000 + ((static_cast<uint32_t>(u) - 0xD800) << 10) +
                             (UnitAt(utf16, i + 1) - 0xDC00));
            ++i;
        } else if (IsHigh(u) || IsLow(u)) {
            return fail("a lone surrogate at UTF-16 unit " + std::to_string(i));
        } else {
            PutUtf8(out, u);
        }
    }
    return true;
}

bool Utf8ToUtf16Strict(std::string_view utf8, std::string* out, std::string* error) {
    out->clear();
    return Utf8Units(utf8, out, error, 0);
}

}  // namespace orca
