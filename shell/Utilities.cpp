#include "shell/Utilities.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>

#include "platform/CodePage.h"
#include "platform/DateTime.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"

namespace shell {

namespace {

struct TUtilitiesState {
    std::string programDir;
    TCursorQue cursorQue;
    std::FILE* debugLog = nullptr;
    std::unique_ptr<platform::TRegIniFile> regIniFile;
    // A word for the status line that start-up could not show yet (no status line).
    std::string pendingNotice;
};

std::unique_ptr<TUtilitiesState> g_state;

TUtilitiesState& State() {
    if (!g_state)
        InitUtilities({});
    return *g_state;
}

void CloseDebugLog(TUtilitiesState& state) {
    if (state.debugLog) {
        std::fclose(state.debugLog);
        state.debugLog = nullptr;
    }
}

std::string DirectoryOfExecutable() {
    std::string host = platform::ProgramFileHostPath();
    if (host.empty())
        return {};
    std::string parent = std::filesystem::path(host).parent_path().string();
    if (parent.empty())
        return {};
    return platform::WindowsPath(parent);
}

std::string WithoutTrailingBackslash(std::string dir) {
    while (!dir.empty() && dir.back() == '\\')
        dir.pop_back();
    return dir;
}

// Opens (creating or emptying) log.txt in the program's directory; on failure leaves a
// notice for the status line and runs on without the log.
void OpenDebugLog(TUtilitiesState& state) {
    std::string path = state.programDir + "\\log.txt";
    std::string host = state.programDir.empty() ? std::string() : platform::HostPath(path);
    if (!host.empty())
        state.debugLog = std::fopen(host.c_str(), "wb");
    if (!state.debugLog)
        state.pendingNotice = "Debug log " + path + " could not be created; running without it.";
}

// The file-name component of a path: what follows its last backslash or colon.
std::string_view NamePart(std::string_view path) {
    size_t p = path.find_last_of("\\:");
    return p == std::string_view::npos ? path : path.substr(p + 1);
}

}  // namespace

// Called when an interface is installed: a start-up notice waiting for a status line is
// shown now, once.
void ShowPendingNotice() {
    if (!g_state || g_state->pendingNotice.empty() || !ShellUI().HasStatusLine())
        return;
    std::string notice = std::exchange(g_state->pendingNotice, {});
    ShowStatus(notice);
}

// ---- Program-wide state -------------------------------------------------------------

void InitUtilities(const std::vector<std::string>& args, std::string programDir) {
    if (g_state)
        DoneUtilities();
    g_state = std::make_unique<TUtilitiesState>();
    TUtilitiesState& state = *g_state;
    // 1. the program directory
    state.programDir =
        WithoutTrailingBackslash(programDir.empty() ? DirectoryOfExecutable() : programDir);
    // 2. the busy-cursor stack starts empty (it is a member)
    // 3. the debug log, only on the exact switch
    if (!args.empty() && args.front() == "/debug")
        OpenDebugLog(state);
    // 4. the wait cursor (id 1000) is the front end's resource
    // 5. the registry object
    state.regIniFile = std::make_unique<platform::TRegIniFile>(std::string(VellanorRegistryKey));
    // 6. the ANSI code page, chosen before any text is compared or shown
    platform::AnsiCodePage();
    // 7. what the registry file holds that cannot be read, one line each
    for (const std::string& problem : platform::RegistryFileProblems())
        LogMessage(problem);
    ShowPendingNotice();
}

void DoneUtilities() {
    if (!g_state)
        return;
    g_state->cursorQue.Clear();
    CloseDebugLog(*g_state);
}

void ResetUtilities() {
    DoneUtilities();
    g_state.reset();
}

const std::string& ProgramDir() {
    return State().programDir;
}
TCursorQue& CursorQue() {
    return State().cursorQue;
}
platform::TRegIniFile& RegIniFile() {
    return *State().regIniFile;
}

// ---- Logging and status -------------------------------------------------------------

std::string LogLineText(std::string_view message) {
    std::string line = platform::DateTimeToString(platform::Now());
    line += ": ";
    line += message;
    return line;
}

bool WriteDebug(std::string_view message) {
    std::FILE* log = State().debugLog;
    if (!log)
        return false;
    if (!message.empty()) {
        std::string line = LogLineText(message);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), log);
        std::fflush(log);  // the log is for finding faults: keep it whole if we crash
    }
    return true;
}

void LogMessage(std::string_view message) {
    WriteDebug(message);
    TShellUI& ui = ShellUI();
    if (ui.HasLogWindow())
        ui.AppendLogLine(LogLineText(message));
}

void ShowStatus(std::string_view message, bool log) {
    TShellUI& ui = ShellUI();
    if (ui.HasStatusLine())
        ui.SetStatusText(message);
    if (log)
        LogMessage(message);
    else
        WriteDebug(message);
}

void ShowGauge(bool visible) {
    ShellUI().ShowGauge(visible);
}
void SetGauge(int min, int max, int position) {
    ShellUI().SetGauge(min, max, position);
}
void ShowRefreshNeeded(bool visible) {
    ShellUI().ShowRefreshNeeded(visible);
}
void ProcessMessages() {
    ShellUI().ProcessMessages();
}

// ---- Busy cursor --------------------------------------------------------------------

void PushCursor(TCursor cursor) {
    TShellUI& ui = ShellUI();
    CursorQue().Push(ui.CurrentCursor());
    ui.SetCursor(cursor);
}

void PopCursor() {
    TCursorQue& que = CursorQue();
    ShellUI().SetCursor(que.Pop().value_or(crDefault));
    if (que.Empty())
        ShowStatus("Ready.");
}

// ---- Message boxes ------------------------------------------------------------------

void ShowNotice(std::string_view text) {
    PushCursor(crDefault);
    ShellUI().MessageDlg(text, TMsgDlgType::mtCustom, mbOK, 0);
    PopCursor();
}

TModalResult AskUser(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons,
                     long helpContext) {
    PushCursor(crDefault);
    TModalResult result = ShellUI().MessageDlg(text, kind, buttons, helpContext);
    PopCursor();
    return result;
}

// ---- Files --------------------------------------------------------------------------

bool CopyFileWithStatus(std::string_view source, std::string_view destination, bool keepDate) {
    std::string status = "Copying ";
    status += source;
    status += " to ";
    status += destination;
    status += ".";
    ShowStatus(status, true);
    return platform::CopyFile(source, destination, keepDate);
}

bool FileFound(std::string_view path) {
    if (path.empty())
        return false;
    return !platform::FindFiles(path, platform::faAnyFile).empty();
}

std::string ExtractDir(std::string_view path) {
    size_t p = path.find_last_of("\\:");
    if (p == std::string_view::npos)
        return {};
    return std::string(path.substr(0, path[p] == ':' ? p + 1 : p));
}

std::string ShortPathName(std::string_view path) {
    // Walks from the last component up to the drive root (3 characters or fewer),
    // collecting each component's short name; then joins them under the root.
    std::vector<std::string> names;
    std::string rest(path);
    while (rest.size() > 3) {
        std::string shortName;
        auto found = platform::FindFiles(rest, platform::faAnyFile);
        if (!found.empty())
            shortName = found.front().ShortName;
        if (shortName.empty())
            shortName = NamePart(rest);
        names.push_back(std::move(shortName));
        rest = ExtractDir(rest);
        if (rest.empty())
            break;  // a relative name: nothing above it
    }
    std::string result = rest;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!result.empty() || it != names.rbegin())
            result += '\\';
        result += *it;
    }
    return result;
}

// ---- Strings ------------------------------------------------------------------------

void SplitString(std::string_view text, std::vector<std::string>& list,
                 std::string_view separator) {
    while (!text.empty()) {
        size_t p = separator.empty() ? std::string_view::npos : text.find(separator);
        if (p == std::string_view::npos) {
            list.emplace_back(text);  // the last piece, whole
            return;
        }
        list.emplace_back(text.substr(0, p));
        text.remove_prefix(p + separator.size());
    }
}

std::string JoinStrings(std::span<const std::string> list, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < list.size(); ++i) {
        if (i > 0)
            out += separator;
        out += list[i];
    }
    return out;
}

int IndexOfString(std::string_view text, std::span<const std::string_view> table) {
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i] == text)
            return static_cast<int>(i);
    }
    return -1;
}

std::string ExtractWildcardPart(std::string_view name, std::string_view pattern) {
    size_t star = pattern.find('*');
    if (star == std::string_view::npos)
        return {};
    std::string_view before = pattern.substr(0, star);
    std::string_view after = pattern.substr(star + 1);
    size_t p = name.find(before);
    if (p == std::string_view::npos)
        return {};
    std::string_view rest = name.substr(p + before.size());
    if (after.empty())
        return std::string(rest);
    size_t q = rest.find(after);
    if (q == std::string_view::npos)
        return {};
    return std::string(rest.substr(0, q));
}

std::string_view FirstWord(std::string_view text) {
    return text.substr(0, text.find(' '));
}

}  // namespace shell
