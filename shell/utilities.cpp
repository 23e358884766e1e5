#include "shell/utilities.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>

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

std::string FileNameNoExt(std::string_view path) {
    std::string_view name = NamePart(path);
    return std::string(name.substr(0, name.find('.')));
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

int PosFrom(std::string_view sub, std::string_view text, int start) {
    if (sub.empty())
        return 0;
    size_t from = start < 1 ? 0 : static_cast<size_t>(start) - 1;
    if (from > text.size())
        return 0;
    size_t p = text.find(sub, from);
    return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

std::string LeftStr(std::string_view text, int n) {
    if (n <= 0)
        return {};
    return std::string(text.substr(0, static_cast<size_t>(n)));
}

std::string RightStr(std::string_view text, int n) {
    if (n <= 0)
        return {};
    size_t count = std::min(text.size(), static_cast<size_t>(n));
    return std::string(text.substr(text.size() - count));
}

namespace {
template <class Add>
void SplitPieces(std::string_view text, std::string_view separator, Add add) {
    while (!text.empty()) {
        size_t p = separator.empty() ? std::string_view::npos : text.find(separator);
        if (p == std::string_view::npos) {
            add(text);  // the last piece, whole
            return;
        }
        add(text.substr(0, p));
        text.remove_prefix(p + separator.size());
    }
}

template <class Range>
std::string Join(const Range& items, std::string_view separator) {
    std::string out;
    bool first = true;
    for (const auto& item : items) {
        if (!first)
            out += separator;
        out += item;
        first = false;
    }
    return out;
}
}  // namespace

void SplitString(std::string_view text, TStringList& list, std::string_view separator) {
    SplitPieces(text, separator, [&](std::string_view piece) { list.Add(piece); });
}

void SplitString(std::string_view text, std::vector<std::string>& list,
                 std::string_view separator) {
    SplitPieces(text, separator, [&](std::string_view piece) { list.emplace_back(piece); });
}

std::string JoinStrings(const TStringList& list, std::string_view separator) {
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        if (i > 0)
            out += separator;
        out += list[i];
    }
    return out;
}

std::string JoinStrings(std::span<const std::string> list, std::string_view separator) {
    return Join(list, separator);
}

namespace {
template <class Range>
int IndexIn(std::string_view text, const Range& table) {
    int index = 0;
    for (const auto& entry : table) {
        if (std::string_view(entry) == text)
            return index;
        ++index;
    }
    return -1;
}
}  // namespace

int IndexOfString(std::string_view text, std::span<const std::string_view> table) {
    return IndexIn(text, table);
}
int IndexOfString(std::string_view text, std::span<const std::string> table) {
    return IndexIn(text, table);
}
int IndexOfString(std::string_view text, std::initializer_list<std::string_view> table) {
    return IndexIn(text, table);
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

std::string FirstWord(std::string_view text) {
    return std::string(text.substr(0, text.find(' ')));
}

std::ptrdiff_t FindBytes(std::string_view pattern, std::string_view buffer, size_t start,
                         size_t lastStart) {
    if (pattern.empty() || pattern.size() > buffer.size())
        return -1;
    size_t last = std::min(lastStart, buffer.size() - pattern.size());
    if (start > last)
        return -1;
    // Only the bytes a match starting in [start, last] could cover are looked at.
    std::string_view window = buffer.substr(start, last - start + pattern.size());
    size_t p = window.find(pattern);
    return p == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(start + p);
}

platform::TDateTime SecondsToDateTime(long long seconds, platform::TDateTime base) {
    return base + static_cast<double>(seconds / 86400) +
           static_cast<double>(seconds % 86400) / 86400.0;
}

namespace {
// Hoare partitioning around the middle element. The scans are bounded by the range, so
// a compare that is not a consistent order still never leaves it; the smaller side is
// sorted by recursion and the larger by the loop, so the depth stays logarithmic.
void QuickSort(std::vector<TStringItem>& items, int lo, int hi,
               const TStringListSortCompare& compare) {
    while (lo < hi) {
        int i = lo;
        int j = hi;
        const TStringItem pivot = items[static_cast<size_t>(lo + (hi - lo) / 2)];
        do {
            while (i < hi && compare(items[static_cast<size_t>(i)], pivot) < 0)
                ++i;
            while (j > lo && compare(items[static_cast<size_t>(j)], pivot) > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(items[static_cast<size_t>(i)], items[static_cast<size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - lo < hi - i) {
            if (lo < j)
                QuickSort(items, lo, j, compare);
            lo = i;
        } else {
            if (i < hi)
                QuickSort(items, i, hi, compare);
            hi = j;
        }
    }
}
}  // namespace

void SortStrings(TStringList& list, const TStringListSortCompare& compare) {
    if (list.Count() > 1 && compare)
        QuickSort(list.Items(), 0, list.Count() - 1, compare);
}

// ---- C strings for the ORCA calls ---------------------------------------------------

namespace {
std::array<std::string, 4> g_cStringBuffers;

char* ToCString(size_t buffer, std::string_view s) {
    std::string& b = g_cStringBuffers[buffer];
    b.assign(s);
    return b.data();
}
}  // namespace

char* CStr1(std::string_view s) {
    return ToCString(0, s);
}
char* CStr2(std::string_view s) {
    return ToCString(1, s);
}
char* CStr3(std::string_view s) {
    return ToCString(2, s);
}
char* CStr4(std::string_view s) {
    return ToCString(3, s);
}

}  // namespace shell
