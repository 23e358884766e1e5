// The frame and the Application View on Qt's offscreen platform, over the sample
// workspace through the real ORCA library: start-up, numbering, loading on expansion,
// the source panel, keyboard gating, the hierarchy, the Directory page, printing, the
// clipboard and the context menu's choice of lines. Screenshots go to the build folder.

#include "tests/ui/FrameViewFixture.h"

namespace {

using testing::ElementsAre;
using ui::TPickwellForm;
using uitest::FrameViewTest;
using uitest::SaveShot;

TEST_F(FrameViewTest, DeferredStartOpensTheFirstViewOnceAndNumbersAreNeverReused) {
    // The real timer, about a second after the loop runs.
    frame->Timer1->start();
    QTRY_VERIFY_WITH_TIMEOUT(frame->Started(), 5000);
    ASSERT_NE(View(), nullptr);
    EXPECT_EQ(View()->windowTitle(), "Application View - 1");
    EXPECT_TRUE(frame->LogWindow()->isMinimized());
    EXPECT_FALSE(frame->Timer1->isActive());
    frame->Timer1Timer();  // never a second start
    EXPECT_EQ(frame->Views().size(), 1u);

    frame->FileNewItemClick();
    ui::TViewWindow* second = frame->ActiveView();
    frame->FileNewItemClick();
    ASSERT_EQ(frame->Views().size(), 3u);
    second->Widget()->parentWidget()->close();  // its subwindow
    QApplication::processEvents();
    ASSERT_EQ(frame->Views().size(), 2u);
    frame->FileNewItemClick();
    EXPECT_EQ(View()->windowTitle(), "Application View - 4");
    // The caption keeps the number on every page.
    View()->SetViewPage(TPickwellForm::PageSearch);
    EXPECT_EQ(View()->windowTitle(), "Search View - 4");
}

TEST_F(FrameViewTest, ExpandingLoadsLibrariesAndEntriesAndAClickShowsTheSource) {
    TPickwellForm* view = Start();
    ASSERT_NE(view, nullptr);
    views::TWinTreeNode* app = Node(view->Outline1, "orders");
    ASSERT_NE(app, nullptr);
    EXPECT_FALSE(app->HasItems());  // nothing read before it is opened
    views::TWinTreeNode* lib = ExpandOrders(view);
    ASSERT_NE(lib, nullptr);
    EXPECT_GE(app->ChildCount(), 4);
    EXPECT_NE(Node(view->Outline1, "c:\\sorvanti-samples\\ordarch.pbl (Invalid Library)"), nullptr);
    ASSERT_GT(lib->ChildCount(), 0);
    Click(view->Outline1, lib->Child(0));
    EXPECT_EQ(view->SourceMemo->ShowCount(), 1);
    ASSERT_NE(view->SourceMemo->SourceObject(), nullptr);
    EXPECT_THAT(view->SourceMemo->toPlainText().toStdString(), testing::HasSubstr("global type"));
    SaveShot(*frame, "frame-application");
}

TEST_F(FrameViewTest, AHeldArrowKeyShowsOnlyTheNodeReachedOnRelease) {
    TPickwellForm* view = Start();
    ASSERT_NE(view, nullptr);
    views::TWinTreeNode* lib = ExpandOrders(view);
    ASSERT_TRUE(lib && lib->ChildCount() >= 4);
    Click(view->Outline1, lib->Child(0));
    const int before = view->SourceMemo->ShowCount();
    view->Outline1->setFocus();
    Key(view->Outline1, QEvent::KeyPress, Qt::Key_Down, false);
    for (int i = 0; i < 2; ++i) {
        Key(view->Outline1, QEvent::KeyRelease, Qt::Key_Down, true);
        Key(view->Outline1, QEvent::KeyPress, Qt::Key_Down, true);
    }
    EXPECT_EQ(view->SourceMemo->ShowCount(), before);
    Key(view->Outline1, QEvent::KeyRelease, Qt::Key_Down, false);
    EXPECT_EQ(view->SourceMemo->ShowCount(), before + 1);
    EXPECT_EQ(view->SourceMemo->SourceObject()->Name,
              lib->Child(3)->Text().substr(0, lib->Child(3)->Text().find(' ')));
}

TEST_F(FrameViewTest, TheHierarchyIsBuiltOncePerApplication) {
    TPickwellForm* view = Start();
    ASSERT_NE(view, nullptr);
    views::TWinTreeNode* lib = ExpandOrders(view);
    ASSERT_NE(lib, nullptr);
    Click(view->Outline1, lib->Child(0));
    view->SetViewPage(TPickwellForm::PageHierarchy);
    view->SetViewPage(TPickwellForm::PageApplication);
    view->SetViewPage(TPickwellForm::PageHierarchy);
    EXPECT_EQ(view->HierarchyBuilds(), 1);
    EXPECT_EQ(view->windowTitle(), "Hierarchy View - 1");
    // The object shown is selected in the hierarchy, its ancestors opened.
    views::TWinTreeNode* system = view->Outline2->Model().Items(1);
    EXPECT_EQ(system->Text(), "System");
    views::TWinTreeNode* selected = view->Outline2->Model().SelectedNode();
    ASSERT_NE(selected, nullptr);
    view->ExpandAll1Click();
    EXPECT_GT(view->Outline2->Model().ItemCount(), 5);
    SaveShot(*frame, "frame-hierarchy");

    view->SetViewPage(TPickwellForm::PageApplication);
    views::TWinTreeNode* stock = Node(view->Outline1, "stock");
    ASSERT_NE(stock, nullptr);
    Click(view->Outline1, stock);
    view->SetViewPage(TPickwellForm::PageHierarchy);
    EXPECT_EQ(view->HierarchyBuilds(), 2);
    EXPECT_EQ(view->HierarchyApp()->Name, "stock");
}

TEST_F(FrameViewTest, TheDirectoryPageListsLibrariesAndTheirEntries) {
    TPickwellForm* view = Start();
    ASSERT_NE(view, nullptr);
    Click(view->Outline1, Node(view->Outline1, "orders"));
    view->SetViewPage(TPickwellForm::PageDirectory);
    EXPECT_EQ(view->DirectoryListBox1->Directory(), "c:\\sorvanti-samples");
    std::vector<std::string> files;
    for (int i = 0; i < view->FileListBox1->count(); ++i)
        files.push_back(ui::ToAnsi(view->FileListBox1->item(i)->text()));
    EXPECT_THAT(files,
                ElementsAre("ordbase.pbl", "orddw.pbl", "orders.pbl", "ordutil.pbl", "stock.pbl"));
    view->FileListBox1->setCurrentRow(2);
    view->FileListBox1Click();
    ASSERT_GT(view->ListBox1->count(), 0);
    view->ListBox1->item(0)->setSelected(true);
    view->ListBox1Click();
    EXPECT_EQ(view->SourceMemo->ShowCount(), 1);
    EXPECT_EQ(view->LastDirectoryControl(), view->ListBox1);
    SaveShot(*frame, "frame-directory");
}

TEST_F(FrameViewTest, AHundredRowTreePrintsFortyFortyAndTwentyRows) {
    EXPECT_EQ(TPickwellForm::RowsPerPage(8004, 96, 16, 1200), 40);
    TPickwellForm* view = Start();
    ASSERT_NE(view, nullptr);
    views::TCustomWinTree& tree = view->Outline1->Model();
    tree.Clear();
    for (int i = 0; i < 100; ++i)
        tree.AddChildObject(0, "row " + std::to_string(i), nullptr);
    ASSERT_EQ(tree.RowCount(), 100);
    const QString pdf = QString::fromStdString(prefix.PrefixPath() + "/tree.pdf");
    ui::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(1200);
        printer.setPageLayout(QPageLayout(QPageSize(QSizeF(5.0, 6.67), QPageSize::Inch),
                                          QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
        return true;
    });
    ASSERT_TRUE(view->Print1Click());
    EXPECT_EQ(view->LastPrintPages(), 3);
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(
        bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "),
        3)
        << "pages in the PDF";
    // Nothing is printed from the Search page.
    view->SetViewPage(TPickwellForm::PageSearch);
    EXPECT_FALSE(view->Print1Click());
}

TEST_F(FrameViewTest, SearchPageLinesGoToTheClipboardAndKeepTheirSelectionOnRightClick) {
    TPickwellForm* view = Start();
    ASSERT_NE(view, nullptr);
    view->SetViewPage(TPickwellForm::PageSearch);
    for (const char* text : {"first", "second", "third"}) {
        search::TSearchResult line;
        line.Line = text;
        view->ResultList->Append(std::move(line));
    }
    QApplication::clipboard()->setText("old");
    view->CopyToClipboardMenuClick();
    EXPECT_EQ(QApplication::clipboard()->text(), "");

    QItemSelectionModel* selection = view->ListBox2->selectionModel();
    selection->select(view->ResultList->index(2), QItemSelectionModel::Select);
    selection->select(view->ResultList->index(0), QItemSelectionModel::Select);
    view->CopyToClipboardMenuClick();
    EXPECT_EQ(QApplication::clipboard()->text(), "first\r\nthird\r\n");

    // A right-click on a selected line keeps the selection; on another line, selects it.
    auto rightClick = [&](int row) {
        const QRect rect = view->ListBox2->visualRect(view->ResultList->index(row));
        QTest::mouseClick(view->ListBox2->viewport(), Qt::RightButton, {}, rect.center());
        view->PopupMenu1->close();
    };
    rightClick(2);
    EXPECT_EQ(selection->selectedRows().size(), 2);
    EXPECT_TRUE(view->CopyToClipboardMenu->isVisible());
    EXPECT_FALSE(view->ExpandAll1->isVisible());
    rightClick(1);
    ASSERT_EQ(selection->selectedRows().size(), 1);
    EXPECT_EQ(selection->selectedRows()[0].row(), 1);
}

TEST_F(FrameViewTest, ThePanelCommitsIntoItsOwnObjectAndARoundTripChangesNoByte) {
    TPickwellForm* first = Start();
    ASSERT_NE(first, nullptr);
    views::TWinTreeNode* lib = ExpandOrders(first);
    ASSERT_TRUE(lib && lib->ChildCount() >= 2);
    Click(first->Outline1, lib->Child(0));
    catalogue::TPBObj* a = first->SourceMemo->SourceObject();
    ASSERT_NE(a, nullptr);
    const std::string original = a->Source;
    ASSERT_NE(original.find("\r\n"), std::string::npos);
    // Marked edited without a change: the bytes stay, CR LF included.
    first->SourceMemo->document()->setModified(true);
    first->SourceMemo->Commit();
    EXPECT_EQ(a->Source, original);

    frame->FileNewItemClick();
    auto* second = View();
    ASSERT_NE(second, first);
    views::TWinTreeNode* lib2 = ExpandOrders(second);
    Click(second->Outline1, lib2->Child(1));
    catalogue::TPBObj* b = second->SourceMemo->SourceObject();
    const std::string bOriginal = b->Source;

    // Typing in the first view's panel, then going to the second view, commits into the
    // first view's object only.
    frame->MDIArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(first->parentWidget()));
    first->SourceMemo->setFocus();
    first->SourceMemo->moveCursor(QTextCursor::Start);
    QTest::keyClicks(first->SourceMemo, "// edited");
    QTest::keyClick(first->SourceMemo, Qt::Key_Return);
    frame->MDIArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(second->parentWidget()));
    EXPECT_EQ(a->Source, "// edited\r\n" + original);
    EXPECT_TRUE(a->Modified);
    EXPECT_EQ(b->Source, bOriginal);
    EXPECT_FALSE(b->Modified);
}

TEST_F(FrameViewTest, WithTheLogActiveSaveAllAndPrintDoNothingAndTheButtonPopsUp) {
    Start();
    frame->LogWindow()->showNormal();
    frame->MDIArea->setActiveSubWindow(frame->LogWindow());
    ASSERT_EQ(frame->ActiveView(), nullptr);
    int printed = 0;
    ui::SetPrintDialogHook([&](QPrinter&) {
        ++printed;
        return false;
    });
    frame->SpeedButton2->click();
    EXPECT_FALSE(frame->SpeedButton2->isChecked());
    frame->PrintMenuClick();
    EXPECT_EQ(printed, 0);
    // The log window's menu joins the frame's while it is active.
    bool logMenu = false;
    for (QAction* action : frame->menuBar()->actions())
        logMenu = logMenu || action->text() == "&Log";
    EXPECT_TRUE(logMenu);
    log->AppendLine("12/08/26 10:00:00: a line");
    SaveShot(*frame, "frame-log");
}

TEST_F(FrameViewTest, AnEditOfASourceThatChangedMeanwhileIsKeptInAFile) {
    TPickwellForm* view = Start();
    ASSERT_NE(view, nullptr);
    views::TWinTreeNode* lib = ExpandOrders(view);
    ASSERT_TRUE(lib && lib->ChildCount() > 0);
    Click(view->Outline1, lib->Child(0));
    catalogue::TPBObj* obj = view->SourceMemo->SourceObject();
    ASSERT_NE(obj, nullptr);
    view->SourceMemo->moveCursor(QTextCursor::Start);
    view->SourceMemo->insertPlainText("// mine\n");
    // A reload put the library's source back meanwhile.
    const std::string reloaded = "global type x from window\r\nend type\r\n";
    obj->Source = reloaded + '\0';
    obj->SourceLen = static_cast<int32_t>(reloaded.size());
    EXPECT_FALSE(view->SourceMemo->Commit());
    EXPECT_EQ(obj->Source, reloaded + '\0');
    const std::string kept = view->SourceMemo->KeptEditPath();
    ASSERT_FALSE(kept.empty());
    const std::optional<std::string> bytes = platform::ReadFileBytes(kept);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(bytes->rfind("// mine\r\n", 0), 0u);
    ASSERT_EQ(screen.BoxTexts().size(), 1u);
    EXPECT_THAT(screen.BoxTexts()[0], testing::HasSubstr(kept));
    // Nothing is left to commit: the next object shows without a second message.
    Click(view->Outline1, lib->Child(1));
    EXPECT_EQ(screen.BoxTexts().size(), 1u);
}

TEST_F(FrameViewTest, TheScreenInterfaceReachesTheFrameAndTheLog) {
    ui::TQtShellUI qt;
    qt.SetFrame(frame.get());
    qt.SetLogForm(log);
    shell::TShellUI* before = shell::SetShellUI(&qt);
    shell::ShowStatus("Loading Application", true);
    EXPECT_EQ(frame->StatusLine->text(), "Loading Application");
    EXPECT_EQ(log->LineCount(), 1);
    shell::ShowRefreshNeeded(true);
    EXPECT_FALSE(frame->RefreshNeededLabel->isHidden());
    shell::ShowGauge(true);
    shell::SetGauge(0, 10, 4);
    EXPECT_FALSE(frame->StatusGauge->isHidden());
    EXPECT_EQ(frame->StatusGauge->value(), 4);
    // The program's own hourglass, then back to the normal pointer with "Ready.".
    shell::PushCursor(shell::crWaitCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
    shell::PopCursor();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(frame->StatusLine->text(), "Ready.");
    // A question with Yes and No gives the button pressed.
    QTimer::singleShot(0, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->buttons().size(), 2);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(
        shell::AskUser("Delete?", shell::TMsgDlgType::mtConfirmation, shell::mbYes | shell::mbNo),
        shell::mrNo);
    shell::SetShellUI(before);
}

}  // namespace

// Screenshots of every page over the PFC workspace, for looking at the program with real
// data (SORVANTI_PFC_SHOTS=1; building the workspace takes a while).
TEST(FramePfcShots, EveryPageOverThePfcWorkspace) {
    if (qEnvironmentVariable("SORVANTI_PFC_SHOTS") != "1")
        GTEST_SKIP() << "set SORVANTI_PFC_SHOTS=1 for the PFC screenshots";
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    testsupport::RecordingShellUI screen;
    shell::InitUtilities({}, "c:\\Sorvanti");
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    ASSERT_TRUE(workspace.error.empty()) << workspace.error;
    shell::OptionsForm().PBIniFileName = workspace.pbIni;
    {
        ui::TMainForm frame;
        frame.Timer1->stop();
        frame.SetViewFactory([] { return new TPickwellForm; });
        frame.SetLogForm(new ui::TLogForm);
        frame.resize(1200, 800);
        frame.show();
        frame.Timer1Timer();
        auto* view = dynamic_cast<TPickwellForm*>(frame.ActiveView());
        ASSERT_NE(view, nullptr);
        views::TCustomWinTree& tree = view->Outline1->Model();
        views::TWinTreeNode* app = nullptr;
        for (int i = 1; i <= tree.ItemCount() && !app; ++i)
            if (tree.Items(i)->Text().rfind("pfcexamp", 0) == 0)
                app = tree.Items(i);
        ASSERT_NE(app, nullptr);
        app->Expand();
        ASSERT_GT(app->ChildCount(), 0);
        app->Child(0)->Expand();
        tree.SelectNode(app->Child(0)->Child(0));
        view->Outline1Click(view->Outline1);
        SaveShot(frame, "pfc-application");
        view->SetViewPage(TPickwellForm::PageHierarchy);
        view->Outline2->Model().Items(1)->Expand();
        SaveShot(frame, "pfc-hierarchy");
        view->SetViewPage(TPickwellForm::PageDirectory);
        view->FileListBox1->setCurrentRow(0);
        view->FileListBox1Click();
        SaveShot(frame, "pfc-directory");
        view->SetViewPage(TPickwellForm::PageApplication);
        tree.SelectNode(app);
        view->Search1Click(false);
        ui::ReplaceDialog().FindEdit->setEditText("of_setrequestor");
        ui::ReplaceDialog().FindAllButtonClick();
        ui::ReplaceDialog().hide();
        view->ListBox2->setCurrentIndex(view->ResultList->index(3));
        view->ListBox2Click();
        SaveShot(frame, "pfc-search");
        ui::FreeReplaceDialog();
    }
    catalogue::ResetOrcaMgr();
    shell::ResetOptionsForm();
    shell::ResetUtilities();
}
