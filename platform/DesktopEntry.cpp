#include "platform/DesktopEntry.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/LastError.h"

namespace platform {

namespace {

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// A value of the file: backslash, line breaks and tabs written as escapes.
std::string EscapeValue(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\\':
                out.append("\\\\");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

// One argument of Exec: quoted in double quotes when it holds a reserved character, with
// ", `, $ and \ escaped inside the quotes; a % is doubled, as it would begin a field code.
std::string ExecArgument(std::string_view argument) {
    constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    const bool quote = argument.empty() || argument.find_first_of(reserved) != argument.npos;
    if (quote)
        out.push_back('"');
    for (char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            out.push_back('\\');
        out.push_back(c);
        if (c == '%')
            out.push_back('%');
    }
    if (quote)
        out.push_back('"');
    return out;
}

}  // namespace

std::string DesktopEntryFolder() {
    std::string data = EnvText("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {
        const std::string home = EnvText("HOME");
        if (home.empty())
            return {};
        data = home + "/.local/share";
    }
    while (data.size() > 1 && data.back() == '/')
        data.pop_back();
    return data + "/applications";
}

std::string DesktopEntryText(const TDesktopEntry& entry) {
    std::string text = "[Desktop Entry]\nType=Application\n";
    text.append("Name=").append(EscapeValue(entry.name)).append("\n");
    text.append("Exec=").append(EscapeValue(ExecArgument(entry.programHostPath))).append("\n");
    if (!entry.icon.empty())
        text.append("Icon=").append(EscapeValue(entry.icon)).append("\n");
    text.append("Categories=Development;\nTerminal=false\n");
    return text;
}

TDesktopEntryResult WriteDesktopEntry(const TDesktopEntry& entry, std::string folder) {
    TDesktopEntryResult result;
    if (folder.empty())
        folder = DesktopEntryFolder();
    if (folder.empty()) {
        result.reason =
            "there is no folder for desktop entries (neither XDG_DATA_HOME nor HOME "
            "is set)";
        return result;
    }
    if (entry.fileName.empty() || entry.fileName.find('/') != std::string::npos) {
        result.reason = "\"" + entry.fileName + "\" is not a file name";
        return result;
    }
    if (entry.programHostPath.empty()) {
        result.reason = "the program's path is not known";
        return result;
    }
    result.hostPath = folder + "/" + entry.fileName;
    const std::string text = DesktopEntryText(entry);
    std::error_code ec;
    if (std::filesystem::is_regular_file(result.hostPath, ec)) {
        if (std::optional<std::string> old = ReadHostFile(result.hostPath); old && *old == text) {
            result.ok = true;
            return result;
        }
    }
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        result.reason = "the folder " + folder + " cannot be created (" + ec.message() + ")";
        return result;
    }
    if (!WriteHostFileAtomic(result.hostPath, text)) {
        result.reason = LastErrorText();
        return result;
    }
    result.ok = true;
    result.written = true;
    return result;
}

}  // namespace platform
