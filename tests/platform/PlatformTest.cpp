// The platform layer: the prefix, Windows paths and the host paths they stand for, files
// on Windows paths, the atomic replacement every write goes through, loading shared
// libraries by their DLL names, single-byte ANSI text and date-time values; then the
// settings' files: profile (INI) text and the regedit 5 text in memory, byte for byte,
// and the profile functions and the registry API on a prefix.

#include <gtest/gtest.h>

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
#include "platform/IniText.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Profile.h"
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "platform/SharedLibrary.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using namespace platform;
using testsupport::ReadFile;
using testsupport::TempPrefix;
using testsupport::WriteFile;
using Names = std::vector<std::string>;

// A prefix of its own for each test, with its profile files and registry file; c is the
// host folder of drive c:.
class OnPrefix : public ::testing::Test {
  protected:
    TempPrefix prefix;
    const std::string c = prefix.DriveC();
    static std::string File() { return RegistryHostPath(); }
    static bool KeyExists(std::string_view key, TRootKey root = TRootKey::CurrentUser) {
        return TRegistry(root).OpenKey(key, false);
    }
};
using Paths = OnPrefix;
using SharedLibrary = OnPrefix;
using Files = OnPrefix;
using ProfileFile = OnPrefix;
using RegistryFile = OnPrefix;

// Checks mappings written "from -> to": Windows paths to the host paths they stand for,
// or the reverse; a leading "C" of a host path stands for the host folder of drive c:.
void CheckMapping(const std::string& c, std::initializer_list<std::string> cases,
                  bool toHost = true) {
    for (const std::string& mapping : cases) {
        const size_t arrow = mapping.find(" -> ");
        const std::string from = mapping.substr(0, arrow), to = mapping.substr(arrow + 4);
        auto onC = [&](const std::string& s) { return s.starts_with('C') ? c + s.substr(1) : s; };
        if (toHost)
            EXPECT_EQ(HostPath(from), onC(to)) << from;
        else
            EXPECT_EQ(WindowsPath(onC(from)), to) << from;
    }
}

TEST_F(Paths, DrivesSeparatorsCaseSharesTheShortestWindowsFormAndThePrefixItself) {
    for (const char* name : {"Apps/Sales/Sales.PBL", "lib.pbl", "LIB.pbl", "Lib.pbl",
                             "\xC3\xA9t\xC3\xA9.pbl", "Exported/Team/x", "deep/er/x"})
        WriteFile(c + "/" + name, "");
    fs::create_directories(prefix.PrefixPath() + "/unc/FileServer");
    fs::create_directory_symlink(c + "/Exported", prefix.PrefixPath() + "/unc/FileServer/pb");
    const std::string data = prefix / "data";
    fs::create_directories(data + "/libs");
    fs::create_directory_symlink(data, PrefixDir() + "/dosdevices/d:");  // laid out on first use
    fs::create_directory_symlink("../drive_c/deep", PrefixDir() + "/dosdevices/e:");
    // Components that do not exist are kept as given so that they can be created; of
    // several in other cases the exact name wins, then the least; only ASCII letters
    // fold (UTF-8 names with accents must match exactly); z: is the host's root, with
    // or without a link for it, other drives are their links; UNC paths go through the
    // share table; no such drive or share, devices, no path at all and names a host path
    // cannot hold map to nothing.
    CheckMapping(
        c, {"c:\\Apps\\Sales\\Sales.PBL -> C/Apps/Sales/Sales.PBL",
            "C:/APPS/sales\\sales.pbl -> C/Apps/Sales/Sales.PBL", "c: -> C",
            "c:\\apps\\NewDir\\New.pbl -> C/Apps/NewDir/New.pbl",
            "c:\\apps\\.\\\\sales//..\\..\\..\\Apps\\sales -> C/Apps/Sales",
            "c:\\lib.pbl -> C/lib.pbl", "c:\\LIB.PBL -> C/LIB.pbl",
            "c:\\\xC3\xA9T\xC3\xA9.PBL -> C/\xC3\xA9t\xC3\xA9.pbl",
            "c:\\\xC3\x89T\xC3\x89.PBL -> C/\xC3\x89T\xC3\x89.PBL", "Z:" + c + "/apps -> C/Apps",
            "\\\\fileserver\\PB\\team\\x.pbl -> C/Exported/Team/x.pbl",
            "\\\\?\\UNC\\fileserver\\pb\\team -> C/Exported/Team", "\\\\?\\c:\\x -> C/x",
            "D:\\LIBS\\a.pbl -> " + data + "/libs/a.pbl", "\\\\fileserver\\missing\\x -> ",
            "\\\\.\\pipe\\x -> ", "q:\\x -> ", " -> ", std::string("c:\\a\0b -> ", 10)});
    EXPECT_EQ(FullWindowsPath("//FileServer/pb/a/../b"), "\\\\FileServer\\pb\\b");

    ASSERT_TRUE(SetCurrentDir("C:\\apps"));
    // "c:name" is relative to the drive's current folder, "z:name" to z:'s root.
    CheckMapping(c, {"sales\\a.pbl -> C/Apps/Sales/a.pbl", "\\top -> C/top",
                     "c:sales -> C/Apps/Sales", "z:tmp -> /tmp"});
    ASSERT_TRUE(SetCurrentDir("sales"));
    EXPECT_FALSE(SetCurrentDir("c:\\missing"));
    EXPECT_EQ(FullWindowsPath("."), "c:\\apps\\sales");
    ASSERT_TRUE(SetCurrentDir("z:\\"));

    // The shortest Windows form of a host path; outside every drive the z: form.
    CheckMapping(c,
                 {data + "/libs/a.pbl -> d:\\libs\\a.pbl", "C -> c:\\",
                  "C/deep/er/f.pbl -> e:\\er\\f.pbl", "C/deeper -> c:\\deeper",
                  "/usr/lib/x.so -> z:\\usr\\lib\\x.so", "/usr/../etc/ -> z:\\etc"},
                 false);

    // The prefix is laid out as Wine lays one out, or chosen from the environment.
    EXPECT_EQ(fs::read_symlink(PrefixDir() + "/dosdevices/c:"), fs::path("../drive_c"));
    EXPECT_TRUE(fs::is_regular_file(c + "/windows/win.ini"));
    // Our own registry file: a Wine prefix already holds user.reg in Wine's format.
    EXPECT_EQ(RegistryHostPath(), PrefixDir() + "/sorvanti.reg");
    const char* saved = std::getenv("SORVANTI_PREFIX");
    const std::string savedText = saved ? saved : "";
    ::setenv("SORVANTI_PREFIX", (prefix / "from-env").c_str(), 1);
    SetPrefixDir("");
    EXPECT_EQ(PrefixDir(), prefix / "from-env");
    saved ? ::setenv("SORVANTI_PREFIX", savedText.c_str(), 1) : ::unsetenv("SORVANTI_PREFIX");

    // A real Wine prefix keeps its own parts: its WIN.INI, and a drive c: elsewhere.
    const std::string wine = prefix / "wine";
    WriteFile(wine + "/drive_c/windows/win.ini", "[PowerBuilder]\r\n");
    fs::create_directories(wine + "/dosdevices");
    fs::create_directory_symlink("../elsewhere", wine + "/dosdevices/c:");
    SetPrefixDir(wine);
    EXPECT_EQ(ReadFile(WinIniHostPath()), "[PowerBuilder]\r\n");
    EXPECT_EQ(HostPath("c:\\x"), wine + "/elsewhere/x");
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
    EXPECT_TRUE(library.HostPath().empty() && !library.Symbol("sorvanti_test_lower"));

    // The names it looks for.
    for (auto [dll, so] : {std::pair{"pborc60", "libpborc60.so"},
                           {"c:\\pb\\PBOrc040.DLL", "libpborc040.so"},
                           {"libx.so", "libx.so"}})
        EXPECT_EQ(SharedObjectName(dll), so) << dll;
    const fs::path built = fs::path(ProgramFileHostPath()).parent_path() / "libsorvantitestlib.so";
    WriteFile(c + "/PB6/libpborc60.so", ReadFile(built));
    EXPECT_FALSE(library.Load("PBOrc60.dll"));
    EXPECT_NE(LastErrorText().find("libpborc60.so"), std::string::npos);
    TRegistry registry(TRootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + ProgramFileName(), true));
    ASSERT_TRUE(registry.WriteString("Path", "c:\\nowhere; C:\\pb6\\ ;"));
    ASSERT_TRUE(library.Load("PBOrc60.dll")) << LastErrorText();
    EXPECT_EQ(library.HostPath(), c + "/PB6/libpborc60.so");
}

// Tests run as root, where permission bits do not stop a write; a target that is a
// folder, and a parent that is a file, fail for everyone. A write that fails, before
// writing or interrupted after any number of bytes of the temporary file (as a full
// disk or a crash would), leaves the old file whole and no temporary file behind.
TEST(AtomicFile, ReplacesWholeFilesKeepingPermissionsAndLinksOrChangesNothing) {
    testsupport::TempDir dir;
    const std::string path = dir / "settings.reg";
    ASSERT_TRUE(WriteHostFileAtomic(path, std::string("a\0b\r\n", 5)));
    EXPECT_EQ(ReadFile(path), std::string("a\0b\r\n", 5));
    fs::permissions(path, fs::perms(0640));
    ASSERT_TRUE(WriteHostFileAtomic(path, ""));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640));
    EXPECT_EQ(ReadFile(path), "");
    // Writing through a symbolic link replaces its target and keeps the link.
    fs::create_symlink(path, dir / "link.reg");
    ASSERT_TRUE(WriteHostFileAtomic(dir / "link.reg", "through link"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.reg"));
    EXPECT_EQ(ReadFile(path), "through link");

    const std::string original(10000, 'o');
    ASSERT_TRUE(WriteHostFileAtomic(path, original));
    fs::create_directory(dir / "folder");
    SetLastErrorText("");
    EXPECT_FALSE(WriteHostFileAtomic(dir / "folder", "x"));
    EXPECT_NE(LastErrorText().find("folder"), std::string::npos);
    for (const std::string& target : {path + "/child", dir / "missing/child", std::string()})
        EXPECT_FALSE(WriteHostFileAtomic(target, "x")) << target;
    for (long long after : {0LL, 1LL, 4096LL, 20000LL}) {
        FailNextAtomicWriteAfter(after);
        SetLastErrorText("");
        EXPECT_FALSE(WriteHostFileAtomic(path, std::string(20000, 'n')) || LastErrorText().empty())
            << after;
    }
    FailNextAtomicWriteAfter(2);  // a new file that fails is not created at all
    EXPECT_FALSE(WriteHostFileAtomic(dir / "new.ini", "abc"));
    EXPECT_EQ(ReadFile(path), original);
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 3);  // with link and folder
    EXPECT_FALSE(ReadHostFile(dir / "missing") || ReadHostFile(dir / "folder"));
}

TEST_F(Files, FoundAsFindFirstFindsThemCopiedWithTheirDateForcedAndDeleted) {
    for (const char* name : {"Sales.pbl", ".hidden.pbl", "readonly.PBL", "notes.txt"})
        WriteFile(c + "/Libs/" + name, name[0] == 'S' ? "12345" : "");
    fs::create_directories(c + "/Libs/archive.pbl");
    fs::permissions(c + "/Libs/readonly.PBL", fs::perms(0444));
    // Missing folders and drives, and patterns without a name, find nothing.
    const std::tuple<const char*, uint32_t, const char*> searches[] = {
        {"c:\\libs\\*.pbl", 0, "readonly.PBL Sales.pbl "},
        {"C:/LIBS/*.PBL", faDirectory, "archive.pbl readonly.PBL Sales.pbl "},
        {"c:\\libs\\*.pbl", faAnyFile, ".hidden.pbl archive.pbl readonly.PBL Sales.pbl "},
        {"c:\\libs\\*.*", faAnyFile, ".hidden.pbl archive.pbl notes.txt readonly.PBL Sales.pbl "},
        {"c:\\libs", 0, ""},  // a folder needs faDirectory
        {"c:\\LIBS", faAnyFile, "Libs "},
        {"c:\\nowhere\\*.*", faAnyFile, ""},
        {"c:\\libs\\", faAnyFile, ""},
        {"q:\\*.*", faAnyFile, ""}};
    std::map<std::string, TSearchRec> byName;
    for (const auto& [pattern, attr, names] : searches) {
        std::string found;
        for (const auto& rec : FindFiles(pattern, attr))
            found += (byName[rec.Name] = rec).Name + " ";
        EXPECT_EQ(found, names) << pattern;
    }
    EXPECT_FALSE(LastErrorText().empty());
    EXPECT_EQ(byName["Sales.pbl"].Size, 5u);
    EXPECT_EQ(byName["Sales.pbl"].Attr, faArchive);
    EXPECT_NEAR(byName["Sales.pbl"].Time, Now(), 1.0 / 24 / 60);
    EXPECT_TRUE(byName["readonly.PBL"].Attr & faReadOnly);
    // The mask rules ("*.*" takes names without a dot, a trailing dot only names without
    // one, a ? before a dot or at the end may match nothing) are held to a plain reading
    // of them by the windows_path fuzz target on its seeds; here only what it cannot
    // reach: no exponential back-tracking on long names and masks.
    EXPECT_FALSE(MatchesMask(std::string(200, 'a'), std::string(60, '*') + "b") ||
                 MatchesMask("x", ""));

    EXPECT_TRUE(DirectoryExists("C:\\LIBS\\Archive.pbl") && FileExists("c:\\libs\\SALES.pbl"));
    EXPECT_FALSE(DirectoryExists("c:\\libs\\sales.pbl") || FileExists("c:\\libs\\archive.pbl") ||
                 FileExists("q:\\libs\\sales.pbl"));

    WriteFile(c + "/src.pbl", "library bytes");
    const TDateTime when = 36526.5;  // 2000-01-01 12:00 local
    ASSERT_TRUE(SetFileAge("c:\\SRC.pbl", when));
    EXPECT_FALSE(FileAge("c:\\missing").has_value());

    ASSERT_TRUE(CopyFile("c:\\src.pbl", "c:\\copy.pbl", true));
    EXPECT_EQ(FileAge("c:\\copy.pbl"), when);
    WriteFile(c + "/fresh.pbl", "a much longer old content");
    ASSERT_TRUE(CopyFile("c:\\src.pbl", "c:\\FRESH.pbl", false));
    EXPECT_EQ(ReadFile(c + "/fresh.pbl"), "library bytes");
    EXPECT_NEAR(*FileAge("c:\\fresh.pbl"), Now(), 1.0 / 24 / 60);
    // A failed copy leaves the destination as it was.
    FailNextAtomicWriteAfter(3);
    EXPECT_FALSE(CopyFile("c:\\fresh.pbl", "c:\\copy.pbl", true) ||
                 CopyFile("c:\\missing.pbl", "c:\\copy.pbl", false));
    EXPECT_EQ(FileAge("c:\\copy.pbl"), when);
    EXPECT_EQ(ReadFile(c + "/copy.pbl"), "library bytes");

    EXPECT_TRUE(ForceDirectories("c:\\Repl\\Deep\\Er") && fs::is_directory(c + "/Repl/Deep/Er"));
    // A folder that exists is fine, and no second folder.
    EXPECT_TRUE(ForceDirectories("C:\\repl\\deep") && !fs::exists(c + "/Repl/deep"));
    EXPECT_FALSE(ForceDirectories("c:\\copy.pbl\\sub"));  // a file in the way
    EXPECT_FALSE(DeleteFile("c:\\repl\\deep"));           // a folder is not a file
    ASSERT_TRUE(DeleteFile("c:\\COPY.pbl"));
    EXPECT_FALSE(fs::exists(c + "/copy.pbl") || !fs::is_directory(c + "/Repl/Deep"));
    EXPECT_FALSE(DeleteFile("c:\\copy.pbl"));
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

// Values beyond the range of either side neither crash nor wrap around (seconds of any
// size are the windows_path fuzz target's). Text is day first with a 24-hour clock;
// values run on below zero; none outside years 1-9999.
TEST(DateTime, UnixSecondsTheirTextAndTheLocalTimeZone) {
    EXPECT_EQ(UnixToDateTime(0), 25569.0);
    EXPECT_EQ(UnixToDateTime(-86400 * 25569LL), 0.0);  // 1899-12-30
    for (int64_t s : {-1LL, 4102444799LL, -2208988800LL})
        EXPECT_EQ(DateTimeToUnix(UnixToDateTime(s)), s) << s;
    const int64_t big = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(
        std::tuple(DateTimeToUnix(1e300), DateTimeToUnix(-1e300), DateTimeToUnix(std::nan(""))),
        std::tuple(big, -big - 1, int64_t{0}));
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

    // The local conversion under a fixed zone with daylight saving time.
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

// ---- Profile (INI) text and the registry file in memory ------------------------------

TEST(IniText, WhatIsAKeyHowNamesCompareAndEditsThatChangeOnlyTheirLine) {
    // Names compare without case and blanks (Ctrl-Z and form feed are blanks too); one
    // pair of quotes is stripped; lines without "=", comments and keys without a name are
    // no keys; the first of duplicate keys wins; a key belongs to the first section of
    // its name only; lines end at CR LF, LF or CR.
    const std::string text =
        "orphan=before any section\n"
        "[ Application ]\r"
        "  $C:\\Work\\Sales.pbl(sales) = c:\\work\\sales.pbl;c:\\work\\common.pbl \x1a\r\n"
        "Quoted=\"  padded  \"\r\n"
        "Single='x'\f\r\n"
        "name3\n"
        ";comment=not a key\r\n"
        "[broken\r\n"
        "quoted=second\r\n"
        "=no name\r\n"
        "empty=\r\n"
        "[APPLICATION]\r\n"
        "late=x\r\n";
    const std::tuple<std::string, std::string, std::optional<std::string>> lookups[] = {
        {"application", "$c:\\work\\sales.pbl(SALES)", "c:\\work\\sales.pbl;c:\\work\\common.pbl"},
        {"  APPLICATION\t", "  quoted ", "  padded  "},
        {"Application", "Single", "x"},
        {"Application", "empty", ""},
        {"Application", "missing", std::nullopt},
        {"", "orphan", std::nullopt},
    };
    for (const auto& [section, key, value] : lookups)
        EXPECT_EQ(ini::FindValue(text, section, key), value) << section << "/" << key;
    EXPECT_EQ(ini::KeyNames(text, "application"),
              (Names{"$C:\\Work\\Sales.pbl(sales)", "Quoted", "Single", "quoted", "empty"}));

    // Edits, byte for byte.
    const std::string pbIni =
        "; pb.ini\r\n"
        "[Application]\n"
        "  $C:\\A.PBL(App) = old value ; not a comment\r\n"
        "$c:\\a.pbl(app)=duplicate\r\n"
        "\x1a junk \x01\x02\r\n";
    const std::string sections = "[a]\r\nx=1\r\n; about b\r\n\r\n   \r\n[b]\r\n[c]\r\n\r\n";
    const std::string doubled = "[s]\r\na=1\r\nb=2\r\n[t]\r\nc=3\r\n[S]\r\nd=4";
    // Text, section, key, value, and the text it gives.
    const std::tuple<std::string, std::string, std::string, std::string, std::string> edits[] = {
        // A value replaced in place: the key keeps its spelling and what stands before.
        {pbIni, "APPLICATION", "$c:\\a.pbl(APP)", "new",
         "; pb.ini\r\n[Application]\n  $C:\\A.PBL(App) = new\r\n$c:\\a.pbl(app)=duplicate\r\n"
         "\x1a junk \x01\x02\r\n"},
        // A new key after the last non-blank line of its section, or a new section.
        {sections, "a", " y ", "2",
         "[a]\r\nx=1\r\n; about b\r\ny=2\r\n\r\n   \r\n[b]\r\n[c]\r\n\r\n"},
        {sections, " new ", "y", "2", sections + "[new]\r\ny=2\r\n"},
        // New lines end as most lines do; a text without a final line end keeps lacking one.
        {"[s]\nk=1\n", "s", "n", "2", "[s]\nk=1\nn=2\n"},
        {"[s]\rk=1\r\n[t]\r", "s", "n", "2", "[s]\rk=1\r\nn=2\r[t]\r"},
        {"[s]\nk=1", "t", "n", "2", "[s]\nk=1\n[t]\nn=2"},
        {"\xEF\xBB\xBF", "s", "n", "2", "\xEF\xBB\xBF[s]\r\nn=2\r\n"},
        // Deleting a key (value "-") and sections (key "-"); the first of a doubled one;
        // deleting the last key keeps the header.
        {doubled, "s", "A", "-", "[s]\r\nb=2\r\n[t]\r\nc=3\r\n[S]\r\nd=4"},
        {doubled, "t", "a", "-", doubled},
        {doubled, "s", "-", "", "[t]\r\nc=3"},
        {"[s]\r\nk=1\r\n[t]\r\n", "S", "K", "-", "[s]\r\n[t]\r\n"},
    };
    for (const auto& [before, section, key, value, expected] : edits) {
        const std::string edited = key == "-"     ? ini::DeleteSection(before, section)
                                   : value == "-" ? ini::DeleteKey(before, section, key)
                                                  : ini::SetValue(before, section, key, value);
        EXPECT_EQ(edited, expected) << before << " " << section << "/" << key;
    }
    // What would change the structure is refused before any edit.
    EXPECT_EQ(ini::Unstorable(" s ", " k ", " v "), "");
    for (auto [section, key] : {std::pair{"", "k"}, {"a]b", "k"}, {"s", "a=b"}})
        EXPECT_NE(ini::Unstorable(section, key, "v"), "") << section << " " << key;
    EXPECT_NE(ini::Unstorable("s", "k", "line\r\n[injected]"), "");
}

// ---- The profile functions and the registry API on a prefix ------------------------------

TEST_F(ProfileFile, ReadsDefaultsEveryCallGoesToTheFileFailuresChangeNothingHostileBytesStay) {
    EXPECT_EQ(GetPrivateProfileString("s", "k", "default \t ", "c:\\pb.ini"), "default \t");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "hello", "c:\\missing\\pb.ini", 4), "hel");
    ASSERT_TRUE(WritePrivateProfileString("App", "$c:\\a.pbl(a)", "c:\\a.pbl", "c:\\pb.ini"));
    EXPECT_EQ(GetPrivateProfileString("APP", "$C:\\A.PBL(A)", "", "C:\\PB.INI"), "c:\\a.pbl");

    // Nothing is cached: a change made behind our back is read, and kept on a write.
    WriteFile(c + "/pb.ini", "[s]\nk=2\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\pb.ini"), "2");
    ASSERT_TRUE(WritePrivateProfileString("s", "n", "3", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(c + "/pb.ini"), "[s]\nk=2\nn=3\n");

    // WIN.INI, the Windows profile, is a file of the Windows folder, as a bare name is.
    ASSERT_TRUE(WriteProfileString("PowerBuilder", "InitPath050", "c:\\pb5"));
    EXPECT_EQ(GetPrivateProfileString("powerbuilder", "initpath050", "", "WIN.INI"), "c:\\pb5");

    // Deleting what is absent succeeds and creates no file; an unchanged write leaves
    // the file alone, even a read-only one. A file without write permission stands for
    // the read-only attribute; the check does not depend on the user (tests run as root,
    // for whom permissions stop nothing).
    EXPECT_TRUE(WritePrivateProfileString("s", "k", std::nullopt, "c:\\none.ini") &&
                WritePrivateProfileString("s", std::nullopt, std::nullopt, "c:\\none.ini") &&
                !fs::exists(c + "/none.ini"));
    fs::permissions(c + "/pb.ini", fs::perms(0444));
    EXPECT_TRUE(WritePrivateProfileString("S", "N", "3", "c:\\pb.ini"));
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "3", "c:\\pb.ini"));
    EXPECT_EQ(LastErrorText(), "Cannot write the profile file c:\\pb.ini: the file is read-only");
    fs::permissions(c + "/pb.ini", fs::perms(0644));

    // A value that would break the file's lines is refused. Other places no file can be
    // written to (a folder, a path under a file, a drive that does not exist) are the
    // atomic write's and the path mapping's tests, and a pb.ini write that breaks off is
    // the catalogue's.
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "1\r\n[evil]", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(c + "/pb.ini"), "[s]\nk=2\nn=3\n");

    // NUL bytes, Ctrl-Z, binary junk, an unterminated header, a line of megabytes
    // without a line end: read what can be read, and keep every byte on a write.
    const std::string junk = std::string("\0\x1a\xff\xfe[not\r\n\x01\x02=\x03\r\n", 16) +
                             "[s]\r\nk= v \x1a\r\n[ignored\r\n" + std::string(3 << 20, 'x');
    WriteFile(c + "/junk.ini", junk);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\junk.ini"), "v");
    ASSERT_TRUE(WritePrivateProfileString("s", "n", "1", "c:\\junk.ini"));
    EXPECT_EQ(ReadFile(c + "/junk.ini"), junk + "\r\nn=1");

    // A UTF-16 file is neither read nor rewritten.
    const std::string utf16("\xFF\xFE[\0s\0]\0", 8);
    WriteFile(c + "/wide.ini", utf16);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "d", "c:\\wide.ini"), "d");
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", "c:\\wide.ini"));
    EXPECT_EQ(ReadFile(c + "/wide.ini"), utf16);
}

// ---- The registry file -----------------------------------------------------------------

const char kSettings[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_CURRENT_USER]\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Vellanor]\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2]\r\n"
    "@=\"default \\\"quoted\\\"\"\r\n"
    "\"PBIniFile\"=\"c:\\\\pb 5\\\\pb.ini\"\r\n"
    "\"Odd \\\"name\\\" \\\\ here\"=\"\"\r\n"
    "\r\n";

TEST(RegFile, ToleratesWhatHandsAndOtherToolsWriteAndRejectsWhatItCannotUnderstand) {
    // REGEDIT4, LF line ends, comments, a key named twice, deletions, and values of
    // other types which are kept as they were written; subkeys sorted without case.
    const std::string text =
        "\xEF\xBB\xBFREGEDIT4\n"
        "; settings\n"
        "[HKEY_LOCAL_MACHINE\\b]\n"
        "\"Count\"=dword:0000001e\n"
        "\"Blob\"=hex(2):41,00,42,00,\\\n"
        "  00,00\n"
        "\"gone\"=\"x\"\n"
        "[HKEY_CURRENT_USER\\Software\\Old]\n"
        "[-HKEY_CURRENT_USER\\Software\\Old]\n"
        "\"ignored\"=\"after a deletion\"\n"
        "[hkey_local_machine\\B]  \n"
        "\"gone\"=-\n"
        "\"count\"=dword:1f\n"
        "\"Path\"=\"c:\\pb\"\n"  // a lone backslash stands for itself
        "[HKEY_LOCAL_MACHINE\\C]\n";
    std::string error;
    auto doc = reg::Parse(text, &error);
    ASSERT_TRUE(doc) << error;
    EXPECT_EQ(reg::Serialize(*doc),
              "Windows Registry Editor Version 5.00\r\n; settings\r\n\r\n"
              "[HKEY_CURRENT_USER]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\b]\r\n"
              "\"Count\"=dword:1f\r\n"
              "\"Blob\"=hex(2):41,00,42,00,\\\r\n"
              "  00,00\r\n"
              "\"Path\"=\"c:\\\\pb\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\C]\r\n\r\n");
    EXPECT_TRUE(reg::Parse(" \r\n\n")->root.subkeys.empty());

    const std::string head = "Windows Registry Editor Version 5.00\r\n";
    const std::string key = head + "[HKEY_CURRENT_USER]\r\n";
    // Refused, as nothing of them can be read: no header line, UTF-16, and lines that are
    // skipped with no key read at all (a key not closed or not under a root key, a value
    // before any key).
    for (const std::string& bad :
         {std::string("[HKEY_CURRENT_USER\\x]\r\n"), std::string("\xFF\xFEW\0i\0", 6),
          std::string("; only a comment\r\n"), head + "[HKEY_CURRENT_USER\\x\r\n",
          head + "[Software\\x]\r\n", head + "\"a\"=\"b\"\r\n"}) {
        error.clear();
        EXPECT_FALSE(reg::Parse(bad, &error)) << bad;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    }
    // Skipped, with the values around them read: a value name not closed, a line of
    // nothing known, no "=", a string not closed at the line's end, values of no known
    // type. The line is reported and stays, as a comment, where it was.
    for (const std::string& line :
         {std::string("\"a=\"b\""), std::string("junk"), std::string("\"a\" \"b\""),
          std::string("\"a\"=\"b\" junk"), std::string("\"a\"=dword:123456789"),
          std::string("\"a\"=hex:zz"), std::string("\"a\"=42")}) {
        auto skipped = reg::Parse(key + "\"before\"=\"1\"\r\n" + line + "\r\n\"after\"=\"2\"\r\n");
        ASSERT_TRUE(skipped) << line;
        const reg::Key* hkcu = skipped->FindPath({"HKEY_CURRENT_USER"});
        ASSERT_TRUE(hkcu && hkcu->FindValue("before") && hkcu->FindValue("after")) << line;
        EXPECT_FALSE(hkcu->FindValue("a")) << line;
        ASSERT_EQ(skipped->skippedLines.size(), 1u) << line;
        EXPECT_EQ(skipped->skippedLines[0].rfind("line 4 (", 0), 0u) << skipped->skippedLines[0];
        EXPECT_TRUE(skipped->skippedLines[0].ends_with("): " + line)) << skipped->skippedLines[0];
        EXPECT_EQ(reg::Serialize(*skipped), head +
                                                "\r\n[HKEY_CURRENT_USER]\r\n\"before\"=\"1\"\r\n" +
                                                line + "\r\n\"after\"=\"2\"\r\n\r\n");
    }
}

// A file edited by hand: "#" and ";" comments, comments after values (a ";" inside a
// quoted text is data), a mistyped line and a broken key line in the middle.
TEST(RegFile, AHandEditedFileKeepsEveryValueItCanReadAndWhatItCannot) {
    const std::string text =
        "# my settings\r\n"
        "Windows Registry Editor Version 5.00\r\n"
        "#  edited by hand\r\n"
        "[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2] ; the program's own\r\n"
        "\"PBIniFile\"=\"c:\\\\pb;5\\\\pb.ini\" ; moved; see below\r\n"
        "\"Count\"=dword:0000001e ;thirty\r\n"
        "RefreshInterval=\"10\"\r\n"
        "\"TempLibrary\"=\"c:\\\\t.pbl\"\r\n"
        "[HKEY_CURRENT_USER\\Software\\Broken\r\n"
        "\"Lost\"=\"1\"\r\n"
        "[HKEY_CURRENT_USER\\Software\\Next]\r\n"
        "\"Kept\"=\"yes\"\r\n";
    std::string error;
    auto doc = reg::Parse(text, &error);
    ASSERT_TRUE(doc) << error;
    const reg::Key* settings =
        doc->FindPath({"HKEY_CURRENT_USER", "Software", "Vellanor", "Sorvanti 2"});
    ASSERT_TRUE(settings);
    ASSERT_TRUE(settings->FindValue("PBIniFile") && settings->FindValue("TempLibrary"));
    EXPECT_EQ(settings->FindValue("PBIniFile")->data, "c:\\pb;5\\pb.ini");
    EXPECT_EQ(settings->FindValue("Count")->data, "dword:0000001e");
    EXPECT_EQ(settings->FindValue("TempLibrary")->data, "c:\\t.pbl");
    // The values below the broken key line go with it, not into the key above.
    EXPECT_FALSE(settings->FindValue("Lost") || settings->FindValue("RefreshInterval"));
    const reg::Key* next = doc->FindPath({"HKEY_CURRENT_USER", "Software", "Next"});
    ASSERT_TRUE(next && next->FindValue("Kept"));
    EXPECT_EQ(doc->skippedLines,
              (Names{"line 7 (neither a key, a value nor a comment): RefreshInterval=\"10\"",
                     "line 9 (a key line without its closing \"]\"): "
                     "[HKEY_CURRENT_USER\\Software\\Broken",
                     "line 10 (a line of a key that was skipped): \"Lost\"=\"1\""}));
    // Written again, nothing is lost, and reading that gives the same.
    const std::string again = reg::Serialize(*doc);
    for (const char* kept :
         {"# my settings\r\n", "#  edited by hand\r\n", "; the program's own\r\n",
          "\" ; moved; see below\r\n", "dword:0000001e ;thirty\r\n", "RefreshInterval=\"10\"\r\n",
          "\"Lost\"=\"1\"\r\n"}) {
        EXPECT_NE(again.find(kept), std::string::npos) << kept;
    }
    auto reread = reg::Parse(again);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reg::Serialize(*reread), again);
    EXPECT_EQ(reread->skippedLines.size(), 3u);
    // A value added to the key above the broken key line is not taken in by it.
    reread->ObtainPath({"HKEY_CURRENT_USER", "Software", "Vellanor", "Sorvanti 2"})
        .SetString("PBVersion", "2");
    auto added = reg::Parse(reg::Serialize(*reread));
    ASSERT_TRUE(added);
    const reg::Key* key =
        added->FindPath({"HKEY_CURRENT_USER", "Software", "Vellanor", "Sorvanti 2"});
    ASSERT_TRUE(key && key->FindValue("PBVersion"));
    EXPECT_EQ(key->FindValue("PBVersion")->data, "2");
    EXPECT_EQ(added->skippedLines.size(), 3u);
}

// ---- The registry API ------------------------------------------------------------------

// A hand-edited file keeps its values and its mistakes: the lines skipped are reported,
// and a write keeps them instead of setting the file aside. Only a file of which nothing
// can be read is kept aside, and is reported as such.
TEST_F(RegistryFile, AHandEditedFileKeepsItsValuesThroughReadsAndWrites) {
    EXPECT_TRUE(RegistryFileProblems().empty());  // no file: nothing to say
    const std::string edited =
        "Windows Registry Editor Version 5.00\r\n"
        "# moved the library\r\n"
        "[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2]\r\n"
        "\"PBIniFile\"=\"c:\\\\pb 5\\\\pb.ini\" ; was c:\\pb\r\n"
        "\"RefreshInterval\"=\"45\r\n"
        "\"TempLibrary\"=\"c:\\\\t.pbl\"\r\n";
    WriteFile(File(), edited);
    TRegIniFile ini("Software\\Vellanor");
    EXPECT_EQ(ini.ReadString("Sorvanti 2", "PBIniFile", ""), "c:\\pb 5\\pb.ini");
    EXPECT_EQ(ini.ReadString("Sorvanti 2", "TempLibrary", ""), "c:\\t.pbl");
    EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "RefreshInterval", 30), 30);
    EXPECT_EQ(RegistryFileProblems(),
              Names{"Registry file " + File() +
                    ": skipped line 5 (a string value not closed by a quote at the end of the "
                    "line): \"RefreshInterval\"=\"45"});
    ASSERT_TRUE(ini.WriteString("Sorvanti 2", "PBVersion", "2"));
    EXPECT_FALSE(fs::exists(File() + ".bad"));
    const std::string written = ReadFile(File());
    for (const char* kept : {"# moved the library\r\n", "\" ; was c:\\pb\r\n",
                             "\"RefreshInterval\"=\"45\r\n", "\"PBVersion\"=\"2\"\r\n"})
        EXPECT_NE(written.find(kept), std::string::npos) << kept;
    EXPECT_EQ(ini.ReadString("Sorvanti 2", "TempLibrary", ""), "c:\\t.pbl");
    EXPECT_EQ(RegistryFileProblems().size(), 1u);

    // Garbage: reported, read as empty, and kept aside rather than written over.
    WriteFile(File(), "not a registry\r\n\"PBVersion\"=\"2\"\r\n");
    const Names problems = RegistryFileProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("nothing in it can be read (line 1: "), std::string::npos)
        << problems[0];
    EXPECT_EQ(ini.ReadString("Sorvanti 2", "PBVersion", "1"), "1");
    ASSERT_TRUE(ini.WriteString("Sorvanti 2", "PBVersion", "0"));
    EXPECT_EQ(ReadFile(File() + ".bad"), "not a registry\r\n\"PBVersion\"=\"2\"\r\n");
    EXPECT_TRUE(RegistryFileProblems().empty());
}

TEST_F(RegistryFile, KeysValuesAndSectionsGoToDiskAtOnceInRegeditsFormABrokenFileIsKeptAside) {
    TRegIniFile ini("Software\\Vellanor");
    EXPECT_EQ(ini.ReadString("Sorvanti 2", "OrcaDLL", "c:\\"), "c:\\");
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "AutoRefresh", true));
    TRegistry reg;
    EXPECT_FALSE(reg.WriteString("x", "y"));  // no key is open
    EXPECT_FALSE(fs::exists(File()));         // reads create nothing
    ASSERT_TRUE(reg.OpenKey("\\Software\\Vellanor\\Sorvanti 2", true));
    EXPECT_TRUE(reg.WriteString("", "default \"quoted\""));
    EXPECT_TRUE(reg.WriteString("PBIniFile", "c:\\pb 5\\pb.ini"));
    EXPECT_TRUE(reg.WriteString("Odd \"name\" \\ here", ""));
    EXPECT_EQ(ReadFile(File()), kSettings);  // its round trip is the fuzz target's

    TRegistry again;
    ASSERT_TRUE(again.OpenKey("SOFTWARE\\VELLANOR\\SORVANTI 2", false));
    EXPECT_EQ(again.ReadString("pbinifile"), "c:\\pb 5\\pb.ini");
    EXPECT_EQ(again.ReadString(""), "default \"quoted\"");
    ASSERT_TRUE(again.WriteString("pbinifile", "c:\\other"));  // keeps the name's case
    EXPECT_NE(ReadFile(File()).find("\"PBIniFile\"=\"c:\\\\other\""), std::string::npos);
    // A value that would break the file's lines is refused.
    SetLastErrorText("");
    EXPECT_FALSE(again.WriteString("x", "two\r\nlines") || LastErrorText().empty());

    // HKEY_LOCAL_MACHINE is its own tree.
    TRegistry machine(TRootKey::LocalMachine);
    ASSERT_TRUE(machine.OpenKey("SOFTWARE\\App Paths\\PB050.exe", true));
    EXPECT_FALSE(KeyExists("Software\\Vellanor", TRootKey::LocalMachine) ||
                 KeyExists("SOFTWARE\\App Paths"));

    // A key goes with its subkeys, and only it; a handle on a deleted key writes
    // nothing, as on Windows.
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\Quentis\\deep", true));
    EXPECT_TRUE(reg.DeleteKey("software\\vellanor\\QUENTIS"));
    EXPECT_FALSE(KeyExists("Software\\Vellanor\\Quentis"));
    EXPECT_TRUE(KeyExists("Software\\Vellanor\\Sorvanti 2"));
    EXPECT_FALSE(reg.DeleteKey("Software\\Vellanor\\Quentis") || reg.DeleteKey(""));  // "": root
    EXPECT_FALSE(reg.WriteString("x", "y"));
    EXPECT_FALSE(KeyExists("Software\\Vellanor\\Quentis\\deep"));

    // Sections of a base key, as an INI file has them. Numbers are decimal text, blanks before them
    // allowed; anything else is the default.
    ASSERT_TRUE(ini.WriteInteger("Sorvanti 2", "PBVersion", -2));
    EXPECT_EQ(ini.ReadString("sorvanti 2", "pbversion", ""), "-2");
    for (auto [text, value] :
         {std::pair{" -7", -7L}, {"12abc", 30L}, {"99999999999999999999", 30L}}) {
        EXPECT_TRUE(ini.WriteString("Sorvanti 2", "RefreshInterval", text));
        EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "RefreshInterval", 30), value) << text;
    }
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "PBVersion", false));  // not zero
    ASSERT_TRUE(ini.WriteString("Quentis", "link", "x"));
    EXPECT_TRUE(ini.EraseSection("Quentis") && ini.EraseSection("Quentis"));  // gone: fine
    EXPECT_FALSE(KeyExists("Software\\Vellanor\\quentis"));

    // A file that does not parse reads as empty, and is kept aside at the first write.
    const std::string broken = "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\x\r\n";
    WriteFile(File(), broken);
    EXPECT_EQ(ini.ReadString("s", "v", "default"), "default");
    EXPECT_EQ(ReadFile(File()), broken);  // reading moves nothing
    ASSERT_TRUE(ini.WriteString("s", "v", "1"));
    EXPECT_EQ(ReadFile(File() + ".bad"), broken);
    EXPECT_EQ(ini.ReadString("s", "v", "default"), "1");
    // A second broken file does not overwrite the first one kept aside.
    WriteFile(File(), "junk");
    ASSERT_TRUE(ini.WriteString("s", "v", "1"));  // the same value, but a file to replace
    EXPECT_EQ(ReadFile(File() + ".bad") + ReadFile(File() + ".bad.1"), broken + "junk");
    EXPECT_EQ(ini.ReadString("s", "v", "default"), "1");

    // A write that breaks off keeps the old file.
    const std::string original = ReadFile(File());
    FailNextAtomicWriteAfter(10);
    SetLastErrorText("");
    EXPECT_FALSE(ini.WriteString("s", "v", "2") || LastErrorText().empty());
    EXPECT_EQ(ReadFile(File()), original);
}

}  // namespace
