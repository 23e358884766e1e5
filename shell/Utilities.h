#pragma once
// Program-wide services used by every part of the program: the program directory, the
// debug log switched on by "/debug", status texts that are also logged, the stack of
// busy cursors, message boxes shown with the normal pointer, file copying with a status
// text, and string and file-name helpers.
//
// Program-wide state is set up by InitUtilities, in this order: the program directory,
// the busy-cursor stack, the debug log, the registry object on Software\Vellanor, the
// ANSI code page (platform/CodePage.h, chosen once per run). (The program's wait cursor,
// id 1000, is the front end's resource.) Each piece is reached through one accessor
// below; an accessor used before InitUtilities sets everything up as a start without
// arguments would. ResetUtilities drops the state (tests).

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "shell/ShellUI.h"

namespace shell {

// ---- Program-wide state -------------------------------------------------------------

// A last-in, first-out stack.
template <class T>
class TQueue {
  public:
    void Push(T item) { items_.push_back(std::move(item)); }
    // Removes and gives the last item pushed; nothing when the stack is empty.
    std::optional<T> Pop() {
        if (items_.empty())
            return std::nullopt;
        T item = std::move(items_.back());
        items_.pop_back();
        return item;
    }
    bool Empty() const { return items_.empty(); }
    void Clear() { items_.clear(); }

  private:
    std::vector<T> items_;
};

// The busy-cursor stack: the cursors to go back to, the most recent last.
using TCursorQue = TQueue<TCursor>;

// The registry key of the program's settings under HKEY_CURRENT_USER.
inline constexpr std::string_view VellanorRegistryKey = "Software\\Vellanor";

// Sets up the program-wide services. args are the command-line arguments after the
// program's name; the debug log is opened when the first is exactly "/debug" (case
// counts). programDir is the program's directory in Windows form; empty takes the
// directory of the running executable. Calling it again first releases what the
// previous call set up.
void InitUtilities(const std::vector<std::string>& args, std::string programDir = {});
// Releases the services at exit: empties the cursor stack, closes the debug log.
void DoneUtilities();
// Forgets every piece of program-wide state, as if the program had not started (tests).
void ResetUtilities();

// The directory of the program's executable, Windows form, no trailing backslash.
const std::string& ProgramDir();
TCursorQue& CursorQue();
// The registry object on HKEY_CURRENT_USER\Software\Vellanor shared by all settings.
platform::TRegIniFile& RegIniFile();

// ---- Logging and status -------------------------------------------------------------

// The current local date and time, ": " and the message: a line of the debug log and
// of the log window (without line end).
std::string LogLineText(std::string_view message);

// Appends the message to the debug log as one line (time stamp, ": ", message, CR LF)
// when the log is open and the message is not empty. True when the debug log is open,
// so WriteDebug("") asks whether it is.
bool WriteDebug(std::string_view message);
// WriteDebug, then the same line at the end of the log window when there is one.
void LogMessage(std::string_view message);
// Shows the message in the status line (repainted at once) when there is one, then
// LogMessage when log is true, else WriteDebug: every status text reaches the debug log.
void ShowStatus(std::string_view message, bool log = false);

// The rest of the screen services, each doing nothing when there is no screen.
void ShowGauge(bool visible);
void SetGauge(int min, int max, int position);
void ShowRefreshNeeded(bool visible);
void ProcessMessages();

// ---- Busy cursor --------------------------------------------------------------------

// Remembers the screen's current cursor on the stack and shows the given one.
void PushCursor(TCursor cursor);
// Shows the cursor last remembered; when the stack is then empty, the status line says
// "Ready.". A pop without a matching push shows the normal pointer and says "Ready.".
void PopCursor();

// ---- Message boxes (the normal pointer is shown while they are up) ------------------

void ShowNotice(std::string_view text);
TModalResult AskUser(std::string_view text, TMsgDlgType kind, TMsgDlgButtons buttons,
                     long helpContext = 0);

// ---- Files (Windows paths) ----------------------------------------------------------

// Copies source over destination (created or emptied), after showing and logging
// "Copying <source> to <destination>."; keepDate gives the copy the source's date and
// time. False when a file cannot be opened or written, with the reason in
// platform::LastErrorText(); the destination is then left as it was. (Replication copies
// the libraries with it.)
bool CopyFileWithStatus(std::string_view source, std::string_view destination, bool keepDate);
// True when a directory search for path, with every attribute, finds an entry.
bool FileFound(std::string_view path);
// The directory part of path: what stands before its last backslash, or up to and
// including its last colon; empty when it has neither. Never ends with a backslash
// ("c:\x.pbl" gives "c:").
std::string ExtractDir(std::string_view path);
// The path with each component replaced by its short (8.3) name where the file system
// has one. Paths of 3 characters or fewer are given back unchanged. (The program-manager
// item of the start-up registration names the program by it.)
std::string ShortPathName(std::string_view path);

// ---- Strings ------------------------------------------------------------------------

// Appends to list the pieces of text between separators, each piece whole. An empty
// text adds nothing; a text ending with a separator adds no empty last piece.
void SplitString(std::string_view text, std::vector<std::string>& list,
                 std::string_view separator = ";");
// The items joined with the separator between them.
std::string JoinStrings(std::span<const std::string> list, std::string_view separator = ";");
// First index whose entry equals text exactly (case counts), or -1.
int IndexOfString(std::string_view text, std::span<const std::string_view> table);
// The part of name that the single * of pattern stands for: between the pattern's text
// before the star (its first occurrence in name) and the next occurrence of its text
// after the star. Empty when the text before the star does not occur, when the text
// after it does not follow, or when pattern has no star; with nothing after the star,
// the rest of name. ("CheckBox*Option" on "CheckBoxMenuOption" gives "Menu".)
std::string ExtractWildcardPart(std::string_view name, std::string_view pattern);
// The text before its first blank (the whole text when it has none).
std::string_view FirstWord(std::string_view text);

}  // namespace shell
