#pragma once
// The log window: the program's log lines (time stamp, ": ", message), one per line of
// Memo1, for the whole run. The frame keeps it in an MDI subwindow; closing it only
// minimises it. Its "&Log" menu saves the lines to a file and prints them.

#include <QWidget>

#include <string>
#include <string_view>

class QCloseEvent;
class QMenu;
class QPlainTextEdit;
class QPrinter;

namespace ui {

class TLogForm : public QWidget {
    Q_OBJECT
  public:
    explicit TLogForm(QWidget* parent = nullptr);

    // Adds one whole log line (ANSI bytes, time stamp included) at the end. Appending
    // costs the same however long the log is.
    void AppendLine(std::string_view line);
    // The lines held (0 for an empty log).
    int LineCount() const;

    // The log's text: read-only for the user, no wrap, both scroll bars.
    QPlainTextEdit* Memo1;

    // "&Log": "Save &As...", "&Print...", "P&rint Setup..." (owned by the window; the
    // frame puts it into its menu bar).
    QMenu* LogMenu() const { return logMenu_; }

    // Save As: asks for a file ("Quentis Log Save", starting in the program's directory)
    // and writes the log there; a file that cannot be written is reported.
    void SaveAs2Click();
    // Print: the print dialog, then every line in Memo1's font, new pages as they fill.
    void Print2Click();
    // Print Setup: the page set-up of the program's printer.
    void PrintSetup1Click();

    // Writes the lines to a host file, each ended by CR LF (an empty log gives an empty
    // file). The file is replaced atomically: on failure (false, the reason in *error
    // when error is given) it is left as it was.
    bool SaveToFile(const std::string& hostPath, std::string* error) const;
    // Prints the lines on the printer; false with the reason when the printer fails.
    bool PrintLines(QPrinter& printer, std::string* error) const;

  protected:
    // The window is minimised, never closed: the log goes on while it is away.
    void closeEvent(QCloseEvent* event) override;

  private:
    QMenu* logMenu_;
    int lines_ = 0;
};

}  // namespace ui
