#pragma once
// Executables and dynamic libraries: PowerBuilder's build steps handed to ORCA through the
// session of the application. Failures and link errors go to the log; each function says
// whether ORCA succeeded.

#include <string>
#include <vector>

#include "catalogue/Orcactrl.h"

namespace build {

// One log line with the link error's message text.
void LinkErrorProc(PBORCA_LINKERR* error, void* userData);

// The executable of an application: name empty means the application library's folder +
// "\" + the application's name + ".exe"; an existing file of that name is deleted first,
// and the application library's folder is made the current one. dynamicLibraryFlags has
// one value per library of the library list (1: that library becomes a dynamic library);
// empty means every library is linked into the executable (0 each). "Creating Executable
// NAME" in the status line, "Ready." after.
bool CreateExecutable(catalogue::TPBApp& app, std::string executable = {},
                      std::vector<int32_t> dynamicLibraryFlags = {},
                      const std::string& resourceFile = {}, const std::string& icon = {});
// The name CreateExecutable gives an executable by default.
std::string DefaultExecutableName(const catalogue::TPBApp& app);

// The dynamic library (.pbd, beside the library) of a library of an application:
// "Creating Dynamic Library FOLDER\NAME.pbd" in the status line.
bool CreateDynamicLibrary(catalogue::TPBLibRef& libRef, const std::string& resourceFile = {},
                          int32_t flags = 0);
std::string DynamicLibraryName(std::string_view libraryPath);

}  // namespace build
