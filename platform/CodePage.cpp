#include "platform/CodePage.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/Registry.h"
#include "platform/Text.h"

namespace platform {

namespace {

using UpperTable = std::array<unsigned char, 256>;

// Until the first code page is put into use (during static initialisation), the map
// folds the ASCII letters only, which every code page shares.
constexpr UpperTable AsciiUpperTable() {
    UpperTable map{};
    for (int b = 0; b < 256; ++b)
        map[b] = static_cast<unsigned char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
    return map;
}

UpperTable upperMap = AsciiUpperTable();

struct CodePageTables {
    int codePage = 0;
    UpperTable upper{};
    std::array<char16_t, 256> unicode{};
    // Character -> byte, sorted by character; a character that a defined byte decodes to
    // wins over the Latin-1 stand-in of an undefined byte.
    std::vector<std::pair<char16_t, unsigned char>> bytes;
};

CodePageTables tables;
std::mutex choiceMutex;
std::atomic<bool> chosen{false};

class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (Valid())
            iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The one character byte b stands for; nothing when b is not a whole character of
    // the code page. incomplete is set when b only begins one (a double-byte code page).
    std::optional<char32_t> Decode(unsigned char b, bool* incomplete) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char in[1] = {static_cast<char>(b)};
        char32_t out[4] = {};
        char* inPtr = in;
        size_t inLeft = 1;
        char* outPtr = reinterpret_cast<char*>(out);
        size_t outLeft = sizeof out;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
            if (errno == EINVAL)
                *incomplete = true;
            return std::nullopt;
        }
        // A code page that composes characters (1258) holds the last one back: flush it.
        if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1))
            return std::nullopt;
        if (sizeof out - outLeft != sizeof(char32_t))
            return std::nullopt;
        return out[0];
    }

  private:
    iconv_t cd_;
};

std::optional<unsigned char> ByteOf(const CodePageTables& t, char16_t c) {
    auto it = std::lower_bound(t.bytes.begin(), t.bytes.end(), c,
                               [](const auto& entry, char16_t x) { return entry.first < x; });
    if (it == t.bytes.end() || it->first != c)
        return std::nullopt;
    return it->second;
}

// The upper case of a character by the Unicode tables; the character itself when they
// cannot be had.
char32_t UnicodeUpper(char32_t c) {
    // Freed with the program, or with the ORCA library that holds a copy of this code
    // when it is unloaded.
    struct TUtf8Locale {
        locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        ~TUtf8Locale() {
            if (locale != static_cast<locale_t>(0))
                freelocale(locale);
        }
    };
    static const TUtf8Locale utf8;
    if (utf8.locale == static_cast<locale_t>(0))
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), utf8.locale));
}

std::optional<CodePageTables> BuildTables(int codePage) {
    if (codePage <= 0 || codePage > 65535)
        return std::nullopt;
    const std::string name = "CP" + std::to_string(codePage);
    Iconv decoder("UTF-32LE", name.c_str());
    if (!decoder.Valid())
        return std::nullopt;
    CodePageTables t;
    t.codePage = codePage;
    std::array<bool, 256> defined{};
    for (int b = 0; b < 256; ++b) {
        bool incomplete = false;
        const std::optional<char32_t> c =
            decoder.Decode(static_cast<unsigned char>(b), &incomplete);
        if (incomplete)
            return std::nullopt;  // a lead byte: not a single-byte code page
        defined[b] = c && *c <= 0xFFFF;
        t.unicode[b] = defined[b] ? static_cast<char16_t>(*c) : static_cast<char16_t>(b);
    }
    std::map<char16_t, unsigned char> bytes;
    for (int pass = 0; pass < 2; ++pass) {
        for (int b = 255; b >= 0; --b) {
            if (defined[b] == (pass == 1))
                bytes[t.unicode[b]] = static_cast<unsigned char>(b);
        }
    }
    t.bytes.assign(bytes.begin(), bytes.end());
    for (int b = 0; b < 256; ++b) {
        t.upper[b] = static_cast<unsigned char>(b);
        if (!defined[b])
            continue;
        const char32_t upper = UnicodeUpper(t.unicode[b]);
        if (upper == t.unicode[b] || upper > 0xFFFF)
            continue;
        if (std::optional<unsigned char> ub = ByteOf(t, static_cast<char16_t>(upper));
            ub && defined[*ub]) {
            t.upper[b] = *ub;
        }
    }
    return t;
}

void Use(CodePageTables t) {
    upperMap = t.upper;
    tables = std::move(t);
}

// Windows-1252 from the start of the program; when iconv does not know it, the ASCII
// map stays and the bytes display as Latin-1.
const bool defaultTablesSet = [] {
    if (std::optional<CodePageTables> t = BuildTables(DefaultAnsiCodePage)) {
        Use(std::move(*t));
    } else {
        tables.codePage = DefaultAnsiCodePage;
        for (int b = 0; b < 256; ++b) {
            tables.unicode[b] = static_cast<char16_t>(b);
            tables.bytes.emplace_back(static_cast<char16_t>(b), static_cast<unsigned char>(b));
        }
    }
    return true;
}();

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::optional<int> ParseNumber(std::string_view text, int base) {
    text = Trim(text);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

bool IsSingleByteCodePage(int codePage) {
    return BuildTables(codePage).has_value();
}

constexpr std::string_view InternationalKey = "Control Panel\\International";

// "Locale" of HKCU\Control Panel\International in a Wine user.reg: keys are relative to
// HKEY_CURRENT_USER, written [Control Panel\\International] 1234567890, with "\\" for
// each backslash.
std::string WineUserRegLocale(std::string_view text) {
    bool inKey = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == text.npos)
            end = text.size();
        std::string_view line = Trim(text.substr(pos, end - pos));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos = end + 1;
        if (!line.empty() && line.front() == '[') {
            const size_t close = line.find(']');
            std::string name;
            const std::string_view escaped =
                line.substr(1, close == line.npos ? line.npos : close - 1);
            for (size_t i = 0; i < escaped.size(); ++i) {
                if (escaped[i] == '\\' && i + 1 < escaped.size() && escaped[i + 1] == '\\')
                    ++i;
                name.push_back(escaped[i]);
            }
            inKey = AnsiSameText(name, InternationalKey);
            continue;
        }
        constexpr std::string_view valueStart = "\"locale\"=\"";
        if (inKey && line.size() > valueStart.size() &&
            AnsiSameText(line.substr(0, valueStart.size()), valueStart) && line.back() == '"') {
            return std::string(line.substr(valueStart.size(), line.size() - valueStart.size() - 1));
        }
    }
    return {};
}

// The locale id the prefix's registry holds, or nothing.
std::optional<unsigned> PrefixLocale() {
    std::string text;
    {
        // Looking must not change the last error a caller may still want to see.
        const std::string lastError = LastErrorText();
        TRegistry registry(TRootKey::CurrentUser);
        if (registry.OpenKey(InternationalKey, false))
            text = registry.ReadString("Locale");
        SetLastErrorText(lastError);
    }
    if (text.empty()) {
        if (std::optional<std::string> userReg = ReadHostFile(PrefixDir() + "/user.reg"))
            text = WineUserRegLocale(*userReg);
    }
    if (std::optional<int> lcid = ParseNumber(text, 16); lcid && *lcid > 0)
        return static_cast<unsigned>(*lcid);
    return std::nullopt;
}

}  // namespace

const std::array<unsigned char, 256>& AnsiUpperMap = upperMap;

int CodePageOfLcid(unsigned lcid) {
    const unsigned language = lcid & 0x3FF;
    const unsigned sublanguage = (lcid >> 10) & 0x3F;
    switch (language) {
        case 0x08:  // Greek
            return 1253;
        case 0x02:  // Bulgarian
        case 0x19:  // Russian
        case 0x22:  // Ukrainian
        case 0x23:  // Belarusian
        case 0x2F:  // Macedonian
        case 0x3F:  // Kazakh
        case 0x40:  // Kyrgyz
        case 0x44:  // Tatar
        case 0x50:  // Mongolian
            return 1251;
        case 0x1A:  // Croatian, Serbian and Bosnian: Cyrillic where the sublanguage says so
            return (sublanguage == 3 || sublanguage == 7 || sublanguage == 8) ? 1251 : 1250;
        case 0x05:  // Czech
        case 0x0E:  // Hungarian
        case 0x15:  // Polish
        case 0x18:  // Romanian
        case 0x1B:  // Slovak
        case 0x1C:  // Albanian
        case 0x24:  // Slovenian
            return 1250;
        case 0x1F:  // Turkish
            return 1254;
        case 0x2C:  // Azeri: Latin, or Cyrillic as the second sublanguage
            return sublanguage == 2 ? 1251 : 1254;
        case 0x0D:  // Hebrew
            return 1255;
        case 0x01:  // Arabic
        case 0x20:  // Urdu
        case 0x29:  // Farsi
            return 1256;
        case 0x25:  // Estonian
        case 0x26:  // Latvian
        case 0x27:  // Lithuanian
            return 1257;
        case 0x2A:  // Vietnamese
            return 1258;
        case 0x1E:  // Thai
            return 874;
        default:
            // Western languages; and Japanese, Chinese and Korean, whose double-byte code
            // pages the program's texts cannot hold.
            return DefaultAnsiCodePage;
    }
}

int CodePageOfLocaleName(std::string_view locale) {
    const size_t languageEnd = locale.find_first_of("_.@");
    const std::string language = AnsiUpperCase(locale.substr(0, languageEnd));
    const bool latinScript = locale.find("@latin") != locale.npos;
    struct Row {
        const char* language;
        int codePage;
    };
    static constexpr Row rows[] = {
        {"EL", 1253}, {"RU", 1251}, {"UK", 1251}, {"BE", 1251}, {"BG", 1251}, {"MK", 1251},
        {"KK", 1251}, {"KY", 1251}, {"TT", 1251}, {"MN", 1251}, {"PL", 1250}, {"CS", 1250},
        {"HU", 1250}, {"SK", 1250}, {"SL", 1250}, {"HR", 1250}, {"RO", 1250}, {"SQ", 1250},
        {"BS", 1250}, {"TR", 1254}, {"AZ", 1254}, {"HE", 1255}, {"IW", 1255}, {"YI", 1255},
        {"AR", 1256}, {"FA", 1256}, {"UR", 1256}, {"LT", 1257}, {"LV", 1257}, {"ET", 1257},
        {"VI", 1258}, {"TH", 874},
    };
    if (language == "SR")  // Serbian is Cyrillic unless the locale says Latin
        return latinScript ? 1250 : 1251;
    for (const Row& row : rows) {
        if (language == row.language)
            return row.codePage;
    }
    // "C", "POSIX", Western languages, and Japanese, Chinese and Korean (double-byte).
    return DefaultAnsiCodePage;
}

int ChooseAnsiCodePage() {
    if (std::optional<int> forced = ParseNumber(EnvText("SORVANTI_CODEPAGE"), 10);
        forced && IsSingleByteCodePage(*forced)) {
        return *forced;
    }
    int codePage = DefaultAnsiCodePage;
    if (std::optional<unsigned> lcid = PrefixLocale()) {
        codePage = CodePageOfLcid(*lcid);
    } else {
        std::string locale = EnvText("LC_ALL");
        if (locale.empty())
            locale = EnvText("LC_CTYPE");
        if (locale.empty())
            locale = EnvText("LANG");
        codePage = CodePageOfLocaleName(locale);
    }
    return IsSingleByteCodePage(codePage) ? codePage : DefaultAnsiCodePage;
}

int AnsiCodePage() {
    if (!chosen.load(std::memory_order_acquire)) {
        std::lock_guard lock(choiceMutex);
        if (!chosen.load(std::memory_order_relaxed)) {
            if (std::optional<CodePageTables> t = BuildTables(ChooseAnsiCodePage()))
                Use(std::move(*t));
            chosen.store(true, std::memory_order_release);
        }
    }
    return tables.codePage;
}

bool SetAnsiCodePage(int codePage) {
    std::optional<CodePageTables> t = BuildTables(codePage);
    if (!t)
        return false;
    std::lock_guard lock(choiceMutex);
    Use(std::move(*t));
    chosen.store(true, std::memory_order_release);
    return true;
}

std::u16string AnsiToUnicode(std::string_view text) {
    AnsiCodePage();
    std::u16string out(text.size(), u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = tables.unicode[static_cast<unsigned char>(text[i])];
    return out;
}

std::string UnicodeToAnsi(std::u16string_view text) {
    AnsiCodePage();
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            ++i;  // a character beyond the first plane: never in a single-byte code page
            out.push_back('?');
            continue;
        }
        out.push_back(static_cast<char>(ByteOf(tables, c).value_or('?')));
    }
    return out;
}

}  // namespace platform
