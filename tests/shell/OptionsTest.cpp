// Stored settings, the PowerBuilder version table, locating pb.ini and setting up the
// program's App Paths entry.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

const std::string kSettingsKey = "Software\\Vellanor\\Sorvanti 2";
const std::string kPB050Key =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\PB050.exe";

class OptionsTest : public testing::Test {
  protected:
    void SetUp() override {
        ResetUtilities();
        ResetOptionsForm();
        InitUtilities({}, "c:\\Sorvanti");
    }
    void TearDown() override {
        ResetOptionsForm();
        ResetUtilities();
    }

    static void Store(std::string_view name, std::string_view value,
                      const std::string& key = kSettingsKey,
                      TRootKey root = TRootKey::CurrentUser) {
        platform::TRegistry reg(root);
        ASSERT_TRUE(reg.OpenKey(key, true));
        ASSERT_TRUE(reg.WriteString(name, value));
    }
    // A stored value; "-" when its key is missing.
    static std::string Stored(std::string_view name, const std::string& key = kSettingsKey,
                              TRootKey root = TRootKey::CurrentUser) {
        platform::TRegistry reg(root);
        return reg.OpenKey(key, false) ? reg.ReadString(name) : "-";
    }
    static void SetWinIni(std::string_view name, std::string_view dir) {
        ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", name, dir));
    }
    void CreateFiles(std::initializer_list<const char*> names) const {
        for (const char* name : names)
            testsupport::WriteFile(prefix.DriveC() + "/" + name, "");
    }

    testsupport::TempPrefix prefix;
};

TEST_F(OptionsTest, FirstRunLoadsTheDefaultsAndWritesNothing) {
    TOptionsForm& form = OptionsForm();
    EXPECT_THAT(form.PBVersion.Items, ElementsAre("PB4 32-bit", "PB5 32-bit", "PB6 32-bit"));
    EXPECT_EQ(form.PBVersion.Text(), "PB5 32-bit");
    EXPECT_EQ(form.SelectedPBVersion().OrcaDll, "Pborc050.dll");
    EXPECT_EQ(form.RefreshInterval + "/" + form.PostDetectionRefreshTimeEdit, "30/60");
    EXPECT_FALSE(form.SingleDirectory.Checked() || form.UserRefreshRadioButton.Checked() ||
                 form.AllLibRefresh.Checked() || form.AutoRefreshTimer.Enabled());
    EXPECT_TRUE(form.MirrorSourceDirectory.Checked() && form.AutoRefreshRadioButton.Checked() &&
                form.QuentisRefresh.Checked() && form.DetectTimer.Enabled());
    EXPECT_EQ(std::pair(form.DetectTimer.Interval(), form.AutoRefreshTimer.Interval()),
              std::pair(30000u, 60000u));
}

// Radio pairs: the second stored value wins, both false stays false; numbers that do not
// parse, and a version outside the table, take their defaults.
TEST_F(OptionsTest, StoredValuesThatContradictOrDoNotParse) {
    for (std::string_view entry :
         {"AutoRefresh=1", "UserRefresh=1", "SingleDirectory=0", "MirrorSourceDirectory=0",
          "AllLibRefresh=1", "RefreshInterval=abc", "PostDetectionRefreshTime= 45 "})
        Store(entry.substr(0, entry.find('=')), entry.substr(entry.find('=') + 1));
    TOptionsForm& form = CreateOptionsForm();
    EXPECT_FALSE(form.AutoRefreshRadioButton.Checked() || form.SingleDirectory.Checked() ||
                 form.MirrorSourceDirectory.Checked());
    EXPECT_TRUE(form.UserRefreshRadioButton.Checked());
    EXPECT_FALSE(form.AllLibRefresh.Checked());  // the default "true" of QuentisRefresh wins
    EXPECT_TRUE(form.QuentisRefresh.Checked());
    EXPECT_EQ(form.RefreshInterval, "abc");  // the edit shows what is stored
    EXPECT_EQ(form.DetectTimer.Interval(), 30000u);
    EXPECT_EQ(form.AutoRefreshTimer.Interval(), 45000u);
    form.AllLibRefresh.SetChecked(true);
    EXPECT_FALSE(form.QuentisRefresh.Checked());
    form.AllLibRefresh.SetChecked(false);
    EXPECT_FALSE(form.QuentisRefresh.Checked());  // unchecking leaves the partner alone
    ASSERT_TRUE(form.SaveSettings());
    EXPECT_EQ(Stored("SingleDirectory") + Stored("MirrorSourceDirectory"), "00");

    // Numbers that do not parse are the registry's; here the versions outside the table.
    for (auto version : {"3", "-1"}) {
        Store("PBVersion", version);
        EXPECT_EQ(CreateOptionsForm().PBVersion.ItemIndex, 1) << version;
    }
    Store("PBVersion", "2");
    EXPECT_EQ(CreateOptionsForm().SelectedPBVersion().Number, 6);
    const std::pair<const char*, unsigned> intervals[] = {
        {"0", 0u},           {"-5", 60000u},
        {"2.5", 60000u},     {"2147483", 2147483000u},
        {"2147484", 60000u}, {"99999999999999999999999", 60000u}};
    for (auto [text, ms] : intervals)
        EXPECT_EQ(IntervalMilliseconds(text, 60), ms) << text;
}

TEST_F(OptionsTest, SaveWritesStringsThatLoadBackAndAssignLeavesTheTimers) {
    TOptionsForm& form = OptionsForm();
    form.PBIniFileName = "c:\\pb5\\pb.ini";
    form.PBVersion.ItemIndex = 2;
    form.RefreshInterval = "15";
    form.PostDetectionRefreshTimeEdit = "90";
    form.SingleDirectory.SetChecked(true);
    form.UserRefreshRadioButton.SetChecked(true);
    form.AllLibRefresh.SetChecked(true);
    form.OrcaDll = "c:\\pb6\\pborc60.dll";
    form.TempLibrary = "c:\\lib\\temp.pbl";
    int changes = 0;
    form.DetectTimer.OnChange = [&] { ++changes; };
    ASSERT_TRUE(form.SaveSettings());
    EXPECT_EQ(form.AutoRefreshTimer.Interval(), 90000u);
    EXPECT_GE(changes, 1);
    std::string stored;
    for (const char* name :
         {"PBIniFile", "PBVersion", "RefreshInterval", "PostDetectionRefreshTime",
          "SingleDirectory", "MirrorSourceDirectory", "AutoRefresh", "UserRefresh", "AllLibRefresh",
          "QuentisRefresh", "OrcaDLL", "TempLibrary"})
        stored += Stored(name) + " ";
    EXPECT_EQ(stored,
              "c:\\pb5\\pb.ini 2 15 90 1 0 0 1 1 0 c:\\pb6\\pborc60.dll c:\\lib\\temp.pbl ");

    // Loaded back under the same names (the choices' loading is the test above).
    TOptionsForm loaded;
    EXPECT_EQ(loaded.PBIniFileName + loaded.OrcaDll + loaded.TempLibrary,
              form.PBIniFileName + form.OrcaDll + form.TempLibrary);
    EXPECT_EQ(loaded.DetectTimer.Interval(), 15000u);

    // The dialog's settings are copied into the form in use; its timers are not.
    loaded.PBVersion.ItemIndex = 0;
    loaded.RefreshInterval = "5";
    loaded.AutoRefreshRadioButton.SetChecked(true);
    TOptionsForm& inUse = CreateOptionsForm();
    inUse.AssignSettings(loaded);
    EXPECT_EQ(inUse.PBVersion.Text() + inUse.RefreshInterval, "PB4 32-bit5");
    EXPECT_FALSE(inUse.UserRefreshRadioButton.Checked());
    EXPECT_EQ(inUse.DetectTimer.Interval(), 15000u);  // loaded from the settings, not "5"
    EXPECT_EQ(Stored("RefreshInterval"), "15");
}

// ---- Locating pb.ini ----------------------------------------------------------------

const std::string kNotFound5 = "Could not find pb.ini for PowerBuilder 5.  Please see options.";

TEST_F(OptionsTest, LocatePBIniPrefersTheSettingThenWinIniThenAppPaths) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    EXPECT_EQ(location.LocatePBIni(), "");  // nothing known
    CreateFiles({"set/pb.ini", "winini/pb.ini", "apppaths/pb.ini", "winini/sub/readme.txt"});
    SetWinIni("InitPath050", "c:\\winini");
    Store("", "c:\\apppaths\\pb050.exe", kPB050Key, TRootKey::LocalMachine);
    OptionsForm().PBIniFileName = "c:\\set\\pb.ini";
    EXPECT_EQ(location.LocatePBIni(), "c:\\set\\pb.ini");
    OptionsForm().PBIniFileName = "c:\\gone\\pb.ini";
    EXPECT_EQ(location.LocatePBIni(), "c:\\winini\\pb.ini");
    // A WIN.INI entry naming a directory without pb.ini falls through to App Paths.
    SetWinIni("InitPath050", "c:\\winini\\sub");
    EXPECT_EQ(location.LocatePBIni(), "c:\\apppaths\\pb.ini");
    // Nor is there one beside PowerBuilder's program.
    Store("", "c:\\winini\\sub\\pb050.exe", kPB050Key, TRootKey::LocalMachine);
    EXPECT_EQ(location.LocatePBIni(), "");
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kNotFound5, kNotFound5));

    // The selected version's entries and number count.
    OptionsForm().PBVersion.ItemIndex = 2;
    SetWinIni("InitPath050", "c:\\winini");
    EXPECT_EQ(location.LocatePBIni(), "");
    EXPECT_EQ(ui.BoxTexts().back(),
              "Could not find pb.ini for PowerBuilder 6.  Please see options.");
    SetWinIni("InitPath60", "c:\\winini");
    EXPECT_EQ(location.LocatePBIni(), "c:\\winini\\pb.ini");
}

TEST_F(OptionsTest, GetPBIniFileCachesOnlyAFoundPath) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    EXPECT_EQ(location.GetPBIniFile() + location.GetPBIniFile(), "");
    EXPECT_EQ(ui.boxes.size(), 2u);  // each call looks, and reports, again
    CreateFiles({"pb5/pb.ini"});
    SetWinIni("InitPath050", "c:\\pb5");
    EXPECT_EQ(location.GetPBIniFile(), "c:\\pb5\\pb.ini");
    ASSERT_TRUE(platform::DeleteFile("c:\\pb5\\pb.ini"));
    EXPECT_EQ(location.GetPBIniFile(), "c:\\pb5\\pb.ini");
    EXPECT_EQ(ui.boxes.size(), 2u);
    location.Clear();
    EXPECT_EQ(location.GetPBIniFile(), "");
}

// ---- Setting up the App Paths entry -------------------------------------------------

const std::string kBadInstall5 =
    "PowerBuilder 5 was not installed properly.  Please reinstall Powerbuilder to correct the "
    "problem.  The PB5 Upgrade disk only updates files that are installed, thus...Make sure you "
    "reinstall from the original PB5 CD, then install the upgrade CD.";
const std::string kSetupComplete5 =
    "Setup for PowerBuilder Version 5 complete.  Please restart program.";

TEST_F(OptionsTest, SetupRegistersTheProgramWithPowerBuildersPath) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    const auto programPath = [] {
        return Stored("Path", ProgramAppPathsKey(), TRootKey::LocalMachine);
    };
    EXPECT_FALSE(location.SetupPBAppPath());  // no PowerBuilder: a bad install
    EXPECT_EQ(programPath(), "-");
    location.Clear();

    Store("Path", "c:\\pb5;c:\\pb5\\shared", kPB050Key, TRootKey::LocalMachine);
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_EQ(programPath(), "c:\\pb5;c:\\pb5\\shared");
    EXPECT_EQ(Stored("", ProgramAppPathsKey(), TRootKey::LocalMachine),
              platform::WindowsPath(platform::ProgramFileHostPath()));
    // PowerBuilder's path changed since: set up again.
    Store("Path", "d:\\pb5", kPB050Key, TRootKey::LocalMachine);
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_EQ(programPath(), "d:\\pb5");

    // Already set up: a bad install, said once per run.
    location.Clear();
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_FALSE(location.SetupPBAppPath());
    location.Clear();  // a new run
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kBadInstall5, kSetupComplete5, kSetupComplete5,
                                           kBadInstall5, kBadInstall5));
}

}  // namespace
}  // namespace shell
