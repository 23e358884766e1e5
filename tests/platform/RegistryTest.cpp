// The registry: the regedit 5 text in memory, then the registry API on a prefix.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/RegFile.h"
#include "platform/Registry.h"
#include "tests/support/TestSupport.h"

namespace {

using namespace platform;
using testsupport::ReadFile;
using testsupport::WriteFile;

// ---- The file format ----------------------------------------------------------------

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
        "; about Blob\n"
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
              "; about Blob\r\n"
              "\"Blob\"=hex(2):41,00,42,00,\\\r\n"
              "  00,00\r\n"
              "\"Path\"=\"c:\\\\pb\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\C]\r\n\r\n");
    EXPECT_TRUE(reg::Parse("")->root.subkeys.empty());
    EXPECT_TRUE(reg::Parse(" \r\n\n")->root.subkeys.empty());
}

TEST(RegFile, RejectsWhatItCannotUnderstand) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n";
    const std::string key = head + "[HKEY_CURRENT_USER]\r\n";
    // No header line, UTF-16, a key not closed or not under a root key, a value before
    // any key, names and strings not closed, junk after a string, no "=", values of no
    // known type.
    for (const std::string& bad :
         {std::string("[HKEY_CURRENT_USER\\x]\r\n"), std::string("\xFF\xFEW\0i\0", 6),
          head + "[HKEY_CURRENT_USER\\x\r\n", head + "[Software\\x]\r\n", head + "\"a\"=\"b\"\r\n",
          key + "\"a=\"b\"\r\n", key + "\"a\"=\"b\r\n", key + "\"a\"=\"b\" junk\r\n",
          key + "\"a\" \"b\"\r\n", key + "\"a\"=dword:123456789\r\n", key + "\"a\"=hex:zz\r\n",
          key + "\"a\"=42\r\n", key + "junk\r\n"}) {
        std::string error;
        EXPECT_FALSE(reg::Parse(bad, &error)) << bad;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    }
}

// ---- The registry API ---------------------------------------------------------------

class RegistryFile : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    static std::string File() { return RegistryHostPath(); }
    static bool KeyExists(std::string_view key, TRootKey root = TRootKey::CurrentUser) {
        return TRegistry(root).OpenKey(key, false);
    }
};

TEST_F(RegistryFile, KeysAndValuesGoToDiskAtOnceInRegeditsForm) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\Vellanor\\Sorvanti 2", false));
    EXPECT_FALSE(reg.WriteString("x", "y"));        // no key is open
    EXPECT_FALSE(std::filesystem::exists(File()));  // nothing written for a failed open
    ASSERT_TRUE(reg.OpenKey("\\Software\\Vellanor\\Sorvanti 2", true));
    EXPECT_TRUE(reg.WriteString("", "default \"quoted\""));
    EXPECT_TRUE(reg.WriteString("PBIniFile", "c:\\pb 5\\pb.ini"));
    EXPECT_TRUE(reg.WriteString("Odd \"name\" \\ here", ""));
    EXPECT_EQ(ReadFile(File()), kSettings);
    EXPECT_EQ(reg::Serialize(reg::Parse(kSettings).value()), kSettings);

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
    ASSERT_TRUE(machine.WriteString("", "c:\\pb5\\pb050.exe"));
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
    EXPECT_EQ(readBack(" -7") + readBack("+8") + readBack("9"), 10);
    for (const char* text : {"12abc", "+-1", "", "7 ", "99999999999999999999"})
        EXPECT_EQ(readBack(text), 30) << text;
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "RefreshInterval", true));  // not a number
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "PBVersion", false));       // not zero
    ASSERT_TRUE(ini.WriteBool("Sorvanti 2", "AutoRefresh", false));
    EXPECT_FALSE(ini.ReadBool("Sorvanti 2", "AutoRefresh", true));

    ASSERT_TRUE(ini.WriteString("Quentis", "link", "x"));
    EXPECT_TRUE(ini.EraseSection("Quentis") && ini.EraseSection("Quentis"));  // gone: fine
    EXPECT_FALSE(ini.EraseSection(""));
    EXPECT_FALSE(KeyExists("Software\\Vellanor\\quentis"));
    EXPECT_TRUE(KeyExists("Software\\Vellanor\\Sorvanti 2"));
}

TEST_F(RegistryFile, HandEditedTypesSurviveARewrite) {
    const std::string values = "\"PBVersion\"=dword:00000002\r\n\"Blob\"=hex:01,02\r\n";
    WriteFile(File(),
              std::string("REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2]\r\n") +
                  values);
    TRegIniFile ini("Software\\Vellanor");
    EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "PBVersion", 1), 1);  // not a string: default
    ASSERT_TRUE(ini.WriteString("Sorvanti 2", "TempLibrary", "c:\\t.pbl"));
    EXPECT_NE(
        ReadFile(File()).find("Sorvanti 2]\r\n" + values + "\"TempLibrary\"=\"c:\\\\t.pbl\"\r\n"),
        std::string::npos);
    // Writing a string over it replaces the value where it stands.
    ASSERT_TRUE(ini.WriteInteger("Sorvanti 2", "PBVersion", 0));
    EXPECT_NE(ReadFile(File()).find("Sorvanti 2]\r\n\"PBVersion\"=\"0\"\r\n\"Blob\""),
              std::string::npos);
}

TEST_F(RegistryFile, AnUnparseableFileIsKeptAside) {
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
}

TEST_F(RegistryFile, FailedWritesLeaveTheFileAsItWas) {
    TRegIniFile ini("Software\\Vellanor");
    ASSERT_TRUE(ini.WriteString("s", "v", "1"));
    const std::string original = ReadFile(File());

    FailNextAtomicWriteAfter(10);
    EXPECT_FALSE(ini.WriteString("s", "v", "2"));
    EXPECT_FALSE(LastErrorText().empty());
    EXPECT_EQ(ReadFile(File()), original);

    // A registry file that cannot be read (here a folder in its place) is never
    // replaced: reads give defaults, writes fail.
    std::filesystem::remove(File());
    std::filesystem::create_directory(File());
    EXPECT_EQ(ini.ReadString("s", "v", "d"), "d");
    EXPECT_FALSE(ini.WriteString("s", "v", "2"));
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\New", true));
    EXPECT_TRUE(std::filesystem::is_directory(File()));
}

}  // namespace
