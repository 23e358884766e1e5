// Stored settings, the PowerBuilder version table, locating pb.ini and setting up the
// program's App Paths entry.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "shell/options.h"
#include "shell/utilities.h"
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
    static std::optional<std::string> Stored(std::string_view name,
                                             const std::string& key = kSettingsKey,
                                             TRootKey root = TRootKey::CurrentUser) {
        platform::TRegistry reg(root);
        if (!reg.OpenKey(key, false))
            return std::nullopt;
        return reg.ReadStringValue(name);
    }
    static void SetWinIni(std::string_view name, std::string_view dir) {
        ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", name, dir));
    }
    std::string C(std::string_view rest) const { return prefix.DriveC() + "/" + std::string(rest); }

    testsupport::TempPrefix prefix;
};

TEST_F(OptionsTest, FirstRunLoadsTheDefaultsAndWritesNothing) {
    TOptionsForm& form = OptionsForm();
    EXPECT_THAT(form.PBVersion.Items, ElementsAre("PB4 32-bit", "PB5 32-bit", "PB6 32-bit"));
    EXPECT_EQ(form.PBVersion.Text(), "PB5 32-bit");
    EXPECT_EQ(form.SelectedPBVersion().OrcaDll, "Pborc050.dll");
    EXPECT_EQ(form.PBIniFileName + form.CheckOutLibrary + form.ReplicationPath + form.TempLibrary,
              "");
    EXPECT_EQ(form.RefreshInterval + "/" + form.PostDetectionRefreshTimeEdit, "30/60");
    EXPECT_EQ(form.OrcaDll, "c:\\");
    EXPECT_FALSE(form.SingleDirectory.Checked() || form.UserRefreshRadioButton.Checked() ||
                 form.AllLibRefresh.Checked() || form.AutoRefreshTimer.Enabled());
    EXPECT_TRUE(form.MirrorSourceDirectory.Checked() && form.AutoRefreshRadioButton.Checked() &&
                form.QuentisRefresh.Checked() && form.DetectTimer.Enabled());
    EXPECT_EQ(form.DetectTimer.Interval(), 30000u);
    EXPECT_EQ(form.AutoRefreshTimer.Interval(), 60000u);
    EXPECT_FALSE(Stored("PBVersion").has_value());
}

TEST_F(OptionsTest, RadioPairsSecondStoredValueWinsAndBothFalseStaysFalse) {
    for (auto [name, value] : {std::pair{"AutoRefresh", "1"},
                               {"UserRefresh", "1"},
                               {"SingleDirectory", "0"},
                               {"MirrorSourceDirectory", "0"},
                               {"AllLibRefresh", "1"}})
        Store(name, value);
    TOptionsForm& form = CreateOptionsForm();
    EXPECT_FALSE(form.AutoRefreshRadioButton.Checked());
    EXPECT_TRUE(form.UserRefreshRadioButton.Checked());
    EXPECT_FALSE(form.SingleDirectory.Checked() || form.MirrorSourceDirectory.Checked());
    EXPECT_FALSE(form.AllLibRefresh.Checked());  // the default "true" of QuentisRefresh wins
    EXPECT_TRUE(form.QuentisRefresh.Checked());
    ASSERT_TRUE(form.SaveSettings());
    EXPECT_EQ(Stored("AutoRefresh"), "0");
    EXPECT_EQ(Stored("SingleDirectory"), "0");
    EXPECT_EQ(Stored("MirrorSourceDirectory"), "0");

    form.AllLibRefresh.SetChecked(true);
    EXPECT_FALSE(form.QuentisRefresh.Checked());
    form.AllLibRefresh.SetChecked(false);
    EXPECT_FALSE(form.QuentisRefresh.Checked());  // unchecking leaves the partner alone
}

TEST_F(OptionsTest, BadStoredNumbersAndIntervalsTakeTheirDefaults) {
    Store("AutoRefresh", "yes");
    Store("MirrorSourceDirectory", "2");
    Store("RefreshInterval", "abc");
    Store("PostDetectionRefreshTime", " 45 ");
    for (auto version : {"two", "3", "-1", "99999999999999999999"}) {
        Store("PBVersion", version);
        EXPECT_EQ(CreateOptionsForm().PBVersion.ItemIndex, 1) << version;
    }
    TOptionsForm& form = OptionsForm();
    EXPECT_TRUE(form.AutoRefreshRadioButton.Checked() && form.MirrorSourceDirectory.Checked());
    EXPECT_EQ(form.RefreshInterval, "abc");  // the edit shows what is stored
    EXPECT_EQ(form.DetectTimer.Interval(), 30000u);
    EXPECT_EQ(form.AutoRefreshTimer.Interval(), 45000u);
    Store("PBVersion", "2");
    EXPECT_EQ(CreateOptionsForm().SelectedPBVersion().Number, 6);

    for (auto [text, ms] : {std::pair{"30", 30000u},
                            {"0", 0u},
                            {"", 60000u},
                            {"-5", 60000u},
                            {"2.5", 60000u},
                            {"2147483", 2147483000u},
                            {"2147484", 60000u},
                            {"99999999999999999999999", 60000u}})
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
    EXPECT_EQ(form.DetectTimer.Interval(), 15000u);
    EXPECT_EQ(form.AutoRefreshTimer.Interval(), 90000u);
    EXPECT_GE(changes, 1);
    for (auto [name, value] : {std::pair{"PBIniFile", "c:\\pb5\\pb.ini"},
                               {"PBVersion", "2"},
                               {"RefreshInterval", "15"},
                               {"PostDetectionRefreshTime", "90"},
                               {"SingleDirectory", "1"},
                               {"MirrorSourceDirectory", "0"},
                               {"AutoRefresh", "0"},
                               {"UserRefresh", "1"},
                               {"AllLibRefresh", "1"},
                               {"QuentisRefresh", "0"},
                               {"OrcaDLL", "c:\\pb6\\pborc60.dll"}})
        EXPECT_EQ(Stored(name), value) << name;

    TOptionsForm loaded;
    EXPECT_EQ(loaded.PBIniFileName, form.PBIniFileName);
    EXPECT_EQ(loaded.PBVersion.ItemIndex, 2);
    EXPECT_EQ(loaded.TempLibrary, form.TempLibrary);
    EXPECT_TRUE(loaded.SingleDirectory.Checked() && loaded.UserRefreshRadioButton.Checked() &&
                loaded.AllLibRefresh.Checked());
    EXPECT_EQ(loaded.DetectTimer.Interval(), 15000u);

    // The dialog's settings are copied into the form in use; its timers are not.
    loaded.PBVersion.ItemIndex = 0;
    loaded.RefreshInterval = "5";
    loaded.MirrorSourceDirectory.SetChecked(false);
    loaded.AutoRefreshRadioButton.SetChecked(true);
    loaded.OrcaDll = "d:\\";
    TOptionsForm& inUse = CreateOptionsForm();
    inUse.AssignSettings(loaded);
    EXPECT_EQ(inUse.PBVersion.Text(), "PB4 32-bit");
    EXPECT_EQ(inUse.RefreshInterval, "5");
    EXPECT_EQ(inUse.OrcaDll, "d:\\");
    EXPECT_FALSE(inUse.MirrorSourceDirectory.Checked() || inUse.UserRefreshRadioButton.Checked());
    EXPECT_EQ(inUse.DetectTimer.Interval(), 15000u);  // loaded from the settings, not "5"
    EXPECT_EQ(Stored("RefreshInterval"), "15");
}

// ---- Locating pb.ini ----------------------------------------------------------------

const std::string kNotFound5 = "Could not find pb.ini for PowerBuilder 5.  Please see options.";

TEST_F(OptionsTest, LocatePBIniPrefersTheSettingThenWinIniThenAppPaths) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    EXPECT_EQ(location.LocatePBIni(), "");  // nothing known
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kNotFound5));
    ui.boxes.clear();

    testsupport::WriteFile(C("set/pb.ini"), "");
    testsupport::WriteFile(C("winini/pb.ini"), "");
    testsupport::WriteFile(C("apppaths/pb.ini"), "");
    SetWinIni("InitPath050", "c:\\winini");
    Store("", "c:\\apppaths\\pb050.exe", kPB050Key, TRootKey::LocalMachine);
    OptionsForm().PBIniFileName = "c:\\set\\pb.ini";
    EXPECT_EQ(location.LocatePBIni(), "c:\\set\\pb.ini");
    OptionsForm().PBIniFileName = "c:\\gone\\pb.ini";
    EXPECT_EQ(location.LocatePBIni(), "c:\\winini\\pb.ini");
    // A WIN.INI entry naming a directory without pb.ini falls through to App Paths.
    testsupport::WriteFile(C("winini/sub/readme.txt"), "");
    SetWinIni("InitPath050", "c:\\winini\\sub");
    EXPECT_EQ(location.LocatePBIni(), "c:\\apppaths\\pb.ini");
    EXPECT_TRUE(ui.boxes.empty());
    // Nor is there one beside PowerBuilder's program.
    Store("", "c:\\winini\\sub\\pb050.exe", kPB050Key, TRootKey::LocalMachine);
    EXPECT_EQ(location.LocatePBIni(), "");
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kNotFound5));

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
    EXPECT_EQ(location.GetPBIniFile(), "");
    EXPECT_EQ(location.GetPBIniFile(), "");
    EXPECT_EQ(ui.boxes.size(), 2u);  // each call looks, and reports, again
    testsupport::WriteFile(C("pb5/pb.ini"), "");
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
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kBadInstall5));
    EXPECT_FALSE(programPath().has_value());
    location.Clear();
    ui.boxes.clear();

    Store("Path", "c:\\pb5;c:\\pb5\\shared", kPB050Key, TRootKey::LocalMachine);
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_TRUE(location.SetupMessageShown());
    EXPECT_EQ(programPath(), "c:\\pb5;c:\\pb5\\shared");
    EXPECT_EQ(Stored("", ProgramAppPathsKey(), TRootKey::LocalMachine),
              platform::WindowsPath(platform::ProgramFileHostPath()));
    // PowerBuilder's path changed since: set up again.
    Store("Path", "d:\\pb5", kPB050Key, TRootKey::LocalMachine);
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_EQ(programPath(), "d:\\pb5");
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kSetupComplete5, kSetupComplete5));

    // Already set up: a bad install, said once per run.
    location.Clear();
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_FALSE(location.SetupPBAppPath());
    location.Clear();  // a new run
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_THAT(ui.BoxTexts(),
                ElementsAre(kSetupComplete5, kSetupComplete5, kBadInstall5, kBadInstall5));
}

}  // namespace
}  // namespace shell
