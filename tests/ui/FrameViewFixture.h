#pragma once
// Fixture of the frame and Application View tests: the sample workspace in a temporary
// prefix, a frame with a log window whose deferred start the tests run themselves, and
// helpers that find, click and expand the trees' nodes. Screenshots go to the build folder.

#include <gmock/gmock.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageLayout>
#include <QPrinter>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

#include "tests/catalogue/CatalogueTestSupport.h"
#include "tests/support/PfcWorkspace.h"
#include "ui/AnsiText.h"
#include "ui/CheckOutForm.h"
#include "ui/DirectoryLists.h"
#include "ui/Main.h"
#include "ui/Printing.h"
#include "ui/Pwclient.h"
#include "ui/QtShellUI.h"
#include "ui/ResultList.h"
#include "ui/SourceMemo.h"
#include "ui/Ureplace.h"
#include "ui/logstat.h"
#include "ui/pbwntree.h"

namespace uitest {

using ui::TPickwellForm;

inline void SaveShot(QWidget& widget, const QString& name) {
    QApplication::processEvents();
    QDir().mkpath(QStringLiteral(SORVANTI_SCREENSHOT_DIR));
    widget.grab().save(QStringLiteral(SORVANTI_SCREENSHOT_DIR "/") + name + ".png");
}

class FrameViewTest : public cattest::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix.PrefixPath()), 0);
        shell::OptionsForm().PBIniFileName = "c:\\sorvanti-samples\\pb.ini";
        frame = std::make_unique<ui::TMainForm>();
        frame->Timer1->stop();  // tests start it themselves
        frame->SetViewFactory([] { return new TPickwellForm; });
        log = new ui::TLogForm;
        frame->SetLogForm(log);
        frame->resize(1100, 700);
        frame->show();
    }
    void TearDown() override {
        ui::SetPrintDialogHook(nullptr);
        frame.reset();
        ui::FreeReplaceDialog();
        ui::FreeCheckOutForm();
        CatalogueTest::TearDown();
    }
    // The deferred start, as the timer runs it.
    TPickwellForm* Start() {
        frame->Timer1Timer();
        return View();
    }
    TPickwellForm* View() { return dynamic_cast<TPickwellForm*>(frame->ActiveView()); }
    static views::TWinTreeNode* Node(ui::TPBWinTree* tree, const std::string& textStart) {
        for (int i = 1; i <= tree->Model().ItemCount(); ++i)
            if (tree->Model().Items(i)->Text().rfind(textStart, 0) == 0)
                return tree->Model().Items(i);
        return nullptr;
    }
    static void Click(ui::TPBWinTree* tree, views::TWinTreeNode* node) {
        const int row = tree->Model().RowOf(node) - tree->Model().TopRow();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->RowRect(row).center());
    }
    static void Key(QWidget* target, QEvent::Type type, int key, bool autoRepeat) {
        QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(target, &event);
    }
    // The orders application, expanded, and its library orders.pbl, expanded.
    views::TWinTreeNode* ExpandOrders(TPickwellForm* view) {
        views::TWinTreeNode* app = Node(view->Outline1, "orders");
        if (!app)
            return nullptr;
        app->Expand();
        views::TWinTreeNode* lib = Node(view->Outline1, "c:\\sorvanti-samples\\orders.pbl");
        if (lib)
            lib->Expand();
        return lib;
    }

    std::unique_ptr<ui::TMainForm> frame;
    ui::TLogForm* log = nullptr;
};

}  // namespace uitest
