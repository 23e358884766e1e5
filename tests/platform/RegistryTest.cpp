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
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Vellanor]\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2]\r\n"
    "@=\"default \\\"quoted\\\"\"\r\n"
    "\"PBIniFile\"=\"c:\\\\pb 5\\\\pb.ini\"\r\n"
    "\"Odd \\\"name\\\" \\\\ here\"=\"\"\r\n"
    "\r\n";

TEST(RegFile, RoundTripsEscapesAndTheDefaultValue) {
    std::string error;
    auto doc = reg::Parse(kSettings, &error);
    ASSERT_TRUE(doc) << error;
    const reg::Key* key =
        doc->FindPath({"hkey_current_user", "SOFTWARE", "vellanor", "sorvanti 2"});
    ASSERT_TRUE(key);
    EXPECT_EQ(key->name, "Sorvanti 2");
    ASSERT_EQ(key->entries.size(), 3u);
    EXPECT_EQ(key->FindValue("")->data, "default \"quoted\"");
    EXPECT_EQ(key->FindValue("pbinifile")->data, "c:\\pb 5\\pb.ini");
    EXPECT_EQ(key->FindValue("odd \"NAME\" \\ here")->data, "");
    EXPECT_EQ(reg::Serialize(*doc), kSettings);
}

TEST(RegFile, ToleratesWhatHandsAndOtherToolsWrite) {
    // REGEDIT4, LF line ends, comments, a key named twice, deletions, and values of
    // other types which are kept as they were written.
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
        "\"Path\"=\"c:\\pb\"\n";
    std::string error;
    auto doc = reg::Parse(text, &error);
    ASSERT_TRUE(doc) << error;
    EXPECT_TRUE(doc->FindPath({"HKEY_CURRENT_USER", "Software"}));
    EXPECT_FALSE(doc->FindPath({"HKEY_CURRENT_USER", "Software", "Old"}));
    const reg::Key* b = doc->FindPath({"HKEY_LOCAL_MACHINE", "b"});
    ASSERT_TRUE(b);
    EXPECT_EQ(b->FindValue("count")->kind, reg::Entry::Kind::Raw);
    EXPECT_FALSE(b->FindValue("gone"));
    EXPECT_EQ(b->FindValue("path")->data, "c:\\pb");  // a lone backslash stands for itself
    EXPECT_EQ(reg::Serialize(*doc),
              "Windows Registry Editor Version 5.00\r\n"
              "; settings\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE]\r\n"
              "\r\n"
              "[HKEY_LOCAL_MACHINE\\b]\r\n"
              "\"Count\"=dword:1f\r\n"
              "; about Blob\r\n"
              "\"Blob\"=hex(2):41,00,42,00,\\\r\n"
              "  00,00\r\n"
              "\"Path\"=\"c:\\\\pb\"\r\n"
              "\r\n");
    EXPECT_TRUE(reg::Parse("")->root.subkeys.empty());
    EXPECT_TRUE(reg::Parse(" \r\n\n")->root.subkeys.empty());
}

TEST(RegFile, RejectsWhatItCannotUnderstand) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n";
    for (const std::string& bad : {
             std::string("[HKEY_CURRENT_USER\\x]\r\n"),  // no header line
             std::string("\xFF\xFEW\0i\0", 6),           // UTF-16
             head + "[HKEY_CURRENT_USER\\x\r\n",
             head + "[Software\\x]\r\n",
             head + "\"a\"=\"b\"\r\n",  // before any key
             head + "[HKEY_CURRENT_USER]\r\n\"a=\"b\"\r\n",
             head + "[HKEY_CURRENT_USER]\r\n\"a\"=\"b\r\n",
             head + "[HKEY_CURRENT_USER]\r\n\"a\"=\"b\" junk\r\n",
             head + "[HKEY_CURRENT_USER]\r\n\"a\" \"b\"\r\n",
             head + "[HKEY_CURRENT_USER]\r\n\"a\"=dword:123456789\r\n",
             head + "[HKEY_CURRENT_USER]\r\n\"a\"=hex:zz\r\n",
             head + "[HKEY_CURRENT_USER]\r\n\"a\"=42\r\n",
             head + "[HKEY_CURRENT_USER]\r\njunk\r\n",
         }) {
        std::string error;
        EXPECT_FALSE(reg::Parse(bad, &error)) << bad;
        EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
    }
}

// ---- The registry API ---------------------------------------------------------------

class RegistryFile : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    std::string File() const { return RegistryHostPath(); }
};

TEST_F(RegistryFile, KeysAndValuesAsTheSettingsUseThem) {
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("Software\\Vellanor\\Sorvanti 2", false));
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_FALSE(std::filesystem::exists(File()));  // nothing written for a failed open

    ASSERT_TRUE(reg.OpenKey("\\Software\\Vellanor\\Sorvanti 2", true));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Vellanor\\Sorvanti 2");
    EXPECT_TRUE(reg.WriteString("", "default \"quoted\""));
    EXPECT_TRUE(reg.WriteString("PBIniFile", "c:\\pb 5\\pb.ini"));
    EXPECT_TRUE(reg.WriteString("Odd \"name\" \\ here", ""));
    EXPECT_EQ(ReadFile(File()), kSettings);  // on disk at once, in regedit's form

    TRegistry again;
    ASSERT_TRUE(again.OpenKey("SOFTWARE\\VELLANOR\\SORVANTI 2", false));
    EXPECT_EQ(again.ReadString("pbinifile"), "c:\\pb 5\\pb.ini");
    EXPECT_EQ(again.ReadStringValue(""), "default \"quoted\"");
    EXPECT_EQ(again.ReadStringValue("missing"), std::nullopt);
    EXPECT_TRUE(again.ValueExists("PBINIFILE"));
    EXPECT_EQ(again.GetValueNames(),
              (std::vector<std::string>{"", "PBIniFile", "Odd \"name\" \\ here"}));
    ASSERT_TRUE(again.WriteString("pbinifile", "c:\\other"));  // keeps the name's case
    EXPECT_EQ(again.GetValueNames()[1], "PBIniFile");
    EXPECT_TRUE(again.DeleteValue("PBIniFile"));
    EXPECT_FALSE(again.DeleteValue("PBIniFile"));
    EXPECT_FALSE(again.ValueExists("PBIniFile"));

    // Values that would break the file's lines are refused.
    EXPECT_FALSE(again.WriteString("x", "two\r\nlines"));
    EXPECT_NE(LastErrorText(), "");

    // HKEY_LOCAL_MACHINE is its own tree.
    TRegistry machine(TRootKey::LocalMachine);
    EXPECT_FALSE(machine.KeyExists("Software\\Vellanor"));
    ASSERT_TRUE(machine.OpenKey(
        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\PB050.exe", true));
    ASSERT_TRUE(machine.WriteString("", "c:\\pb5\\pb050.exe"));
    ASSERT_TRUE(
        machine.OpenKey("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\", false));
    EXPECT_EQ(machine.GetKeyNames(), std::vector<std::string>{"PB050.exe"});
    machine.CloseKey();
    EXPECT_FALSE(machine.WriteString("x", "y"));
    EXPECT_EQ(machine.ReadStringValue(""), std::nullopt);
}

TEST_F(RegistryFile, DeletesKeysWithTheirSubkeys) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\Quentis\\deep", true));
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\b", true));
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\A", true));
    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor", false));
    EXPECT_EQ(reg.GetKeyNames(), (std::vector<std::string>{"A", "b", "Quentis"}));

    ASSERT_TRUE(reg.OpenKey("Software\\Vellanor\\Quentis\\deep", false));
    EXPECT_TRUE(reg.DeleteKey("software\\vellanor\\QUENTIS"));
    EXPECT_FALSE(reg.KeyExists("Software\\Vellanor\\Quentis\\deep"));
    EXPECT_FALSE(reg.DeleteKey("Software\\Vellanor\\Quentis"));
    EXPECT_FALSE(reg.DeleteKey(""));
    // A handle on a deleted key writes nothing, as on Windows.
    EXPECT_FALSE(reg.WriteString("x", "y"));
    EXPECT_FALSE(reg.KeyExists("Software\\Vellanor\\Quentis"));
}

TEST_F(RegistryFile, IniStyleSections) {
    TRegIniFile ini("Software\\Vellanor");
    EXPECT_EQ(ini.ReadString("Sorvanti 2", "OrcaDLL", "c:\\"), "c:\\");
    EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "PBVersion", 1), 1);
    EXPECT_FALSE(ini.SectionExists("Sorvanti 2"));
    EXPECT_FALSE(std::filesystem::exists(File()));  // reads create nothing

    ASSERT_TRUE(ini.WriteInteger("Sorvanti 2", "RefreshInterval", 45));
    ASSERT_TRUE(ini.WriteBool("Sorvanti 2", "AutoRefresh", false));
    ASSERT_TRUE(ini.WriteString("Sorvanti 2", "Odd", "12abc"));
    ASSERT_TRUE(ini.WriteString("Sorvanti 2", "Negative", " -7"));
    ASSERT_TRUE(ini.WriteString("Quentis", "link", "x"));
    EXPECT_EQ(ini.ReadInteger("sorvanti 2", "refreshinterval", 30), 45);
    EXPECT_FALSE(ini.ReadBool("Sorvanti 2", "AutoRefresh", true));
    EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "Odd", 30), 30);
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "Odd", true));
    EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "Negative", 0), -7);
    EXPECT_TRUE(ini.ReadBool("Sorvanti 2", "Negative", false));

    EXPECT_TRUE(ini.EraseSection("Quentis"));
    EXPECT_TRUE(ini.EraseSection("Quentis"));
    EXPECT_FALSE(ini.SectionExists("quentis"));
    EXPECT_TRUE(ini.SectionExists("SORVANTI 2"));
    EXPECT_FALSE(ini.EraseSection(""));
}

TEST_F(RegistryFile, HandEditedTypesSurviveARewrite) {
    WriteFile(File(),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2]\r\n"
              "\"PBVersion\"=dword:00000002\r\n"
              "\"Blob\"=hex:01,02\r\n");
    TRegIniFile ini("Software\\Vellanor");
    EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "PBVersion", 1), 1);  // not a string: default
    ASSERT_TRUE(ini.WriteString("Sorvanti 2", "TempLibrary", "c:\\t.pbl"));
    EXPECT_EQ(ReadFile(File()),
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_CURRENT_USER]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Vellanor]\r\n\r\n"
              "[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2]\r\n"
              "\"PBVersion\"=dword:00000002\r\n"
              "\"Blob\"=hex:01,02\r\n"
              "\"TempLibrary\"=\"c:\\\\t.pbl\"\r\n\r\n");
    // Writing a string over it replaces the value where it stands.
    ASSERT_TRUE(ini.WriteInteger("Sorvanti 2", "PBVersion", 0));
    EXPECT_EQ(ini.ReadInteger("Sorvanti 2", "PBVersion", 1), 0);
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
    EXPECT_EQ(ini.ReadString("s", "v", ""), "1");
    for (const auto& entry : std::filesystem::directory_iterator(prefix.PrefixPath())) {
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    }

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
