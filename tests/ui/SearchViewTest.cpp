// Search across objects in the Application View over the sample workspace: the context
// menu's Search and Replace, the program's dialog taken over by the view searching, Find
// All and its scope, Find Next's question beside the hit, Replace/Undo from the dialog,
// the panel showing each hit, and a view closed while its search runs.

#include <QComboBox>
#include <QTimer>

#include <QMdiSubWindow>
#include <QPushButton>

#include "tests/ui/FrameViewFixture.h"

namespace {

using ui::TPickwellForm;
using uitest::FrameViewTest;

class SearchViewTest : public FrameViewTest {
  protected:
    // The view with the orders application selected, the dialog shown for it with texts.
    TPickwellForm* SearchOrders(bool replace, const std::string& find,
                                const std::string& with = {}) {
        TPickwellForm* view = Start();
        views::TWinTreeNode* app = view ? Node(view->Outline1, "orders") : nullptr;
        if (!app)
            return nullptr;
        view->Outline1->Model().SelectNode(app);
        (replace ? view->ReplaceMenu : view->Search1)->trigger();
        Dialog().FindEdit->setEditText(ui::FromAnsi(find));
        Dialog().ReplaceEdit->setEditText(ui::FromAnsi(with));
        return view;
    }
    static ui::TSReplace& Dialog() { return ui::ReplaceDialog(); }
    // Clicks result row: the panel shows its object with the hit selected.
    static QString Show(TPickwellForm* view, int row) {
        view->ListBox2->setCurrentIndex(view->ResultList->index(row));
        view->ListBox2Click();
        EXPECT_EQ(view->SourceMemo->SourceObject(), view->ResultList->Line(row).Object());
        return view->SourceMemo->textCursor().selectedText();
    }
};

TEST_F(SearchViewTest, TheMenuTakesTheDialogOverAndFindAllListsHitsThatAClickShows) {
    TPickwellForm* view = SearchOrders(false, "return");
    ASSERT_NE(view, nullptr);
    view->PopupMenu1Popup(view->Outline1);
    EXPECT_TRUE(view->ReplaceMenu->isVisible() && view->Search1->isVisible());
    view->PopupMenu1Popup(view->ListBox2);
    EXPECT_FALSE(view->ReplaceMenu->isVisible() || view->Search1->isVisible());
    EXPECT_TRUE(Dialog().isVisible() && !Dialog().ReplaceEdit->isVisible());
    EXPECT_TRUE(Dialog().windowTitle() == "Search" && Dialog().EventOwner == view);

    Dialog().FindAllButtonClick();
    EXPECT_TRUE(view->ViewPage() == TPickwellForm::PageSearch && !view->Searching());
    const int hits = view->ResultList->Count();
    ASSERT_GE(hits, 10);  // orders, ordbase, ordutil: library-list order
    EXPECT_EQ(view->ResultList->Line(0).EntryName, "w_orders");
    EXPECT_EQ(Show(view, 0).toLower(), "return");
    EXPECT_EQ(Show(view, hits - 1).toLower(), "return");
    uitest::SaveShot(*frame, "search-find-all");

    // From the Search page the last scope is searched again, whatever the page was.
    Dialog().FindEdit->setEditText("RETURN");
    Dialog().FindAllButtonClick();
    EXPECT_EQ(view->SearchScope(), TPickwellForm::PageApplication);
    EXPECT_EQ(view->ResultList->Count(), hits);

    // Replace while the dialog is on screen switches it to replace mode.
    view->PopupMenu1Popup(view->Outline1);
    view->ReplaceMenu->trigger();
    EXPECT_TRUE(Dialog().windowTitle() == "Replace" && Dialog().ReplaceEdit->isVisible());
}

TEST_F(SearchViewTest, FindNextAsksBesideTheHitAndReplaceUndoTogglesTheSelectedHits) {
    TPickwellForm* view = SearchOrders(true, "return", "RETURN_X");
    ASSERT_NE(view, nullptr);
    // The real question: text, buttons and place; All ends the questions.
    QString asked;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = QString("%1 %2 buttons at x %3")
                        .arg(box->text())
                        .arg(box->buttons().size())
                        .arg(box->pos().x());
            box->button(QMessageBox::YesToAll)->click();
        }
    });
    Dialog().FindNextButtonClick();
    EXPECT_EQ(asked, "Replace/Undo item? 4 buttons at x 20");
    ASSERT_GE(view->ResultList->Count(), 10);

    // Replace/Undo of two selected hits of one object: the panel shows the second
    // replacement at its moved place.
    catalogue::TPBObj* obj = view->ResultList->Line(0).Object();
    ASSERT_EQ(view->ResultList->Line(1).Object(), obj);
    Show(view, 0);
    view->ListBox2->selectionModel()->select(view->ResultList->index(1),
                                             QItemSelectionModel::Select);
    Dialog().ReplaceButtonClick();
    EXPECT_TRUE(obj->Modified && view->ResultList->Line(1).Replaced);
    EXPECT_EQ(Show(view, 1), "RETURN_X");

    // The user closes the view while a question is up: it closes once the search unwound.
    QPointer<QWidget> window = view->parentWidget();
    view->Search1Click(false);
    view->AnswerAfterHit = [&](int, bool) {
        window->close();
        return shell::mrYes;
    };
    Dialog().FindNextButtonClick();
    EXPECT_FALSE(window.isNull());
    QTRY_VERIFY(window.isNull());
    EXPECT_TRUE(Dialog().EventOwner == nullptr && !Dialog().Running());
}

}  // namespace
