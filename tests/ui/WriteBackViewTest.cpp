// Writing back from the Application View over the sample workspace: the Compile and
// source-control submenus, a compile run and its second click, Save All Changes from the
// frame's button, and the check-out dialog taking the destination the user typed.

#include <QLineEdit>
#include <QPushButton>

#include "build/Rebuild.h"
#include "tests/ui/FrameViewFixture.h"

namespace {

using ui::TPickwellForm;
using uitest::FrameViewTest;

class WriteBackViewTest : public FrameViewTest {
  protected:
    // The view with the orders application opened and the node of name selected.
    TPickwellForm* StartOn(const std::string& name) {
        TPickwellForm* view = Start();
        if (!view || !ExpandOrders(view))
            return nullptr;
        views::TWinTreeNode* node = Node(view->Outline1, name);
        if (node)
            view->Outline1->Model().SelectNode(node);
        return node ? view : nullptr;
    }
    void UseTemporaryLibrary() {
        MakeLibrary("c:\\tmp\\temp.pbl", {});
        shell::OptionsForm().TempLibrary = "c:\\tmp\\temp.pbl";
    }
    std::vector<std::string> Compiled() const {
        std::vector<std::string> out;
        for (const std::string& s : screen.statusTexts)
            if (s.rfind("Regenerating ", 0) == 0 || s.rfind("Rebuilding ", 0) == 0)
                out.push_back(s.substr(s.rfind("->") + 2));
        return out;
    }
};

TEST_F(WriteBackViewTest, CompileRunsFromTheMenuAndASecondClickStopsThem) {
    TPickwellForm* view = StartOn("orders");
    ASSERT_NE(view, nullptr);
    view->PopupMenu1Popup(view->Outline1);
    EXPECT_TRUE(view->CompileMenu->menuAction()->isVisible());
    EXPECT_TRUE(view->ImportMenu->isEnabled());
    EXPECT_FALSE(view->CreateExecutableMenu->isVisible());
    EXPECT_TRUE(view->SourceControlMenu->menuAction()->isVisible());
    view->PopupMenu1Popup(view->FileListBox1);
    EXPECT_FALSE(view->CompileMenu->menuAction()->isVisible());
    EXPECT_FALSE(view->SourceControlMenu->menuAction()->isVisible());

    // Without a temporary library: the message, then Preferences; nothing compiled.
    view->CompileMenuClick(true);
    EXPECT_EQ(screen.BoxTexts().back(), "A Temporary Library is required.  See Preferences.");
    EXPECT_EQ(screen.preferencesCalls, 1);
    EXPECT_TRUE(Compiled().empty());

    UseTemporaryLibrary();
    view->Outline1->Model().SelectNode(Node(view->Outline1, "orders"));
    view->CompileMenuClick(true);
    const std::vector<std::string> all = Compiled();
    ASSERT_GT(all.size(), 5u);
    EXPECT_EQ(all.front(), "orders");  // the application entry comes first in its library
    EXPECT_EQ(view->CompileMenu->title(), "Compile");

    // The second click, while the run lets the loop run, stops it at the next entry.
    screen.statusTexts.clear();
    int pumps = 0;
    screen.onProcessMessages = [&] {
        if (++pumps == 2) {
            EXPECT_EQ(view->CompileMenu->title(), "Stop Compile");
            view->CompileMenuClick(false);
        }
    };
    view->CompileMenuClick(false);
    EXPECT_EQ(Compiled().size(), 1u);
    EXPECT_FALSE(build::CompileInProgress());
    EXPECT_EQ(view->CompileMenu->title(), "Compile");
}

TEST_F(WriteBackViewTest, SaveAllChangesWritesThePanelsEditBack) {
    TPickwellForm* view = StartOn("w_orders");
    ASSERT_NE(view, nullptr);
    UseTemporaryLibrary();
    view->Outline1Click(view->Outline1);
    view->SourceMemo->moveCursor(QTextCursor::End);
    view->SourceMemo->insertPlainText("// saved from the panel\n");
    frame->SpeedButton2->click();
    catalogue::TPBObj* obj = view->SourceMemo->SourceObject();
    ASSERT_NE(obj, nullptr);
    EXPECT_FALSE(obj->Modified);
    obj->LoadSource();  // what the library now holds
    EXPECT_NE(obj->SourceText().find("// saved from the panel\r\n"), std::string::npos);
    EXPECT_FALSE(frame->SpeedButton2->isChecked());
}

TEST_F(WriteBackViewTest, CheckOutTakesTheDestinationShownWhenOkIsPressed) {
    TPickwellForm* view = StartOn("w_orders");
    ASSERT_NE(view, nullptr);
    MakeLibrary("c:\\work\\mine.pbl", {});
    MakeLibrary("c:\\work\\chosen.pbl", {});
    ui::SetFileChooser([&](QWidget*, const ui::TFileRequest&) {
        return QString::fromStdString(prefix.DriveC() + "/work/chosen.pbl");
    });
    view->CheckOutMenuClick();
    ui::TCheckOutForm& form = ui::CheckOutForm();
    ASSERT_TRUE(form.isVisible());
    QTRY_COMPARE(form.DestLibraryEdit->text(), QString("c:\\work\\chosen.pbl"));
    form.UserIDEdit->setText("alice");
    form.DestLibraryEdit->setText("c:\\work\\mine.pbl");  // the user types another
    EXPECT_TRUE(form.OpenButtonClick());
    EXPECT_FALSE(form.isVisible());
    ui::SetFileChooser(nullptr);
    std::vector<char> buffer(1 << 16);
    EXPECT_EQ(Mgr().GetSession().EntryExport("c:\\work\\mine.pbl", "w_orders", PBORCA_WINDOW,
                                             buffer.data(), static_cast<int32_t>(buffer.size())),
              PBORCA_OK);

    // On a library node the dialog does not open.
    form.hide();
    view->Outline1->Model().SelectNode(Node(view->Outline1, "c:\\sorvanti-samples\\orders.pbl"));
    view->CheckOutMenuClick();
    EXPECT_FALSE(form.isVisible());
}

// Another process imports into a library the views show: detection only marks it; the
// refresh comes with the user's Refresh, or with the automatic refresh the settings
// choose, and both views follow.
TEST_F(WriteBackViewTest, ChangesOnDiskAreDetectedAndEveryViewFollowsTheRefresh) {
    TPickwellForm* first = StartOn("w_orders");
    ASSERT_NE(first, nullptr);
    frame->FileNewItemClick();
    auto* second = dynamic_cast<TPickwellForm*>(frame->ActiveView());
    ASSERT_TRUE(second && ExpandOrders(second));
    EXPECT_TRUE(frame->DetectTimer->isActive());  // the settings' timer runs after start-up
    int hours = 0;
    const auto importWindow = [&](const std::string& name) {
        const std::string file = prefix.Path().string() + "/" + name + ".srw";
        testsupport::WriteFile(file, cattest::SourceOf(name, PBORCA_WINDOW, "window"));
        const std::string command = std::string(SORVANTI_PBLUTIL) + " import '" + prefix.DriveC() +
                                    "/sorvanti-samples/orders.pbl' '" + file + "' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        // The file's date moves on, as a later write would make it.
        const std::string lib = prefix.DriveC() + "/sorvanti-samples/orders.pbl";
        const std::string later = "'+" + std::to_string(++hours) + " hours'";
        ASSERT_EQ(std::system(("touch -d " + later + " '" + lib + "'").c_str()), 0);
    };
    // "Replication Only", the default, leaves an unreplicated library alone.
    importWindow("w_added");
    frame->DetectTimerTimer();
    EXPECT_FALSE(screen.refreshNeeded);
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    shell::OptionsForm().UserRefreshRadioButton.SetChecked(true);
    frame->DetectTimerTimer();
    EXPECT_TRUE(screen.refreshNeeded);
    EXPECT_EQ(Node(first->Outline1, "w_added"), nullptr);
    EXPECT_FALSE(frame->AutoRefreshTimer->isActive());  // the user refreshes
    frame->RefreshOrca();
    EXPECT_FALSE(screen.refreshNeeded);
    EXPECT_NE(Node(first->Outline1, "w_added"), nullptr);
    EXPECT_NE(Node(second->Outline1, "w_added"), nullptr);

    shell::OptionsForm().AutoRefreshRadioButton.SetChecked(true);
    importWindow("w_later");
    frame->DetectTimerTimer();
    EXPECT_TRUE(frame->AutoRefreshTimer->isActive());
    frame->AutoRefreshTimerTimer();
    EXPECT_NE(Node(first->Outline1, "w_later"), nullptr);
    EXPECT_NE(Node(second->Outline1, "w_later"), nullptr);
}

}  // namespace
