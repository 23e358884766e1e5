#pragma once
// The screen of the program while it has no window: log lines and message boxes are
// written to the terminal; questions take their default answer.

#include "shell/ShellUI.h"

namespace app {

class TConsoleShellUI final : public shell::TShellUI {
  public:
    bool HasStatusLine() const override { return true; }
    void SetStatusText(std::string_view text) override;
    void ShowGauge(bool) override {}
    void SetGauge(int, int, int) override {}
    void ShowRefreshNeeded(bool visible) override;
    bool HasLogWindow() const override { return true; }
    void AppendLogLine(std::string_view line) override;
    shell::TCursor CurrentCursor() const override { return cursor_; }
    void SetCursor(shell::TCursor cursor) override { cursor_ = cursor; }
    shell::TModalResult MessageDlg(std::string_view text, shell::TMsgDlgType kind,
                                   shell::TMsgDlgButtons buttons, long helpContext) override;
    void ProcessMessages() override {}
    void OpenPreferences() override {}
    const std::string& LastStatus() const { return lastStatus_; }

  private:
    shell::TCursor cursor_ = shell::crDefault;
    std::string lastStatus_;
};

}  // namespace app
