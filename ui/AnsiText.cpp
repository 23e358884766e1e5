// Conversion between the program's single-byte ANSI texts and Qt strings, in the code
// page of the user's Windows.

#include "ui/AnsiText.h"

#include "platform/CodePage.h"

namespace ui {

QString FromAnsi(std::string_view text) {
    const std::u16string unicode = platform::AnsiToUnicode(text);
    return QString::fromUtf16(unicode.data(), static_cast<qsizetype>(unicode.size()));
}

std::string ToAnsi(const QString& text) {
    return platform::UnicodeToAnsi(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size())));
}

}  // namespace ui
