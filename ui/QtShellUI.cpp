// The shell's screen interface on Qt.

#include "ui/QtShellUI.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>

#include "ui/AnsiText.h"
#include "ui/Help.h"
#include "ui/Main.h"
#include "ui/logstat.h"

namespace ui {

TQtShellUI::~TQtShellUI() {
    if (overridden_)
        QApplication::restoreOverrideCursor();
}

bool TQtShellUI::HasStatusLine() const {
    return frame_ != nullptr;
}

void TQtShellUI::SetStatusText(std::string_view text) {
    if (!frame_)
        return;
    frame_->StatusLine->setText(FromAnsi(text));
    // Shown at once, before any further work.
    frame_->StatusLine->repaint();
}

void TQtShellUI::ShowGauge(bool visible) {
    if (frame_)
        frame_->StatusGauge->setVisible(visible);
}

void TQtShellUI::SetGauge(int min, int max, int position) {
    if (!frame_)
        return;
    frame_->StatusGauge->setRange(min, max);
    frame_->StatusGauge->setValue(position);
    frame_->StatusGauge->repaint();
}

void TQtShellUI::ShowRefreshNeeded(bool visible) {
    if (frame_)
        frame_->RefreshNeededLabel->setVisible(visible);
}

bool TQtShellUI::HasLogWindow() const {
    return log_ != nullptr;
}

void TQtShellUI::AppendLogLine(std::string_view line) {
    if (log_)
        log_->AppendLine(line);
}

QCursor TQtShellUI::ProgramWaitCursor() {
    // An hourglass of our own, 32 x 32, hot spot in the middle.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(8, 3, 24, 3);
    p.drawLine(8, 28, 24, 28);
    const QPolygon glass({QPoint(10, 4), QPoint(22, 4), QPoint(17, 16), QPoint(22, 27),
                          QPoint(10, 27), QPoint(15, 16)});
    p.setBrush(Qt::white);
    p.drawPolygon(glass);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xc0, 0x90, 0x30));
    p.drawPolygon(QPolygon({QPoint(13, 9), QPoint(19, 9), QPoint(16, 15)}));
    p.drawPolygon(QPolygon({QPoint(16, 20), QPoint(21, 26), QPoint(11, 26)}));
    p.end();
    return QCursor(pixmap, 16, 16);
}

void TQtShellUI::SetCursor(shell::TCursor cursor) {
    cursor_ = cursor;
    if (overridden_) {
        QApplication::restoreOverrideCursor();
        overridden_ = false;
    }
    if (cursor == shell::crDefault)
        return;
    // The program's hourglass is drawn once and kept.
    if (cursor == shell::crWaitCursor && !programWait_)
        programWait_ = ProgramWaitCursor();
    QApplication::setOverrideCursor(cursor == shell::crWaitCursor ? *programWait_
                                                                  : QCursor(Qt::WaitCursor));
    overridden_ = true;
}

shell::TModalResult MessageBoxAt(QWidget* parent, std::string_view text, shell::TMsgDlgType kind,
                                 shell::TMsgDlgButtons buttons, long helpContext,
                                 std::optional<QPoint> at) {
    QMessageBox box(parent);
    box.setText(FromAnsi(text));
    switch (kind) {
        case shell::TMsgDlgType::mtWarning:
            box.setIcon(QMessageBox::Warning);
            box.setWindowTitle("Warning");
            break;
        case shell::TMsgDlgType::mtError:
            box.setIcon(QMessageBox::Critical);
            box.setWindowTitle("Error");
            break;
        case shell::TMsgDlgType::mtInformation:
            box.setIcon(QMessageBox::Information);
            box.setWindowTitle("Information");
            break;
        case shell::TMsgDlgType::mtConfirmation:
            box.setIcon(QMessageBox::Question);
            box.setWindowTitle("Confirm");
            break;
        case shell::TMsgDlgType::mtCustom:
            box.setWindowTitle("Sorvanti 2");
            break;
    }
    struct TButton {
        shell::TMsgDlgButtons bit;
        QMessageBox::StandardButton button;
        shell::TModalResult result;
    };
    static constexpr TButton Buttons[] = {
        {shell::mbYes, QMessageBox::Yes, shell::mrYes},
        {shell::mbNo, QMessageBox::No, shell::mrNo},
        {shell::mbOK, QMessageBox::Ok, shell::mrOk},
        {shell::mbCancel, QMessageBox::Cancel, shell::mrCancel},
        {shell::mbAbort, QMessageBox::Abort, shell::mrAbort},
        {shell::mbRetry, QMessageBox::Retry, shell::mrRetry},
        {shell::mbIgnore, QMessageBox::Ignore, shell::mrIgnore},
        {shell::mbAll, QMessageBox::YesToAll, shell::mrAll},
    };
    for (const TButton& b : Buttons)
        if (buttons & b.bit)
            box.addButton(b.button);
    if (QAbstractButton* all = box.button(QMessageBox::YesToAll))
        all->setText("&All");
    if (buttons == 0)
        box.addButton(QMessageBox::Ok);
    QPushButton* help = nullptr;
    if (buttons & shell::mbHelp)
        help = box.addButton("&Help", QMessageBox::HelpRole);
    if (at)
        box.move(*at);
    shell::TModalResult result = shell::mrNone;
    for (;;) {
        box.exec();
        if (help && box.clickedButton() == help) {
            ShowHelp(static_cast<int>(helpContext ? helpContext : HelpContents), &box);
            continue;
        }
        const QMessageBox::StandardButton clicked = box.standardButton(box.clickedButton());
        for (const TButton& b : Buttons)
            if (clicked == b.button)
                result = b.result;
        if (clicked == QMessageBox::Ok)
            result = shell::mrOk;
        break;
    }
    return result;
}

shell::TModalResult TQtShellUI::MessageDlg(std::string_view text, shell::TMsgDlgType kind,
                                           shell::TMsgDlgButtons buttons, long helpContext) {
    // The normal pointer while the box is up.
    const shell::TCursor before = cursor_;
    SetCursor(shell::crDefault);
    const shell::TModalResult result =
        MessageBoxAt(frame_, text, kind, buttons, helpContext, std::nullopt);
    SetCursor(before);
    return result;
}

void TQtShellUI::ProcessMessages() {
    QApplication::processEvents();
}

void TQtShellUI::OpenPreferences() {
    if (Preferences)
        Preferences();
}

}  // namespace ui
