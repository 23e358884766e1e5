#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Files.h"
#include "platform/Prefix.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using platform::HostPath;
using platform::WindowsPath;
using testsupport::TempPrefix;

TEST(Prefix, IsLaidOutAsWineLaysOutOne) {
    TempPrefix prefix;
    const std::string dir = platform::PrefixDir();
    EXPECT_EQ(dir, prefix.PrefixPath());
    EXPECT_EQ(fs::read_symlink(dir + "/dosdevices/c:"), fs::path("../drive_c"));
    EXPECT_TRUE(fs::is_regular_file(platform::WinIniHostPath()));
    EXPECT_EQ(platform::WinIniHostPath(), prefix.DriveC() + "/windows/win.ini");
    EXPECT_EQ(fs::path(platform::RegistryHostPath()).parent_path(), fs::path(dir));
    EXPECT_NE(fs::path(platform::RegistryHostPath()).filename(), "user.reg");
    EXPECT_EQ(platform::ProgramFileName(), "platform_tests");
    EXPECT_EQ(fs::path(platform::ProgramFileHostPath()).filename(), "platform_tests");
}

TEST(Prefix, ExistingPartsOfAPrefixAreLeftAlone) {
    testsupport::TempDir dir;
    const std::string prefix = dir / "wine";
    testsupport::WriteFile(prefix + "/drive_c/windows/win.ini", "[PowerBuilder]\r\n");
    fs::create_directories(prefix + "/elsewhere");
    fs::create_directories(prefix + "/dosdevices");
    fs::create_directory_symlink("../elsewhere", prefix + "/dosdevices/c:");
    platform::SetPrefixDir(prefix);
    EXPECT_EQ(platform::PrefixDir(), prefix);
    EXPECT_EQ(testsupport::ReadFile(prefix + "/drive_c/windows/win.ini"), "[PowerBuilder]\r\n");
    EXPECT_EQ(fs::read_symlink(prefix + "/dosdevices/c:"), fs::path("../elsewhere"));
    EXPECT_EQ(HostPath("c:\\x"), prefix + "/elsewhere/x");
    platform::SetPrefixDir("");
}

TEST(Prefix, ChosenFromTheEnvironment) {
    testsupport::TempDir dir;
    const char* saved = std::getenv("SORVANTI_PREFIX");
    const std::string savedText = saved ? saved : "";
    ::setenv("SORVANTI_PREFIX", (dir / "from-env").c_str(), 1);
    platform::SetPrefixDir("");
    EXPECT_EQ(platform::PrefixDir(), dir / "from-env");
    EXPECT_TRUE(fs::is_symlink(dir / "from-env/dosdevices/c:"));
    saved ? ::setenv("SORVANTI_PREFIX", savedText.c_str(), 1) : ::unsetenv("SORVANTI_PREFIX");
    platform::SetPrefixDir("");
}

TEST(Paths, DriveLettersSeparatorsAndCase) {
    TempPrefix prefix;
    const std::string c = prefix.DriveC();
    fs::create_directories(c + "/Apps/Sales");
    testsupport::WriteFile(c + "/Apps/Sales/Sales.PBL", "");

    EXPECT_EQ(HostPath("c:\\Apps\\Sales\\Sales.PBL"), c + "/Apps/Sales/Sales.PBL");
    EXPECT_EQ(HostPath("C:/APPS/sales\\sales.pbl"), c + "/Apps/Sales/Sales.PBL");
    EXPECT_EQ(HostPath("c:\\"), c);
    EXPECT_EQ(HostPath("c:"), c);
    // Components that do not exist are kept as given so that they can be created.
    EXPECT_EQ(HostPath("c:\\apps\\NewDir\\New.pbl"), c + "/Apps/NewDir/New.pbl");
    EXPECT_EQ(HostPath("c:\\apps\\.\\sales\\..\\..\\..\\Apps\\"), c + "/Apps");
    EXPECT_EQ(HostPath("c:\\apps\\\\sales//"), c + "/Apps/Sales");
    // z: is the host's root, with or without a link for it.
    EXPECT_EQ(HostPath("z:\\"), "/");
    EXPECT_EQ(HostPath("Z:" + c + "/apps"), c + "/Apps");
    // No such drive, no path at all, and names a host path cannot hold.
    EXPECT_EQ(HostPath("q:\\x"), "");
    EXPECT_EQ(HostPath(""), "");
    EXPECT_EQ(HostPath(std::string("c:\\a\0b", 7)), "");
}

TEST(Paths, OtherDrivesComeFromDosdevicesLinks) {
    TempPrefix prefix;
    platform::PrefixDir();
    const std::string data = prefix / "data";
    fs::create_directories(data + "/libs");
    fs::create_directory_symlink(data, prefix.PrefixPath() + "/dosdevices/d:");
    EXPECT_EQ(HostPath("D:\\LIBS\\a.pbl"), data + "/libs/a.pbl");
    EXPECT_EQ(WindowsPath(data + "/libs/a.pbl"), "d:\\libs\\a.pbl");
    EXPECT_EQ(WindowsPath(prefix.DriveC() + "/x/y"), "c:\\x\\y");
    EXPECT_EQ(WindowsPath(prefix.DriveC()), "c:\\");
    // Outside every drive: the z: form.
    EXPECT_EQ(WindowsPath("/usr/lib/x.so"), "z:\\usr\\lib\\x.so");
    EXPECT_EQ(WindowsPath("/"), "z:\\");
    EXPECT_EQ(WindowsPath("/usr/../etc/"), "z:\\etc");
}

TEST(Paths, ShortestDriveFormWins) {
    TempPrefix prefix;
    platform::PrefixDir();
    fs::create_directories(prefix.DriveC() + "/deep/er");
    fs::create_directory_symlink("../drive_c/deep", prefix.PrefixPath() + "/dosdevices/e:");
    EXPECT_EQ(WindowsPath(prefix.DriveC() + "/deep/er/f.pbl"), "e:\\er\\f.pbl");
    EXPECT_EQ(WindowsPath(prefix.DriveC() + "/deeper"), "c:\\deeper");
}

TEST(Paths, SeveralCaseMatchesPreferTheExactNameThenTheLeast) {
    TempPrefix prefix;
    const std::string c = prefix.DriveC();
    for (const char* name : {"lib.pbl", "LIB.pbl", "Lib.pbl"})
        testsupport::WriteFile(c + "/" + name, "");
    EXPECT_EQ(HostPath("c:\\Lib.pbl"), c + "/Lib.pbl");
    EXPECT_EQ(HostPath("c:\\lib.pbl"), c + "/lib.pbl");
    EXPECT_EQ(HostPath("c:\\LIB.PBL"), c + "/LIB.pbl");  // least in byte order
    // Only ASCII letters fold: UTF-8 names with accents must match exactly.
    testsupport::WriteFile(c + "/\xC3\xA9t\xC3\xA9.pbl", "");
    EXPECT_EQ(HostPath("c:\\\xC3\xA9T\xC3\xA9.PBL"), c + "/\xC3\xA9t\xC3\xA9.pbl");
    EXPECT_EQ(HostPath("c:\\\xC3\x89T\xC3\x89.PBL"), c + "/\xC3\x89T\xC3\x89.PBL");
}

TEST(Paths, UncPathsGoThroughTheShareTable) {
    TempPrefix prefix;
    const std::string share = prefix / "exported";
    fs::create_directories(share + "/Team");
    fs::create_directories(prefix.PrefixPath() + "/unc/FileServer");
    fs::create_directory_symlink(share, prefix.PrefixPath() + "/unc/FileServer/pb");
    EXPECT_EQ(HostPath("\\\\fileserver\\PB\\team\\x.pbl"), share + "/Team/x.pbl");
    EXPECT_EQ(HostPath("//FileServer/pb"), share);
    EXPECT_EQ(HostPath("\\\\?\\UNC\\fileserver\\pb\\team"), share + "/Team");
    EXPECT_EQ(HostPath("\\\\other\\pb\\x"), "");
    EXPECT_EQ(HostPath("\\\\fileserver\\missing\\x"), "");
    EXPECT_EQ(HostPath("\\\\fileserver"), "");
    EXPECT_EQ(HostPath("\\\\?\\c:\\x"), prefix.DriveC() + "/x");
    EXPECT_EQ(HostPath("\\\\.\\pipe\\x"), "");
    EXPECT_EQ(HostPath("\\\\?\\UNC\\?\\UNC\\fileserver\\pb"), "");
    EXPECT_EQ(platform::FullWindowsPath("//FileServer/pb/a/../b"), "\\\\FileServer\\pb\\b");
}

TEST(Paths, RelativePathsUseTheWindowsCurrentDirectory) {
    TempPrefix prefix;
    const std::string c = prefix.DriveC();
    fs::create_directories(c + "/Work/Sub");
    ASSERT_TRUE(platform::SetCurrentDir("C:\\work"));
    EXPECT_EQ(platform::GetCurrentDir(), "c:\\work");
    EXPECT_EQ(HostPath("sub\\a.pbl"), c + "/Work/Sub/a.pbl");
    EXPECT_EQ(HostPath("..\\x"), c + "/x");
    EXPECT_EQ(HostPath("\\top"), c + "/top");
    EXPECT_EQ(HostPath("c:sub"), c + "/Work/Sub");  // relative to the drive's current folder
    EXPECT_EQ(HostPath("z:tmp"), "/tmp");           // another drive: from its root
    EXPECT_EQ(platform::FullWindowsPath("Sub/./b.pbl"), "c:\\work\\Sub\\b.pbl");
    ASSERT_TRUE(platform::SetCurrentDir("sub"));
    EXPECT_EQ(platform::GetCurrentDir(), "c:\\work\\sub");
    EXPECT_FALSE(platform::SetCurrentDir("c:\\missing"));
    EXPECT_EQ(platform::GetCurrentDir(), "c:\\work\\sub");
    ASSERT_TRUE(platform::SetCurrentDir("z:\\"));
}

}  // namespace
