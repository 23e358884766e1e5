// The search-and-replace dialog on the offscreen platform: the widgets over the replace
// list (whose own rules tests/search checks), typing and choosing entries, the file
// dialogs and messages, the events and the controls held while a search runs, replace
// mode, and screenshots of both modes.

#include "ui/Ureplace.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <stdexcept>

#include "shell/Utilities.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"
#include "ui/AnsiText.h"
#include "ui/wintree.h"

namespace ui {
namespace {

using namespace search;
using Lines = std::vector<std::string>;

// Both drop-downs hold one item per entry, item i being entry i's text, and show the
// current entry; the boxes show the list's states.
void ExpectShowsList(const TSReplace& dlg) {
    const TReplaceList& list = dlg.List();
    for (QComboBox* box : {dlg.FindEdit, dlg.ReplaceEdit}) {
        ASSERT_EQ(box->count(), list.Count());
        for (int i = 0; i < list.Count(); ++i)
            EXPECT_EQ(box->itemText(i),
                      FromAnsi(box == dlg.FindEdit ? list.FindText(i) : list.ReplaceText(i)));
        EXPECT_EQ(box->currentIndex(), list.CurrentEntry());
        EXPECT_EQ(box->currentText(), box->itemText(list.CurrentEntry()));
    }
    for (int b = 0; b < ReplaceCheckBoxCount; ++b)
        EXPECT_EQ(dlg.CheckBoxes[b]->isChecked(), list.Checked(TReplaceCheckBox(b))) << b;
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

// The dialog in a prefix of its own, with the program's directory in it and a file
// chooser that records what it is asked and gives the file set in `chosen`.
class ReplaceDialog : public testing::Test {
  protected:
    ReplaceDialog() {
        shell::InitUtilities({}, "c:\\Sorvanti");
        std::filesystem::create_directories(prefix.DriveC() + "/Sorvanti");
        dlg.SetFileChooser([this](QWidget*, const TSReplace::TFileRequest& request) {
            requests.push_back(request);
            return QString::fromStdString(chosen);
        });
        Reshow(false);
    }
    ~ReplaceDialog() override { shell::ResetUtilities(); }
    void Reshow(bool replace) {
        dlg.hide();
        dlg.Options().Set(srReplaceDlg, replace);
        dlg.show();
        QApplication::processEvents();
    }
    // The offscreen platform activates only the first window it shows, so focus is the
    // dialog's focus widget, the one that has the focus whenever the dialog is active.
    bool Focused(QWidget* widget) const { return dlg.focusWidget() == widget; }
    // Clicks Load or Save with file chosen; the text of the message box it showed, if any.
    std::string Use(QPushButton* button, const std::string& file) {
        chosen = file;
        screen.boxes.clear();
        Click(button);
        EXPECT_LE(screen.boxes.size(), 1u);
        return screen.boxes.empty() ? "" : screen.boxes[0].text;
    }

    testsupport::TempPrefix prefix;
    testsupport::RecordingShellUI screen;
    std::vector<TSReplace::TFileRequest> requests;
    std::string chosen;
    TSReplace dlg;
};

TEST_F(ReplaceDialog, TypingChoosingTheListButtonsLoadAndSave) {
    Reshow(true);
    Type(dlg.FindEdit, "dw_1");
    Type(dlg.ReplaceEdit, "dw_main");
    Click(dlg.CheckBox(cbWholeWord));
    Click(dlg.AddButton);
    EXPECT_TRUE(Focused(dlg.FindEdit));
    QLineEdit* edit = dlg.FindEdit->lineEdit();
    QTest::keyClicks(edit, "of_x");
    Click(dlg.CheckBox(cbWholeWord));
    EXPECT_EQ(dlg.List().FindText(0) + dlg.List().ReplaceText(0) + dlg.FindText(),
              "dw_1dw_mainof_x");
    // Ctrl+Z takes the typing back, Ctrl+Shift+Z brings it again; the entry follows.
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(dlg.FindText(), "");
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(dlg.FindText(), "of_x");
    ExpectShowsList(dlg);
    // Typing in the middle keeps the caret where it was, with nothing selected.
    edit->setCursorPosition(2);
    QTest::keyClick(edit, Qt::Key_Z);
    EXPECT_EQ(dlg.FindText(), "ofz_x");
    EXPECT_TRUE(edit->cursorPosition() == 3 && !edit->hasSelectedText());

    // Choosing entry 0 in the drop-down (keyboard Up) brings back its texts and boxes.
    dlg.ReplaceEdit->setFocus();
    QTest::keyClick(dlg.ReplaceEdit, Qt::Key_Up);
    EXPECT_TRUE(dlg.CurrentEntry() == 0 && dlg.Options().Contains(srWholeWord));
    ExpectShowsList(dlg);
    // Return adds no item and does not jump to the other entry with the same text; it
    // presses the default button, Find All.
    int findAll = 0;
    dlg.OnFindAll = [&](TSReplace&) { ++findAll; };
    Type(dlg.FindEdit, "ofz_x");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(findAll == 1 && dlg.CurrentEntry() == 0);
    // Texts are Windows-1252: the euro sign is 0x80; what the code page lacks is '?'.
    edit->insert(QString::fromUtf8("\u20AC\u00E9\u4E2D"));
    EXPECT_EQ(dlg.FindText(), "ofz_x\x80\xE9?");
    ExpectShowsList(dlg);  // the drop-down shows the same characters

    // Each list button changes the list, and both drop-downs follow.
    const std::pair<QPushButton*, int> buttons[] = {
        {dlg.InsertButton, 3}, {dlg.DeleteButton, 2}, {dlg.AddButton, 3}, {dlg.Clear, 1}};
    for (const auto& [button, count] : buttons) {
        Click(button);
        EXPECT_EQ(dlg.List().Count(), count) << button->text().toStdString();
        ExpectShowsList(dlg);
    }

    // Save and Load, with the file chooser's requests.
    Type(dlg.FindEdit, "one");
    Click(dlg.AddButton);
    Click(dlg.CheckBox(cbQuery));
    const Lines saved = dlg.List().EntryLines();
    EXPECT_EQ(Use(dlg.SaveButton, prefix.DriveC() + "/one.gsr"), "");
    Click(dlg.Clear);
    EXPECT_EQ(Use(dlg.LoadButton, prefix.DriveC() + "/one.gsr"), "");
    EXPECT_EQ(dlg.List().EntryLines(), saved);
    ExpectShowsList(dlg);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].save && !requests[1].save);
    for (const auto& r : requests) {
        EXPECT_EQ(r.title + "|" + r.filter + "|" + r.defaultSuffix,
                  (r.save ? "Save" : "Load") +
                      QStringLiteral(" Global Search and Replace File|Global Search and Replace "
                                     "Files (*.gsr)|gsr"));
        EXPECT_EQ(std::filesystem::path(r.directory.toStdString()),
                  std::filesystem::path(prefix.DriveC() + "/Sorvanti"));
    }
    // A cancelled load changes nothing but makes entry 0 current again.
    dlg.SelectEntry(1);
    EXPECT_EQ(Use(dlg.LoadButton, ""), "");
    EXPECT_EQ(dlg.CurrentEntry(), 0);
    // A file that cannot be read or written (or is no list, which the list's tests
    // check): a message, the list kept.
    for (const auto& [button, name] :
         {std::pair{dlg.LoadButton, "/missing.gsr"}, std::pair{dlg.SaveButton, "/no/x.gsr"}}) {
        EXPECT_NE(Use(button, prefix.DriveC() + name), "") << name;
        EXPECT_EQ(dlg.List().EntryLines(), saved);
        ExpectShowsList(dlg);
    }
}

TEST_F(ReplaceDialog, ButtonsFireTheirEventsAndHoldTheListWhileTheyRun) {
    Reshow(true);
    Click(dlg.CheckBox(cbReplaceOnFind));
    Type(dlg.FindEdit, "one");
    Click(dlg.AddButton);
    const Lines lines = dlg.List().EntryLines();
    TSearchOptions options = dlg.Options();
    options.Exclude(srReplaceDlg);  // the last runs are in find mode
    std::vector<QWidget*> held = {dlg.AddButton, dlg.InsertButton, dlg.DeleteButton, dlg.Clear,
                                  dlg.LoadButton};
    held.insert(held.end(), dlg.CheckBoxes.begin(), dlg.CheckBoxes.end());
    Lines fired;
    // Records the event with "+" when option is in Options while it runs, and checks that
    // the run keeps the list and the options, whatever the user (or a handler) does.
    auto record = [&](const char* name, TSearchOption option) {
        return [&, name, option](TSReplace& sender) {
            fired.push_back(std::string(name) + (sender.Options().Contains(option) ? "+" : "-"));
            EXPECT_TRUE(Focused(option == srReplace ? sender.ReplaceButton : sender.CancelButton));
            for (QWidget* control : held)
                EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
            EXPECT_TRUE(sender.SaveButton->isEnabled() && sender.CancelButton->isEnabled());
            // No second run, and no list change, whether by the buttons' handlers or by a
            // box changed under the dialog.
            for (auto handler : {&TSReplace::FindAllButtonClick, &TSReplace::FindNextButtonClick,
                                 &TSReplace::ReplaceButtonClick, &TSReplace::AddButtonClick,
                                 &TSReplace::InsertButtonClick, &TSReplace::DeleteButtonClick,
                                 &TSReplace::ClearClick, &TSReplace::LoadButtonClick})
                (sender.*handler)();
            sender.CheckBox(cbMatchCase)->setChecked(true);
            sender.CheckBoxClick(cbMatchCase, true);
            sender.SelectEntry(0);  // the search walks the entries itself
            EXPECT_TRUE(sender.List().EntryLines() == lines && requests.empty());
            ExpectShowsList(sender);
        };
    };
    dlg.OnFind = record("find", srFindNext);
    dlg.OnFindAll = record("findall", srReplaceOnFind);
    dlg.OnReplace = [&](TSReplace& sender) {
        record("replace", srReplace)(sender);
        Click(sender.CancelButton);  // stops the search; the run ends
    };
    dlg.OnClose = [&](TSReplace& s) { fired.push_back(s.Running() ? "cancel" : "close"); };
    Click(dlg.FindNextButton);
    EXPECT_TRUE(Focused(dlg.FindNextButton));
    Click(dlg.FindAllButton);
    EXPECT_TRUE(Focused(dlg.FindAllButton));
    Click(dlg.ReplaceButton);
    Reshow(false);  // Replace Upon Find, hidden in find mode, never replaces there
    Click(dlg.FindAllButton);
    dlg.OnFind = [](TSReplace&) { throw std::runtime_error("the search failed"); };
    EXPECT_THROW(dlg.FindNextButtonClick(), std::runtime_error);
    EXPECT_EQ(fired, (Lines{"find+", "findall+", "replace+", "cancel", "findall-"}));
    // However the run ended, the options and the controls are back.
    EXPECT_TRUE(!dlg.Running() && dlg.Options() == options);
    for (QWidget* control : held)
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    // Closing fires OnClose and only hides the dialog.
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(!dlg.isVisible() && fired.back() == "close");
}

TEST_F(ReplaceDialog, ShowingSelectsFindOrReplaceModeAndTheBoxesSetTheirOptions) {
    EXPECT_TRUE(!dlg.isModal() && (dlg.windowFlags() & Qt::WindowStaysOnTopHint));
    ExpectShowsList(dlg);
    for (bool replace : {false, true}) {
        Reshow(replace);
        EXPECT_EQ(dlg.windowTitle(), replace ? "Replace" : "Search");
        for (QWidget* w :
             std::initializer_list<QWidget*>{dlg.ReplaceEdit, dlg.ReplaceLabel, dlg.ReplaceButton,
                                             dlg.CheckBox(cbReplaceOnFind)})
            EXPECT_EQ(w->isVisible(), replace) << w->objectName().toStdString();
        EXPECT_TRUE(Focused(dlg.FindEdit) && dlg.FindAllButton->isDefault());
        // Every visible caption (buttons, boxes, labels) has an accelerator of its own.
        QString keys;
        for (auto* w : dlg.findChildren<QWidget*>()) {
            const QString caption = w->isVisible() ? w->property("text").toString() : QString();
            const qsizetype amp = caption.indexOf(QLatin1Char('&'));
            if (amp >= 0 && amp + 1 < caption.size()) {
                EXPECT_FALSE(keys.contains(caption.at(amp + 1).toUpper())) << caption.toStdString();
                keys += caption.at(amp + 1).toUpper();
            }
        }
        // A screenshot under the build folder (the offscreen platform draws no frames).
        EXPECT_TRUE(dlg.grab().save(QStringLiteral(SORVANTI_UI_SHOTS_DIR "/Ureplace-") +
                                    (replace ? "replace" : "find") + ".png"));
    }
    // Each box (Replace Upon Find too, shown in replace mode), found by its name
    // "CheckBox" + X + "Option", controls option "sr" + X.
    for (int b = cbApplication; b < ReplaceCheckBoxCount; ++b) {
        const QString name = QString::fromLatin1(CheckBoxNames[b].data(), CheckBoxNames[b].size());
        auto* box = dlg.findChild<QCheckBox*>(name);
        ASSERT_NE(box, nullptr) << CheckBoxNames[b];
        const int member = SearchOptionByName("sr" + name.mid(8, name.size() - 14).toStdString());
        for (bool on : {!box->isChecked(), box->isChecked()}) {
            Click(box);
            EXPECT_EQ(dlg.Options().Contains(member), on) << CheckBoxNames[b];
        }
    }
    Click(dlg.CheckBox(cbMenu));  // unchecks ALL on screen too
    ExpectShowsList(dlg);
    // Alt+L is ALL (an accelerator clicks its box after a short animation).
    QTest::keyClick(dlg.focusWidget(), Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg.CheckBox(cbMenu)->isChecked(); }, 2000));
    EXPECT_TRUE(dlg.Options().Contains(srMenu));
}

}  // namespace
}  // namespace ui
