// The shell layer: program-wide services (debug log, status texts, busy cursor, message
// boxes, files, the string and file-name helpers), the stored settings, the PowerBuilder
// version table, locating pb.ini and setting up the program's App Paths entry.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <regex>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"

namespace shell {
namespace {

using platform::TRootKey;
using testing::ElementsAre;
using testing::EndsWith;
using testing::HasSubstr;
using testing::MatchesRegex;
using Pieces = std::vector<std::string>;

TEST(Strings, SplitJoinLookUpAndCut) {
    // A library search path easily has a last piece of more than a thousand characters.
    std::string longPiece(5000, 'x');
    longPiece[999] = 'A';
    const std::tuple<std::string, std::string, Pieces> splits[] = {
        {"a;b;", ";", {"a", "b"}},     {"", ";", {}},
        {"a;;b", ";", {"a", "", "b"}}, {";", ";", {""}},
        {"a<>b<>", "<>", {"a", "b"}},  {"first;" + longPiece, ";", {"first", longPiece}},
    };
    for (const auto& [text, separator, pieces] : splits) {
        Pieces split{"kept"}, expected{"kept"};
        SplitString(text, split, separator);
        expected.insert(expected.end(), pieces.begin(), pieces.end());
        EXPECT_EQ(split, expected) << text.substr(0, 20);
        EXPECT_EQ(JoinStrings(pieces, separator) + (text.ends_with(separator) ? separator : ""),
                  text);
    }
    EXPECT_EQ(JoinStrings(Pieces{"c:\\a.pbl", "c:\\b.pbl"}), "c:\\a.pbl;c:\\b.pbl");

    const std::string_view table[] = {"window", "menu", "menu"};
    EXPECT_EQ(std::pair(IndexOfString("menu", table), IndexOfString("Menu", table)),
              std::pair(1, -1));  // case counts
    for (auto [name, pattern, part] : {std::tuple{"CheckBoxMenuOption", "CheckBox*Option", "Menu"},
                                       {"RadioAllOptions", "CheckBox*Option", ""},
                                       {"CheckBoxAll", "CheckBox*Option", ""},
                                       {"xCheckBoxAll", "CheckBox*", "All"},
                                       {"CheckBoxAllOption", "CheckBox", ""}})
        EXPECT_EQ(ExtractWildcardPart(name, pattern), part) << name << " " << pattern;
    for (auto [path, dir] :
         {std::pair{"c:\\apps\\x.pbl", "c:\\apps"}, {"c:\\pb050.exe", "c:"}, {"x.pbl", ""}})
        EXPECT_EQ(ExtractDir(path), dir) << path;
}

const std::string kSettingsKey = "Software\\Vellanor\\Sorvanti 2";
const std::string kPB050Key =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\PB050.exe";

// A prefix with the program installed in c:\Sorvanti; the settings load on first use.
class ShellTest : public testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(prefix.DriveC() + "/Sorvanti");
        InitUtilities({}, "c:\\Sorvanti");
    }
    void TearDown() override {
        ResetOptionsForm();
        ResetUtilities();
    }

    std::string LogHostPath() const { return prefix.DriveC() + "/Sorvanti/log.txt"; }
    // The debug log's text after exit, with each line's "dd/mm/yyyy hh:nn:ss: " stamp
    // shown as "#".
    std::string LogText() const {
        DoneUtilities();
        const std::regex stamp("[0-9]{2}/[0-9]{2}/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}: ");
        return std::regex_replace(testsupport::ReadFile(LogHostPath()), stamp, "#");
    }
    // A value of the settings, or of another key, which is one of HKEY_LOCAL_MACHINE.
    static void Store(std::string_view name, std::string_view value,
                      const std::string& key = kSettingsKey) {
        platform::TRegistry reg(key == kSettingsKey ? TRootKey::CurrentUser
                                                    : TRootKey::LocalMachine);
        ASSERT_TRUE(reg.OpenKey(key, true));
        ASSERT_TRUE(reg.WriteString(name, value));
    }
    // A stored value; "-" when its key is missing.
    static std::string Stored(std::string_view name, const std::string& key = kSettingsKey) {
        platform::TRegistry reg(key == kSettingsKey ? TRootKey::CurrentUser
                                                    : TRootKey::LocalMachine);
        return reg.OpenKey(key, false) ? reg.ReadString(name) : "-";
    }

    testsupport::TempPrefix prefix;
};
using UtilitiesTest = ShellTest;
using OptionsTest = ShellTest;

// The program directory is the executable's, or the one given, without a trailing
// backslash.
TEST_F(UtilitiesTest, ProgramDirAndADebugLogOnlyWithTheExactFirstArgumentEmptiedAndStamped) {
    InitUtilities({});
    EXPECT_EQ(std::filesystem::path(platform::HostPath(ProgramDir())),
              std::filesystem::path(platform::ProgramFileHostPath()).parent_path());
    for (auto args : {std::vector<std::string>{"/DEBUG"}, {"/debug "}, {"x", "/debug"}, {}}) {
        InitUtilities(args, "c:\\Sorvanti");
        ShowStatus("Ready.");
        EXPECT_FALSE(WriteDebug("") || std::filesystem::exists(LogHostPath())) << args.size();
    }
    testsupport::WriteFile(LogHostPath(), "old run\r\n");
    InitUtilities({"/debug"}, "c:\\Sorvanti\\");
    EXPECT_EQ(ProgramDir(), "c:\\Sorvanti");
    EXPECT_TRUE(WriteDebug(""));
    EXPECT_TRUE(WriteDebug("direct"));
    EXPECT_EQ(LogText(), "#direct\r\n");
    EXPECT_FALSE(WriteDebug("after exit"));

    // A log that cannot be created is reported once, on the first status line; the
    // program runs on without it.
    InitUtilities({"/debug"}, "c:\\NoSuchDirectory");  // before any screen exists
    EXPECT_FALSE(WriteDebug(""));
    testsupport::RecordingShellUI noStatusLine(false, true);
    EXPECT_TRUE(noStatusLine.events.empty());
    testsupport::RecordingShellUI frame;
    EXPECT_THAT(frame.statusTexts, ElementsAre(HasSubstr("c:\\NoSuchDirectory\\log.txt")));
    testsupport::RecordingShellUI another;
    EXPECT_TRUE(another.statusTexts.empty());
}

// What the registry file holds that cannot be read is logged at start-up, one line each.
TEST_F(UtilitiesTest, StartUpLogsTheLinesTheRegistryFileSkips) {
    testsupport::WriteFile(platform::RegistryHostPath(),
                           "Windows Registry Editor Version 5.00\r\n"
                           "[HKEY_CURRENT_USER\\Software\\Vellanor\\Sorvanti 2]\r\n"
                           "PBVersion=2\r\n\"PBIniFile\"=\"c:\\\\pb.ini\"\r\n\"x\"\r\n");
    InitUtilities({"/debug"}, "c:\\Sorvanti");
    EXPECT_EQ(RegIniFile().ReadString("Sorvanti 2", "PBIniFile", ""), "c:\\pb.ini");
    EXPECT_EQ(LogText(), "#Registry file " + platform::RegistryHostPath() +
                             ": skipped line 3 (neither a key, a value nor a comment): "
                             "PBVersion=2\r\n#Registry file " +
                             platform::RegistryHostPath() +
                             ": skipped line 5 (a value name not followed by \"=\"): \"x\"\r\n");
}

// A copy shows (and logs) what it copies; the copy itself (the date kept, a failure
// leaving the destination) and finding files by name are the platform's.
TEST_F(UtilitiesTest, StatusLogCursorsAndBoxesReachOnlyWhatExistsAndAlwaysTheDebugLog) {
    InitUtilities({"/debug"}, "c:\\Sorvanti");
    testsupport::WriteFile(prefix.DriveC() + "/src/a.pbl", "library bytes");
    const std::string copying = "Copying c:\\src\\a.pbl to c:\\Sorvanti\\a.pbl.";
    {
        testsupport::RecordingShellUI ui(true, true);
        ShowStatus("plain");
        ShowStatus("logged", true);
        ASSERT_TRUE(CopyFileWithStatus("c:\\src\\a.pbl", "c:\\Sorvanti\\a.pbl", true));
        EXPECT_THAT(ui.events, ElementsAre("status plain", "status logged",
                                           MatchesRegex("log [0-9/]{10} [0-9:]{8}: logged"),
                                           "status " + copying, EndsWith(": " + copying)));
    }
    {
        testsupport::RecordingShellUI ui(false, false);
        ShowStatus("nowhere", true);
        LogMessage("nowhere either");
        EXPECT_TRUE(ui.events.empty());
    }
    // No screen at all: nothing shown, nothing answered, but the debug log still fills.
    ShowStatus("no screen", true);
    PushCursor(crWaitCursor);
    PopCursor();
    EXPECT_EQ(AskUser("Sure?", TMsgDlgType::mtConfirmation, mbYes | mbNo), mrNone);
    EXPECT_EQ(LogText(),
              "#plain\r\n#logged\r\n#" + copying +
                  "\r\n#nowhere\r\n#nowhere either\r\n#no screen\r\n#Ready.\r\n#Ready.\r\n");

    EXPECT_TRUE(FileFound("c:\\src\\a.pbl") && FileFound("c:\\src") && !FileFound(""));
    // Names without short forms are kept, also of files that do not exist.
    for (auto name : {"c:\\src\\a.pbl", "c:\\missing\\file.txt"})
        EXPECT_EQ(ShortPathName(name), name);

    // Every change of cursor, box and status in order: a box shows the normal pointer, the
    // cursor goes back after it, the last pop says "Ready.", and an unmatched pop shows the
    // normal pointer instead of failing.
    testsupport::RecordingShellUI ui;
    ui.cursor = 5;
    PushCursor(crWaitCursor);
    PushCursor(crHourGlass);
    ui.answers = {mrNo};
    EXPECT_EQ(AskUser("Delete it?", TMsgDlgType::mtConfirmation, mbYes | mbNo, 7), mrNo);
    ShowNotice("Done.");
    EXPECT_EQ(std::pair(ui.boxes.at(0).helpContext, ui.boxes.at(1).buttons), std::pair(7L, mbOK));
    for (int pop = 0; pop < 3; ++pop)
        PopCursor();
    EXPECT_EQ(ui.events, Pieces({"cursor 1000", "cursor -11", "cursor 0", "box Delete it?",
                                 "cursor -11", "cursor 0", "box Done.", "cursor -11", "cursor 1000",
                                 "cursor 5", "status Ready.", "cursor 0", "status Ready."}));
}

// ---- Stored settings -----------------------------------------------------------------

// Radio pairs: the second stored value wins (AllLibRefresh stored true loses to the
// default "true" of QuentisRefresh), both false stays false; numbers that do not parse,
// and a version outside the table, take their defaults.
TEST_F(OptionsTest, TheFirstRunHasTheDefaultsThenStoredValuesLoadEvenContradictoryOnes) {
    TOptionsForm& first = OptionsForm();
    EXPECT_EQ(first.PBVersion.Text(), "PB5 32-bit");
    EXPECT_EQ(first.RefreshInterval + "/" + first.PostDetectionRefreshTimeEdit, "30/60");
    EXPECT_FALSE(first.SingleDirectory.Checked() || first.UserRefreshRadioButton.Checked() ||
                 first.AllLibRefresh.Checked() || first.AutoRefreshTimer.Enabled());
    EXPECT_TRUE(first.MirrorSourceDirectory.Checked() && first.AutoRefreshRadioButton.Checked() &&
                first.QuentisRefresh.Checked() && first.DetectTimer.Enabled());
    EXPECT_EQ(std::pair(first.DetectTimer.Interval(), first.AutoRefreshTimer.Interval()),
              std::pair(30000u, 60000u));

    for (std::string_view entry :
         {"AutoRefresh=1", "UserRefresh=1", "SingleDirectory=0", "MirrorSourceDirectory=0",
          "AllLibRefresh=1", "RefreshInterval=abc", "PostDetectionRefreshTime= 45 "})
        Store(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
    TOptionsForm& form = CreateOptionsForm();
    EXPECT_FALSE(form.AutoRefreshRadioButton.Checked() || form.SingleDirectory.Checked() ||
                 form.MirrorSourceDirectory.Checked() || form.AllLibRefresh.Checked());
    EXPECT_TRUE(form.UserRefreshRadioButton.Checked() && form.QuentisRefresh.Checked());
    EXPECT_EQ(form.RefreshInterval, "abc");  // the edit shows what is stored
    EXPECT_EQ(std::pair(form.DetectTimer.Interval(), form.AutoRefreshTimer.Interval()),
              std::pair(30000u, 45000u));
    form.AllLibRefresh.SetChecked(true);
    form.AllLibRefresh.SetChecked(false);
    EXPECT_FALSE(form.QuentisRefresh.Checked());  // checking unchecks it, unchecking does not
    ASSERT_TRUE(form.SaveSettings());
    EXPECT_EQ(Stored("SingleDirectory") + Stored("MirrorSourceDirectory"), "00");

    // Numbers that do not parse are the registry's; here the versions outside the table.
    for (auto [version, index] : {std::pair{"4", 1}, {"-1", 1}, {"3", 3}}) {
        Store("PBVersion", version);
        EXPECT_EQ(CreateOptionsForm().PBVersion.ItemIndex, index) << version;
    }
    const std::pair<const char*, unsigned> intervals[] = {
        {"0", 0u},           {"-5", 60000u},
        {"2.5", 60000u},     {"2147483", 2147483000u},
        {"2147484", 60000u}, {"99999999999999999999999", 60000u}};
    for (auto [text, ms] : intervals)
        EXPECT_EQ(IntervalMilliseconds(text, 60), ms) << text;
}

// Every setting is a string under its own name: what is stored loads into the form,
// and saving writes it back under the same name.
TEST_F(OptionsTest, SettingsLoadAndSaveUnderTheirNamesAndAssignLeavesTheTimers) {
    const auto settings = std::to_array<std::string_view>(
        {"PBIniFile=c:\\pb5\\pb.ini", "PBVersion=2", "RefreshInterval=15",
         "PostDetectionRefreshTime=90", "CheckOutLibrary=c:\\co\\out.pbl",
         "ReplicationPath=d:\\repl", "SingleDirectory=1", "MirrorSourceDirectory=0",
         "AutoRefresh=0", "UserRefresh=1", "AllLibRefresh=1", "QuentisRefresh=0",
         "OrcaDLL=c:\\pb6\\pborc60.dll", "TempLibrary=c:\\lib\\temp.pbl"});
    for (std::string_view entry : settings)
        Store(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
    TOptionsForm& form = CreateOptionsForm();
    EXPECT_EQ(form.PBVersion.Text() + " " + form.OrcaDll, "PB6 32-bit c:\\pb6\\pborc60.dll");
    EXPECT_EQ(std::pair(form.DetectTimer.Interval(), form.AutoRefreshTimer.Interval()),
              std::pair(15000u, 90000u));
    ASSERT_TRUE(platform::TRegistry().DeleteKey(kSettingsKey));
    int changes = 0;
    form.DetectTimer.OnChange = [&] { ++changes; };
    ASSERT_TRUE(form.SaveSettings());
    EXPECT_GE(changes, 1);  // the timers are set again
    for (std::string_view entry : settings)
        EXPECT_EQ(Stored(entry.substr(0, entry.find('='))), entry.substr(entry.find('=') + 1));

    // The dialog's settings are copied into the form in use; its timers are not, nor is
    // anything stored.
    TOptionsForm dialog;
    dialog.PBVersion.ItemIndex = 0;
    dialog.RefreshInterval = "5";
    dialog.AutoRefreshRadioButton.SetChecked(true);
    form.AssignSettings(dialog);
    EXPECT_EQ(form.PBVersion.Text() + form.RefreshInterval, "PB4 32-bit5");
    EXPECT_FALSE(form.UserRefreshRadioButton.Checked());
    EXPECT_EQ(form.DetectTimer.Interval(), 15000u);  // loaded from the settings, not "5"
    EXPECT_EQ(Stored("RefreshInterval"), "15");
}

// ---- Setting up the App Paths entry, and locating pb.ini --------------------------------

const std::string kBadInstall5 =
    "PowerBuilder 5 was not installed properly.  Please reinstall Powerbuilder to correct the "
    "problem.  The PB5 Upgrade disk only updates files that are installed, thus...Make sure you "
    "reinstall from the original PB5 CD, then install the upgrade CD.";
const std::string kSetupComplete5 =
    "Setup for PowerBuilder Version 5 complete.  Please restart program.";

const std::string kNotFound5 = "Could not find pb.ini for PowerBuilder 5.  Please see options.";

// Set-up registers the program with PowerBuilder's path. Then pb.ini: the setting, then
// WIN.INI's entry of the selected version, then the folder of its PowerBuilder program;
// a path found is kept until Clear, and each search that finds nothing says so again.
TEST_F(OptionsTest, SetupRegistersTheProgramWithPowerBuildersPathAndPBIniIsFoundInOrder) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    EXPECT_FALSE(location.SetupPBAppPath());  // no PowerBuilder: a bad install
    EXPECT_EQ(Stored("Path", ProgramAppPathsKey()), "-");
    location.Clear();

    Store("Path", "c:\\pb5;c:\\pb5\\shared", kPB050Key);
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_EQ(Stored("Path", ProgramAppPathsKey()), "c:\\pb5;c:\\pb5\\shared");
    EXPECT_EQ(Stored("", ProgramAppPathsKey()),
              platform::WindowsPath(platform::ProgramFileHostPath()));
    // PowerBuilder's path changed since: set up again.
    Store("Path", "d:\\pb5", kPB050Key);
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_EQ(Stored("Path", ProgramAppPathsKey()), "d:\\pb5");

    // Already set up: a bad install, said once per run.
    location.Clear();
    EXPECT_FALSE(location.SetupPBAppPath() || location.SetupPBAppPath());
    location.Clear();  // a new run
    EXPECT_FALSE(location.SetupPBAppPath());

    // pb.ini, where set-up has left PowerBuilder's App Paths entry without a program.
    EXPECT_EQ(location.GetPBIniFile() + location.GetPBIniFile(), "");  // nothing known
    for (const char* name : {"set/pb.ini", "winini/pb.ini", "apppaths/pb.ini", "winini/sub/x"})
        testsupport::WriteFile(prefix.DriveC() + "/" + name, "");
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\winini"));
    Store("", "c:\\apppaths\\pb050.exe", kPB050Key);
    OptionsForm().PBIniFileName = "c:\\set\\pb.ini";
    EXPECT_EQ(location.GetPBIniFile(), "c:\\set\\pb.ini");
    ASSERT_TRUE(platform::DeleteFile("c:\\set\\pb.ini"));
    EXPECT_EQ(location.GetPBIniFile(), "c:\\set\\pb.ini");
    EXPECT_EQ(location.LocatePBIni(), "c:\\winini\\pb.ini");
    // A WIN.INI entry naming a directory without pb.ini falls through to App Paths.
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\winini\\sub"));
    EXPECT_EQ(location.LocatePBIni(), "c:\\apppaths\\pb.ini");
    // Nor is there one beside PowerBuilder's program.
    Store("", "c:\\winini\\sub\\pb050.exe", kPB050Key);
    location.Clear();
    EXPECT_EQ(location.GetPBIniFile(), "");
    EXPECT_THAT(ui.BoxTexts(),
                ElementsAre(kBadInstall5, kSetupComplete5, kSetupComplete5, kBadInstall5,
                            kBadInstall5, kNotFound5, kNotFound5, kNotFound5));

    // The selected version's entries and number count.
    OptionsForm().PBVersion.ItemIndex = 2;
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\winini"));
    EXPECT_EQ(location.LocatePBIni(), "");
    EXPECT_EQ(ui.BoxTexts().back(),
              "Could not find pb.ini for PowerBuilder 6.  Please see options.");
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath60", "c:\\winini"));
    EXPECT_EQ(location.LocatePBIni(), "c:\\winini\\pb.ini");
}

}  // namespace
}  // namespace shell
