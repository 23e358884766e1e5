// Stored settings, the PowerBuilder version table and locating pb.ini.

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

using testing::ElementsAre;

constexpr const char* kSettingsKey = "Software\\Vellanor\\Sorvanti 2";

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

    static void Store(std::string_view name, std::string_view value) {
        platform::TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kSettingsKey, true));
        ASSERT_TRUE(reg.WriteString(name, value));
    }
    static std::optional<std::string> Stored(std::string_view name) {
        platform::TRegistry reg;
        if (!reg.OpenKey(kSettingsKey, false))
            return std::nullopt;
        return reg.ReadStringValue(name);
    }
    static void StoreMachine(const std::string& key, std::string_view name,
                             std::string_view value) {
        platform::TRegistry reg(platform::TRootKey::LocalMachine);
        ASSERT_TRUE(reg.OpenKey(key, true));
        ASSERT_TRUE(reg.WriteString(name, value));
    }
    static std::optional<std::string> StoredMachine(const std::string& key, std::string_view name) {
        platform::TRegistry reg(platform::TRootKey::LocalMachine);
        if (!reg.OpenKey(key, false))
            return std::nullopt;
        return reg.ReadStringValue(name);
    }
    std::string C(std::string_view rest) const { return prefix.DriveC() + "/" + std::string(rest); }

    testsupport::TempPrefix prefix;
};

TEST_F(OptionsTest, FirstRunLoadsTheDefaults) {
    TOptionsForm& form = OptionsForm();
    EXPECT_EQ(form.PBIniFileName, "");
    EXPECT_THAT(form.PBVersion.Items, ElementsAre("PB4 32-bit", "PB5 32-bit", "PB6 32-bit"));
    EXPECT_EQ(form.PBVersion.Text(), "PB5 32-bit");
    EXPECT_EQ(form.SelectedPBVersion().OrcaDll, "Pborc050.dll");
    EXPECT_EQ(form.RefreshInterval, "30");
    EXPECT_EQ(form.PostDetectionRefreshTimeEdit, "60");
    EXPECT_EQ(form.CheckOutLibrary, "");
    EXPECT_EQ(form.ReplicationPath, "");
    EXPECT_EQ(form.TempLibrary, "");
    EXPECT_EQ(form.OrcaDll, "c:\\");
    EXPECT_FALSE(form.SingleDirectory.Checked());
    EXPECT_TRUE(form.MirrorSourceDirectory.Checked());
    EXPECT_TRUE(form.AutoRefreshRadioButton.Checked());
    EXPECT_FALSE(form.UserRefreshRadioButton.Checked());
    EXPECT_FALSE(form.AllLibRefresh.Checked());
    EXPECT_TRUE(form.QuentisRefresh.Checked());
    EXPECT_TRUE(form.DetectTimer.Enabled());
    EXPECT_EQ(form.DetectTimer.Interval(), 30000u);
    EXPECT_FALSE(form.AutoRefreshTimer.Enabled());
    EXPECT_EQ(form.AutoRefreshTimer.Interval(), 60000u);
    EXPECT_FALSE(Stored("PBVersion").has_value());  // loading writes nothing
}

TEST_F(OptionsTest, RadioPairsSecondStoredValueWinsAndBothFalseStaysFalse) {
    Store("AutoRefresh", "1");
    Store("UserRefresh", "1");
    Store("SingleDirectory", "0");
    Store("MirrorSourceDirectory", "0");
    Store("AllLibRefresh", "1");
    TOptionsForm& form = CreateOptionsForm();
    EXPECT_FALSE(form.AutoRefreshRadioButton.Checked());
    EXPECT_TRUE(form.UserRefreshRadioButton.Checked());
    EXPECT_FALSE(form.SingleDirectory.Checked());
    EXPECT_FALSE(form.MirrorSourceDirectory.Checked());
    EXPECT_FALSE(form.AllLibRefresh.Checked());  // the default "true" of QuentisRefresh wins
    EXPECT_TRUE(form.QuentisRefresh.Checked());

    ASSERT_TRUE(form.SaveSettings());
    EXPECT_EQ(Stored("AutoRefresh"), "0");
    EXPECT_EQ(Stored("UserRefresh"), "1");
    EXPECT_EQ(Stored("SingleDirectory"), "0");
    EXPECT_EQ(Stored("MirrorSourceDirectory"), "0");

    form.AllLibRefresh.SetChecked(true);
    EXPECT_FALSE(form.QuentisRefresh.Checked());
    form.AllLibRefresh.SetChecked(false);
    EXPECT_FALSE(form.QuentisRefresh.Checked());  // unchecking leaves the partner alone
}

TEST_F(OptionsTest, BadStoredNumbersTakeTheirDefaults) {
    Store("PBVersion", "two");
    Store("AutoRefresh", "yes");
    Store("MirrorSourceDirectory", "2");
    Store("RefreshInterval", "abc");
    Store("PostDetectionRefreshTime", " 45 ");
    TOptionsForm& form = CreateOptionsForm();
    EXPECT_EQ(form.PBVersion.ItemIndex, 1);
    EXPECT_TRUE(form.AutoRefreshRadioButton.Checked());
    EXPECT_TRUE(form.MirrorSourceDirectory.Checked());
    EXPECT_EQ(form.RefreshInterval, "abc");  // the edit shows what is stored
    EXPECT_EQ(form.DetectTimer.Interval(), 30000u);
    EXPECT_EQ(form.AutoRefreshTimer.Interval(), 45000u);

    for (auto outOfRange : {"3", "-1", "99999999999999999999"}) {
        Store("PBVersion", outOfRange);
        EXPECT_EQ(CreateOptionsForm().PBVersion.ItemIndex, 1) << outOfRange;
    }
    Store("PBVersion", "2");
    EXPECT_EQ(CreateOptionsForm().SelectedPBVersion().Number, 6);
}

TEST_F(OptionsTest, IntervalTexts) {
    EXPECT_EQ(IntervalMilliseconds("30", 60), 30000u);
    EXPECT_EQ(IntervalMilliseconds("0", 60), 0u);
    EXPECT_EQ(IntervalMilliseconds("", 60), 60000u);
    EXPECT_EQ(IntervalMilliseconds("-5", 60), 60000u);
    EXPECT_EQ(IntervalMilliseconds("2.5", 60), 60000u);
    EXPECT_EQ(IntervalMilliseconds("2147483", 60), 2147483000u);
    EXPECT_EQ(IntervalMilliseconds("2147484", 60), 60000u);
    EXPECT_EQ(IntervalMilliseconds("99999999999999999999999", 60), 60000u);
}

TEST_F(OptionsTest, SaveWritesStringsThatLoadBack) {
    TOptionsForm& form = OptionsForm();
    form.PBIniFileName = "c:\\pb5\\pb.ini";
    form.PBVersion.ItemIndex = 2;
    form.RefreshInterval = "15";
    form.PostDetectionRefreshTimeEdit = "90";
    form.CheckOutLibrary = "c:\\lib\\checkout.pbl";
    form.ReplicationPath = "c:\\replica";
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

    EXPECT_EQ(Stored("PBIniFile"), "c:\\pb5\\pb.ini");
    EXPECT_EQ(Stored("PBVersion"), "2");
    EXPECT_EQ(Stored("RefreshInterval"), "15");
    EXPECT_EQ(Stored("PostDetectionRefreshTime"), "90");
    EXPECT_EQ(Stored("SingleDirectory"), "1");
    EXPECT_EQ(Stored("MirrorSourceDirectory"), "0");
    EXPECT_EQ(Stored("AutoRefresh"), "0");
    EXPECT_EQ(Stored("UserRefresh"), "1");
    EXPECT_EQ(Stored("AllLibRefresh"), "1");
    EXPECT_EQ(Stored("QuentisRefresh"), "0");
    EXPECT_EQ(Stored("OrcaDLL"), "c:\\pb6\\pborc60.dll");

    TOptionsForm loaded;
    EXPECT_EQ(loaded.PBIniFileName, form.PBIniFileName);
    EXPECT_EQ(loaded.PBVersion.ItemIndex, 2);
    EXPECT_EQ(loaded.TempLibrary, form.TempLibrary);
    EXPECT_TRUE(loaded.SingleDirectory.Checked());
    EXPECT_TRUE(loaded.UserRefreshRadioButton.Checked());
    EXPECT_TRUE(loaded.AllLibRefresh.Checked());
    EXPECT_EQ(loaded.DetectTimer.Interval(), 15000u);
}

TEST_F(OptionsTest, AssignCopiesSettingsButNotTimers) {
    TOptionsForm& inUse = OptionsForm();
    TOptionsForm dialog;
    dialog.PBIniFileName = "c:\\pb6\\pb.ini";
    dialog.PBVersion.ItemIndex = 0;
    dialog.RefreshInterval = "5";
    dialog.PostDetectionRefreshTimeEdit = "7";
    dialog.MirrorSourceDirectory.SetChecked(false);
    dialog.UserRefreshRadioButton.SetChecked(true);
    dialog.AllLibRefresh.SetChecked(true);
    dialog.TempLibrary = "c:\\t.pbl";
    dialog.OrcaDll = "d:\\";
    inUse.AssignSettings(dialog);
    EXPECT_EQ(inUse.PBIniFileName, "c:\\pb6\\pb.ini");
    EXPECT_EQ(inUse.PBVersion.Text(), "PB4 32-bit");
    EXPECT_EQ(inUse.RefreshInterval, "5");
    EXPECT_EQ(inUse.PostDetectionRefreshTimeEdit, "7");
    EXPECT_FALSE(inUse.SingleDirectory.Checked());
    EXPECT_FALSE(inUse.MirrorSourceDirectory.Checked());
    EXPECT_FALSE(inUse.AutoRefreshRadioButton.Checked());
    EXPECT_TRUE(inUse.UserRefreshRadioButton.Checked());
    EXPECT_TRUE(inUse.AllLibRefresh.Checked());
    EXPECT_FALSE(inUse.QuentisRefresh.Checked());
    EXPECT_EQ(inUse.OrcaDll, "d:\\");
    EXPECT_EQ(inUse.DetectTimer.Interval(), 30000u);
    EXPECT_FALSE(Stored("PBIniFile").has_value());
}

// ---- Locating pb.ini ----------------------------------------------------------------

const std::string kPB050Key =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\PB050.exe";

TEST_F(OptionsTest, LocatePBIniWithNothingKnownSaysSoWithTheVersionNumber) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    EXPECT_EQ(location.LocatePBIni(), "");
    EXPECT_THAT(ui.BoxTexts(),
                ElementsAre("Could not find pb.ini for PowerBuilder 5.  Please see options."));
}

TEST_F(OptionsTest, LocatePBIniPrefersTheSettingThenWinIniThenAppPaths) {
    testsupport::RecordingShellUI ui;
    testsupport::WriteFile(C("set/pb.ini"), "");
    testsupport::WriteFile(C("winini/pb.ini"), "");
    testsupport::WriteFile(C("apppaths/pb.ini"), "");
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\winini"));
    StoreMachine(kPB050Key, "", "c:\\apppaths\\pb050.exe");
    TPBLocation location;

    OptionsForm().PBIniFileName = "c:\\set\\pb.ini";
    EXPECT_EQ(location.LocatePBIni(), "c:\\set\\pb.ini");
    OptionsForm().PBIniFileName = "c:\\gone\\pb.ini";
    EXPECT_EQ(location.LocatePBIni(), "c:\\winini\\pb.ini");
    // A WIN.INI entry naming a directory without pb.ini falls through to App Paths.
    testsupport::WriteFile(C("winini/sub/readme.txt"), "");
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\winini\\sub"));
    EXPECT_EQ(location.LocatePBIni(), "c:\\apppaths\\pb.ini");
    EXPECT_TRUE(ui.boxes.empty());

    // Nor is there one beside PowerBuilder's program.
    StoreMachine(kPB050Key, "", "c:\\winini\\sub\\pb050.exe");
    EXPECT_EQ(location.LocatePBIni(), "");
    EXPECT_THAT(ui.BoxTexts(),
                ElementsAre("Could not find pb.ini for PowerBuilder 5.  Please see options."));
}

TEST_F(OptionsTest, LocatePBIniUsesTheSelectedVersionsEntries) {
    testsupport::RecordingShellUI ui;
    testsupport::WriteFile(C("pb6/pb.ini"), "");
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\pb6"));
    OptionsForm().PBVersion.ItemIndex = 2;
    TPBLocation location;
    EXPECT_EQ(location.LocatePBIni(), "");
    EXPECT_THAT(ui.BoxTexts(),
                ElementsAre("Could not find pb.ini for PowerBuilder 6.  Please see options."));
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath60", "c:\\pb6"));
    EXPECT_EQ(location.LocatePBIni(), "c:\\pb6\\pb.ini");
}

TEST_F(OptionsTest, GetPBIniFileCachesOnlyAFoundPath) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    EXPECT_EQ(location.GetPBIniFile(), "");
    EXPECT_EQ(location.GetPBIniFile(), "");
    EXPECT_EQ(ui.boxes.size(), 2u);  // each call looks, and reports, again

    testsupport::WriteFile(C("pb5/pb.ini"), "");
    ASSERT_TRUE(platform::WriteProfileString("PowerBuilder", "InitPath050", "c:\\pb5"));
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

TEST_F(OptionsTest, SetupWithoutPowerBuilderIsABadInstallAndChangesNothing) {
    testsupport::RecordingShellUI ui;
    TPBLocation location;
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kBadInstall5));
    EXPECT_FALSE(StoredMachine(ProgramAppPathsKey(), "Path").has_value());
}

TEST_F(OptionsTest, SetupRegistersTheProgramWithPowerBuildersPath) {
    testsupport::RecordingShellUI ui;
    StoreMachine(kPB050Key, "Path", "c:\\pb5;c:\\pb5\\shared");
    TPBLocation location;
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kSetupComplete5));
    EXPECT_TRUE(location.SetupMessageShown());
    EXPECT_EQ(StoredMachine(ProgramAppPathsKey(), "Path"), "c:\\pb5;c:\\pb5\\shared");
    EXPECT_EQ(StoredMachine(ProgramAppPathsKey(), ""),
              platform::WindowsPath(platform::ProgramFileHostPath()));

    // PowerBuilder's path changed since: set up again.
    StoreMachine(kPB050Key, "Path", "d:\\pb5");
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kSetupComplete5, kSetupComplete5));
    EXPECT_EQ(StoredMachine(ProgramAppPathsKey(), "Path"), "d:\\pb5");
}

TEST_F(OptionsTest, SetupAlreadyDoneIsABadInstallOncePerRun) {
    testsupport::RecordingShellUI ui;
    StoreMachine(kPB050Key, "Path", "c:\\pb5");
    StoreMachine(ProgramAppPathsKey(), "Path", "c:\\pb5");
    TPBLocation location;
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kBadInstall5));
    location.Clear();  // a new run
    EXPECT_FALSE(location.SetupPBAppPath());
    EXPECT_THAT(ui.BoxTexts(), ElementsAre(kBadInstall5, kBadInstall5));
}

}  // namespace
}  // namespace shell
