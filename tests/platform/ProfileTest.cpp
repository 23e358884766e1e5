// Profile files: the in-memory edits byte for byte, then the file functions on a prefix.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/IniText.h"
#include "platform/LastError.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace platform;
using testsupport::ReadFile;
using testsupport::WriteFile;
using Names = std::vector<std::string>;

// ---- Reading ------------------------------------------------------------------------

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
        "Lone=\"\r\n"
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
        {"Application", "Lone", "\""},
        {"Application", "empty", ""},
        {"Application", "missing", std::nullopt},
        {"Application", "", std::nullopt},
        {"", "orphan", std::nullopt},
        {"Other", "Single", std::nullopt},
    };
    for (const auto& [section, key, value] : lookups)
        EXPECT_EQ(ini::FindValue(text, section, key), value) << section << "/" << key;
    EXPECT_EQ(ini::KeyNames(text, "application"), (Names{"$C:\\Work\\Sales.pbl(sales)", "Quoted",
                                                         "Single", "Lone", "quoted", "empty"}));
}

// ---- Editing, byte for byte -------------------------------------------------------

// The sequence Windows' own conformance tests pin: sections appended without a blank
// line, deleting a key removes its line, deleting the last key keeps the header.
TEST(IniText, BuildsAndShrinksAFileAsWindowsDoes) {
    std::string text;
    text = ini::SetValue(text, "App1", "key1", "string1");
    text = ini::SetValue(text, "App1", "key2", "string2");
    text = ini::SetValue(text, "App2", "key4", "string4");
    text = ini::SetValue(text, "App1", "key3", "string3");
    text = ini::SetValue(text, "App3", "key5", "string5");
    EXPECT_EQ(text,
              "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n"
              "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n");
    text = ini::DeleteKey(text, "app1", "KEY2");
    EXPECT_EQ(ini::DeleteKey(text, "app1", "KEY2"), text);
    text = ini::DeleteSection(text, "App1");
    text = ini::DeleteKey(text, "App3", "key5");
    EXPECT_EQ(text, "[App2]\r\nkey4=string4\r\n[App3]\r\n");
}

TEST(IniText, EditsChangeOnlyTheirLine) {
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
        {sections, "c", "y", "2",
         "[a]\r\nx=1\r\n; about b\r\n\r\n   \r\n[b]\r\n[c]\r\ny=2\r\n\r\n"},
        {sections, " new ", "y", "2", sections + "[new]\r\ny=2\r\n"},
        // New lines end as most lines do; a text without a final line end keeps lacking one.
        {"[s]\nk=1\n", "s", "n", "2", "[s]\nk=1\nn=2\n"},
        {"[s]\rk=1\r\n[t]\r", "s", "n", "2", "[s]\rk=1\r\nn=2\r[t]\r"},
        {"[s]\r\nk=1", "s", "n", "2", "[s]\r\nk=1\r\nn=2"},
        {"[s]\nk=1", "t", "n", "2", "[s]\nk=1\n[t]\nn=2"},
        {"\xEF\xBB\xBF", "s", "n", "2", "\xEF\xBB\xBF[s]\r\nn=2\r\n"},
        // Deleting a key (value "-") and sections (key "-"); the first of a doubled one.
        {doubled, "s", "A", "-", "[s]\r\nb=2\r\n[t]\r\nc=3\r\n[S]\r\nd=4"},
        {doubled, "t", "a", "-", doubled},
        {doubled, "s", "-", "", "[t]\r\nc=3"},
        {doubled, "missing", "-", "", doubled},
    };
    for (const auto& [text, section, key, value, expected] : edits) {
        const std::string edited = key == "-"     ? ini::DeleteSection(text, section)
                                   : value == "-" ? ini::DeleteKey(text, section, key)
                                                  : ini::SetValue(text, section, key, value);
        EXPECT_EQ(edited, expected) << text << " " << section << "/" << key;
    }
}

TEST(IniText, RefusesWhatWouldChangeTheStructure) {
    EXPECT_EQ(ini::Unstorable(" s ", " k ", " v "), "");
    for (auto [section, key] : {std::pair{"", "k"}, {"a]b", "k"}, {"s", "a=b"}, {"s", ";k"}})
        EXPECT_NE(ini::Unstorable(section, key, "v"), "") << section << " " << key;
    EXPECT_NE(ini::Unstorable("s", "k", "line\r\n[injected]"), "");
}

// ---- The file functions -------------------------------------------------------------

class ProfileFile : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    std::string Host(const std::string& name) const { return prefix.DriveC() + "/" + name; }
};

TEST_F(ProfileFile, ReadsDefaultsAndEveryCallGoesToTheFile) {
    EXPECT_EQ(GetPrivateProfileString("s", "k", "default \t ", "c:\\pb.ini"), "default \t");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "hello", "c:\\missing\\pb.ini", 4), "hel");
    ASSERT_TRUE(
        WritePrivateProfileString("Application", "$c:\\a.pbl(a)", "c:\\a.pbl", "c:\\pb.ini"));
    EXPECT_EQ(GetPrivateProfileString("APPLICATION", "$C:\\A.PBL(A)", "", "C:\\PB.INI"),
              "c:\\a.pbl");
    EXPECT_EQ(GetPrivateProfileKeys("application", "C:\\Pb.Ini"), Names{"$c:\\a.pbl(a)"});

    // Nothing is cached: a change made behind our back is read, and kept on a write.
    WriteFile(Host("pb.ini"), "[s]\nk=2\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\pb.ini"), "2");
    ASSERT_TRUE(WritePrivateProfileString("s", "n", "3", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), "[s]\nk=2\nn=3\n");

    // WIN.INI, the Windows profile, is a file of the Windows folder, as a bare name is.
    ASSERT_TRUE(WriteProfileString("PowerBuilder", "InitPath050", "c:\\pb5"));
    EXPECT_EQ(GetPrivateProfileString("powerbuilder", "initpath050", "", "WIN.INI"), "c:\\pb5");
    EXPECT_EQ(GetProfileString("PowerBuilder", "InitPath040", "hello", 1000), "hello");

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
    SetLastErrorText("");

    // A file without write permission stands for the read-only attribute; the check does
    // not depend on the user (tests run as root, for whom chmod stops nothing).
    ASSERT_EQ(chmod(Host("pb.ini").c_str(), 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\pb.ini"));
    EXPECT_NE(LastErrorText().find("read-only"), std::string::npos) << LastErrorText();
    EXPECT_NE(LastErrorText().find("c:\\pb.ini"), std::string::npos) << LastErrorText();
    ASSERT_EQ(chmod(Host("pb.ini").c_str(), 0644), 0);

    // An atomic write that breaks off keeps the old file.
    FailNextAtomicWriteAfter(5);
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\pb.ini"));

    // Places no file can be written to, whoever the user: a folder, a path under a
    // file, a folder that is gone, a drive that does not exist; and values that would
    // break the file's lines.
    std::filesystem::create_directories(Host("folder.ini"));
    SetLastErrorText("");
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\folder.ini"));
    EXPECT_NE(LastErrorText(), "");
    for (const char* file : {"c:\\pb.ini\\sub.ini", "c:\\gone\\pb.ini", "q:\\pb.ini"})
        EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", file)) << file;
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "1\r\n[evil]", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), original);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "d", "c:\\folder.ini"), "d");
}

TEST_F(ProfileFile, HostileBytesAreKept) {
    // NUL bytes, Ctrl-Z, binary junk, an unterminated header, a line of megabytes
    // without a line end: read what can be read, and keep every byte on a write.
    std::string junk("\0\x1a\xff\xfe[not\r\n\x01\x02=\x03\r\n", 16);
    junk += "[s]\r\nk= v \x1a\r\n[ignored\r\n";
    junk += std::string(3 << 20, 'x');
    WriteFile(Host("junk.ini"), junk);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\junk.ini"), "v");
    EXPECT_EQ(GetPrivateProfileString("s", "x", "def", "c:\\junk.ini"), "def");
    ASSERT_TRUE(WritePrivateProfileString("s", "n", "1", "c:\\junk.ini"));
    EXPECT_EQ(ReadFile(Host("junk.ini")), junk + "\r\nn=1");

    // A UTF-16 file is neither read nor rewritten.
    const std::string utf16("\xFF\xFE[\0s\0]\0", 8);
    WriteFile(Host("wide.ini"), utf16);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "d", "c:\\wide.ini"), "d");
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "v", "c:\\wide.ini"));
    EXPECT_EQ(ReadFile(Host("wide.ini")), utf16);
}

}  // namespace
