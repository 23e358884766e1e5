#pragma once
// The Windows environment on a POSIX host lives in a prefix laid out as Wine lays one
// out: dosdevices/c: -> ../drive_c, drive_c/windows/win.ini. The prefix is chosen by
// SORVANTI_PREFIX, else WINEPREFIX, else a folder under the user's XDG data directory,
// and created on first use.

#include <string>
#include <string_view>

namespace platform {

// Host path of the prefix folder, created with its layout on first use.
const std::string& PrefixDir();
// Uses the given host folder as the prefix from now on (an empty text goes back to the
// environment's choice on the next call). The ORCA library's own copy of this layer is
// given the program's prefix this way, through SorvantiOrca_SetPrefix; tests set theirs.
void SetPrefixDir(std::string hostDir);

// Host path of the Windows profile file (drive_c/windows/win.ini).
std::string WinIniHostPath();
// Host path of the file holding the registry.
std::string RegistryHostPath();

// The running program's executable: host path, and its Windows form.
std::string ProgramFileHostPath();
std::string ProgramFileName();  // file name only, for example "sorvanti"

}  // namespace platform
