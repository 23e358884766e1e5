// Search across objects in the Application View over the sample workspace: the context
// menu's Search and Replace, the program's dialog taken over by the view searching, Find
// All and its scope, Find Next's question beside the hit, Replace/Undo from the dialog,
// the panel showing each hit, and a view closed while its search runs.

#include <QComboBox>
#include <QTimer>

#include <QMdiSubWindow>
#include <QPushButton>
#include <chrono>
#include <cstdio>

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
    static std::vector<std::string> Objects(TPickwellForm* view) {
        std::vector<std::string> out;
        for (int row = 0; row < view->ResultList->Count(); ++row)
            out.push_back(view->ResultList->Line(row).EntryName);
        return out;
    }
};

TEST_F(SearchViewTest, TheMenuOpensTheDialogInEitherModeForTheViewThatAsks) {
    TPickwellForm* view = StartOnOrders();
    ASSERT_NE(view, nullptr);
    view->PopupMenu1Popup(view->Outline1);
    EXPECT_TRUE(view->ReplaceMenu->isVisible() && view->ReplaceMenu->isEnabled());
    EXPECT_TRUE(view->Search1->isVisible());
    view->PopupMenu1Popup(view->FileListBox1);
    EXPECT_FALSE(view->ReplaceMenu->isVisible());
    EXPECT_TRUE(view->Search1->isVisible());
    view->PopupMenu1Popup(view->ListBox2);
    EXPECT_FALSE(view->ReplaceMenu->isVisible() || view->Search1->isVisible());

    view->Search1->trigger();
    EXPECT_TRUE(Dialog().isVisible());
    EXPECT_EQ(Dialog().windowTitle(), "Search");
    EXPECT_FALSE(Dialog().ReplaceEdit->isVisible());
    EXPECT_EQ(Dialog().EventOwner, view);
    // Replace while the dialog is on screen switches it to replace mode.
    view->PopupMenu1Popup(view->Outline1);
    view->ReplaceMenu->trigger();
    EXPECT_EQ(Dialog().windowTitle(), "Replace");
    EXPECT_TRUE(Dialog().ReplaceEdit->isVisible());

    // A second view takes the dialog over when it searches, and hands it back when the
    // first asks again; a closed view leaves no events behind.
    frame->FileNewItemClick();
    auto* second = dynamic_cast<TPickwellForm*>(frame->ActiveView());
    ASSERT_NE(second, view);
    second->Search1Click(false);
    EXPECT_EQ(Dialog().EventOwner, second);
    view->Search1Click(false);
    EXPECT_EQ(Dialog().EventOwner, view);
    view->parentWidget()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Dialog().EventOwner, nullptr);
    EXPECT_FALSE(Dialog().OnFind);
}

TEST_F(SearchViewTest, FindAllListsTheHitsAndAClickShowsEachOneSelected) {
    TPickwellForm* view = StartOnOrders();
    ASSERT_NE(view, nullptr);
    view->Search1Click(false);
    SetTexts("return");
    Dialog().FindAllButtonClick();
    EXPECT_EQ(view->ViewPage(), TPickwellForm::PageSearch);
    EXPECT_EQ(view->SearchScope(), TPickwellForm::PageApplication);
    EXPECT_FALSE(view->Searching());
    const int hits = view->ResultList->Count();
    ASSERT_GE(hits, 10);  // orders, ordbase, ordutil: library-list order
    EXPECT_EQ(view->ResultList->Line(0).EntryName, "w_orders");
    EXPECT_NE(view->ResultList->Line(0).Line.find("c:\\sorvanti-samples\\orders.pbl"),
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
    // The Directory page's entry list searches the chosen entries alone.
    view->SetViewPage(TPickwellForm::PageDirectory);
    view->DirectoryListBox1->SetDirectory("c:\\sorvanti-samples");
    view->FileListBox1->setCurrentRow(0);
    view->FileListBox1Click();
    ASSERT_GT(view->ListBox1->count(), 1);
    view->ListBox1->item(0)->setSelected(true);
    view->ListBox1Click();
    Dialog().FindAllButtonClick();
    EXPECT_EQ(view->SearchScope(), TPickwellForm::PageDirectory);
    for (const std::string& name : Objects(view))
        EXPECT_EQ(name, view->ListBox1->item(0)->text().toStdString());
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
    const std::string original = obj->Source;
    ASSERT_EQ(view->ResultList->Line(1).Object(), obj);
    view->ListBox2Click();
    QItemSelectionModel* selection = view->ListBox2->selectionModel();
    selection->select(view->ResultList->index(0), QItemSelectionModel::Select);
    selection->select(view->ResultList->index(1), QItemSelectionModel::Select);
    Dialog().ReplaceButtonClick();
    EXPECT_TRUE(obj->Modified);
    EXPECT_EQ(std::count_if(view->ResultList->Results().begin(), view->ResultList->Results().end(),
                            [](const search::TSearchResult& r) { return r.Replaced; }),
              2);
    const search::TSearchResult& second = view->ResultList->Line(1);
    EXPECT_EQ(obj->Source.substr(static_cast<size_t>(second.SelStart), 8), "RETURN_X");
    // The panel shows the replacement when the line is clicked.
    view->ListBox2->setCurrentIndex(view->ResultList->index(1));
    view->ListBox2Click();
    EXPECT_EQ(view->SourceMemo->textCursor().selectedText(), "RETURN_X");
    selection->select(view->ResultList->index(0), QItemSelectionModel::Select);
    Dialog().ReplaceButtonClick();
    EXPECT_EQ(obj->Source, original);
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
// The whole PFC workspace: Find All over its largest application keeps the window live,
// and the dialog's Cancel, pressed while it runs, ends the run at once.
TEST(SearchViewPfc, FindAllOverPfcStaysResponsiveAndCancelStopsIt) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    // The program's own screen: its message pump runs the event loop.
    ui::TQtShellUI screen;
    shell::TShellUI* previous = shell::SetShellUI(&screen);
    shell::InitUtilities({}, "c:\\Sorvanti");
    catalogue::SetRunFlag(true);
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    ASSERT_TRUE(workspace.error.empty()) << workspace.error;
    shell::OptionsForm().PBIniFileName = workspace.pbIni;
    {
        ui::TMainForm frame;
        screen.SetFrame(&frame);
        frame.Timer1->stop();
        frame.SetViewFactory([] { return new TPickwellForm; });
        frame.resize(1200, 800);
        frame.show();
        frame.Timer1Timer();
        auto* view = dynamic_cast<TPickwellForm*>(frame.ActiveView());
        ASSERT_NE(view, nullptr);
        views::TCustomWinTree& tree = view->Outline1->Model();
        for (int i = 1; i <= tree.ItemCount(); ++i)
            if (tree.Items(i)->Text().rfind("pfcexamp", 0) == 0)
                tree.SelectNode(tree.Items(i));
        view->Search1Click(false);
        ui::TSReplace& dialog = ui::ReplaceDialog();
        dialog.FindEdit->setEditText("this");

        // The longest gap between two turns of the event loop while the search runs.
        using Clock = std::chrono::steady_clock;
        Clock::time_point last = Clock::now();
        double longest = 0;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            longest = std::max(longest, std::chrono::duration<double>(now - last).count());
            last = now;
        });
        beat.start(0);
        const Clock::time_point start = Clock::now();
        dialog.FindAllButtonClick();
        const double whole = std::chrono::duration<double>(Clock::now() - start).count();
        beat.stop();
        const int hits = view->ResultList->Count();
        EXPECT_GT(hits, 5000);
        // Generous for a loaded machine: a pump per hit froze it for seconds.
        EXPECT_LT(longest, 1.0) << "the window froze for " << longest << " s";

        // Cancel at the first turn of the loop: the run ends at once.
        Clock::time_point cancelled;
        QTimer::singleShot(0, [&] {
            cancelled = Clock::now();
            dialog.CancelButtonClick();
        });
        dialog.FindAllButtonClick();
        const double after = std::chrono::duration<double>(Clock::now() - cancelled).count();
        EXPECT_LT(view->ResultList->Count(), hits);
        EXPECT_LT(after, 1.0);
        std::printf("PFC find all: %d hits in %.2f s, longest pause %.0f ms\n", hits, whole,
                    longest * 1e3);
        ui::FreeReplaceDialog();
        screen.SetFrame(nullptr);
    }
    catalogue::ResetOrcaMgr();
    shell::ResetOptionsForm();
    shell::ResetUtilities();
    shell::SetShellUI(previous);
}

}  // namespace
