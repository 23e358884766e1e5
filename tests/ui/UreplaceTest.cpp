// The search-and-replace dialog on the offscreen platform: its check boxes and options,
// typing and choosing entries, the list buttons, replace-list files through a supplied
// file chooser, the events, replace mode, and screenshots of both modes.

#include "ui/Ureplace.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include <filesystem>

#include "platform/Prefix.h"
#include "shell/utilities.h"
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

// Shows the dialog. (The offscreen platform activates only the first window it shows,
// so focus is checked as the dialog's focus widget, the one that has the focus whenever
// the dialog is active.)
void Show(TSReplace& dlg) {
    dlg.show();
    QApplication::processEvents();
}

bool Focused(const TSReplace& dlg, QWidget* widget) {
    return dlg.focusWidget() == widget;
}

class ReplaceDialog : public ::testing::Test {
  protected:
    void SetUp() override { Show(dlg); }
    // Shows the dialog again, in replace mode or not.
    void Reshow(bool replace) {
        dlg.hide();
        dlg.Options().Set(srReplaceDlg, replace);
        Show(dlg);
    }
    TSReplace dlg;
};

TEST_F(ReplaceDialog, CheckBoxesAndOptions) {
    EXPECT_FALSE(dlg.isModal());
    EXPECT_TRUE(dlg.windowFlags() & Qt::WindowStaysOnTopHint);
    ExpectShowsList(dlg);

    // Each box, found by its name "CheckBox" + X + "Option", controls option "sr" + X.
    Reshow(true);  // Replace Upon Find is shown only in replace mode
    for (int b = cbApplication; b < ReplaceCheckBoxCount; ++b) {
        const QString name = QString::fromLatin1(CheckBoxNames[b].data(), CheckBoxNames[b].size());
        auto* box = dlg.findChild<QCheckBox*>(name);
        ASSERT_NE(box, nullptr) << CheckBoxNames[b];
        const int member = SearchOptionByName("sr" + name.mid(8, name.size() - 14).toStdString());
        ASSERT_GE(member, 0) << CheckBoxNames[b];
        const bool before = box->isChecked();
        Click(box);
        EXPECT_EQ(dlg.Options().Contains(member), !before) << CheckBoxNames[b];
        Click(box);
        EXPECT_EQ(dlg.Options().Contains(member), before) << CheckBoxNames[b];
    }

    // Unchecking a type unchecks ALL and nothing else; ALL sets every type.
    Click(dlg.CheckBox(cbMenu));
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("", "", "01110111111100"));
    ExpectShowsList(dlg);
    Click(dlg.CheckBox(cbAllOptions));
    Click(dlg.CheckBox(cbAllOptions));
    EXPECT_EQ(dlg.Options(), (TSearchOptions{srDown, srReplaceDlg}));

    // Alt+L is ALL (an accelerator clicks its box after a short animation).
    QTest::keyClick(dlg.focusWidget(), Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.CheckBox(cbWindow)->isChecked(); }, 2000));
    EXPECT_TRUE(dlg.Options().Contains(srWindow));
}

TEST_F(ReplaceDialog, TypingChangesTheCurrentEntryAndChoosingLoadsAnother) {
    Reshow(true);
    Type(dlg.FindEdit, "dw_1;dw_2");  // a semicolon is an ordinary character
    Type(dlg.ReplaceEdit, "dw_main");
    Click(dlg.CheckBox(cbWholeWord));
    Click(dlg.AddButton);
    EXPECT_TRUE(Focused(dlg, dlg.FindEdit));
    Type(dlg.FindEdit, "of_x");
    Click(dlg.CheckBox(cbMatchCase));
    Click(dlg.CheckBox(cbWholeWord));
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("dw_1;dw_2", "dw_main", "11111111111110"));
    EXPECT_EQ(dlg.List().EntryLines()[1], Line("of_x", "", "11111111111101"));
    ExpectShowsList(dlg);

    // Typing in the middle keeps the caret where it was, with nothing selected.
    dlg.FindEdit->lineEdit()->setCursorPosition(2);
    QTest::keyClick(dlg.FindEdit->lineEdit(), Qt::Key_Z);
    EXPECT_EQ(dlg.FindText(), "ofz_x");
    EXPECT_EQ(dlg.FindEdit->lineEdit()->cursorPosition(), 3);
    EXPECT_FALSE(dlg.FindEdit->lineEdit()->hasSelectedText());

    // Choosing entry 0 in the drop-down (keyboard Up) brings back its texts and boxes.
    dlg.ReplaceEdit->setFocus();
    QTest::keyClick(dlg.ReplaceEdit, Qt::Key_Up);
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    EXPECT_TRUE(dlg.Options().Contains(srWholeWord));
    ExpectShowsList(dlg);

    // Return adds no item and does not jump to the other entry with the same text; it
    // presses the default button, Find All.
    int findAll = 0;
    dlg.OnFindAll = [&](TSReplace&) { ++findAll; };
    Type(dlg.FindEdit, "ofz_x");
    QTest::keyClick(dlg.FindEdit->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(findAll, 1);
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    ExpectShowsList(dlg);

    // Texts are Windows-1252: the euro sign is 0x80; what the code page lacks is '?'.
    dlg.FindEdit->lineEdit()->insert(QString::fromUtf8("\u20AC\u00E9\u4E2D"));
    EXPECT_EQ(dlg.FindText(), "ofz_x\x80\xE9?");
    ExpectShowsList(dlg);
}

TEST_F(ReplaceDialog, AddInsertDeleteClear) {
    Type(dlg.FindEdit, "a");
    Click(dlg.AddButton);
    Type(dlg.FindEdit, "c");
    Click(dlg.InsertButton);  // before "c"
    Type(dlg.FindEdit, "b");
    EXPECT_EQ(dlg.List().FindText(0) + dlg.List().FindText(1) + dlg.List().FindText(2), "abc");
    ExpectShowsList(dlg);

    // Deleting the last entry makes the new last one current; the only one stays.
    dlg.SelectEntry(2);
    Click(dlg.DeleteButton);
    EXPECT_EQ(dlg.FindEdit->currentText(), QStringLiteral("b"));
    Click(dlg.DeleteButton);
    Click(dlg.DeleteButton);
    ASSERT_EQ(dlg.EntryCount(), 1);
    EXPECT_EQ(dlg.FindText(), "a");
    ExpectShowsList(dlg);

    // Clear leaves one empty entry; the boxes keep their states.
    Click(dlg.CheckBox(cbMatchCase));
    Click(dlg.AddButton);
    Click(dlg.Clear);
    EXPECT_EQ(dlg.List().EntryLines(), std::vector<std::string>{S});
    EXPECT_TRUE(dlg.CheckBox(cbMatchCase)->isChecked());
    ExpectShowsList(dlg);
}

class ReplaceDialogFiles : public ReplaceDialog {
  protected:
    ReplaceDialogFiles() {
        platform::SetPrefixDir(prefix.PrefixPath());
        shell::InitUtilities({}, "c:\\Sorvanti");
        std::filesystem::create_directories(prefix.DriveC() + "/Sorvanti");
        dlg.SetFileChooser([this](QWidget*, const TSReplace::TFileRequest& request) {
            requests.push_back(request);
            return chosen;
        });
    }
    ~ReplaceDialogFiles() override {
        shell::ResetUtilities();
        platform::SetPrefixDir({});
    }
    void Choose(const std::string& hostPath) { chosen = QString::fromStdString(hostPath); }

    testsupport::TempPrefix prefix;
    testsupport::RecordingShellUI screen;
    std::vector<TSReplace::TFileRequest> requests;
    QString chosen;
};

TEST_F(ReplaceDialogFiles, SaveThenLoadGivesBackTheEntries) {
    Reshow(true);
    Type(dlg.FindEdit, "dw_1;dw_2");
    Type(dlg.ReplaceEdit, "dw_main");
    Click(dlg.CheckBox(cbReplaceOnFind));  // not part of any entry
    Click(dlg.AddButton);
    Type(dlg.FindEdit, "~n*end");
    Click(dlg.CheckBox(cbQuery));
    Click(dlg.CheckBox(cbMatchCase));
    const std::vector<std::string> saved = dlg.List().EntryLines();

    Choose(prefix.DriveC() + "/one.gsr");
    Click(dlg.SaveButton);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].save);
    EXPECT_EQ(requests[0].title, QStringLiteral("Save Global Search and Replace File"));
    EXPECT_EQ(requests[0].filter, QStringLiteral("Global Search and Replace Files (*.gsr)"));
    EXPECT_EQ(requests[0].defaultSuffix, QStringLiteral("gsr"));
    EXPECT_EQ(std::filesystem::path(requests[0].directory.toStdString()),
              std::filesystem::path(prefix.DriveC() + "/Sorvanti"));
    EXPECT_EQ(testsupport::ReadFile(chosen.toStdString()), saved[0] + "\r\n" + saved[1] + "\r\n");

    Click(dlg.Clear);
    Click(dlg.CheckBox(cbReplaceOnFind));
    Click(dlg.LoadButton);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].title, QStringLiteral("Load Global Search and Replace File"));
    EXPECT_EQ(dlg.List().EntryLines(), saved);
    EXPECT_TRUE(dlg.Options().Contains(srQuery));  // entry 0 applied
    EXPECT_FALSE(dlg.CheckBox(cbReplaceOnFind)->isChecked());
    ExpectShowsList(dlg);

    // A cancelled load changes nothing but makes entry 0 current again.
    dlg.SelectEntry(1);
    Choose({});
    Click(dlg.LoadButton);
    EXPECT_EQ(dlg.List().EntryLines(), saved);
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    ExpectShowsList(dlg);

    // A line of the two texts only gets the default options; bytes show as Windows-1252.
    Choose(prefix.DriveC() + "/one.gsr");
    testsupport::WriteFile(chosen.toStdString(), "\x80" + S + "\xE9\r\n");
    Click(dlg.LoadButton);
    EXPECT_EQ(dlg.List().EntryLines()[0], Line("\x80", "\xE9", "11111111111100"));
    EXPECT_EQ(dlg.FindEdit->currentText(), QString::fromUtf8("\u20AC"));
    ExpectShowsList(dlg);
    EXPECT_TRUE(screen.boxes.empty());
}

TEST_F(ReplaceDialogFiles, ABadFileShowsAMessageAndKeepsTheEntries) {
    Type(dlg.FindEdit, "keep");
    Click(dlg.AddButton);
    Type(dlg.FindEdit, "me");
    const std::vector<std::string> before = dlg.List().EntryLines();

    const std::string dir = prefix.DriveC();
    testsupport::WriteFile(dir + "/nosep.gsr", "a" + S + "b\r\n\r\nc" + S + "d\r\n");
    testsupport::WriteFile(dir + "/binary.gsr", std::string("PK\x03\x04\0\0", 6));
    for (const std::string& file :
         {dir + "/missing.gsr", dir + "/nosep.gsr", dir + "/binary.gsr"}) {
        SCOPED_TRACE(file);
        screen.boxes.clear();
        Choose(file);
        Click(dlg.LoadButton);
        ASSERT_EQ(screen.boxes.size(), 1u);
        EXPECT_EQ(screen.boxes[0].kind, shell::TMsgDlgType::mtError);
        EXPECT_EQ(dlg.List().EntryLines(), before);
        EXPECT_EQ(dlg.CurrentEntry(), 1);
        ExpectShowsList(dlg);
    }

    // A file that cannot be written is reported, not taken for saved.
    screen.boxes.clear();
    Choose(dir + "/no/such/folder/x.gsr");
    Click(dlg.SaveButton);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].kind, shell::TMsgDlgType::mtError);
}

TEST_F(ReplaceDialog, ButtonsFireTheirEvents) {
    Reshow(true);
    Click(dlg.CheckBox(cbReplaceOnFind));
    std::vector<std::string> fired;
    // Records the event with "+" when the option is in Options while it runs.
    auto record = [&](const char* name, TSearchOption option) {
        return [&fired, name, option](TSReplace& sender) {
            fired.push_back(std::string(name) + (sender.Options().Contains(option) ? "+" : "-"));
        };
    };
    dlg.OnFind = [&](TSReplace& sender) {
        record("find", srFindNext)(sender);
        EXPECT_TRUE(Focused(sender, sender.CancelButton));
        // The search lets the user interface run: only Cancel works meanwhile.
        for (QAbstractButton* button :
             {sender.FindAllButton, sender.FindNextButton, sender.ReplaceButton})
            Click(button);
    };
    dlg.OnFindAll = record("findall", srReplaceOnFind);
    dlg.OnReplace = record("replace", srReplace);
    dlg.OnClose = record("close", srFindNext);
    Click(dlg.FindNextButton);
    EXPECT_TRUE(Focused(dlg, dlg.FindNextButton));
    Click(dlg.FindAllButton);
    EXPECT_TRUE(Focused(dlg, dlg.FindAllButton));
    Click(dlg.ReplaceButton);
    Click(dlg.CancelButton);
    EXPECT_TRUE(dlg.isVisible());  // Cancel stops a search; the dialog stays
    // Replace Upon Find, hidden in find mode, never replaces there.
    Reshow(false);
    Click(dlg.FindAllButton);
    EXPECT_EQ(fired,
              (std::vector<std::string>{"find+", "findall+", "replace+", "close-", "findall-"}));
    for (TSearchOption o : {srFindNext, srFindAll, srReplace})
        EXPECT_FALSE(dlg.Options().Contains(o));
    EXPECT_TRUE(dlg.Options().Contains(srReplaceOnFind));

    // Closing fires OnClose and only hides the dialog.
    fired.clear();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(fired, (std::vector<std::string>{"close-"}));
}

// Every visible control with an accelerator has its own.
void ExpectAcceleratorsUnique(const TSReplace& dlg) {
    QSet<QChar> keys;
    QStringList captions;
    for (auto* button : dlg.findChildren<QAbstractButton*>())
        if (button->isVisible())
            captions << button->text();
    for (auto* label : dlg.findChildren<QLabel*>())
        if (label->isVisible())
            captions << label->text();
    for (const QString& caption : captions) {
        const qsizetype amp = caption.indexOf(QLatin1Char('&'));
        if (amp < 0)
            continue;
        const QChar key = caption.at(amp + 1).toUpper();
        EXPECT_FALSE(keys.contains(key)) << "accelerator " << key.toLatin1() << " twice";
        keys.insert(key);
    }
}

// A screenshot under the build folder, with the caption drawn above it (the offscreen
// platform draws no window frames).
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
    const std::array<QWidget*, 4> replaceControls = {
        dlg.ReplaceEdit, dlg.ReplaceLabel, dlg.ReplaceButton, dlg.CheckBox(cbReplaceOnFind)};
    for (bool replace : {false, true}) {
        Reshow(replace);
        EXPECT_EQ(dlg.windowTitle(),
                  replace ? QStringLiteral("Replace") : QStringLiteral("Search"));
        for (QWidget* w : replaceControls)
            EXPECT_EQ(w->isVisible(), replace) << w->objectName().toStdString();
        EXPECT_TRUE(Focused(dlg, dlg.FindEdit));
        EXPECT_TRUE(dlg.FindAllButton->isDefault());
        ExpectAcceleratorsUnique(dlg);
        if (!replace)
            WriteShot(dlg, "Ureplace-find.png");
    }
    Type(dlg.FindEdit, "dw_customer");
    Type(dlg.ReplaceEdit, "dw_client");
    Click(dlg.CheckBox(cbWholeWord));
    Click(dlg.CheckBox(cbProxy));
    WriteShot(dlg, "Ureplace-replace.png");
}

}  // namespace
}  // namespace ui
