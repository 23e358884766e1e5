#pragma once
// Loading a shared library by its Windows DLL name and binding its functions by name.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The host file name of a DLL name: "PBOrc040.dll" -> "libpborc040.so".
std::string SharedObjectName(std::string_view dllName);

class TSharedLibrary {
  public:
    TSharedLibrary() = default;
    ~TSharedLibrary();
    TSharedLibrary(const TSharedLibrary&) = delete;
    TSharedLibrary& operator=(const TSharedLibrary&) = delete;

    // Loads the library of a DLL name, looked for in the program's directory, then in
    // the directories of the program's App Paths "Path" value (HKEY_LOCAL_MACHINE,
    // separated by ';'). False with the reason in LastErrorText() when not found.
    bool Load(std::string_view dllName);
    void Unload();
    // The host path of the loaded library; empty when none is loaded.
    const std::string& HostPath() const { return path_; }

    // The address of a symbol looked up by its name, then by its name in upper case;
    // nullptr when neither exists.
    void* Symbol(std::string_view name) const;

  private:
    bool LoadHostPath(const std::string& hostPath);

    void* handle_ = nullptr;
    std::string path_;
};

}  // namespace platform
