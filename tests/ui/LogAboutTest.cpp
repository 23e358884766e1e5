// The log window and the about box on the offscreen platform: lines kept while the
// window is minimised, closing that only minimises, saving (CR LF ends, an empty log,
// a file that cannot be written), printing on the program's printer, and the about box
// with and without its buttons; screenshots of both.

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "shell/Utilities.h"
#include "tests/support/RecordingShellUI.h"
#include "tests/support/TestSupport.h"
#include "ui/About.h"
#include "ui/FileDialogs.h"
#include "ui/Printing.h"
#include "ui/logstat.h"

namespace ui {
namespace {

// The log window in an MDI area, in a prefix of its own, with the file and print
// dialogs answered by the test.
class LogWindow : public testing::Test {
  protected:
    LogWindow() {
        shell::InitUtilities({}, "c:\\Sorvanti");
        std::filesystem::create_directories(prefix.DriveC() + "/Sorvanti");
        SetFileChooser([this](QWidget*, const TFileRequest& request) {
            requests.push_back(request);
            return QString::fromStdString(chosen);
        });
        log = new TLogForm;
        QObject::connect(log, &QObject::destroyed, [this] { logDestroyed = true; });
        sub = area.addSubWindow(log);
        area.resize(640, 400);
        area.show();
        sub->show();
        QApplication::processEvents();
    }
    ~LogWindow() override {
        SetFileChooser({});
        SetPrintDialogHook({});
        shell::ResetUtilities();
    }
    // Clicks an item of the "&Log" menu, choosing file; the message boxes it showed.
    std::vector<std::string> Use(int item, const std::string& file) {
        chosen = file;
        screen.boxes.clear();
        log->LogMenu()->actions().at(item)->trigger();
        return screen.BoxTexts();
    }

    testsupport::TempPrefix prefix;
    testsupport::RecordingShellUI screen;
    std::vector<TFileRequest> requests;
    std::string chosen;
    QMdiArea area;
    TLogForm* log;
    QMdiSubWindow* sub;
    bool logDestroyed = false;
};

TEST_F(LogWindow, IsAReadOnlyLogThatClosingOnlyMinimises) {
    EXPECT_EQ(log->windowTitle(), "Log");
    EXPECT_TRUE(log->Memo1->isReadOnly());
    EXPECT_EQ(log->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(log->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(log->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(log->Memo1->font().pixelSize(), 11);
    QStringList items;
    for (QAction* action : log->LogMenu()->actions())
        items << action->text();
    EXPECT_EQ(log->LogMenu()->title(), "&Log");
    EXPECT_EQ(items, (QStringList{"Save &As...", "&Print...", "P&rint Setup..."}));

    EXPECT_EQ(log->LineCount(), 0);
    log->AppendLine("12/8/2026 10:00:00: first");
    // Closing the window (its subwindow's close button) minimises it.
    EXPECT_FALSE(sub->close());
    QApplication::processEvents();
    EXPECT_FALSE(logDestroyed);
    EXPECT_TRUE(sub->isMinimized());
    EXPECT_TRUE(area.subWindowList().contains(sub));
    // Lines logged meanwhile are there when it comes back; a line with a break in it
    // stays one line, and ANSI bytes show as their characters.
    log->AppendLine("12/8/2026 10:00:01: second\r\nhalf");
    log->AppendLine("12/8/2026 10:00:02: caf\xe9");
    sub->showNormal();
    QApplication::processEvents();
    EXPECT_FALSE(sub->isMinimized());
    EXPECT_EQ(log->LineCount(), 3);
    EXPECT_EQ(log->Memo1->toPlainText(),
              QString::fromUtf8("12/8/2026 10:00:00: first\n12/8/2026 10:00:01: second half\n"
                                "12/8/2026 10:00:02: caf\u00e9"));
    // The newest line is in view.
    QScrollBar* bar = log->Memo1->verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());

    // A screenshot under the build folder, with a few lines.
    for (int i = 3; i < 8; ++i)
        log->AppendLine("12/8/2026 10:00:0" + std::to_string(i) + ": Copying c:\\apps\\lib" +
                        std::to_string(i) + ".pbl to c:\\rep\\lib" + std::to_string(i) + ".pbl.");
    EXPECT_TRUE(sub->grab().save(QStringLiteral(SORVANTI_UI_SHOTS_DIR "/logstat.png")));
}

TEST_F(LogWindow, SavesEveryLineWithCrLfAtomically) {
    const std::string file = prefix.DriveC() + "/Sorvanti/qtLog.vnl";
    // An empty log gives an empty file.
    EXPECT_TRUE(Use(0, file).empty());
    EXPECT_EQ(testsupport::ReadFile(file), "");
    ASSERT_EQ(requests.size(), 1u);
    const TFileRequest& r = requests[0];
    EXPECT_TRUE(r.save);
    EXPECT_EQ(r.title + "|" + r.filter + "|" + r.fileName,
              "Quentis Log Save|Log File (*.vnl)|qtLog.vnl");
    EXPECT_EQ(std::filesystem::path(r.directory.toStdString()),
              std::filesystem::path(prefix.DriveC() + "/Sorvanti"));

    log->AppendLine("one");
    log->AppendLine("");
    log->AppendLine("caf\xe9 \x80");
    EXPECT_TRUE(Use(0, file).empty());
    EXPECT_EQ(testsupport::ReadFile(file), "one\r\n\r\ncaf\xe9 \x80\r\n");
    // A cancelled dialog writes nothing.
    std::filesystem::remove(file);
    EXPECT_TRUE(Use(0, "").empty());
    EXPECT_FALSE(std::filesystem::exists(file));

    // A file that cannot be written: a message naming it, the old file whole.
    testsupport::WriteFile(file, "old log\r\n");
    platform::FailNextAtomicWriteAfter(4);
    std::vector<std::string> boxes = Use(0, file);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("c:\\Sorvanti\\qtLog.vnl"), std::string::npos) << boxes[0];
    EXPECT_EQ(testsupport::ReadFile(file), "old log\r\n");
    boxes = Use(0, prefix.DriveC() + "/no/such/dir/x.vnl");
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(log->LineCount(), 3);  // nothing lost
}

// The number of pages of a PDF file Qt wrote.
int PdfPages(const std::string& file) {
    const std::string bytes = testsupport::ReadFile(file);
    int pages = 0;
    for (size_t at = bytes.find("/Type /Page"); at != std::string::npos;
         at = bytes.find("/Type /Page", at + 1))
        if (bytes.compare(at, 12, "/Type /Pages") != 0)
            ++pages;
    return pages;
}

TEST_F(LogWindow, PrintsEveryLineOnNewPagesAsTheyFill) {
    const std::string pdf = prefix.DriveC() + "/log.pdf";
    bool confirm = false;
    SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return confirm;
    });
    log->AppendLine("only line");
    // Cancelled: nothing printed.
    EXPECT_TRUE(Use(1, "").empty());
    EXPECT_FALSE(std::filesystem::exists(pdf));
    confirm = true;
    EXPECT_TRUE(Use(1, "").empty());
    EXPECT_EQ(PdfPages(pdf), 1);
    // 11-pixel lines: some 70 to an A4 or Letter page; 300 need more than three pages.
    for (int i = 0; i < 300; ++i)
        log->AppendLine("line " + std::to_string(i));
    EXPECT_TRUE(Use(1, "").empty());
    EXPECT_GE(PdfPages(pdf), 4);
    EXPECT_LE(PdfPages(pdf), 8);
    // A printer that cannot print: a message, no crash.
    SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(prefix.DriveC() + "/no/dir/x.pdf"));
        return true;
    });
    EXPECT_EQ(Use(1, "").size(), 1u);
    ProgramPrinter().setOutputFileName({});
}

TEST(AboutBox, ShowsTheProductWithOrWithoutItsButtons) {
    testsupport::RecordingShellUI screen;
    TAboutForm about;
    about.show();
    QApplication::processEvents();
    EXPECT_EQ(about.ProductName->text(), "Sorvanti 2");
    EXPECT_TRUE(about.Comments->text().contains("PowerBuilder"));
    EXPECT_TRUE(about.Version->text().contains(QLatin1String(ProgramVersion)));
    EXPECT_FALSE(about.ProgramIcon->pixmap().isNull());
    EXPECT_TRUE(about.OKButton->isVisible() && about.CreditsButton->isVisible());
    EXPECT_TRUE(about.grab().save(QStringLiteral(SORVANTI_UI_SHOTS_DIR "/About.png")));
    // Credits: the licences of what it is built on.
    QTest::mouseClick(about.CreditsButton, Qt::LeftButton);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_NE(screen.boxes[0].text.find("MIT"), std::string::npos);
    EXPECT_NE(screen.boxes[0].text.find("LGPL"), std::string::npos);
    // OK closes it.
    QTest::mouseClick(about.OKButton, Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);

    // The splash: the same box without buttons.
    about.SetButtonsVisible(false);
    about.show();
    QApplication::processEvents();
    EXPECT_FALSE(about.OKButton->isVisible() || about.CreditsButton->isVisible());
    EXPECT_TRUE(about.grab().save(QStringLiteral(SORVANTI_UI_SHOTS_DIR "/About-splash.png")));
    about.SetButtonsVisible(true);
    EXPECT_TRUE(about.OKButton->isVisible() && about.CreditsButton->isVisible());
}

}  // namespace
}  // namespace ui
