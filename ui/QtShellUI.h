#pragma once
// The shell's screen interface on Qt: the frame's status line, gauge and "Refresh
// Needed." label, the log window, the screen cursor (the program's own hourglass for
// cursor 1000), message boxes and the message pump.

#include <QCursor>
#include <QPoint>

#include <functional>
#include <optional>

#include "shell/ShellUI.h"

class QWidget;

namespace ui {

class TMainForm;
class TLogForm;

// A modal message box with the kind's icon and caption and the requested buttons ("All"
// for mbAll, Help showing the topic), at a screen position when one is given; the button
// that closed it (mrNone when the box was dismissed otherwise).
shell::TModalResult MessageBoxAt(QWidget* parent, std::string_view text, shell::TMsgDlgType kind,
                                 shell::TMsgDlgButtons buttons, long helpContext,
                                 std::optional<QPoint> at);

class TQtShellUI : public shell::TShellUI {
  public:
    TQtShellUI() = default;
    ~TQtShellUI() override;

    // The frame and the log window it shows (either may be null: not there yet, gone).
    void SetFrame(TMainForm* frame) { frame_ = frame; }
    void SetLogForm(TLogForm* log) { log_ = log; }
    // The Preferences command (installed by the program).
    std::function<void()> Preferences;

    bool HasStatusLine() const override;
    void SetStatusText(std::string_view text) override;
    void ShowGauge(bool visible) override;
    void SetGauge(int min, int max, int position) override;
    void ShowRefreshNeeded(bool visible) override;
    bool HasLogWindow() const override;
    void AppendLogLine(std::string_view line) override;
    shell::TCursor CurrentCursor() const override { return cursor_; }
    void SetCursor(shell::TCursor cursor) override;
    shell::TModalResult MessageDlg(std::string_view text, shell::TMsgDlgType kind,
                                   shell::TMsgDlgButtons buttons, long helpContext) override;
    void ProcessMessages() override;
    void OpenPreferences() override;

    // The program's own hourglass (cursor 1000).
    static QCursor ProgramWaitCursor();

  private:
    TMainForm* frame_ = nullptr;
    TLogForm* log_ = nullptr;
    shell::TCursor cursor_ = shell::crDefault;
    bool overridden_ = false;
    std::optional<QCursor> programWait_;
};

}  // namespace ui
