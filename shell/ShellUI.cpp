#include "shell/ShellUI.h"

namespace shell {

void ShowPendingNotice();  // utilities.cpp

namespace {

TSilentShellUI g_noShellUI;
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
