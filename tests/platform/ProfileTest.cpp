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

// ---- Reading ------------------------------------------------------------------------

TEST(IniText, NamesCompareWithoutCaseAndBlanks) {
    const std::string text =
        "[ Application ]\r\n"
        "  $C:\\Work\\Sales.pbl(sales) = c:\\work\\sales.pbl;c:\\work\\common.pbl  \r\n"
        "Quoted=\"  padded  \"\r\n"
        "Single='x'\r\n"
        "Lone=\"\r\n";
    EXPECT_EQ(ini::FindValue(text, "application", "$c:\\work\\sales.pbl(SALES)"),
              "c:\\work\\sales.pbl;c:\\work\\common.pbl");
    EXPECT_EQ(ini::FindValue(text, "  APPLICATION\t", "  quoted "), "  padded  ");
    EXPECT_EQ(ini::FindValue(text, "Application", "Single"), "x");
    EXPECT_EQ(ini::FindValue(text, "Application", "Lone"), "\"");
    EXPECT_EQ(ini::FindValue(text, "Application", "missing"), std::nullopt);
    EXPECT_EQ(ini::FindValue(text, "Other", "Single"), std::nullopt);
    EXPECT_EQ(ini::FindValue(text, "", "Single"), std::nullopt);
    EXPECT_EQ(ini::FindValue(text, "Application", ""), std::nullopt);
    EXPECT_EQ(ini::SectionNames(text), std::vector<std::string>{"Application"});
}

TEST(IniText, WhatIsAKey) {
    // Lines without "=" and comments are no keys; the first of duplicate keys wins; a
    // key belongs to the first section of its name only; lines end at CR LF, LF or CR.
    const std::string text =
        "orphan=before any section\n"
        "[s]\r"
        "name1=val1\r\n"
        "name3\n"
        ";comment=not a key\r\n"
        "[broken\r\n"
        "name1=second\r\n"
        "=no name\r\n"
        "name2=\r\n"
        "[t]\r\n"
        "t1=1\r\n"
        "[S]\r\n"
        "late=x\r\n";
    EXPECT_EQ(ini::KeyNames(text, "s"), (std::vector<std::string>{"name1", "name1", "name2"}));
    EXPECT_EQ(ini::FindValue(text, "s", "name1"), "val1");
    EXPECT_EQ(ini::FindValue(text, "s", "name2"), "");
    EXPECT_EQ(ini::FindValue(text, "s", "name3"), std::nullopt);
    EXPECT_EQ(ini::FindValue(text, "s", ";comment"), std::nullopt);
    EXPECT_EQ(ini::FindValue(text, "s", "late"), std::nullopt);
    EXPECT_EQ(ini::SectionNames(text), (std::vector<std::string>{"s", "t", "S"}));
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
    EXPECT_EQ(ini::SetValue("", "App", "key", ""), "[App]\r\nkey=\r\n");
}

TEST(IniText, ReplacesInPlaceAndTouchesNothingElse) {
    const std::string text =
        "; pb.ini\r\n"
        "[Application]\n"
        "  $C:\\A.PBL(App) = old value ; not a comment\r\n"
        "$c:\\a.pbl(app)=duplicate\r\n"
        "\x1a junk \x01\x02\r\n";
    EXPECT_EQ(ini::SetValue(text, "APPLICATION", "$c:\\a.pbl(APP)", "new"),
              "; pb.ini\r\n"
              "[Application]\n"
              "  $C:\\A.PBL(App) = new\r\n"
              "$c:\\a.pbl(app)=duplicate\r\n"
              "\x1a junk \x01\x02\r\n");
}

TEST(IniText, AppendsAfterTheLastNonBlankLineOfTheSection) {
    const std::string text =
        "[a]\r\n"
        "x=1\r\n"
        "; about b\r\n"
        "\r\n"
        "   \r\n"
        "[b]\r\n"
        "[c]\r\n"
        "\r\n";
    EXPECT_EQ(ini::SetValue(text, "a", " y ", "2"),
              "[a]\r\nx=1\r\n; about b\r\ny=2\r\n\r\n   \r\n[b]\r\n[c]\r\n\r\n");
    EXPECT_EQ(ini::SetValue(text, "b", "y", "2"),
              "[a]\r\nx=1\r\n; about b\r\n\r\n   \r\n[b]\r\ny=2\r\n[c]\r\n\r\n");
    EXPECT_EQ(ini::SetValue(text, "c", "y", "2"),
              "[a]\r\nx=1\r\n; about b\r\n\r\n   \r\n[b]\r\n[c]\r\ny=2\r\n\r\n");
    EXPECT_EQ(ini::SetValue(text, " new ", "y", "2"), text + "[new]\r\ny=2\r\n");
}

TEST(IniText, NewLinesFollowTheFile) {
    // The dominant line end is used; a file without a final line end keeps lacking one.
    EXPECT_EQ(ini::SetValue("[s]\nk=1\n", "s", "n", "2"), "[s]\nk=1\nn=2\n");
    EXPECT_EQ(ini::SetValue("[s]\rk=1\r\n[t]\r", "s", "n", "2"), "[s]\rk=1\r\nn=2\r[t]\r");
    EXPECT_EQ(ini::SetValue("[s]\r\nk=1", "s", "n", "2"), "[s]\r\nk=1\r\nn=2");
    EXPECT_EQ(ini::SetValue("[s]\nk=1", "t", "n", "2"), "[s]\nk=1\n[t]\nn=2");
    EXPECT_EQ(ini::SetValue("\xEF\xBB\xBF", "s", "n", "2"), "\xEF\xBB\xBF[s]\r\nn=2\r\n");
    // ...and a key or section added then removed gives the very bytes back.
    for (std::string original : {"[s]\r\nk=1", "[s]\nk=1\n\n", "\xEF\xBB\xBF[s]", "[s]"}) {
        EXPECT_EQ(ini::DeleteKey(ini::SetValue(original, "s", "n", "2"), "s", "n"), original);
    }
    for (std::string original : {"", "x", "x\n", "[s]\r\nk=1", "\xEF\xBB\xBF"}) {
        EXPECT_EQ(ini::DeleteSection(ini::SetValue(original, "new", "n", "2"), "NEW"), original);
    }
}

TEST(IniText, DeletesLinesAndSections) {
    const std::string text = "[s]\r\na=1\r\nb=2\r\n[t]\r\nc=3\r\n[S]\r\nd=4";
    EXPECT_EQ(ini::DeleteKey(text, "s", "A"), "[s]\r\nb=2\r\n[t]\r\nc=3\r\n[S]\r\nd=4");
    EXPECT_EQ(ini::DeleteKey(text, "t", "a"), text);
    EXPECT_EQ(ini::DeleteSection(text, "s"), "[t]\r\nc=3");
    EXPECT_EQ(ini::DeleteSection(text, "missing"), text);
}

TEST(IniText, RefusesWhatWouldChangeTheStructure) {
    EXPECT_EQ(ini::Unstorable(" s ", " k ", " v "), "");
    for (auto [section, key] : {std::pair{"", "k"}, {"a]b", "k"}, {"s", "a=b"}, {"s", ";k"}}) {
        EXPECT_NE(ini::Unstorable(section, key, "v"), "") << section << " " << key;
    }
    EXPECT_NE(ini::Unstorable("s", "k", "line\r\n[injected]"), "");
}

// ---- The file functions -------------------------------------------------------------

class ProfileFile : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    std::string Host(const std::string& name) const { return prefix.DriveC() + "/" + name; }
};

TEST_F(ProfileFile, ReadsDefaultsAndWritesThroughWindowsPaths) {
    EXPECT_EQ(GetPrivateProfileString("s", "k", "default  ", "c:\\pb.ini"), "default");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "hello", "c:\\missing\\pb.ini", 4), "hel");
    EXPECT_TRUE(GetPrivateProfileSectionNames("c:\\pb.ini").empty());

    ASSERT_TRUE(
        WritePrivateProfileString("Application", "$c:\\a.pbl(a)", "c:\\a.pbl", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), "[Application]\r\n$c:\\a.pbl(a)=c:\\a.pbl\r\n");
    EXPECT_EQ(GetPrivateProfileString("APPLICATION", "$C:\\A.PBL(A)", "", "C:\\PB.INI"),
              "c:\\a.pbl");
    EXPECT_EQ(GetPrivateProfileKeys("application", "C:\\Pb.Ini"),
              std::vector<std::string>{"$c:\\a.pbl(a)"});

    // A bare name is a file of the Windows folder; WIN.INI is the Windows profile.
    ASSERT_TRUE(WritePrivateProfileString("PowerBuilder", "InitPath050", "c:\\pb5", "win.ini"));
    EXPECT_EQ(GetProfileString("powerbuilder", "initpath050", "hello"), "c:\\pb5");
    ASSERT_TRUE(WriteProfileString("PowerBuilder", "InitPath60", "c:\\pb6"));
    EXPECT_EQ(ReadFile(prefix.DriveC() + "/windows/win.ini"),
              "[PowerBuilder]\r\nInitPath050=c:\\pb5\r\nInitPath60=c:\\pb6\r\n");
    EXPECT_EQ(GetProfileString("PowerBuilder", "InitPath040", "hello", 1000), "hello");
}

TEST_F(ProfileFile, EveryCallGoesToTheFile) {
    WriteFile(Host("pb.ini"), "[s]\nk=1\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\pb.ini"), "1");
    WriteFile(Host("pb.ini"), "[s]\nk=2\n");
    EXPECT_EQ(GetPrivateProfileString("s", "k", "", "c:\\pb.ini"), "2");
    ASSERT_TRUE(WritePrivateProfileString("s", "n", "3", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), "[s]\nk=2\nn=3\n");

    // Deleting what is absent succeeds and creates no file; an unchanged write leaves
    // the file (and its date) alone.
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
    ClearLastError();

    // A file without write permission stands for the read-only attribute; the check does
    // not depend on the user (tests run as root, for whom chmod stops nothing).
    ASSERT_EQ(chmod(Host("pb.ini").c_str(), 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\pb.ini"));
    EXPECT_NE(LastErrorText().find("read-only"), std::string::npos) << LastErrorText();
    EXPECT_NE(LastErrorText().find("c:\\pb.ini"), std::string::npos) << LastErrorText();
    EXPECT_EQ(ReadFile(Host("pb.ini")), original);
    ASSERT_EQ(chmod(Host("pb.ini").c_str(), 0644), 0);

    // An atomic write that breaks off keeps the old file and leaves no temporary file.
    FailNextAtomicWriteAfter(5);
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), original);
    for (const auto& entry : std::filesystem::directory_iterator(prefix.DriveC())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "pb.ini" || name == "windows") << "left behind: " << name;
    }

    // Places no file can be written to, whoever the user: a folder, a path under a
    // file, a folder that is gone, a drive that does not exist.
    std::filesystem::create_directories(Host("folder.ini"));
    ClearLastError();
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\folder.ini"));
    EXPECT_NE(LastErrorText(), "");
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\pb.ini\\sub.ini"));
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "c:\\gone\\pb.ini"));
    EXPECT_FALSE(WritePrivateProfileString("s", "k", "2", "q:\\pb.ini"));
    EXPECT_EQ(ReadFile(Host("pb.ini")), original);
    EXPECT_EQ(GetPrivateProfileString("s", "k", "d", "c:\\folder.ini"), "d");

    // Values that would break the file's lines are refused.
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
