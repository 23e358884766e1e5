// The prefix, Windows paths and the host paths they stand for, and loading shared
// libraries by their DLL names.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Registry.h"
#include "platform/SharedLibrary.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using testsupport::TempPrefix;

// Checks pairs of a Windows path and the host path it maps to (or the reverse), where a
// leading "C/" stands for the host folder of drive c:.
void CheckMapping(const TempPrefix& prefix,
                  std::initializer_list<std::pair<std::string, std::string>> cases,
                  bool toHost = true) {
    auto expand = [&](const std::string& s) {
        return s.starts_with("C/") ? prefix.DriveC() + s.substr(1) : s == "C" ? prefix.DriveC() : s;
    };
    for (const auto& [from, to] : cases) {
        if (toHost)
            EXPECT_EQ(HostPath(from), expand(to)) << from;
        else
            EXPECT_EQ(WindowsPath(expand(from)), to) << from;
    }
}

TEST(Prefix, IsLaidOutAsWineLaysOutOneAndChosenFromTheEnvironment) {
    {
        TempPrefix prefix;
        const std::string dir = PrefixDir();
        EXPECT_EQ(dir, prefix.PrefixPath());
        EXPECT_EQ(fs::read_symlink(dir + "/dosdevices/c:"), fs::path("../drive_c"));
        EXPECT_EQ(WinIniHostPath(), prefix.DriveC() + "/windows/win.ini");
        EXPECT_TRUE(fs::is_regular_file(WinIniHostPath()));
        // Our own registry file: a Wine prefix already holds user.reg in Wine's format.
        EXPECT_EQ(RegistryHostPath(), dir + "/sorvanti.reg");
    }
    testsupport::TempDir dir;
    const char* saved = std::getenv("SORVANTI_PREFIX");
    const std::string savedText = saved ? saved : "";
    ::setenv("SORVANTI_PREFIX", (dir / "from-env").c_str(), 1);
    SetPrefixDir("");
    EXPECT_EQ(PrefixDir(), dir / "from-env");
    EXPECT_TRUE(fs::is_symlink(dir / "from-env/dosdevices/c:"));
    saved ? ::setenv("SORVANTI_PREFIX", savedText.c_str(), 1) : ::unsetenv("SORVANTI_PREFIX");

    // A real Wine prefix keeps its own parts.
    const std::string wine = dir / "wine";
    testsupport::WriteFile(wine + "/drive_c/windows/win.ini", "[PowerBuilder]\r\n");
    fs::create_directories(wine + "/elsewhere");
    fs::create_directories(wine + "/dosdevices");
    fs::create_directory_symlink("../elsewhere", wine + "/dosdevices/c:");
    SetPrefixDir(wine);
    EXPECT_EQ(testsupport::ReadFile(WinIniHostPath()), "[PowerBuilder]\r\n");
    EXPECT_EQ(HostPath("c:\\x"), wine + "/elsewhere/x");
    SetPrefixDir("");
}

TEST(Paths, DriveLettersSeparatorsCaseAndShares) {
    TempPrefix prefix;
    testsupport::WriteFile(prefix.DriveC() + "/Apps/Sales/Sales.PBL", "");
    for (const char* name : {"lib.pbl", "LIB.pbl", "Lib.pbl", "\xC3\xA9t\xC3\xA9.pbl"})
        testsupport::WriteFile(prefix.DriveC() + "/" + name, "");
    const std::string share = prefix / "exported";
    fs::create_directories(share + "/Team");
    fs::create_directories(prefix.PrefixPath() + "/unc/FileServer");
    fs::create_directory_symlink(share, prefix.PrefixPath() + "/unc/FileServer/pb");
    // Components that do not exist are kept as given so that they can be created; of
    // several in other cases the exact name wins, then the least; only ASCII letters
    // fold (UTF-8 names with accents must match exactly); z: is the host's root, with
    // or without a link for it; UNC paths go through the share table; no such drive or
    // share, devices, no path at all and names a host path cannot hold map to nothing.
    CheckMapping(prefix, {{"c:\\Apps\\Sales\\Sales.PBL", "C/Apps/Sales/Sales.PBL"},
                          {"C:/APPS/sales\\sales.pbl", "C/Apps/Sales/Sales.PBL"},
                          {"c:", "C"},
                          {"c:\\apps\\NewDir\\New.pbl", "C/Apps/NewDir/New.pbl"},
                          {"c:\\apps\\.\\\\sales//..\\..\\..\\Apps\\sales", "C/Apps/Sales"},
                          {"c:\\lib.pbl", "C/lib.pbl"},
                          {"c:\\LIB.PBL", "C/LIB.pbl"},
                          {"c:\\\xC3\xA9T\xC3\xA9.PBL", "C/\xC3\xA9t\xC3\xA9.pbl"},
                          {"c:\\\xC3\x89T\xC3\x89.PBL", "C/\xC3\x89T\xC3\x89.PBL"},
                          {"Z:" + prefix.DriveC() + "/apps", "C/Apps"},
                          {"\\\\fileserver\\PB\\team\\x.pbl", share + "/Team/x.pbl"},
                          {"\\\\?\\UNC\\fileserver\\pb\\team", share + "/Team"},
                          {"\\\\?\\c:\\x", "C/x"},
                          {"\\\\other\\pb\\x", ""},
                          {"\\\\fileserver\\missing\\x", ""},
                          {"\\\\fileserver", ""},
                          {"\\\\.\\pipe\\x", ""},
                          {"\\\\?\\UNC\\?\\UNC\\fileserver\\pb", ""},
                          {"q:\\x", ""},
                          {"", ""},
                          {std::string("c:\\a\0b", 7), ""}});
    EXPECT_EQ(FullWindowsPath("//FileServer/pb/a/../b"), "\\\\FileServer\\pb\\b");

    ASSERT_TRUE(SetCurrentDir("C:\\apps"));
    EXPECT_EQ(FullWindowsPath("Sub/./b.pbl"), "c:\\apps\\Sub\\b.pbl");
    // "c:name" is relative to the drive's current folder, "z:name" to z:'s root.
    CheckMapping(prefix, {{"sales\\a.pbl", "C/Apps/Sales/a.pbl"},
                          {"..\\x", "C/x"},
                          {"\\top", "C/top"},
                          {"c:sales", "C/Apps/Sales"},
                          {"z:tmp", "/tmp"}});
    ASSERT_TRUE(SetCurrentDir("sales"));
    EXPECT_FALSE(SetCurrentDir("c:\\missing"));
    EXPECT_EQ(FullWindowsPath("."), "c:\\apps\\sales");
    ASSERT_TRUE(SetCurrentDir("z:\\"));
}

TEST(Paths, OtherDrivesAndTheShortestWindowsForm) {
    TempPrefix prefix;
    PrefixDir();
    const std::string data = prefix / "data";
    fs::create_directories(data + "/libs");
    fs::create_directory_symlink(data, prefix.PrefixPath() + "/dosdevices/d:");
    fs::create_directories(prefix.DriveC() + "/deep/er");
    fs::create_directory_symlink("../drive_c/deep", prefix.PrefixPath() + "/dosdevices/e:");
    EXPECT_EQ(HostPath("D:\\LIBS\\a.pbl"), data + "/libs/a.pbl");
    // Outside every drive: the z: form.
    CheckMapping(prefix,
                 {{data + "/libs/a.pbl", "d:\\libs\\a.pbl"},
                  {"C", "c:\\"},
                  {"C/deep/er/f.pbl", "e:\\er\\f.pbl"},
                  {"C/deeper", "c:\\deeper"},
                  {"/usr/lib/x.so", "z:\\usr\\lib\\x.so"},
                  {"/", "z:\\"},
                  {"/usr/../etc/", "z:\\etc"}},
                 false);
}

TEST(SharedLibrary, DllNamesBecomeSharedObjectNames) {
    const std::pair<const char*, const char*> names[] = {{"PBOrc040.dll", "libpborc040.so"},
                                                         {"PBOrc60.DLL", "libpborc60.so"},
                                                         {"LibFoo.dll", "libfoo.so"},
                                                         {"pborc60", "libpborc60.so"},
                                                         {"c:\\pb\\PBOrc60.dll", "libpborc60.so"},
                                                         {"libx.so", "libx.so"},
                                                         {"", ""},
                                                         {".dll", "lib.dll.so"}};
    for (auto [dll, so] : names)
        EXPECT_EQ(SharedObjectName(dll), so) << dll;
}

// The test library is built beside the test program, which is where Load looks first;
// then come the folders of the program's App Paths "Path" value.
TEST(SharedLibrary, LoadsFromTheProgramFolderThenTheAppPathsFolders) {
    TempPrefix prefix;
    TSharedLibrary library;
    ASSERT_TRUE(library.Load("SorvantiTestLib.DLL")) << LastErrorText();
    EXPECT_EQ(fs::path(library.HostPath()).filename(), "libsorvantitestlib.so");
    auto lower = reinterpret_cast<int (*)()>(library.Symbol("sorvanti_test_lower"));
    auto upper = reinterpret_cast<int (*)()>(library.Symbol("sorvanti_test_upper"));
    ASSERT_TRUE(lower && upper);
    EXPECT_EQ(lower() + 10 * upper(), 21);
    EXPECT_EQ(library.Symbol("SORVANTI_TEST_LOWER"), nullptr);  // no lower-case fallback
    EXPECT_EQ(library.Symbol("missing"), nullptr);
    library.Unload();
    EXPECT_EQ(library.HostPath(), "");
    EXPECT_EQ(library.Symbol("sorvanti_test_lower"), nullptr);

    const fs::path built = fs::path(ProgramFileHostPath()).parent_path() / "libsorvantitestlib.so";
    fs::create_directories(prefix.DriveC() + "/PB6");
    fs::copy_file(built, prefix.DriveC() + "/PB6/libpborc60.so");
    EXPECT_FALSE(library.Load("PBOrc60.dll"));
    EXPECT_NE(LastErrorText().find("libpborc60.so"), std::string::npos);
    TRegistry registry(TRootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + ProgramFileName(), true));
    ASSERT_TRUE(registry.WriteString("Path", "c:\\nowhere; C:\\pb6\\ ;"));
    ASSERT_TRUE(library.Load("PBOrc60.dll")) << LastErrorText();
    EXPECT_EQ(library.HostPath(), prefix.DriveC() + "/PB6/libpborc60.so");
    EXPECT_NE(library.Symbol("sorvanti_test_lower"), nullptr);
    // A file that is not a library fails with the loader's reason.
    testsupport::WriteFile(prefix.DriveC() + "/PB6/libbroken.so", "not a library");
    EXPECT_FALSE(library.Load("Broken.dll"));
    EXPECT_EQ(library.HostPath(), "");
    EXPECT_FALSE(LastErrorText().empty());
}

}  // namespace
