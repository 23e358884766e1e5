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
    // The view with the orders application selected in the application tree.
    TPickwellForm* StartOnOrders() {
        TPickwellForm* view = Start();
        if (!view)
            return nullptr;
        views::TWinTreeNode* app = Node(view->Outline1, "orders");
        if (!app)
            return nullptr;
        view->Outline1->Model().SelectNode(app);
        return view;
    }
    static ui::TSReplace& Dialog() { return ui::ReplaceDialog(); }
    static void SetTexts(const std::string& find, const std::string& replace = {}) {
        Dialog().FindEdit->setEditText(ui::FromAnsi(find));
        Dialog().ReplaceEdit->setEditText(ui::FromAnsi(replace));
    }
};

TEST_F(SearchViewTest, TheMenuTakesTheDialogOverAndFindAllListsHitsThatAClickShows) {
    TPickwellForm* view = StartOnOrders();
    ASSERT_NE(view, nullptr);
    view->PopupMenu1Popup(view->Outline1);
    EXPECT_TRUE(view->ReplaceMenu->isVisible() && view->ReplaceMenu->isEnabled());
    EXPECT_TRUE(view->Search1->isVisible());
    view->PopupMenu1Popup(view->ListBox2);
    EXPECT_FALSE(view->ReplaceMenu->isVisible() || view->Search1->isVisible());

    view->Search1->trigger();
    EXPECT_TRUE(Dialog().isVisible() && !Dialog().ReplaceEdit->isVisible());
    EXPECT_EQ(Dialog().windowTitle(), "Search");
    EXPECT_EQ(Dialog().EventOwner, view);
    SetTexts("return");
    Dialog().FindAllButtonClick();
    EXPECT_EQ(view->ViewPage(), TPickwellForm::PageSearch);
    EXPECT_EQ(view->SearchScope(), TPickwellForm::PageApplication);
    EXPECT_FALSE(view->Searching());
    const int hits = view->ResultList->Count();
    ASSERT_GE(hits, 10);  // orders, ordbase, ordutil: library-list order
    EXPECT_EQ(view->ResultList->Line(0).EntryName, "w_orders");
    EXPECT_NE(view->ResultList->Line(0).Line.str().find("c:\\sorvanti-samples\\orders.pbl"),
              std::string::npos);

    for (int row : {0, hits - 1}) {
        view->ListBox2->setCurrentIndex(view->ResultList->index(row));
        view->ListBox2Click();
        EXPECT_EQ(view->SourceMemo->textCursor().selectedText().toLower(), "return") << row;
        EXPECT_EQ(view->SourceMemo->SourceObject(), view->ResultList->Line(row).Object());
    }
    uitest::SaveShot(*frame, "search-find-all");

    // From the Search page the last scope is searched again, whatever the page was.
    SetTexts("RETURN");
    Dialog().FindAllButtonClick();
    EXPECT_EQ(view->ResultList->Count(), hits);

    // Replace while the dialog is on screen switches it to replace mode.
    view->PopupMenu1Popup(view->Outline1);
    view->ReplaceMenu->trigger();
    EXPECT_EQ(Dialog().windowTitle(), "Replace");
    EXPECT_TRUE(Dialog().ReplaceEdit->isVisible());

    // A second view takes the dialog over when it searches, and hands it back when the
    // first asks again.
    frame->FileNewItemClick();
    auto* second = dynamic_cast<TPickwellForm*>(frame->ActiveView());
    ASSERT_NE(second, view);
    second->Search1Click(false);
    EXPECT_EQ(Dialog().EventOwner, second);
    view->Search1Click(false);
    EXPECT_EQ(Dialog().EventOwner, view);
}

TEST_F(SearchViewTest, FindNextAsksBesideTheHitAndReplaceUndoTogglesTheSelectedHits) {
    TPickwellForm* view = StartOnOrders();
    ASSERT_NE(view, nullptr);
    view->Search1Click(true);
    SetTexts("return", "RETURN_X");
    // The real question: text, buttons and place; All ends the questions.
    QString asked;
    QPoint at;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        asked = box->text();
        at = box->pos();
        EXPECT_EQ(box->buttons().size(), 4);
        box->button(QMessageBox::YesToAll)->click();
    });
    Dialog().FindNextButtonClick();
    EXPECT_EQ(asked, "Replace/Undo item?");
    EXPECT_EQ(at.x(), 20);
    const int hits = view->ResultList->Count();
    ASSERT_GE(hits, 10);

    // Replace/Undo of two selected hits of one object, then of both again.
    catalogue::TPBObj* obj = view->ResultList->Line(0).Object();
    ASSERT_NE(obj, nullptr);
    ASSERT_EQ(view->ResultList->Line(1).Object(), obj);
    view->ListBox2Click();
    QItemSelectionModel* selection = view->ListBox2->selectionModel();
    selection->select(view->ResultList->index(0), QItemSelectionModel::Select);
    selection->select(view->ResultList->index(1), QItemSelectionModel::Select);
    Dialog().ReplaceButtonClick();
    EXPECT_TRUE(obj->Modified && view->ResultList->Line(1).Replaced);
    // The panel shows the replacement, at its moved place, when the line is clicked.
    view->ListBox2->setCurrentIndex(view->ResultList->index(1));
    view->ListBox2Click();
    EXPECT_EQ(view->SourceMemo->textCursor().selectedText(), "RETURN_X");
}

TEST_F(SearchViewTest, AViewClosedWhileItSearchesStopsAndClosesAfterwards) {
    TPickwellForm* view = StartOnOrders();
    ASSERT_NE(view, nullptr);
    view->Search1Click(false);
    SetTexts("return");
    QPointer<QWidget> window = view->parentWidget();
    view->AnswerAfterHit = [&](int, bool) {
        window->close();  // the user closes the view while the question is up
        return shell::mrYes;
    };
    Dialog().FindNextButtonClick();
    EXPECT_FALSE(window.isNull());  // still there while the search unwinds
    QTRY_VERIFY(window.isNull());
    EXPECT_EQ(Dialog().EventOwner, nullptr);
    EXPECT_FALSE(Dialog().Running());
}

}  // namespace
