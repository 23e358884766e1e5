// The prefix, Windows paths and the host paths they stand for, files on Windows paths,
// the atomic replacement every write goes through, loading shared libraries by their DLL
// names, single-byte ANSI text and date-time values.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <map>
#include <tuple>

#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/DateTime.h"
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
using testsupport::ReadFile;
using testsupport::TempPrefix;
using testsupport::WriteFile;

// A prefix of its own for each test; c is the host folder of drive c:.
class OnPrefix : public ::testing::Test {
  protected:
    TempPrefix prefix;
    const std::string c = prefix.DriveC();
};
using Paths = OnPrefix;
using SharedLibrary = OnPrefix;
using Files = OnPrefix;

// Checks pairs of a Windows path and the host path it maps to (or the reverse), where a
// leading "C/" stands for the host folder of drive c:.
void CheckMapping(const std::string& c,
                  std::initializer_list<std::pair<std::string, std::string>> cases,
                  bool toHost = true) {
    auto expand = [&](const std::string& s) {
        return s.starts_with("C/") ? c + s.substr(1) : s == "C" ? c : s;
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
        EXPECT_EQ(fs::read_symlink(dir + "/dosdevices/c:"), fs::path("../drive_c"));
        EXPECT_EQ(WinIniHostPath(), prefix.DriveC() + "/windows/win.ini");
        // Our own registry file: a Wine prefix already holds user.reg in Wine's format.
        EXPECT_EQ(RegistryHostPath(), dir + "/sorvanti.reg");
    }
    testsupport::TempDir dir;
    const char* saved = std::getenv("SORVANTI_PREFIX");
    const std::string savedText = saved ? saved : "";
    ::setenv("SORVANTI_PREFIX", (dir / "from-env").c_str(), 1);
    SetPrefixDir("");
    EXPECT_EQ(PrefixDir(), dir / "from-env");
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

TEST_F(Paths, DrivesSeparatorsCaseSharesAndTheShortestWindowsForm) {
    testsupport::WriteFile(c + "/Apps/Sales/Sales.PBL", "");
    for (const char* name : {"lib.pbl", "LIB.pbl", "Lib.pbl", "\xC3\xA9t\xC3\xA9.pbl"})
        testsupport::WriteFile(c + "/" + name, "");
    const std::string share = prefix / "exported";
    fs::create_directories(share + "/Team");
    fs::create_directories(prefix.PrefixPath() + "/unc/FileServer");
    fs::create_directory_symlink(share, prefix.PrefixPath() + "/unc/FileServer/pb");
    // Components that do not exist are kept as given so that they can be created; of
    // several in other cases the exact name wins, then the least; only ASCII letters
    // fold (UTF-8 names with accents must match exactly); z: is the host's root, with
    // or without a link for it; UNC paths go through the share table; no such drive or
    // share, devices, no path at all and names a host path cannot hold map to nothing.
    CheckMapping(c, {{"c:\\Apps\\Sales\\Sales.PBL", "C/Apps/Sales/Sales.PBL"},
                     {"C:/APPS/sales\\sales.pbl", "C/Apps/Sales/Sales.PBL"},
                     {"c:", "C"},
                     {"c:\\apps\\NewDir\\New.pbl", "C/Apps/NewDir/New.pbl"},
                     {"c:\\apps\\.\\\\sales//..\\..\\..\\Apps\\sales", "C/Apps/Sales"},
                     {"c:\\lib.pbl", "C/lib.pbl"},
                     {"c:\\LIB.PBL", "C/LIB.pbl"},
                     {"c:\\\xC3\xA9T\xC3\xA9.PBL", "C/\xC3\xA9t\xC3\xA9.pbl"},
                     {"c:\\\xC3\x89T\xC3\x89.PBL", "C/\xC3\x89T\xC3\x89.PBL"},
                     {"Z:" + c + "/apps", "C/Apps"},
                     {"\\\\fileserver\\PB\\team\\x.pbl", share + "/Team/x.pbl"},
                     {"\\\\?\\UNC\\fileserver\\pb\\team", share + "/Team"},
                     {"\\\\?\\c:\\x", "C/x"},
                     {"\\\\fileserver\\missing\\x", ""},
                     {"\\\\.\\pipe\\x", ""},
                     {"q:\\x", ""},
                     {"", ""},
                     {std::string("c:\\a\0b", 7), ""}});
    EXPECT_EQ(FullWindowsPath("//FileServer/pb/a/../b"), "\\\\FileServer\\pb\\b");

    ASSERT_TRUE(SetCurrentDir("C:\\apps"));
    // "c:name" is relative to the drive's current folder, "z:name" to z:'s root.
    CheckMapping(c, {{"sales\\a.pbl", "C/Apps/Sales/a.pbl"},
                     {"\\top", "C/top"},
                     {"c:sales", "C/Apps/Sales"},
                     {"z:tmp", "/tmp"}});
    ASSERT_TRUE(SetCurrentDir("sales"));
    EXPECT_FALSE(SetCurrentDir("c:\\missing"));
    EXPECT_EQ(FullWindowsPath("."), "c:\\apps\\sales");
    ASSERT_TRUE(SetCurrentDir("z:\\"));

    // Other drives, and the shortest Windows form of a host path.
    const std::string data = prefix / "data";
    fs::create_directories(data + "/libs");
    fs::create_directory_symlink(data, prefix.PrefixPath() + "/dosdevices/d:");
    fs::create_directories(c + "/deep/er");
    fs::create_directory_symlink("../drive_c/deep", prefix.PrefixPath() + "/dosdevices/e:");
    EXPECT_EQ(HostPath("D:\\LIBS\\a.pbl"), data + "/libs/a.pbl");
    // Outside every drive: the z: form.
    CheckMapping(c,
                 {{data + "/libs/a.pbl", "d:\\libs\\a.pbl"},
                  {"C", "c:\\"},
                  {"C/deep/er/f.pbl", "e:\\er\\f.pbl"},
                  {"C/deeper", "c:\\deeper"},
                  {"/usr/lib/x.so", "z:\\usr\\lib\\x.so"},
                  {"/usr/../etc/", "z:\\etc"}},
                 false);
}

// The test library is built beside the test program, which is where Load looks first;
// then come the folders of the program's App Paths "Path" value.
TEST_F(SharedLibrary, LoadsByTheDllNameFromTheProgramFolderThenTheAppPathsFolders) {
    TSharedLibrary library;
    ASSERT_TRUE(library.Load("SorvantiTestLib.DLL")) << LastErrorText();
    EXPECT_EQ(fs::path(library.HostPath()).filename(), "libsorvantitestlib.so");
    auto lower = reinterpret_cast<int (*)()>(library.Symbol("sorvanti_test_lower"));
    auto upper = reinterpret_cast<int (*)()>(library.Symbol("sorvanti_test_upper"));
    ASSERT_TRUE(lower && upper);
    EXPECT_EQ(lower() + 10 * upper(), 21);
    EXPECT_EQ(library.Symbol("SORVANTI_TEST_LOWER"), nullptr);  // no lower-case fallback
    library.Unload();
    EXPECT_EQ(library.HostPath(), "");
    EXPECT_EQ(library.Symbol("sorvanti_test_lower"), nullptr);

    // The names it looks for.
    for (auto [dll, so] : {std::pair{"pborc60", "libpborc60.so"},
                           {"c:\\pb\\PBOrc040.DLL", "libpborc040.so"},
                           {"libx.so", "libx.so"}})
        EXPECT_EQ(SharedObjectName(dll), so) << dll;
    const fs::path built = fs::path(ProgramFileHostPath()).parent_path() / "libsorvantitestlib.so";
    fs::create_directories(c + "/PB6");
    fs::copy_file(built, c + "/PB6/libpborc60.so");
    EXPECT_FALSE(library.Load("PBOrc60.dll"));
    EXPECT_NE(LastErrorText().find("libpborc60.so"), std::string::npos);
    TRegistry registry(TRootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + ProgramFileName(), true));
    ASSERT_TRUE(registry.WriteString("Path", "c:\\nowhere; C:\\pb6\\ ;"));
    ASSERT_TRUE(library.Load("PBOrc60.dll")) << LastErrorText();
    EXPECT_EQ(library.HostPath(), c + "/PB6/libpborc60.so");
    EXPECT_NE(library.Symbol("sorvanti_test_lower"), nullptr);
}

size_t EntryCount(const fs::path& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

// Tests run as root, where permission bits do not stop a write; a target that is a
// folder, and a parent that is a file, fail for everyone.
TEST(AtomicFile, ReplacesWholeFilesKeepingPermissionsAndLinksOrChangesNothing) {
    testsupport::TempDir dir;
    const std::string path = dir / "settings.reg";
    ASSERT_TRUE(WriteHostFileAtomic(path, std::string("a\0b\r\n", 5)));
    EXPECT_EQ(ReadFile(path), std::string("a\0b\r\n", 5));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteHostFileAtomic(path, ""));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_size, 0);
    // Writing through a symbolic link replaces its target and keeps the link.
    fs::create_symlink(path, dir / "link.reg");
    ASSERT_TRUE(WriteHostFileAtomic(dir / "link.reg", "through link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.reg"));
    EXPECT_EQ(ReadFile(path), "through link");

    fs::create_directory(dir / "folder");
    SetLastErrorText("");
    EXPECT_FALSE(WriteHostFileAtomic(dir / "folder", "x"));
    EXPECT_NE(LastErrorText().find("folder"), std::string::npos);
    for (const std::string& target : {path + "/child", dir / "missing/child", std::string()})
        EXPECT_FALSE(WriteHostFileAtomic(target, "x")) << target;
    EXPECT_EQ(ReadFile(path), "through link");
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
    EXPECT_EQ(EntryCount(dir.Path()), 3u);
    EXPECT_FALSE(ReadHostFile(dir / "missing") || ReadHostFile(dir / "folder"));
}

TEST(AtomicFile, InterruptedWriteLeavesTheOriginalAndNoTemporaryFile) {
    testsupport::TempDir dir;
    const std::string path = dir / "library.pbl";
    const std::string original(10000, 'o');
    WriteFile(path, original);
    for (long long after : {0LL, 1LL, 4096LL, 20000LL}) {
        FailNextAtomicWriteAfter(after);
        EXPECT_FALSE(WriteHostFileAtomic(path, std::string(20000, 'n'))) << after;
        EXPECT_FALSE(LastErrorText().empty());
        EXPECT_EQ(ReadFile(path), original);
        EXPECT_EQ(EntryCount(dir.Path()), 1u);
    }
    // A new file that fails is not created at all.
    FailNextAtomicWriteAfter(2);
    EXPECT_FALSE(WriteHostFileAtomic(dir / "new.ini", "abc"));
    EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST_F(Files, FindFilesFiltersByAttributesAsFindFirstDoes) {
    for (const char* name : {"Sales.pbl", ".hidden.pbl", "readonly.PBL", "notes.txt"})
        WriteFile(c + "/Libs/" + name, name[0] == 'S' ? "12345" : "");
    fs::create_directories(c + "/Libs/archive.pbl");
    ASSERT_EQ(::chmod((c + "/Libs/readonly.PBL").c_str(), 0444), 0);
    auto names = [](std::string_view pattern, uint32_t attr) {
        std::string list;
        for (const auto& rec : FindFiles(pattern, attr))
            list += rec.Name + " ";
        return list;
    };
    EXPECT_EQ(names("c:\\libs\\*.pbl", 0), "readonly.PBL Sales.pbl ");
    EXPECT_EQ(names("C:/LIBS/*.PBL", faDirectory), "archive.pbl readonly.PBL Sales.pbl ");
    EXPECT_EQ(names("c:\\libs\\*.pbl", faAnyFile),
              ".hidden.pbl archive.pbl readonly.PBL Sales.pbl ");
    EXPECT_EQ(names("c:\\libs", 0), "");  // a folder needs faDirectory
    EXPECT_EQ(names("c:\\LIBS", faAnyFile), "Libs ");
    // The mask rules ("*.*" takes names without a dot, a trailing dot only names without
    // one, a ? before a dot or at the end may match nothing) are held to a plain reading
    // of them by the windows_path fuzz target on its seeds; here only what it cannot
    // reach: no exponential back-tracking on long names and masks.
    EXPECT_FALSE(MatchesMask(std::string(200, 'a'), std::string(60, '*') + "b") ||
                 MatchesMask("x", ""));

    std::map<std::string, TSearchRec> byName;
    for (const auto& rec : FindFiles("c:\\libs\\*.*", faAnyFile))
        byName[rec.Name] = rec;
    ASSERT_EQ(byName.size(), 5u);
    EXPECT_EQ(byName["Sales.pbl"].Size, 5u);
    EXPECT_EQ(byName["Sales.pbl"].Attr, faArchive);
    EXPECT_NEAR(byName["Sales.pbl"].Time, Now(), 1.0 / 24 / 60);
    EXPECT_TRUE(byName["readonly.PBL"].Attr & faReadOnly);
    // Missing folders and drives, and patterns without a name, find nothing.
    for (const char* pattern : {"c:\\nowhere\\*.*", "c:\\libs\\", "q:\\*.*"})
        EXPECT_TRUE(FindFiles(pattern, faAnyFile).empty()) << pattern;
    EXPECT_FALSE(LastErrorText().empty());

    EXPECT_TRUE(DirectoryExists("C:\\LIBS\\Archive.pbl"));
    EXPECT_TRUE(FileExists("c:\\libs\\SALES.pbl"));
    EXPECT_FALSE(DirectoryExists("c:\\libs\\sales.pbl") || FileExists("c:\\libs\\archive.pbl") ||
                 FileExists("q:\\libs\\sales.pbl"));
}

TEST_F(Files, CopiesKeepTheDateOnRequestAndFailWithoutHarm) {
    WriteFile(c + "/src.pbl", "library bytes");
    const TDateTime when = 36526.5;  // 2000-01-01 12:00 local
    ASSERT_TRUE(SetFileAge("c:\\SRC.pbl", when));
    EXPECT_FALSE(FileAge("c:\\missing").has_value());

    ASSERT_TRUE(CopyFile("c:\\src.pbl", "c:\\copy.pbl", true));
    EXPECT_EQ(ReadFile(c + "/copy.pbl"), "library bytes");
    EXPECT_EQ(FileAge("c:\\copy.pbl"), when);
    WriteFile(c + "/fresh.pbl", "a much longer old content");
    ASSERT_TRUE(CopyFile("c:\\src.pbl", "c:\\FRESH.pbl", false));
    EXPECT_EQ(ReadFile(c + "/fresh.pbl"), "library bytes");
    EXPECT_NEAR(*FileAge("c:\\fresh.pbl"), Now(), 1.0 / 24 / 60);

    // A failed copy leaves the destination as it was.
    FailNextAtomicWriteAfter(3);
    EXPECT_FALSE(CopyFile("c:\\fresh.pbl", "c:\\copy.pbl", true));
    EXPECT_FALSE(CopyFile("c:\\missing.pbl", "c:\\copy.pbl", false));
    EXPECT_EQ(FileAge("c:\\copy.pbl"), when);
    EXPECT_EQ(ReadFile(c + "/copy.pbl"), "library bytes");
}

TEST_F(Files, ForceDirectoriesAndDelete) {
    ASSERT_TRUE(ForceDirectories("c:\\Repl\\Deep\\Er"));
    EXPECT_TRUE(fs::is_directory(c + "/Repl/Deep/Er"));
    EXPECT_TRUE(ForceDirectories("C:\\repl\\deep"));  // exists: fine, no second folder
    EXPECT_FALSE(fs::exists(c + "/Repl/deep"));
    WriteFile(c + "/Repl/file", "");
    EXPECT_FALSE(ForceDirectories("c:\\repl\\file\\sub"));  // a file in the way

    WriteFile(c + "/Repl/a.pbl", "A");
    EXPECT_FALSE(DeleteFile("c:\\repl\\deep"));  // a folder is not a file
    ASSERT_TRUE(DeleteFile("c:\\REPL\\A.pbl"));
    EXPECT_FALSE(fs::exists(c + "/Repl/a.pbl") || !fs::is_directory(c + "/Repl/Deep"));
    EXPECT_FALSE(DeleteFile("c:\\repl\\a.pbl"));
}

// ---- Single-byte ANSI text and date-time values ----------------------------------

// Every lower-case letter of the Windows-1252 code chart and its capital, checked
// against the chart letter by letter; every other byte (the micro sign, sharp s, the
// florin, the ordinal indicators...) has no case and stays.
TEST(Ansi, CaseFollowsTheWindows1252Chart) {
    std::map<int, int> upper{{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (int b = 'a'; b <= 'z'; ++b)
        upper[b] = b - 0x20;
    for (int b = 0xE0; b <= 0xFE; ++b) {
        if (b != 0xF7)  // the division sign
            upper[b] = b - 0x20;
    }
    ASSERT_EQ(upper.size(), 60u);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(AnsiUpperMap[b], upper.contains(b) ? upper[b] : b) << "byte 0x" << std::hex << b;

    // Upper case and comparing without case go by the map.
    EXPECT_EQ(AnsiUpperCase(std::string("w_Main\xE9t\xFF\0a", 11)),
              std::string("W_MAIN\xC9T\x9F\0A", 11));
    EXPECT_TRUE(AnsiSameText("d_\xE0la", "D_\xC0LA"));
    // Bytes compare unsigned: an accented capital sorts after 'Z'.
    const std::tuple<const char*, const char*, int> order[] = {
        {"abc", "ABD", -1}, {"ab", "ABC", -1}, {"", "", 0}, {"\xE9", "z", 1}};
    for (const auto& [a, b, sign] : order) {
        const int result = AnsiCompareText(a, b);
        EXPECT_EQ((result > 0) - (result < 0), sign) << a << " " << b;
    }
}

TEST(DateTime, UnixSecondsAndTheirText) {
    EXPECT_EQ(UnixToDateTime(0), 25569.0);
    EXPECT_EQ(UnixToDateTime(-86400 * 25569LL), 0.0);  // 1899-12-30
    for (int64_t s : {-1LL, 4102444799LL, -2208988800LL})
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(s)), s) << s;
    // Values beyond the range of either side neither crash nor wrap around (seconds of
    // any size are the windows_path fuzz target's).
    const int64_t big = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(DateTimeToUnix(1e300), big);
    EXPECT_EQ(DateTimeToUnix(-1e300), -big - 1);
    EXPECT_EQ(DateTimeToUnix(std::nan("")), 0);

    // Day first and a 24-hour clock; values run on below zero; none outside years 1-9999.
    const std::pair<double, const char*> texts[] = {
        {0.0, "30/12/1899 00:00:00"},
        {UnixToDateTime(951825845), "29/02/2000 12:04:05"},
        {36526.0 + 10.0 / 24 - 1e-10, "01/01/2000 10:00:00"},
        {-1.25, "28/12/1899 18:00:00"},
        {2958465.99998, "31/12/9999 23:59:58"},
        {-693593.0, "01/01/0001 00:00:00"},
        {1e300, ""},
        {-INFINITY, ""}};
    for (const auto& [value, text] : texts)
        EXPECT_EQ(DateTimeToString(value), text) << value;
}

// The local conversion under a fixed zone with daylight saving time.
TEST(DateTime, LocalTimeFollowsTheTimeZone) {
    const char* saved = std::getenv("TZ");
    const std::string savedText = saved ? saved : "";
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    EXPECT_EQ(DateTimeToString(UnixToLocalDateTime(946728000)), "01/01/2000 13:00:00");
    EXPECT_EQ(DateTimeToString(UnixToLocalDateTime(962452800)), "01/07/2000 14:00:00");
    EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(962452800)), 962452800);
    EXPECT_TRUE(std::isfinite(UnixToLocalDateTime(std::numeric_limits<int64_t>::max())));
    saved ? ::setenv("TZ", savedText.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    EXPECT_NEAR(Now(), UnixToLocalDateTime(std::time(nullptr)), 2.0 / 86400);
}

}  // namespace
