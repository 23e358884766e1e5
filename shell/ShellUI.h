#pragma once
// The one way the program's core reaches the screen. The Qt front end implements
// TShellUI and installs it with SetShellUI; the core never sees a widget. With no
// interface installed, ShellUI() is a silent stand-in: nothing is shown, no question is
// answered (mrNone), the cursor is always the normal pointer.

#include <string>
#include <string_view>

namespace shell {

// Cursor ids: the screen cursors the core asks for.
using TCursor = int;
inline constexpr TCursor crDefault = 0;        // the normal pointer
inline constexpr TCursor crHourGlass = -11;    // the platform's hourglass
inline constexpr TCursor crWaitCursor = 1000;  // the program's own "HourGlassPointer"

// The kind of a message box (its icon and caption).
enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// The buttons of a message box, as a bit set.
using TMsgDlgButtons = unsigned;
inline constexpr TMsgDlgButtons mbYes = 0x001;
inline constexpr TMsgDlgButtons mbNo = 0x002;
inline constexpr TMsgDlgButtons mbOK = 0x004;
inline constexpr TMsgDlgButtons mbCancel = 0x008;
inline constexpr TMsgDlgButtons mbAbort = 0x010;
inline constexpr TMsgDlgButtons mbRetry = 0x020;
inline constexpr TMsgDlgButtons mbIgnore = 0x040;
inline constexpr TMsgDlgButtons mbAll = 0x080;
inline constexpr TMsgDlgButtons mbHelp = 0x100;
inline constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
inline constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

// The button that closed a message box.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;  // no answer (no screen, or the box was dismissed)
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;

class TShellUI {
  public:
    virtual ~TShellUI() = default;

    // Status line of the frame. HasStatusLine is false before the frame exists and
    // after it is gone; SetStatusText is then not called.
    virtual bool HasStatusLine() const = 0;
    // Sets the text and repaints the status line at once, before any further work.
    virtual void SetStatusText(std::string_view text) = 0;

    // The progress gauge of the status bar (hidden at start).
    virtual void ShowGauge(bool visible) = 0;
    virtual void SetGauge(int min, int max, int position) = 0;

    // The red "Refresh Needed." label at the right of the status line.
    virtual void ShowRefreshNeeded(bool visible) = 0;

    // The log window. AppendLogLine receives the whole line, time stamp included.
    virtual bool HasLogWindow() const = 0;
    virtual void AppendLogLine(std::string_view line) = 0;

    // The screen cursor.
    virtual TCursor CurrentCursor() const = 0;
    virtual void SetCursor(TCursor cursor) = 0;

    // Shows a modal message box and gives the button that closed it. helpContext 0
    // means no help topic.
    virtual TModalResult MessageDlg(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons,
                                    long helpContext) = 0;

    // Lets pending user-interface events run once (the message pump of long operations).
    virtual void ProcessMessages() = 0;

    // Opens the Preferences dialog (modal); runs its whole command.
    virtual void OpenPreferences() = 0;
};

// A screen that shows nothing and answers nothing (mrNone): the stand-in when no
// interface is installed, and a base for screens that show only some of it.
class TSilentShellUI : public TShellUI {
  public:
    bool HasStatusLine() const override { return false; }
    void SetStatusText(std::string_view) override {}
    void ShowGauge(bool) override {}
    void SetGauge(int, int, int) override {}
    void ShowRefreshNeeded(bool) override {}
    bool HasLogWindow() const override { return false; }
    void AppendLogLine(std::string_view) override {}
    TCursor CurrentCursor() const override { return crDefault; }
    void SetCursor(TCursor) override {}
    TModalResult MessageDlg(std::string_view, TMsgDlgType, TMsgDlgButtons, long) override {
        return mrNone;
    }
    void ProcessMessages() override {}
    void OpenPreferences() override {}
};

// The installed interface, or the silent stand-in when none is installed.
TShellUI& ShellUI();
// Installs an interface (not owned; nullptr uninstalls it) and gives the previous one.
// A start-up notice still waiting for a status line (the debug log could not be
// created) is shown in the new interface's status line, once.
TShellUI* SetShellUI(TShellUI* ui);

}  // namespace shell
