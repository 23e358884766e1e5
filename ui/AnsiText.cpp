// Conversion between the program's single-byte ANSI texts and Qt strings.

#include "ui/AnsiText.h"

namespace ui {

namespace {

// Windows-1252 at 0x80..0x9F (0 where the code page leaves the byte undefined: it then
// shows as the C1 control of the same value, as Latin-1 would).
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

QString FromAnsi(std::string_view text) {
    QString out;
    out.resize(static_cast<qsizetype>(text.size()));
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        char16_t c = b;
        if (b >= 0x80 && b < 0xA0 && Cp1252High[b - 0x80] != 0)
            c = Cp1252High[b - 0x80];
        out[static_cast<qsizetype>(i)] = QChar(c);
    }
    return out;
}

std::string ToAnsi(const QString& text) {
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        char b = '?';
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            b = static_cast<char>(c);
        } else {
            for (int k = 0; k < 32; ++k)
                if (Cp1252High[k] == c || (Cp1252High[k] == 0 && c == 0x80 + k))
                    b = static_cast<char>(0x80 + k);
        }
        out.push_back(b);
    }
    return out;
}

}  // namespace ui
