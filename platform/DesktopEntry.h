#pragma once
// The program's entry in the user's applications menu: a freedesktop desktop entry file
// in $XDG_DATA_HOME/applications (~/.local/share/applications when XDG_DATA_HOME is
// unset or not absolute), the folder created when missing. This is what the Windows
// program-manager group becomes on this platform.
//
// Errors: WriteDesktopEntry gives a result the caller must look at; it never throws and
// never shows anything.

#include <string>
#include <string_view>

namespace platform {

struct TDesktopEntry {
    std::string fileName;         // for example "sorvanti.desktop"
    std::string name;             // Name=, the menu's text
    std::string programHostPath;  // Exec=, the program to start
    std::string icon;             // Icon=, an icon name of the theme or an absolute path
};

struct TDesktopEntryResult {
    bool ok = false;       // the file holds the entry now
    bool written = false;  // it had to be written (it was missing or different)
    std::string hostPath;  // the file
    std::string reason;    // why not, when !ok
};

// The folder of the user's desktop entries; empty when neither XDG_DATA_HOME nor HOME
// gives one.
std::string DesktopEntryFolder();

// The file's text: Type=Application, Name, Exec (the program's path quoted as the
// desktop-entry format asks when it holds a blank or another reserved character),
// Icon, Categories=Development;, Terminal=false. LF line ends.
std::string DesktopEntryText(const TDesktopEntry& entry);

// Writes the entry into DesktopEntryFolder() (or the folder given), atomically, and only
// when the file does not already hold exactly that text: starting twice neither makes a
// second entry nor touches the file.
TDesktopEntryResult WriteDesktopEntry(const TDesktopEntry& entry, std::string folder = {});

}  // namespace platform
