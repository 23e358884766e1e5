// The log window.

#include "ui/logstat.h"

#include <QCloseEvent>
#include <QFile>
#include <QFontMetrics>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTextBlock>
#include <QVBoxLayout>

#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "shell/Utilities.h"
#include "ui/AnsiText.h"
#include "ui/FileDialogs.h"
#include "ui/Printing.h"

namespace ui {

namespace {

// The log's font: a sans font with characters 11 pixels high.
QFont LogFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

}  // namespace

TLogForm::TLogForm(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Log"));
    setObjectName(QStringLiteral("LogForm"));
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setUndoRedoEnabled(false);  // no history of a text that only grows
    Memo1->setFont(LogFont());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo1);
    resize(480, 240);

    logMenu_ = new QMenu(QStringLiteral("&Log"), this);
    connect(logMenu_->addAction(QStringLiteral("Save &As...")), &QAction::triggered, this,
            &TLogForm::SaveAs2Click);
    connect(logMenu_->addAction(QStringLiteral("&Print...")), &QAction::triggered, this,
            &TLogForm::Print2Click);
    connect(logMenu_->addAction(QStringLiteral("P&rint Setup...")), &QAction::triggered, this,
            &TLogForm::PrintSetup1Click);
}

void TLogForm::AppendLine(std::string_view line) {
    // A line break inside a message would start lines of its own; the log keeps one
    // line per message.
    QString text = FromAnsi(line);
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (lines_ == 0)
        Memo1->setPlainText(text);
    else
        Memo1->appendPlainText(text);
    ++lines_;
}

int TLogForm::LineCount() const {
    return lines_;
}

bool TLogForm::SaveToFile(const std::string& hostPath, std::string* error) const {
    std::string bytes;
    if (lines_ > 0) {
        for (QTextBlock block = Memo1->document()->begin(); block.isValid(); block = block.next()) {
            bytes += ToAnsi(block.text());
            bytes += "\r\n";
        }
    }
    if (platform::WriteHostFileAtomic(hostPath, bytes))
        return true;
    if (error)
        *error = "The log could not be saved to " + platform::WindowsPath(hostPath) + ": " +
                 platform::LastErrorText();
    return false;
}

void TLogForm::SaveAs2Click() {
    TFileRequest request;
    request.save = true;
    request.title = QStringLiteral("Quentis Log Save");
    request.filter = QStringLiteral("Log File (*.vnl)");
    request.defaultSuffix = QStringLiteral("vnl");
    request.fileName = QStringLiteral("qtLog.vnl");
    if (!shell::ProgramDir().empty())
        request.directory =
            QFile::decodeName(QByteArray::fromStdString(platform::HostPath(shell::ProgramDir())));
    const QString chosen = ChooseFile(this, request);
    if (chosen.isEmpty())
        return;
    std::string error;
    if (!SaveToFile(QFile::encodeName(chosen).toStdString(), &error))
        shell::AskUser(error, shell::TMsgDlgType::mtError, shell::mbOK);
}

bool TLogForm::PrintLines(QPrinter& printer, std::string* error) const {
    auto fail = [error](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    QPainter painter;
    if (!painter.begin(&printer))
        return fail("The printer could not be started.");
    // Memo1's font at the same size on paper: 11 pixels of a 96 dots-per-inch screen.
    QFont font = Memo1->font();
    if (font.pixelSize() > 0)
        font.setPointSizeF(font.pixelSize() * 72.0 / 96.0);
    painter.setFont(QFont(font, &printer));
    const QFontMetrics metrics(painter.font(), &printer);
    const int pageHeight = painter.viewport().height();
    const int lineHeight = metrics.lineSpacing();
    int y = 0;
    if (lines_ > 0) {
        for (QTextBlock block = Memo1->document()->begin(); block.isValid(); block = block.next()) {
            if (y > 0 && y + lineHeight > pageHeight) {
                if (!printer.newPage()) {
                    painter.end();
                    return fail("The printer could not start a new page.");
                }
                y = 0;
            }
            painter.drawText(0, y + metrics.ascent(), block.text());
            y += lineHeight;
        }
    }
    if (!painter.end())
        return fail("The printer could not finish the job.");
    return true;
}

void TLogForm::Print2Click() {
    QPrinter& printer = ProgramPrinter();
    if (!RunPrintDialog(this, printer))
        return;
    std::string error;
    if (!PrintLines(printer, &error))
        shell::AskUser(error, shell::TMsgDlgType::mtError, shell::mbOK);
}

void TLogForm::PrintSetup1Click() {
    RunPrintSetup(this, ProgramPrinter());
}

void TLogForm::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->showMinimized();
    else
        showMinimized();
}

}  // namespace ui
