// The source panel: filling, selection and centring, and the commit of the user's edit.

#include "ui/SourceMemo.h"

#include <QFocusEvent>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>

#include "platform/Files.h"
#include "platform/LastError.h"
#include "shell/Utilities.h"
#include "ui/AnsiText.h"

namespace ui {

namespace {

// Where edits that could not be committed are kept.
constexpr std::string_view KeptEditsDir = "c:\\sorvanti-edits";

}  // namespace

QFont CourierNew(int pixelSize) {
    QFont font("Courier New");
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(pixelSize);
    return font;
}

TSourceMemo::TSourceMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("SourceMemo");
    setFont(CourierNew(11));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    // The selection stays visible while the panel has no focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
    setUndoRedoEnabled(true);
}

int TSourceMemo::VisibleLines() const {
    const int lineHeight = font().pixelSize() + 3;
    return viewport()->height() / lineHeight;
}

bool TSourceMemo::Show(catalogue::TPBObj& obj, int32_t offset, int32_t length) {
    if (!obj.Lib || obj.SourceText().empty())
        return false;
    Commit();
    if (!window_.Show(obj, offset, length))
        return false;
    ++shows_;

    setUpdatesEnabled(false);
    setPlainText(FromAnsi(window_.Text()));
    document()->setModified(false);
    QTextCursor cursor(document());
    cursor.setPosition(window_.SelStart());
    cursor.setPosition(window_.SelStart() + window_.SelLength(), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
    // Centre the selection: the line of its start half a panel below the first line.
    const int line = document()->findBlock(window_.SelStart()).blockNumber();
    verticalScrollBar()->setValue(std::max(0, line - VisibleLines() / 2));
    horizontalScrollBar()->setValue(0);
    setUpdatesEnabled(true);
    return true;
}

bool TSourceMemo::Commit() {
    if (committing_ || !document()->isModified())
        return true;
    committing_ = true;
    document()->setModified(false);
    const std::string edited = ToAnsi(toPlainText());
    const views::TSourceWindow::TCommit result = window_.Commit(edited);
    bool done = true;
    if (result == views::TSourceWindow::TCommit::SourceChanged ||
        result == views::TSourceWindow::TCommit::ObjectGone) {
        KeepEdit(result, edited);
        done = false;
    }
    committing_ = false;
    return done;
}

void TSourceMemo::KeepEdit(views::TSourceWindow::TCommit why, const std::string& edited) {
    const std::string name = window_.ObjectName();
    // The panel's text with CR LF line ends, as a source file holds it.
    std::string bytes;
    bytes.reserve(edited.size() + edited.size() / 16);
    for (char c : edited) {
        if (c == '\n')
            bytes += '\r';
        bytes += c;
    }
    window_.Clear();
    std::string path;
    for (int n = 1; n < 10000 && path.empty(); ++n) {
        std::string candidate =
            std::string(KeptEditsDir) + "\\" + name + "-" + std::to_string(n) + ".txt";
        if (!platform::FileExists(candidate))
            path = std::move(candidate);
    }
    const std::string reason = why == views::TSourceWindow::TCommit::ObjectGone
                                   ? " is no longer in its library"
                                   : " changed after this panel showed it";
    std::string text = "The source of " + name + reason + ", so your edit was not written into it.";
    if (!path.empty() && platform::ForceDirectories(std::string(KeptEditsDir)) &&
        platform::WriteFileBytes(path, bytes)) {
        keptEdit_ = path;
        text += "  Your text is kept in " + path + ".";
    } else {
        text += "  It could not be kept in a file (" + platform::LastErrorText() +
                "); it stays in the panel until another object is shown.";
    }
    shell::LogMessage(text);
    shell::ShowNotice(text);
}

void TSourceMemo::focusOutEvent(QFocusEvent* event) {
    QPlainTextEdit::focusOutEvent(event);
    // A popup (the context menu) or a message box of our own does not leave the panel.
    if (event->reason() != Qt::PopupFocusReason)
        Commit();
}

}  // namespace ui
