#include "app/ConsoleShellUI.h"

#include <cstdio>
#include <string>

namespace app {

namespace {

void WriteLine(std::string_view prefix, std::string_view text) {
    std::fwrite(prefix.data(), 1, prefix.size(), stdout);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace

void TConsoleShellUI::SetStatusText(std::string_view text) {
    // A terminal has no status line to repaint: the last text is kept for the closing
    // line, and the passing ones ("Loading Object: ...") stay out of the way.
    lastStatus_ = std::string(text);
}

void TConsoleShellUI::ShowRefreshNeeded(bool visible) {
    if (visible)
        WriteLine("status: ", "Refresh Needed.");
}

void TConsoleShellUI::AppendLogLine(std::string_view line) {
    WriteLine("log: ", line);
}

shell::TModalResult TConsoleShellUI::MessageDlg(std::string_view text, shell::TMsgDlgType,
                                                shell::TMsgDlgButtons buttons, long) {
    WriteLine("message: ", text);
    if (buttons & shell::mbOK)
        return shell::mrOk;
    if (buttons & shell::mbCancel)
        return shell::mrCancel;
    if (buttons & shell::mbNo)
        return shell::mrNo;
    return shell::mrNone;
}

}  // namespace app
