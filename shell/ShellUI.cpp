#include "shell/ShellUI.h"

namespace shell {

void ShowPendingNotice();  // utilities.cpp

namespace {

// The screen when there is none: shows nothing, answers nothing.
class TNoShellUI final : public TShellUI {
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

TNoShellUI g_noShellUI;
TShellUI* g_shellUI = nullptr;

}  // namespace

TShellUI& ShellUI() {
    return g_shellUI ? *g_shellUI : g_noShellUI;
}

TShellUI* SetShellUI(TShellUI* ui) {
    TShellUI* previous = g_shellUI;
    g_shellUI = ui;
    if (ui)
        ShowPendingNotice();
    return previous;
}

}  // namespace shell
