// The search-and-replace dialog on the offscreen platform: its check boxes and options,
// typing and choosing entries, the list buttons, replace-list files through a supplied
// file chooser, the events, replace mode, and screenshots of both modes.

#include "ui/Ureplace.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <filesystem>

#include "platform/Prefix.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"
#include "ui/wintree.h"

namespace ui {
namespace {

using namespace search;

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "ui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

const std::string S(1, EntrySeparator);

std::string Line(std::string_view find, std::string_view replace, std::string_view options) {
    std::string line = std::string(find) + S + std::string(replace);
    for (char c : options)
        line += S + c;
    return line;
}

// Both drop-downs hold one item per entry, item i being entry i's text, and show the
// current entry.
void ExpectShowsList(const TSReplace& dlg) {
    const TReplaceList& list = dlg.List();
    ASSERT_GE(list.Count(), 1);
    ASSERT_EQ(dlg.FindEdit->count(), list.Count());
    ASSERT_EQ(dlg.ReplaceEdit->count(), list.Count());
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_EQ(dlg.FindEdit->itemText(i), FromAnsi(list.FindText(i))) << i;
        EXPECT_EQ(dlg.ReplaceEdit->itemText(i), FromAnsi(list.ReplaceText(i))) << i;
    }
    EXPECT_EQ(dlg.FindEdit->currentIndex(), list.CurrentEntry());
    EXPECT_EQ(dlg.ReplaceEdit->currentIndex(), list.CurrentEntry());
    EXPECT_EQ(dlg.FindEdit->currentText(), FromAnsi(list.CurrentFindText()));
    EXPECT_EQ(dlg.ReplaceEdit->currentText(), FromAnsi(list.CurrentReplaceText()));
    for (int b = 0; b < ReplaceCheckBoxCount; ++b)
        EXPECT_EQ(dlg.CheckBoxes[b]->isChecked(), list.Checked(static_cast<TReplaceCheckBox>(b)))
            << CheckBoxNames[b];
}

void Type(QComboBox* box, const QString& text) {
    box->lineEdit()->selectAll();
    QTest::keyClick(box->lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(box->lineEdit(), text);
}

// Clicks near the left edge, where a check box has its mark and caption however wide
// its layout made it.
void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// Shows the dialog as the active window, so that focus and accelerators work.
void Show(TSReplace& dlg) {
    dlg.show();
    dlg.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dlg));
}

class ReplaceDialog : public ::testing::Test {
  protected:
    TSReplace dlg;
};

TEST_F(ReplaceDialog, ANewDialogHasOneEntryWithAllTypes) {
    ASSERT_EQ(dlg.EntryCount(), 1);
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("", "", "11111111111100"));
    TSearchOptions expected{srDown};
    for (int o = srApplication; o <= srProxy; ++o)
        expected.Include(o);
    EXPECT_EQ(dlg.Options(), expected);
    ExpectShowsList(dlg);
    EXPECT_FALSE(dlg.isModal());
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(ReplaceDialog, EachBoxControlsTheOptionOfItsName) {
    dlg.Options().Include(srReplaceDlg);  // Replace Upon Find is visible only then
    Show(dlg);
    // "CheckBox" + X + "Option" controls "sr" + X; the boxes are found by name.
    for (int b = cbApplication; b < ReplaceCheckBoxCount; ++b) {
        const QString name = QString::fromLatin1(CheckBoxNames[b].data(),
                                                 static_cast<qsizetype>(CheckBoxNames[b].size()));
        auto* box = dlg.findChild<QCheckBox*>(name);
        ASSERT_NE(box, nullptr) << CheckBoxNames[b];
        const std::string option = "sr" + name.mid(8, name.size() - 14).toStdString();
        const int member = SearchOptionByName(option);
        ASSERT_GE(member, 0) << option;
        const bool before = box->isChecked();
        Click(box);
        EXPECT_EQ(dlg.Options().Contains(member), !before) << option;
        Click(box);
        EXPECT_EQ(dlg.Options().Contains(member), before) << option;
    }
}

TEST_F(ReplaceDialog, TypeBoxesAndAll) {
    Show(dlg);
    Click(dlg.CheckBox(cbMenu));
    EXPECT_FALSE(dlg.CheckBox(cbAllOptions)->isChecked());
    EXPECT_FALSE(dlg.Options().Contains(srMenu));
    for (int b = cbApplication; b <= cbProxy; ++b)
        EXPECT_EQ(dlg.CheckBoxes[b]->isChecked(), b != cbMenu) << CheckBoxNames[b];
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("", "", "01110111111100"));

    // ALL checks every type again; unchecking it takes every type option out.
    Click(dlg.CheckBox(cbAllOptions));
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("", "", "11111111111100"));
    Click(dlg.CheckBox(cbAllOptions));
    EXPECT_EQ(dlg.Options(), TSearchOptions{srDown});
    ExpectShowsList(dlg);

    // The keyboard works the boxes as well: Alt+L is ALL.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
    // (an accelerator clicks its box after a short animation)
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.CheckBox(cbWindow)->isChecked(); }, 2000));
    EXPECT_TRUE(dlg.Options().Contains(srWindow));
}

TEST_F(ReplaceDialog, TypingChangesTheCurrentEntryAndChoosingLoadsAnother) {
    dlg.Options().Include(srReplaceDlg);
    Show(dlg);
    Type(dlg.FindEdit, "dw_1;dw_2");  // a semicolon is an ordinary character
    Type(dlg.ReplaceEdit, "dw_main");
    Click(dlg.CheckBox(cbWholeWord));
    Click(dlg.AddButton);
    EXPECT_TRUE(dlg.FindEdit->hasFocus());
    Type(dlg.FindEdit, "of_x");
    Click(dlg.CheckBox(cbMatchCase));
    Click(dlg.CheckBox(cbWholeWord));
    ExpectShowsList(dlg);
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("dw_1;dw_2", "dw_main", "11111111111110"));
    EXPECT_EQ(dlg.List().EntryLines()[1], Line("of_x", "", "11111111111101"));

    // Typing in the middle keeps the caret where it was, with nothing selected.
    dlg.FindEdit->lineEdit()->setCursorPosition(2);
    QTest::keyClick(dlg.FindEdit->lineEdit(), Qt::Key_Z);
    EXPECT_EQ(dlg.FindText(), "ofz_x");
    EXPECT_EQ(dlg.FindEdit->lineEdit()->cursorPosition(), 3);
    EXPECT_FALSE(dlg.FindEdit->lineEdit()->hasSelectedText());

    // Choosing entry 0 from the drop-down (keyboard Up) brings back its texts and boxes.
    dlg.ReplaceEdit->setFocus();
    QTest::keyClick(dlg.ReplaceEdit, Qt::Key_Up);
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    EXPECT_EQ(dlg.FindEdit->currentText(), QStringLiteral("dw_1;dw_2"));
    EXPECT_EQ(dlg.ReplaceEdit->currentText(), QStringLiteral("dw_main"));
    EXPECT_TRUE(dlg.Options().Contains(srWholeWord));
    EXPECT_FALSE(dlg.Options().Contains(srMatchCase));
    ExpectShowsList(dlg);

    // Return neither adds an item nor jumps to another entry with the same text; it is
    // the default button, Find All.
    int findAll = 0;
    dlg.OnFindAll = [&](TSReplace&) { ++findAll; };
    Type(dlg.FindEdit, "ofz_x");
    QTest::keyClick(dlg.FindEdit->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(findAll, 1);
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    EXPECT_EQ(dlg.EntryCount(), 2);
    ExpectShowsList(dlg);
}

TEST_F(ReplaceDialog, TextsAreWindows1252) {
    Show(dlg);
    dlg.FindEdit->lineEdit()->insert(QString::fromUtf8("\u20ACcaf\u00E9\u4E2D"));
    // The euro sign is byte 0x80; what the code page cannot hold becomes '?'.
    EXPECT_EQ(dlg.FindText(),
              "\x80"
              "caf\xE9?");
    EXPECT_EQ(dlg.FindEdit->currentText(), QString::fromUtf8("\u20ACcaf\u00E9?"));
}

TEST_F(ReplaceDialog, AddInsertDeleteClear) {
    Show(dlg);
    Type(dlg.FindEdit, "a");
    Click(dlg.AddButton);
    Type(dlg.FindEdit, "c");
    Click(dlg.InsertButton);  // before "c"
    EXPECT_EQ(dlg.CurrentEntry(), 1);
    Type(dlg.FindEdit, "b");
    ExpectShowsList(dlg);
    ASSERT_EQ(dlg.EntryCount(), 3);
    EXPECT_EQ(dlg.List().FindText(0), "a");
    EXPECT_EQ(dlg.List().FindText(1), "b");
    EXPECT_EQ(dlg.List().FindText(2), "c");

    // Deleting the last entry makes the new last one current.
    dlg.SelectEntry(2);
    Click(dlg.DeleteButton);
    EXPECT_EQ(dlg.CurrentEntry(), 1);
    EXPECT_EQ(dlg.FindEdit->currentText(), QStringLiteral("b"));
    Click(dlg.DeleteButton);
    Click(dlg.DeleteButton);  // the only entry stays
    ASSERT_EQ(dlg.EntryCount(), 1);
    EXPECT_EQ(dlg.FindText(), "a");
    ExpectShowsList(dlg);

    // Clear leaves one empty entry; the boxes keep their states.
    Click(dlg.CheckBox(cbMatchCase));
    Click(dlg.AddButton);
    Click(dlg.Clear);
    ASSERT_EQ(dlg.EntryCount(), 1);
    EXPECT_EQ(dlg.List().EntryLines()[0], S);
    EXPECT_TRUE(dlg.CheckBox(cbMatchCase)->isChecked());
    ExpectShowsList(dlg);
}

class ReplaceDialogFiles : public ReplaceDialog {
  protected:
    ReplaceDialogFiles() {
        platform::SetPrefixDir(prefix.PrefixPath());
        dlg.SetFileChooser([this](QWidget*, const TSReplace::TFileRequest& request) {
            requests.push_back(request);
            return chosen;
        });
    }
    ~ReplaceDialogFiles() override { platform::SetPrefixDir({}); }

    testsupport::TempPrefix prefix;
    testsupport::RecordingShellUI screen;
    std::vector<TSReplace::TFileRequest> requests;
    QString chosen;
};

TEST_F(ReplaceDialogFiles, SaveThenLoadGivesBackTheEntries) {
    dlg.Options().Include(srReplaceDlg);
    Show(dlg);
    Type(dlg.FindEdit, "dw_1;dw_2");
    Type(dlg.ReplaceEdit, "dw_main");
    Click(dlg.CheckBox(cbReplaceOnFind));  // not part of any entry
    Click(dlg.AddButton);
    Type(dlg.FindEdit, "~n*end");
    Click(dlg.CheckBox(cbQuery));
    Click(dlg.CheckBox(cbMatchCase));
    const std::vector<std::string> saved = dlg.List().EntryLines();

    chosen = QString::fromStdString(prefix.DriveC() + "/lists/one.gsr");
    std::filesystem::create_directories(prefix.DriveC() + "/lists");
    Click(dlg.SaveButton);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].save);
    EXPECT_EQ(requests[0].title, QStringLiteral("Save Global Search and Replace File"));
    EXPECT_EQ(requests[0].filter, QStringLiteral("Global Search and Replace Files (*.gsr)"));
    EXPECT_EQ(requests[0].defaultSuffix, QStringLiteral("gsr"));
    EXPECT_TRUE(screen.boxes.empty());
    EXPECT_EQ(testsupport::ReadFile(chosen.toStdString()), saved[0] + "\r\n" + saved[1] + "\r\n");

    Click(dlg.Clear);
    Click(dlg.CheckBox(cbReplaceOnFind));
    Click(dlg.LoadButton);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_FALSE(requests[1].save);
    EXPECT_EQ(requests[1].title, QStringLiteral("Load Global Search and Replace File"));
    EXPECT_EQ(dlg.List().EntryLines(), saved);
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    EXPECT_TRUE(dlg.Options().Contains(srQuery));  // entry 0 applied
    EXPECT_FALSE(dlg.Options().Contains(srMatchCase));
    EXPECT_FALSE(dlg.CheckBox(cbReplaceOnFind)->isChecked());
    ExpectShowsList(dlg);

    // A cancelled load changes nothing but makes entry 0 current again.
    dlg.SelectEntry(1);
    chosen.clear();
    Click(dlg.LoadButton);
    EXPECT_EQ(dlg.List().EntryLines(), saved);
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    ExpectShowsList(dlg);
    EXPECT_TRUE(screen.boxes.empty());
}

TEST_F(ReplaceDialogFiles, ShortLinesGetTheDefaultOptions) {
    Show(dlg);
    Click(dlg.CheckBox(cbMatchCase));
    Click(dlg.CheckBox(cbWindow));
    const std::string file = prefix.DriveC() + "/short.gsr";
    testsupport::WriteFile(file, "a" + S + "b\r\n\x80" + S + "\xE9" + S + "0" + S + "0\r\n");
    chosen = QString::fromStdString(file);
    Click(dlg.LoadButton);
    EXPECT_TRUE(screen.boxes.empty());
    ASSERT_EQ(dlg.EntryCount(), 2);
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("a", "b", "11111111111100"));
    EXPECT_TRUE(dlg.CheckBox(cbWindow)->isChecked());
    EXPECT_FALSE(dlg.CheckBox(cbMatchCase)->isChecked());
    dlg.SelectEntry(1);
    EXPECT_EQ(dlg.FindEdit->currentText(), QString::fromUtf8("\u20AC"));
    EXPECT_EQ(dlg.ReplaceEdit->currentText(), QString::fromUtf8("\u00E9"));
    EXPECT_FALSE(dlg.CheckBox(cbApplication)->isChecked());
    EXPECT_FALSE(dlg.CheckBox(cbAllOptions)->isChecked());
    ExpectShowsList(dlg);
}

TEST_F(ReplaceDialogFiles, ABadFileShowsAMessageAndKeepsTheEntries) {
    Show(dlg);
    Type(dlg.FindEdit, "keep");
    Click(dlg.AddButton);
    Type(dlg.FindEdit, "me");
    const std::vector<std::string> before = dlg.List().EntryLines();

    const std::string empty = prefix.DriveC() + "/empty.gsr";
    const std::string noSeparator = prefix.DriveC() + "/nosep.gsr";
    const std::string binary = prefix.DriveC() + "/binary.gsr";
    testsupport::WriteFile(empty, "");
    testsupport::WriteFile(noSeparator, "a" + S + "b\r\n\r\nc" + S + "d\r\n");
    testsupport::WriteFile(binary, std::string("PK\x03\x04\0\0", 6));
    const std::string folder = prefix.DriveC();
    for (const std::string& file :
         {prefix.DriveC() + "/missing.gsr", empty, noSeparator, binary, folder}) {
        SCOPED_TRACE(file);
        screen.boxes.clear();
        chosen = QString::fromStdString(file);
        Click(dlg.LoadButton);
        ASSERT_EQ(screen.boxes.size(), 1u);
        EXPECT_FALSE(screen.boxes[0].text.empty());
        EXPECT_EQ(screen.boxes[0].kind, shell::TMsgDlgType::mtError);
        EXPECT_EQ(dlg.List().EntryLines(), before);
        EXPECT_EQ(dlg.CurrentEntry(), 1);
        ExpectShowsList(dlg);
    }
    EXPECT_NE(screen.boxes[0].text.find("C:") == std::string::npos &&
                  screen.boxes[0].text.find("c:") == std::string::npos,
              true)
        << "the message names the file in its Windows form: " << screen.boxes[0].text;

    // A file that cannot be written is reported, not taken for saved.
    screen.boxes.clear();
    chosen = QString::fromStdString(prefix.DriveC() + "/no/such/folder/x.gsr");
    Click(dlg.SaveButton);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].kind, shell::TMsgDlgType::mtError);
}

TEST_F(ReplaceDialog, ButtonsFireTheirEventsWithTheirOption) {
    dlg.Options().Include(srReplaceDlg);
    Show(dlg);
    std::vector<std::string> fired;
    auto record = [&](const char* name, TSearchOption option) {
        return [&fired, name, option](TSReplace& sender) {
            fired.push_back(std::string(name) + (sender.Options().Contains(option) ? "+" : "-"));
        };
    };
    // Each button's option is in Options only while its event runs.
    dlg.OnFind = [&](TSReplace& sender) {
        record("find", srFindNext)(sender);
        EXPECT_TRUE(sender.CancelButton->hasFocus());
    };
    dlg.OnFindAll = record("findall", srFindAll);
    dlg.OnReplace = record("replace", srReplace);
    dlg.OnClose = record("close", srFindAll);
    Click(dlg.FindNextButton);
    EXPECT_TRUE(dlg.FindNextButton->hasFocus());
    Click(dlg.FindAllButton);
    EXPECT_TRUE(dlg.FindAllButton->hasFocus());
    Click(dlg.ReplaceButton);
    Click(dlg.CancelButton);
    EXPECT_TRUE(dlg.isVisible());  // Cancel stops a search; the dialog stays
    EXPECT_EQ(fired, (std::vector<std::string>{"find+", "findall+", "replace+", "close-"}));
    for (TSearchOption o : {srFindNext, srFindAll, srReplace})
        EXPECT_FALSE(dlg.Options().Contains(o));

    // Closing fires OnClose and only hides the dialog.
    fired.clear();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(fired, (std::vector<std::string>{"close-"}));

    // Unset events are skipped.
    dlg.OnFind = nullptr;
    dlg.FindNextButtonClick();
}

TEST_F(ReplaceDialog, ACommandWhileASearchRunsIsIgnoredButCancelIsNot) {
    dlg.Options().Include(srReplaceDlg);
    Show(dlg);
    int finds = 0, replaces = 0, closes = 0;
    dlg.OnReplace = [&](TSReplace&) { ++replaces; };
    dlg.OnClose = [&](TSReplace&) { ++closes; };
    dlg.OnFindAll = [&](TSReplace& sender) {
        ++finds;
        // The search lets the user interface run; the user clicks around.
        Click(sender.FindAllButton);
        Click(sender.FindNextButton);
        Click(sender.ReplaceButton);
        Click(sender.CancelButton);
    };
    dlg.OnFind = dlg.OnFindAll;
    Click(dlg.FindAllButton);
    EXPECT_EQ(finds, 1);
    EXPECT_EQ(replaces, 0);
    EXPECT_EQ(closes, 1);
    Click(dlg.ReplaceButton);  // afterwards it works again
    EXPECT_EQ(replaces, 1);
}

TEST_F(ReplaceDialog, ReplaceUponFindTakesEffectOnlyInReplaceMode) {
    dlg.Options().Include(srReplaceDlg);
    Show(dlg);
    Click(dlg.CheckBox(cbReplaceOnFind));
    std::vector<bool> seen;
    dlg.OnFindAll = [&](TSReplace& sender) {
        seen.push_back(sender.Options().Contains(srReplaceOnFind));
    };
    Click(dlg.FindAllButton);
    dlg.hide();
    dlg.Options().Exclude(srReplaceDlg);
    Show(dlg);
    Click(dlg.FindAllButton);
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
    EXPECT_TRUE(dlg.Options().Contains(srReplaceOnFind));  // the box keeps its state
}

// Every visible control with a mnemonic has its own; labels lead to their boxes.
void ExpectAcceleratorsUnique(const TSReplace& dlg) {
    QSet<QChar> keys;
    auto take = [&](const QString& caption) {
        const qsizetype amp = caption.indexOf(QLatin1Char('&'));
        if (amp < 0)
            return;
        const QChar key = caption.at(amp + 1).toUpper();
        EXPECT_FALSE(keys.contains(key)) << "accelerator " << key.toLatin1() << " twice";
        keys.insert(key);
    };
    for (auto* button : dlg.findChildren<QAbstractButton*>())
        if (button->isVisible())
            take(button->text());
    for (auto* label : dlg.findChildren<QLabel*>())
        if (label->isVisible())
            take(label->text());
}

// The screenshot of the dialog, with its caption drawn above it (the offscreen platform
// draws no frames), under the build folder.
void WriteShot(TSReplace& dlg, const char* name) {
    QApplication::processEvents();
    const QPixmap body = dlg.grab();
    QImage shot(body.width(), body.height() + 24, QImage::Format_RGB32);
    shot.fill(QColor(0, 0, 120));
    QPainter painter(&shot);
    painter.setPen(Qt::white);
    painter.drawText(QRect(6, 0, body.width(), 24), Qt::AlignVCenter, dlg.windowTitle());
    painter.drawPixmap(0, 24, body);
    painter.end();
    const std::string path = std::string(SORVANTI_UI_SHOTS_DIR) + "/" + name;
    EXPECT_TRUE(shot.save(QString::fromStdString(path))) << path;
}

TEST_F(ReplaceDialog, ShowingSelectsFindOrReplaceMode) {
    Show(dlg);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Search"));
    for (QWidget* w :
         {static_cast<QWidget*>(dlg.ReplaceEdit), static_cast<QWidget*>(dlg.ReplaceLabel),
          static_cast<QWidget*>(dlg.ReplaceButton),
          static_cast<QWidget*>(dlg.CheckBox(cbReplaceOnFind))})
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_TRUE(dlg.FindAllButton->isDefault());
    EXPECT_TRUE(dlg.FindEdit->hasFocus());
    ExpectAcceleratorsUnique(dlg);
    WriteShot(dlg, "Ureplace-find.png");

    dlg.hide();
    dlg.Options().Include(srReplaceDlg);
    Show(dlg);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Replace"));
    for (QWidget* w :
         {static_cast<QWidget*>(dlg.ReplaceEdit), static_cast<QWidget*>(dlg.ReplaceLabel),
          static_cast<QWidget*>(dlg.ReplaceButton),
          static_cast<QWidget*>(dlg.CheckBox(cbReplaceOnFind))})
        EXPECT_TRUE(w->isVisible()) << w->objectName().toStdString();
    EXPECT_EQ(dlg.ReplaceLabel->buddy(), dlg.ReplaceEdit);
    EXPECT_EQ(dlg.FindLabel->buddy(), dlg.FindEdit);
    ExpectAcceleratorsUnique(dlg);
    Type(dlg.FindEdit, "dw_customer");
    Type(dlg.ReplaceEdit, "dw_client");
    Click(dlg.CheckBox(cbWholeWord));
    Click(dlg.CheckBox(cbProxy));
    WriteShot(dlg, "Ureplace-replace.png");
}

}  // namespace
}  // namespace ui
