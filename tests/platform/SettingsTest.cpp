// The settings' files: profile (INI) text and the regedit 5 text in memory, byte for
// byte, then the profile functions and the registry API on a prefix.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/IniText.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/Profile.h"
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace platform;
using testsupport::ReadFile;
using testsupport::WriteFile;
using Names = std::vector<std::string>;

// ---- Profile text: reading -------------------------------------------------------------

TEST(IniText, WhatIsAKeyAndHowNamesCompare) {
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
}

// ---- Editing, byte for byte ------------------------------------------------------------

TEST(IniText, EditsChangeOnlyTheirLineAndNeverTheStructure) {
    const std::string pbIni =
        "; pb.ini\r\n"
        "[Application]\n"
        "  $C:\\A.PBL(App) = old value ; not a comment\r\n"
        "$c:\\a.pbl(app)=duplicate\r\n"
        "\x1a junk \x01\x02\r\n";
    const std::string sections = "[a]\r\nx=1\r\n; about b\r\n\r\n   \r\n[b]\r\n[c]\r\n\r\n";
    const std::string doubled = "[s]\r\na=1\r\nb=2\r\n[t]\r\nc=3\r\n[S]\r\nd=4";
    struct Edit {
        std::string text, section, key, value, expected;
    };
    const Edit edits[] = {
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
    for (const auto& [text, section, key, value, expected] : edits) {
        const std::string edited = key == "-"     ? ini::DeleteSection(text, section)
                                   : value == "-" ? ini::DeleteKey(text, section, key)
                                                  : ini::SetValue(text, section, key, value);
        EXPECT_EQ(edited, expected) << text << " " << section << "/" << key;
    }
    // What would change the structure is refused before any edit.
    EXPECT_EQ(ini::Unstorable(" s ", " k ", " v "), "");
    for (auto [section, key] : {std::pair{"", "k"}, {"a]b", "k"}, {"s", "a=b"}})
        EXPECT_NE(ini::Unstorable(section, key, "v"), "") << section << " " << key;
    EXPECT_NE(ini::Unstorable("s", "k", "line\r\n[injected]"), "");
}

// ---- The profile functions -------------------------------------------------------------

// A prefix of its own for each test, with its profile files and registry file.
class OnPrefix : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    std::string Host(const std::string& name) const { return prefix.DriveC() + "/" + name; }
    static std::string File() { return RegistryHostPath(); }
    static bool KeyExists(std::string_view key, TRootKey root = TRootKey::CurrentUser) {
        return TRegistry(root).OpenKey(key, false);
    }
};
using ProfileFile = OnPrefix;

TEST_F(ProfileFile, ReadsDefaultsAndEveryCallGoesToTheFile) {
    EXPECT_EQ(GetPrivateProfileString("s", "k", "default \t ", "c:\\pb.ini"), "default \t");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "hello", "c:\\missing\\pb.ini", 4), "hel");
    ASSERT_TRUE(
        WritePrivateProfileString("Application", "$c:\\a.pbl(a)", "c:\\a.pbl", "c:\\pb.ini"));
    EXPECT_EQ(GetPrivateProfileString("APPLICATION", "$C:\\A.PBL(A)", "", "C:\\PB.INI"),
              "c:\\a.pbl");

    // Nothing is cached: a change made behind our back is read, and kept on a write.
    WriteFile(Host("pb.ini"), "[s]\nk=2\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\pb.ini"), "2");
    ASSERT_TRUE(WritePrivateProfileString("s", "n", "3", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), "[s]\nk=2\nn=3\n");

    // WIN.INI, the Windows profile, is a file of the Windows folder, as a bare name is.
    ASSERT_TRUE(WriteProfileString("PowerBuilder", "InitPath050", "c:\\pb5"));
    EXPECT_EQ(GetPrivateProfileString("powerbuilder", "initpath050", "", "WIN.INI"), "c:\\pb5");

    // Deleting what is absent succeeds and creates no file; an unchanged write leaves
    // the file (and its date) alone, even a read-only one.
    EXPECT_TRUE(WritePrivateProfileString("s", "k", std::nullopt, "c:\\none.ini"));
    EXPECT_TRUE(WritePrivateProfileString("s", std::nullopt, std::nullopt, "c:\\none.ini"));
    EXPECT_FALSE(std::filesystem::exists(Host("none.ini")));
    const auto before = std::filesystem::last_write_time(Host("pb.ini"));
    chmod(Host("pb.ini").c_str(), 0444);
    EXPECT_TRUE(WritePrivateProfileString("S", "N", "3", "c:\\pb.ini"));
    EXPECT_EQ(std::filesystem::last_write_time(Host("pb.ini")), before);
}

TEST_F(ProfileFile, FailedWritesLeaveTheFileAsItWas) {
    const std::string original = "[s]\r\nk=1\r\n";
    WriteFile(Host("pb.ini"), original);

    // A file without write permission stands for the read-only attribute; the check does
    // not depend on the user (tests run as root, for whom chmod stops nothing).
    ASSERT_EQ(chmod(Host("pb.ini").c_str(), 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\pb.ini"));
    EXPECT_EQ(LastErrorText(), "Cannot write the profile file c:\\pb.ini: the file is read-only");
    ASSERT_EQ(chmod(Host("pb.ini").c_str(), 0644), 0);

    // An atomic write that breaks off keeps the old file, and so does a value that would
    // break the file's lines. Other places no file can be written to (a folder, a path
    // under a file, a drive that does not exist) are the atomic write's and the path
    // mapping's tests.
    FailNextAtomicWriteAfter(5);
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\pb.ini"));
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "1\r\n[evil]", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), original);
}

TEST_F(ProfileFile, HostileBytesAreKept) {
    // NUL bytes, Ctrl-Z, binary junk, an unterminated header, a line of megabytes
    // without a line end: read what can be read, and keep every byte on a write.
    std::string junk("\0\x1a\xff\xfe[not\r\n\x01\x02=\x03\r\n", 16);
    junk += "[s]\r\nk= v \x1a\r\n[ignored\r\n";
    junk += std::string(3 << 20, 'x');
    WriteFile(Host("junk.ini"), junk);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\junk.ini"), "v");
    ASSERT_TRUE(WritePrivateProfileString("s", "n", "1", "c:\\junk.ini"));
    EXPECT_EQ(ReadFile(Host("junk.ini")), junk + "\r\nn=1");

    // A UTF-16 file is neither read nor rewritten.
    const std::string utf16("\xFF\xFE[\0s\0]\0", 8);
    WriteFile(Host("wide.ini"), utf16);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "d", "c:\\wide.ini"), "d");
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", "c:\\wide.ini"));
    EXPECT_EQ(ReadFile(Host("wide.ini")), utf16);
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

TEST(RegFile, ToleratesWhatHandsAndOtherToolsWrite) {
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
}

TEST(RegFile, RejectsWhatItCannotUnderstand) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n";
    const std::string key = head + "[HKEY_CURRENT_USER]\r\n";
    // One row for each refusal: no header line, UTF-16, a key not closed or not under a
    // root key, a value name not closed, a line of nothing known, no "=", a value before
    // any key, a string not closed at the line's end, values of no known type.
    for (const std::string& bad :
         {std::string("[HKEY_CURRENT_USER\\x]\r\n"), std::string("\xFF\xFEW\0i\0", 6),
          head + "[HKEY_CURRENT_USER\\x\r\n", head + "[Software\\x]\r\n", key + "\"a=\"b\"\r\n",
          key + "junk\r\n", key + "\"a\" \"b\"\r\n", head + "\"a\"=\"b\"\r\n",
          key + "\"a\"=\"b\" junk\r\n", key + "\"a\"=dword:123456789\r\n", key + "\"a\"=hex:zz\r\n",
          key + "\"a\"=42\r\n"}) {
        std::string error;
        EXPECT_FALSE(reg::Parse(bad, &error)) << bad;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    }
}

// ---- The registry API ------------------------------------------------------------------

using RegistryFile = OnPrefix;

TEST_F(RegistryFile, KeysAndValuesGoToDiskAtOnceInRegeditsForm) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\Vellanor\\Sorvanti 2", false));
    EXPECT_FALSE(reg.WriteString("x", "y"));  // no key is open
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
    EXPECT_FALSE(again.WriteString("x", "two\r\nlines"));  // it would break the file's lines
    EXPECT_NE(LastErrorText(), "");

    // HKEY_LOCAL_MACHINE is its own tree.
    TRegistry machine(TRootKey::LocalMachine);
    ASSERT_TRUE(machine.OpenKey("SOFTWARE\\App Paths\\PB050.exe", true));
    EXPECT_FALSE(KeyExists("Software\\Vellanor", TRootKey::LocalMachine));
    EXPECT_FALSE(KeyExists("SOFTWARE\\App Paths"));
}

TEST_F(RegistryFile, DeletesKeysWithTheirSubkeys) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\Quentis\\deep", true));
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\Sorvanti 2", true));
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\Quentis\\deep", false));
    EXPECT_TRUE(reg.DeleteKey("software\\vellanor\\QUENTIS"));
    EXPECT_FALSE(KeyExists("Software\\Vellanor\\Quentis"));
    EXPECT_TRUE(KeyExists("Software\\Vellanor\\Sorvanti 2"));
    EXPECT_FALSE(reg.DeleteKey("Software\\Vellanor\\Quentis"));
    EXPECT_FALSE(reg.DeleteKey(""));  // a root key
    // A handle on a deleted key writes nothing, as on Windows.
    EXPECT_FALSE(reg.WriteString("x", "y"));
    EXPECT_FALSE(KeyExists("Software\\Vellanor\\Quentis\\deep"));
}

TEST_F(RegistryFile, IniStyleSections) {
    TRegIniFile ini("Software\\Vellanor");
    EXPECT_EQ(ini.ReadString("Sorvanti 2", "OrcaDLL", "c:\\"), "c:\\");
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "AutoRefresh", true));
    EXPECT_FALSE(std::filesystem::exists(File()));  // reads create nothing
    // Numbers are decimal text, blanks before them allowed; anything else is the default.
    ASSERT_TRUE(ini.WriteInteger("Sorvanti 2", "PBVersion", -2));
    EXPECT_EQ(ini.ReadString("sorvanti 2", "pbversion", ""), "-2");
    auto readBack = [&](const char* text) {
        EXPECT_TRUE(ini.WriteString("Sorvanti 2", "RefreshInterval", text));
        return ini.ReadInteger("Sorvanti 2", "RefreshInterval", 30);
    };
    EXPECT_EQ(readBack(" -7"), -7);
    for (const char* text : {"12abc", "99999999999999999999"})
        EXPECT_EQ(readBack(text), 30) << text;
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "RefreshInterval", true));  // not a number
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "PBVersion", false));       // not zero

    ASSERT_TRUE(ini.WriteString("Quentis", "link", "x"));
    EXPECT_TRUE(ini.EraseSection("Quentis") && ini.EraseSection("Quentis"));  // gone: fine
    EXPECT_FALSE(KeyExists("Software\\Vellanor\\quentis"));
}

TEST_F(RegistryFile, AnUnparseableFileIsKeptAsideAndAFailedWriteKeepsTheOld) {
    const std::string broken = "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\x\r\n";
    WriteFile(File(), broken);
    TRegIniFile ini("Software\\Vellanor");
    EXPECT_EQ(ini.ReadString("s", "v", "default"), "default");
    EXPECT_EQ(ReadFile(File()), broken);  // reading moves nothing
    ASSERT_TRUE(ini.WriteString("s", "v", "1"));
    EXPECT_EQ(ReadFile(File() + ".bad"), broken);
    EXPECT_EQ(ini.ReadString("s", "v", "default"), "1");

    // A second broken file does not overwrite the first one kept aside.
    WriteFile(File(), "junk");
    ASSERT_TRUE(ini.WriteString("s", "v", "1"));  // the same value, but a file to replace
    EXPECT_EQ(ReadFile(File() + ".bad"), broken);
    EXPECT_EQ(ReadFile(File() + ".bad.1"), "junk");
    EXPECT_EQ(ini.ReadString("s", "v", "default"), "1");

    // A write that breaks off keeps the old file.
    const std::string original = ReadFile(File());
    FailNextAtomicWriteAfter(10);
    EXPECT_FALSE(ini.WriteString("s", "v", "2"));
    EXPECT_FALSE(LastErrorText().empty());
    EXPECT_EQ(ReadFile(File()), original);
}

}  // namespace
