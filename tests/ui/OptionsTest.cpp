// The Preferences dialog on the offscreen platform, over the real settings, registry and
// ORCA library in a prefix of each test's own: it opens with the values in use, Cancel
// changes nothing, OK stores everything and applies a new pb.ini path or version, and
// the browse buttons choose (and create) libraries, pb.ini and the replication directory.

#include "ui/options.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <functional>

#include "platform/Prefix.h"
#include "platform/Registry.h"
#include "tests/catalogue/CatalogueTestSupport.h"
#include "ui/AnsiText.h"
#include "ui/FileDialogs.h"

namespace ui {
namespace {

using Strings = std::vector<std::string>;

class Preferences : public cattest::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        SetFileChooser([this](QWidget*, const TFileRequest& request) {
            requests.push_back(request);
            return QString::fromStdString(chosen);
        });
    }
    void TearDown() override {
        SetFileChooser({});
        CatalogueTest::TearDown();
    }
    // Runs the Preferences command; act works the dialog while it is up and closes it.
    void Run(std::function<void(TOptionsForm&)> act) {
        QTimer::singleShot(0, [act] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<TOptionsForm*>(w); dialog && dialog->isVisible()) {
                    act(*dialog);
                    return;
                }
            ADD_FAILURE() << "the dialog is not shown";
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        RunPreferences(nullptr);
    }
    std::string Registry() const { return testsupport::ReadFile(platform::RegistryHostPath()); }
    static std::string Text(QLineEdit* edit) { return ToAnsi(edit->text()); }
    // The library's comment, as ORCA reads it.
    std::string LibraryComment(const std::string& library) {
        char comment[256] = {};
        Mgr().GetSession().LibraryDirectory(
            library, comment, sizeof comment, [](PBORCA_DIRENTRY*, void*) {}, nullptr);
        return comment;
    }

    std::vector<TFileRequest> requests;
    std::string chosen;
};

TEST_F(Preferences, OpensWithTheValuesInUseOnTheGeneralPageOnly) {
    // Stored values, then values in use that differ (a pb.ini found at run time).
    shell::TOptionsForm& inUse = shell::OptionsForm();
    inUse.PBIniFileName = "c:\\stored\\pb.ini";
    inUse.TempLibrary = "c:\\libs\\temp.pbl";
    ASSERT_TRUE(inUse.SaveSettings());
    inUse.PBIniFileName = "c:\\found\\pb.ini";
    inUse.PBVersion.ItemIndex = 2;
    inUse.ReplicationPath = "c:\\rep";
    inUse.UserRefreshRadioButton.SetChecked(true);
    inUse.SingleDirectory.SetChecked(false);
    inUse.MirrorSourceDirectory.SetChecked(false);  // neither: shown and kept so

    TOptionsForm dialog;
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.windowTitle(), "Preferences");
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // fixed size
    EXPECT_EQ(Text(dialog.PBIniFileName), "c:\\found\\pb.ini");
    EXPECT_TRUE(dialog.PBIniFileName->isReadOnly() && dialog.TempLibrary->isReadOnly());
    EXPECT_EQ(dialog.PBVersion->count(), 4);
    EXPECT_EQ(dialog.PBVersion->currentText(), "PB6 32-bit");
    EXPECT_EQ(Text(dialog.TempLibrary), "c:\\libs\\temp.pbl");
    EXPECT_EQ(Text(dialog.ReplicationPath), "c:\\rep");
    EXPECT_EQ(Text(dialog.RefreshInterval) + "/" + Text(dialog.PostDetectionRefreshTimeEdit),
              "30/60");
    EXPECT_EQ(Text(dialog.OrcaDll), "c:\\");
    EXPECT_TRUE(dialog.UserRefreshRadioButton->isChecked() &&
                !dialog.AutoRefreshRadioButton->isChecked());
    EXPECT_FALSE(dialog.SingleDirectory->isChecked() || dialog.MirrorSourceDirectory->isChecked());
    EXPECT_TRUE(dialog.QuentisRefresh->isChecked() && !dialog.AllLibRefresh->isChecked());
    // Only General is offered; the other pages' controls are disabled.
    EXPECT_TRUE(dialog.GeneralSpeedButton->isVisible());
    EXPECT_FALSE(dialog.QuentisSpeedButton->isVisible() || dialog.RefreshSpeedButton->isVisible());
    EXPECT_EQ(dialog.OptionsNotebook->currentIndex(), 0);
    for (QWidget* w : std::initializer_list<QWidget*>{
             dialog.ReplicationPath, dialog.ReplicationPathButton, dialog.CheckOutLibrary,
             dialog.CheckOutLibraryButton, dialog.RefreshInterval, dialog.AutoRefreshRadioButton,
             dialog.QuentisRefresh})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(dialog.OrcaDll->isVisible());
    EXPECT_EQ(dialog.OKButton->text() + dialog.CancelButton->text() + dialog.HelpButton->text(),
              "OKCancel&Help");
    EXPECT_TRUE(dialog.grab().save(QStringLiteral(SORVANTI_UI_SHOTS_DIR "/Preferences.png")));

    // The refresh choice: User Refresh takes the post-detection time out of use.
    QWidget* page = dialog.OptionsNotebook->widget(2);
    EXPECT_FALSE(dialog.PostDetectionRefreshTimeEdit->isEnabledTo(page));
    dialog.AutoRefreshRadioButton->setChecked(true);
    EXPECT_TRUE(dialog.PostDetectionRefreshTimeEdit->isEnabledTo(page));
    EXPECT_FALSE(dialog.UserRefreshRadioButton->isChecked());
    dialog.UserRefreshRadioButton->setChecked(true);
    EXPECT_FALSE(dialog.PostDetectionRefreshTimeEdit->isEnabledTo(page));
    // The controls go back into the settings as shown, a pair with neither on included.
    dialog.StoreSettings();
    const shell::TOptionsForm& s = dialog.Settings();
    EXPECT_TRUE(s.UserRefreshRadioButton.Checked() && !s.AutoRefreshRadioButton.Checked());
    EXPECT_FALSE(s.SingleDirectory.Checked() || s.MirrorSourceDirectory.Checked());
    EXPECT_EQ(s.PBVersion.ItemIndex, 2);
    EXPECT_EQ(s.PBIniFileName, "c:\\found\\pb.ini");
}

TEST_F(Preferences, CancelChangesNothingOkStoresAllAndNoticesANewPbIni) {
    testsupport::WriteFile(prefix.DriveC() + "/pb/new.ini", "[Application]\r\n");
    shell::TOptionsForm& inUse = shell::OptionsForm();
    inUse.PBIniFileName = "c:\\pb\\pb.ini";
    ASSERT_TRUE(inUse.SaveSettings());
    inUse.ReplicationPath = "c:\\rep";  // in use, not stored yet
    const std::string before = Registry();

    // Cancel after choosing a pb.ini and a version.
    chosen = prefix.DriveC() + "/pb/new.ini";
    Run([](TOptionsForm& d) {
        QTest::mouseClick(d.PBIniFileButton, Qt::LeftButton);
        EXPECT_EQ(Text(d.PBIniFileName), "c:\\pb\\new.ini");  // the short Windows form
        d.PBVersion->setCurrentIndex(0);
        QTest::mouseClick(d.CancelButton, Qt::LeftButton);
    });
    EXPECT_EQ(Registry(), before);
    EXPECT_EQ(inUse.PBIniFileName, "c:\\pb\\pb.ini");
    EXPECT_EQ(inUse.PBVersion.ItemIndex, 1);
    EXPECT_TRUE(screen.boxes.empty());
    // The pb.ini dialog started at the current file.
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title + "|" + requests[0].filter + "|" + requests[0].fileName,
              "PB INI File|Initialization Files (*.ini)|pb.ini");
    EXPECT_FALSE(requests[0].save);
    EXPECT_EQ(QDir::cleanPath(requests[0].directory).toStdString(), prefix.DriveC() + "/pb");

    // OK with nothing changed: everything stored (what was only in use too), no notice.
    Run([](TOptionsForm& d) { QTest::mouseClick(d.OKButton, Qt::LeftButton); });
    EXPECT_TRUE(screen.boxes.empty());
    EXPECT_EQ(shell::TOptionsForm().ReplicationPath, "c:\\rep");

    // OK after choosing another pb.ini: in use, stored, and the restart notice.
    Run([](TOptionsForm& d) {
        QTest::mouseClick(d.PBIniFileButton, Qt::LeftButton);
        QTest::mouseClick(d.OKButton, Qt::LeftButton);
    });
    EXPECT_EQ(screen.BoxTexts(), Strings{"Setup complete.  Please restart program."});
    EXPECT_EQ(inUse.PBIniFileName, "c:\\pb\\new.ini");
    EXPECT_EQ(shell::TOptionsForm().PBIniFileName, "c:\\pb\\new.ini");
}

TEST_F(Preferences, ANewVersionRegistersItAndLocatesPbIniAnew) {
    // PowerBuilder 6 is installed; the program's own App Paths key is from PowerBuilder 5.
    platform::TRegistry reg(platform::TRootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(std::string(shell::AppPathsKey) + "PB60.exe", true));
    ASSERT_TRUE(reg.WriteString("Path", "c:\\pb6;c:\\pb6\\shared"));
    reg.CloseKey();
    const std::string own = shell::ProgramAppPathsKey();
    ASSERT_TRUE(reg.OpenKey(own + "\\Stale", true));
    reg.CloseKey();
    ASSERT_TRUE(reg.OpenKey(own, true));
    ASSERT_TRUE(reg.WriteString("Path", "c:\\pb5"));
    ASSERT_TRUE(reg.WriteString("Extra", "old"));
    reg.CloseKey();
    testsupport::WriteFile(prefix.DriveC() + "/pb/new.ini", "");
    shell::OptionsForm().PBIniFileName = "c:\\pb\\pb.ini";

    // Both the version and pb.ini changed: the version branch only.
    chosen = prefix.DriveC() + "/pb/new.ini";
    Run([](TOptionsForm& d) {
        QTest::mouseClick(d.PBIniFileButton, Qt::LeftButton);
        d.PBVersion->setCurrentIndex(2);
        QTest::mouseClick(d.OKButton, Qt::LeftButton);
    });
    EXPECT_EQ(screen.BoxTexts(), Strings{shell::SetupCompleteMessage(6)});
    EXPECT_EQ(shell::OptionsForm().PBIniFileName, "");
    const shell::TOptionsForm stored;
    EXPECT_EQ(stored.PBIniFileName, "");
    EXPECT_EQ(stored.PBVersion.ItemIndex, 2);
    // The own key was deleted with its subkeys and values, then written anew.
    EXPECT_FALSE(reg.OpenKey(own + "\\Stale", false));
    ASSERT_TRUE(reg.OpenKey(own, false));
    EXPECT_EQ(reg.ReadString("Path"), "c:\\pb6;c:\\pb6\\shared");
    EXPECT_EQ(reg.ReadString("Extra"), "");
    EXPECT_EQ(reg.ReadString(""), platform::WindowsPath(platform::ProgramFileHostPath()));
}

TEST_F(Preferences, LibrariesAreChosenOrCreatedUnderTheNameStored) {
    ASSERT_TRUE(Mgr().LoadOrcaDll());
    std::filesystem::create_directories(prefix.DriveC() + "/libs");
    const std::string libs = prefix.DriveC() + "/libs/";
    shell::OptionsForm().TempLibrary = "c:\\libs\\old.pbl";
    TOptionsForm dialog;
    dialog.show();
    QApplication::processEvents();

    // A new name without extension, Yes: created and stored with ".pbl".
    chosen = libs + "newlib";
    screen.answers = {shell::mrYes};
    QTest::mouseClick(dialog.TempLibraryButton, Qt::LeftButton);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].text,
              "Library does not exists.  Do you wish to create the new library?");
    EXPECT_EQ(screen.boxes[0].buttons, shell::mbYes | shell::mbNo);
    EXPECT_EQ(Text(dialog.TempLibrary), "c:\\libs\\newlib.pbl");
    EXPECT_TRUE(std::filesystem::exists(libs + "newlib.pbl"));
    EXPECT_FALSE(std::filesystem::exists(libs + "newlib"));
    EXPECT_EQ(LibraryComment("c:\\libs\\newlib.pbl"), "Temporary library");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title + "|" + requests[0].filter, "Library Select/Create|PBL (*.pbl)");
    EXPECT_TRUE(requests[0].mayCreate);
    EXPECT_EQ(QDir::cleanPath(requests[0].directory).toStdString(), prefix.DriveC() + "/libs");

    // No: the bare name unchanged, nothing created.
    screen.boxes.clear();
    chosen = libs + "other";
    screen.answers = {shell::mrNo};
    QTest::mouseClick(dialog.TempLibraryButton, Qt::LeftButton);
    EXPECT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(Text(dialog.TempLibrary), "c:\\libs\\other");
    EXPECT_FALSE(std::filesystem::exists(libs + "other") ||
                 std::filesystem::exists(libs + "other.pbl"));

    // An existing library, with or without its extension typed: taken, no question.
    screen.boxes.clear();
    // (Windows names: the library is found whatever the case typed.)
    for (const auto& [name, stored] : {std::pair{"newlib.pbl", "c:\\libs\\newlib.pbl"},
                                       std::pair{"NEWLIB", "c:\\libs\\NEWLIB.pbl"}}) {
        chosen = libs + name;
        QTest::mouseClick(dialog.TempLibraryButton, Qt::LeftButton);
        EXPECT_EQ(Text(dialog.TempLibrary), stored) << name;
    }
    EXPECT_TRUE(screen.boxes.empty());
    // A cancelled choice keeps the edit.
    chosen.clear();
    QTest::mouseClick(dialog.TempLibraryButton, Qt::LeftButton);
    EXPECT_EQ(Text(dialog.TempLibrary), "c:\\libs\\NEWLIB.pbl");

    // The check-out library the same way, with its own comment (its button is on the
    // page not offered, so the handler is called as the button would).
    chosen = libs + "checkout.PBL";
    screen.answers = {shell::mrYes};
    dialog.CheckOutLibraryButtonClick();
    EXPECT_EQ(Text(dialog.CheckOutLibrary), "c:\\libs\\checkout.PBL");
    EXPECT_EQ(LibraryComment("c:\\libs\\checkout.PBL"), "Check out library");

    // The replication directory: the directory chooser, from the current text.
    std::filesystem::create_directories(prefix.DriveC() + "/rep/new");
    dialog.ReplicationPath->setText("c:\\rep");
    chosen = prefix.DriveC() + "/rep/new";
    requests.clear();
    dialog.ReplicationPathButtonClick();
    EXPECT_EQ(Text(dialog.ReplicationPath), "c:\\rep\\new");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].chooseDirectory);
    EXPECT_EQ(QDir::cleanPath(requests[0].directory).toStdString(), prefix.DriveC() + "/rep");
}

}  // namespace
}  // namespace ui
