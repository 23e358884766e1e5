#pragma once
// Windows paths as the program holds them (c:\apps\sales.pbl) and the host paths they
// stand for. Drive letters map through the prefix's dosdevices folder; z: is always /.
// Both / and \ separate components; a component that does not exist under its exact
// name matches an existing one of the same name in another case. UNC paths map through
// the prefix's share table (unc/<server>/<share> links) when present.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The host path a Windows path stands for; empty when it cannot stand for any (no such
// drive, no such share, a relative path with no current directory to resolve it).
// Components that exist are matched without regard to case; the rest are kept as given.
std::string HostPath(std::string_view windowsPath);

// The shortest Windows form of a host path: through a mapped drive other than z: when
// one holds it, else z:\ followed by the path.
std::string WindowsPath(std::string_view hostPath);

// The absolute Windows form of a path, as GetFullPathName gives it: resolved against
// the current directory, separators made backslashes, "." and ".." taken out, the
// drive letter in lower case. Empty when the path is empty or cannot be resolved.
std::string FullWindowsPath(std::string_view windowsPath);

// The drives of the prefix, as "c:", in letter order: every drive letter the prefix's
// dosdevices folder maps to a folder that exists, and z: always.
std::vector<std::string> LogicalDrives();

}  // namespace platform
