// sorvanti-cli: the catalogue from a shell, without a window. It uses the window's
// settings, prefix, pb.ini location and ORCA library.
//
//   sorvanti-cli [--pbini PATH] COMMAND [ARGUMENTS]
//
// Exit status: 0 success, 1 nothing found or an operation failed, 2 bad usage. Errors go
// to stderr; what the commands find goes to stdout.

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/CliCommands.h"
#include "app/CliSupport.h"
#include "catalogue/Hierarchy.h"
#include "catalogue/Orcactrl.h"
#include "catalogue/Source.h"
#include "orca/EntryTypes.h"
#include "orca/OrcaObjects.h"
#include "orca/TextBridge.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "views/PBTreeSync.h"

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

constexpr const char* UsageText =
    "usage: sorvanti-cli [--pbini PATH] COMMAND [ARGUMENTS]\n"
    "\n"
    "  apps                     the applications of pb.ini: name and application library\n"
    "  libs APP                 the application's library search path: entries per\n"
    "                           library, libraries that cannot be found marked missing\n"
    "  list APP|LIB             the entries of an application's libraries, or of one\n"
    "                           library: type, name, date, size, comment\n"
    "  show APP OBJECT          the exported source of the first object of that name on\n"
    "                           the application's search path\n"
    "  hierarchy APP [OBJECT]   the inheritance tree under \"System\" (or under OBJECT),\n"
    "                           one class per line, indented two blanks per generation\n"
    "  export APP|LIB... DIR    every source as a .sr* file with its export header, one\n"
    "                           folder per library (a library named twice is exported\n"
    "                           once); a file whose content is already the same is left\n"
    "                           untouched. The files are in the code page, or with\n"
    "                           --utf8 UTF-8 after a byte-order mark as PowerBuilder 10\n"
    "                           and later export (HEXASCII escapes of a Unicode\n"
    "                           library's characters turned back into them), or with\n"
    "                           --ha in the code page marked \"HA\" before the header\n"
    "\n"
    "  --pbini PATH             the pb.ini to read (a Windows path, or a host path)\n"
    "  --help                   this text\n"
    "\n"
    "Applications are named as in pb.ini; libraries by Windows path (c:\\apps\\x.pbl) or\n"
    "host path. Exit status: 0 success, 1 nothing found or an operation failed, 2 bad\n"
    "usage.\n";

// The progress line: the status texts of long work, drawn over each other on stderr
// when it is a terminal. It appears once the work has taken half a second, is redrawn at
// most ten times a second, and is wiped before any other line goes to stderr.
class TProgressLine {
  public:
    TProgressLine() : terminal_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}
    bool Shown() const { return terminal_; }
    void Draw(std::string_view text) {
        const Clock::time_point now = Clock::now();
        if (!terminal_ || now - start_ < std::chrono::milliseconds(500) ||
            (drawn_ && now - last_ < std::chrono::milliseconds(100)))
            return;
        last_ = now;
        struct winsize size {};
        const size_t width =
            ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col : 80;
        text = text.substr(0, width - 1);
        std::fprintf(stderr, "\r%.*s\x1b[K", static_cast<int>(text.size()), text.data());
        std::fflush(stderr);
        drawn_ = true;
    }
    void Wipe() {
        if (drawn_)
            std::fputs("\r\x1b[K", stderr);
        drawn_ = false;
    }

  private:
    using Clock = std::chrono::steady_clock;
    bool terminal_;
    bool drawn_ = false;
    Clock::time_point start_, last_;
};

TProgressLine progress;

}  // namespace

namespace cli {

void ErrorLine(const char* format, ...) {
    progress.Wipe();
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

}  // namespace cli

namespace {

using cli::ErrorLine;
using cli::Fail;
using cli::LooksLikePath;
using cli::TypeName;
using cli::WindowsForm;

// The screen of a command line: nothing is shown but the progress line; what the program
// would log or ask goes to stderr, and no question is answered.
class TCliShellUI : public shell::TSilentShellUI {
  public:
    bool HasStatusLine() const override { return progress.Shown(); }
    void SetStatusText(std::string_view text) override { progress.Draw(text); }
    bool HasLogWindow() const override { return true; }
    // A log line without its time stamp (what stands before the first ": ").
    void AppendLogLine(std::string_view line) override {
        const size_t cut = line.find(": ");
        if (cut != std::string_view::npos)
            line.remove_prefix(cut + 2);
        ErrorLine("sorvanti-cli: %.*s\n", static_cast<int>(line.size()), line.data());
    }
    shell::TModalResult MessageDlg(std::string_view text, shell::TMsgDlgType, shell::TMsgDlgButtons,
                                   long) override {
        ErrorLine("sorvanti-cli: %.*s\n", static_cast<int>(text.size()), text.data());
        return shell::mrNone;
    }
};

int Usage(const std::string& message) {
    ErrorLine("sorvanti-cli: %s\n%s", message.c_str(), UsageText);
    return ExitUsage;
}

// Output to stdout; a write that fails (a closed pipe) ends the command with status 1.
bool outputFailed = false;
void Out(std::string_view text) {
    if (outputFailed)
        return;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        outputFailed = true;
}
void Line(const std::string& text) {
    Out(text);
    Out("\n");
}

std::string EntryRow(const catalogue::TPBObj& obj) {
    char size[16];
    std::snprintf(size, sizeof size, "%8d", static_cast<int>(obj.Size));
    std::string row = TypeName(obj.EntryType);
    row.resize(std::max<size_t>(row.size(), 16), ' ');
    std::string name = obj.Name;
    name.resize(std::max<size_t>(name.size(), 40), ' ');
    return row + " " + name + " " + views::FormatEntryTime(obj.CreateTime) + " " + size + "  " +
           obj.Comment;
}

int Apps(catalogue::TOrcaMgr& mgr) {
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        std::string name = mgr.Apps[i]->Name;
        name.resize(std::max<size_t>(name.size(), 32), ' ');
        Line(name + " " + mgr.Apps[i]->AppLib);
    }
    return mgr.Apps.Count() > 0 ? ExitOk : Fail("pb.ini lists no application");
}

int Libs(catalogue::TPBApp& app) {
    app.LoadLibraryList();
    for (const auto& item : app.LibRefs) {
        const catalogue::TPBLib& lib = *item.Obj->Lib;
        std::string name = lib.Name;
        name.resize(std::max<size_t>(name.size(), 48), ' ');
        Line(name + " " +
             (lib.Exists ? std::to_string(lib.Entries.Count()) + " entries" : "missing"));
    }
    return ExitOk;
}

catalogue::TPBObjRef* FindObject(catalogue::TPBApp& app, const std::string& name) {
    for (const auto& lib : app.LibRefs)
        for (const auto& ref : lib.Obj->ObjRefs)
            if (platform::AnsiSameText(ref.Obj->Obj->Name, name))
                return ref.Obj;
    return nullptr;
}

int Show(catalogue::TPBApp& app, const std::string& name) {
    catalogue::LoadNode(&app);
    catalogue::TPBObjRef* ref = FindObject(app, name);
    if (!ref)
        return Fail("no object " + name + " on the search path of " + app.Name);
    const std::string_view source = ref->Obj->SourceText();
    if (source.empty())
        return Fail("the source of " + name + " in " + ref->Obj->Lib->Name +
                    " could not be exported");
    Out(source);
    return ExitOk;
}

void PrintTree(const catalogue::TPBObjRef& ref, int depth) {
    Line(std::string(static_cast<size_t>(depth) * 2, ' ') + ref.Obj->Name);
    for (const auto& child : ref.Children)
        if (child.Obj != &ref)
            PrintTree(*child.Obj, depth + 1);
}

int Hierarchy(catalogue::TPBApp& app, const std::string& name) {
    catalogue::LoadNode(&app);
    const catalogue::TPBObjRef* root = app.SystemRoot;
    if (!name.empty()) {
        root = FindObject(app, name);
        if (!root)
            for (const auto& sys : app.SysRefs)
                if (platform::AnsiSameText(sys.Obj->Obj->Name, name))
                    root = sys.Obj;
        if (!root)
            return Fail("no class " + name + " in the hierarchy of " + app.Name);
    }
    if (!root)
        return Fail("no hierarchy for " + app.Name);
    PrintTree(*root, 0);
    return ExitOk;
}

// The libraries an APP|LIB operand names (existing ones only), or an error text.
std::vector<catalogue::TPBLib*> Libraries(catalogue::TOrcaMgr& mgr, const std::string& what,
                                          std::string* error) {
    std::vector<catalogue::TPBLib*> libs;
    if (LooksLikePath(what)) {
        catalogue::TPBLib* lib = mgr.FindLibrary(platform::FullWindowsPath(WindowsForm(what)));
        if (!lib->Exists) {
            *error = "no library " + what + " (" + lib->Name + " is not a library file)";
            return {};
        }
        lib->EnsureLoaded();
        libs.push_back(lib);
    } else if (catalogue::TPBApp* app = mgr.FindApp(what)) {
        app->LoadLibraryList();
        for (const auto& item : app->LibRefs)
            if (item.Obj->Lib->Exists)
                libs.push_back(item.Obj->Lib);
    } else {
        *error = "no application " + what + " in " + mgr.PBIniFile();
    }
    return libs;
}

int List(catalogue::TOrcaMgr& mgr, const std::string& what) {
    std::string error;
    const std::vector<catalogue::TPBLib*> libs = Libraries(mgr, what, &error);
    if (!error.empty())
        return Fail(error);
    for (catalogue::TPBLib* lib : libs)
        for (int i = 0; i < lib->Entries.Count(); ++i)
            Line(EntryRow(*lib->Entries[i]));
    return ExitOk;
}

// Files replaced as a batch. Each is written to a temporary file beside it, and only when
// every one is written are they flushed to disk and renamed over their files, so that a
// crash or a full disk leaves every file either as it was or complete, as
// platform::WriteHostFileAtomic does for one file (a symbolic link stays a link and its
// target gets the content; an existing file keeps its permissions). What differs is the
// cost: the files are flushed together, with one flush of each file system they are on
// (syncfs), instead of one wait for the disk per file, which made an export of many small
// files several times slower than copying them; after the renames the file systems are
// flushed once more for the folders. A failure before the renames renames nothing and
// removes every temporary file; a rename that fails stops the renames there (the files
// renamed before it are complete).
class TBatchWriter {
  public:
    TBatchWriter() = default;
    TBatchWriter(const TBatchWriter&) = delete;
    TBatchWriter& operator=(const TBatchWriter&) = delete;
    ~TBatchWriter() {
        Drop();
        for (const auto& [dir, fd] : folders_)
            ::close(fd);
    }

    // Writes the new content of path to its temporary file. absent: the caller found no
    // file there, so there are no permissions to keep and no link to follow. False with
    // the reason in *error when the temporary file cannot be written or an earlier file
    // failed.
    bool Add(const std::string& path, std::string_view bytes, bool absent, std::string* error) {
        if (failed_)
            return Refuse(error, error_);
        std::string target = path;
        struct stat st {};
        bool exists = false;
        if (!absent && ::lstat(path.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode)) {
                std::error_code ec;
                const std::filesystem::path resolved = std::filesystem::canonical(path, ec);
                if (!ec)
                    target = resolved.string();
            }
            exists = ::stat(target.c_str(), &st) == 0;
            if (exists && S_ISDIR(st.st_mode))
                return Refuse(error, "cannot write " + target + ": " + std::strerror(EISDIR));
        }
        const size_t slash = target.rfind('/');
        const int folder = Folder(slash == std::string::npos ? "." : target.substr(0, slash));
        if (folder < 0)
            return Refuse(error, error_);
        Job job{target, folder, target.substr(slash == std::string::npos ? 0 : slash + 1), {}};
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            job.temp = "." + job.name + ".tmp" + pid_ + "-" + std::to_string(counter_++);
            fd = ::openat(folder, job.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                break;
        }
        if (fd < 0)
            return Refuse(error, "cannot create a temporary file for " + target + ": " +
                                     std::strerror(errno));
        jobs_.push_back(job);
        std::string problem;
        if (exists) {
            if (::fchmod(fd, st.st_mode & 07777) != 0)
                problem = "cannot set the permissions of " + job.temp + ": " + std::strerror(errno);
            struct stat own {};
            if (problem.empty() && ::fstat(fd, &own) == 0 &&
                (own.st_uid != st.st_uid || own.st_gid != st.st_gid))
                if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
                    // Not allowed to give the file away: the content matters more.
                }
        }
        for (const char* data = bytes.data(); problem.empty() && data < bytes.end();) {
            const ssize_t n = ::write(fd, data, static_cast<size_t>(bytes.end() - data));
            if (n < 0 && errno != EINTR)
                problem = "cannot write " + job.temp + ": " + std::strerror(errno);
            else if (n > 0)
                data += n;
        }
        if (::close(fd) != 0 && problem.empty())
            problem = "cannot write " + job.temp + ": " + std::strerror(errno);
        return problem.empty() || Refuse(error, problem);
    }

    // Flushes every file written, renames each over its file and flushes their folders.
    // False with the reason in *error.
    bool Finish(std::string* error) {
        if (failed_)
            return Refuse(error, error_);
        for (const auto& [device, folder] : fileSystems_)
            if (::syncfs(folder->second) != 0)
                return Refuse(error, "cannot flush the files written beside " + folder->first +
                                         " to disk: " + std::strerror(errno));
        for (size_t i = 0; i < jobs_.size(); ++i)
            if (::renameat(jobs_[i].folder, jobs_[i].temp.c_str(), jobs_[i].folder,
                           jobs_[i].name.c_str()) != 0) {
                jobs_.erase(jobs_.begin(), jobs_.begin() + static_cast<std::ptrdiff_t>(i));
                return Refuse(error,
                              "cannot replace " + jobs_[0].target + ": " + std::strerror(errno));
            }
        jobs_.clear();
        // The renames reach the disk too; a file system that refuses leaves them standing.
        for (const auto& [device, folder] : fileSystems_)
            (void)::syncfs(folder->second);
        return true;
    }

  private:
    struct Job {
        std::string target;  // as the user sees it
        int folder;          // the folder it is in, and in it:
        std::string name, temp;
    };

    // The folder dir held open, which its files are created and renamed in without
    // walking its path again for each; -1 with the reason in error_. The first folder of
    // each file system is opened before any file on it is written, so that the file
    // system's flush reports a failure to write back any of them.
    int Folder(const std::string& dir) {
        if (const auto it = folders_.find(dir); it != folders_.end())
            return it->second;
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            error_ = "cannot write into " + dir + ": " + std::strerror(errno);
            if (fd >= 0)
                ::close(fd);
            return -1;
        }
        fileSystems_.try_emplace(st.st_dev, folders_.emplace(dir, fd).first);
        return fd;
    }

    bool Refuse(std::string* error, std::string text) {
        if (!failed_)
            error_ = std::move(text);
        failed_ = true;
        Drop();
        if (error)
            *error = error_;
        return false;
    }

    // Removes the temporary files not renamed.
    void Drop() {
        for (const Job& job : jobs_)
            ::unlinkat(job.folder, job.temp.c_str(), 0);
        jobs_.clear();
    }

    std::vector<Job> jobs_;
    using TFolders = std::map<std::string, int>;
    TFolders folders_;                                       // each folder written into, open
    std::map<dev_t, TFolders::const_iterator> fileSystems_;  // one folder of each
    const std::string pid_ = std::to_string(::getpid());
    std::string error_;
    bool failed_ = false;
    unsigned counter_ = 0;
};

// The names in folder; none when it cannot be read.
std::optional<std::set<std::string>> NamesIn(const std::filesystem::path& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return std::nullopt;
    std::set<std::string> names;
    while (const dirent* e = ::readdir(d))
        names.emplace(e->d_name);
    ::closedir(d);
    return names;
}

// Whether the file at path holds exactly bytes; *absent tells that there is no file
// (nothing at all, or a link to nothing). A file of another size is not read.
bool SameContent(const std::string& path, std::string_view bytes, bool* absent) {
    *absent = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *absent = errno == ENOENT;
        return false;
    }
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                static_cast<uint64_t>(st.st_size) == bytes.size();
    if (same) {
        std::string content(bytes.size() + 1, '\0');  // one byte more sees a file grown
        size_t used = 0;
        for (;;) {
            const ssize_t n = ::read(fd, content.data() + used, content.size() - used);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            used += static_cast<size_t>(n);
            if (used == content.size())
                break;
        }
        same = used == bytes.size() && std::string_view(content.data(), used) == bytes;
    }
    ::close(fd);
    return same;
}

// The export of one library: every object its directory lists, exported from inside
// the directory pass, so that ORCA reads the library once and no source is held
// longer than it takes to write its file.
struct TExportPass {
    catalogue::TOrca& orca;
    const std::string& library;
    std::filesystem::path folder;
    std::vector<char>& buffer;  // reused from entry to entry
    TBatchWriter& writer;
    orca::ExportEncoding encoding = orca::ExportEncoding::Ansi;
    // What the folder held before the export, when it could be read: a file it did not
    // hold need not be opened to be compared.
    std::optional<std::set<std::string>> names;
    int written = 0, unchanged = 0, failed = 0;
    std::string error;  // a file that cannot be written ends the export
};

// Code page text as UTF-8: the HEXASCII escapes in which the calls give what a Unicode
// library holds beyond the code page become those characters again. Text that does not
// read as escaped text (an ANSI library's source may hold anything) goes through the
// code page as it stands.
std::string AnsiAsUtf8(std::string_view ansi) {
    std::string utf16;
    if (!orca::AnsiToUtf16(ansi, &utf16, nullptr)) {
        utf16.clear();
        for (const char16_t unit : platform::AnsiToUnicode(ansi)) {
            utf16 += static_cast<char>(unit & 0xff);
            utf16 += static_cast<char>(unit >> 8);
        }
    }
    return orca::Utf16ToUtf8(utf16);
}

// Exports are tried again with a buffer sized from the entry's information block;
// a source that keeps growing between the attempts gives up after this many.
constexpr int ExportAttempts = 4;

// The source of one entry, exported into the pass's buffer; empty when it cannot be
// had whole.
std::string_view ExportSource(TExportPass& pass, const std::string& name, int type) {
    for (int attempt = 0; attempt < ExportAttempts; ++attempt) {
        pass.buffer.back() = '\0';
        const int32_t rc = pass.orca.EntryExport(pass.library, name, type, pass.buffer.data(),
                                                 static_cast<int32_t>(pass.buffer.size() - 1),
                                                 attempt + 1 < ExportAttempts);
        if (rc == PBORCA_OK)
            return std::string_view(pass.buffer.data());
        if (rc != PBORCA_BUFFERTOOSMALL)
            return {};
        PBORCA_ENTRYINFO info{};
        if (pass.orca.EntryInformation(pass.library, name, type, &info) != PBORCA_OK)
            return {};
        const size_t wanted = std::max(static_cast<size_t>(std::max(info.lSourceSize, 0)) + 2,
                                       pass.buffer.size() * 2);
        if (wanted > static_cast<size_t>(INT32_MAX))
            return {};
        pass.buffer.assign(wanted, '\0');
    }
    return {};
}

void ExportEntry(PBORCA_DIRENTRY* record, void* userData) {
    auto& pass = *static_cast<TExportPass*>(userData);
    if (!record || !pass.error.empty())
        return;
    // The callback runs inside ORCA's C code: nothing may leave it by exception.
    try {
        const std::string name = record->lpszEntryName ? record->lpszEntryName : "";
        const int type = static_cast<int>(record->otEntryType);
        const orca::TEntryKind* kind = orca::EntryKind(type);
        const std::string_view source = kind ? ExportSource(pass, name, type) : std::string_view();
        if (source.empty()) {
            ErrorLine("sorvanti-cli: %s: %s could not be exported\n", pass.library.c_str(),
                      name.c_str());
            ++pass.failed;
            return;
        }
        const std::string comment(record->szComment,
                                  strnlen(record->szComment, sizeof record->szComment));
        const std::string file = name + "." + std::string(kind->sourceExtension);
        const std::string bytes =
            pass.encoding == orca::ExportEncoding::Utf8
                ? std::string(orca::Utf8Bom) + orca::FormatExportFile(AnsiAsUtf8(file),
                                                                      AnsiAsUtf8(comment),
                                                                      AnsiAsUtf8(source))
                : orca::FormatExportFile(file, comment, source,
                                         pass.encoding == orca::ExportEncoding::HexAscii);
        const std::string path = (pass.folder / file).string();
        bool absent = pass.names && !pass.names->count(file);
        if (!absent && SameContent(path, bytes, &absent)) {
            ++pass.unchanged;
        } else if (pass.writer.Add(path, bytes, absent, &pass.error)) {
            ++pass.written;
        }
    } catch (const std::exception& e) {
        pass.error = e.what();
    }
}

int Export(catalogue::TOrcaMgr& mgr, const std::vector<std::string>& whats, const std::string& dir,
           orca::ExportEncoding encoding) {
    std::vector<catalogue::TPBLib*> libs;
    for (const std::string& what : whats) {
        std::string error;
        const std::vector<catalogue::TPBLib*> found = Libraries(mgr, what, &error);
        if (!error.empty())
            return Fail(error);
        for (catalogue::TPBLib* lib : found)
            if (std::find(libs.begin(), libs.end(), lib) == libs.end())
                libs.push_back(lib);
    }
    const std::filesystem::path root =
        std::filesystem::path(!dir.empty() && dir[0] == '/' ? dir : platform::HostPath(dir));
    if (root.empty())
        return Fail("cannot write into " + dir + ": no such drive");
    int written = 0, unchanged = 0, failed = 0;
    TBatchWriter writer;
    std::vector<char> buffer(mgr.ExportBuffer.size() + 1, '\0');
    for (catalogue::TPBLib* lib : libs) {
        std::string stem = lib->Name.substr(lib->Name.find_last_of("\\:") + 1);
        if (const size_t dot = stem.rfind('.'); dot != std::string::npos)
            stem.resize(dot);
        const std::filesystem::path folder = root / stem;
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec)
            return Fail("cannot create " + folder.string() + ": " + ec.message());
        shell::ShowStatus("Exporting " + lib->Name);
        TExportPass pass{mgr.GetSession(), lib->Name, folder, buffer, writer, encoding,
                         NamesIn(folder),  0,         0,      0,      {}};
        if (mgr.GetSession().LibraryDirectory(lib->Name, nullptr, 0, &ExportEntry, &pass) != 0 &&
            pass.error.empty())
            return Fail("cannot read the directory of " + lib->Name);
        if (!pass.error.empty())
            return Fail(pass.error);
        written += pass.written;
        unchanged += pass.unchanged;
        failed += pass.failed;
    }
    std::string error;
    if (!writer.Finish(&error))
        return Fail(error);
    ErrorLine("sorvanti-cli: %d sources written, %d unchanged, %d failed, in %s\n", written,
              unchanged, failed, root.string().c_str());
    return failed == 0 ? ExitOk : ExitFailed;
}

int Run(std::vector<std::string> args) {
    std::string pbIni;
    orca::ExportEncoding encoding = orca::ExportEncoding::Ansi;
    std::vector<std::string> words;
    // The search, replace and write-back commands take their own options (cli::Parse).
    std::vector<std::string> commandWords;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool cliCommand = !words.empty() && cli::IsCommand(words[0]);
        if (!cliCommand && (args[i] == "--help" || args[i] == "-h")) {
            Out(UsageText);
            Out("\n");
            Out(cli::CommandsUsage());
            return ExitOk;
        }
        if (args[i] == "--utf8" || args[i] == "--ha") {
            encoding =
                args[i] == "--utf8" ? orca::ExportEncoding::Utf8 : orca::ExportEncoding::HexAscii;
        } else if (args[i] == "--pbini") {
            if (i + 1 >= args.size())
                return Usage("--pbini needs a path");
            pbIni = WindowsForm(args[++i]);
        } else if (cliCommand) {
            commandWords.push_back(args[i]);
        } else if (args[i].rfind("--", 0) == 0) {
            return Usage("unknown option " + args[i]);
        } else {
            words.push_back(args[i]);
        }
    }
    if (words.empty())
        return Usage("no command");
    const std::string command = words[0];
    const size_t operands = words.size() - 1;
    struct TCommand {
        const char* name;
        size_t least, most;
    };
    static constexpr TCommand Commands[] = {{"apps", 0, 0},      {"libs", 1, 1},
                                            {"list", 1, 1},      {"show", 2, 2},
                                            {"hierarchy", 1, 2}, {"export", 2, SIZE_MAX}};
    const TCommand* chosen = nullptr;
    for (const TCommand& c : Commands)
        if (command == c.name)
            chosen = &c;
    std::optional<cli::TInvocation> invocation;
    if (cli::IsCommand(command)) {
        std::string error;
        invocation = cli::Parse(command, commandWords, &error);
        if (!invocation) {
            ErrorLine("sorvanti-cli: %s\n%s", error.c_str(), cli::CommandHelp(command).c_str());
            return ExitUsage;
        }
        if (invocation->Help) {
            Out(cli::CommandHelp(command));
            return ExitOk;
        }
    } else if (!chosen) {
        return Usage("unknown command " + command);
    } else if (operands < chosen->least || operands > chosen->most) {
        return Usage("wrong number of arguments for " + command);
    }

    shell::TOptionsForm& options = shell::CreateOptionsForm();
    if (!pbIni.empty()) {
        if (!platform::FileExists(pbIni))
            return Fail("cannot read pb.ini " + pbIni + ": no such file");
        options.PBIniFileName = pbIni;
    }
    catalogue::TOrcaMgr& mgr = catalogue::CreateOrcaMgr();
    // The export reads each source inside its own directory pass and holds none; the
    // catalogue then only lists the libraries.
    if (command == "export")
        mgr.Options = catalogue::TCatalogueOptions{catalogue::TCatalogueOption::AncestorFromSource};
    if (mgr.GetPBIniFile().empty())
        return Fail("no pb.ini found (give one with --pbini)");
    if (!mgr.LoadOrcaDll())
        return Fail(std::string("the ORCA library ") + options.SelectedPBVersion().OrcaDll.data() +
                    " could not be loaded");
    mgr.LoadApplications();

    if (invocation)
        return cli::RunCommand(mgr, *invocation);
    if (command == "apps")
        return Apps(mgr);
    if (command == "list")
        return List(mgr, words[1]);
    if (command == "export")
        return Export(mgr, std::vector<std::string>(words.begin() + 1, words.end() - 1),
                      words.back(), encoding);
    catalogue::TPBApp* app = mgr.FindApp(words[1]);
    if (!app)
        return Fail("no application " + words[1] + " in " + mgr.PBIniFile());
    if (command == "libs")
        return Libs(*app);
    if (command == "show")
        return Show(*app, words[2]);
    return Hierarchy(*app, operands > 1 ? words[2] : std::string());
}

}  // namespace

int main(int argc, char** argv) {
    // A command reads whole libraries and exports their sources into memory: on large
    // pages that costs far fewer page faults.
    platform::UseLargePagesForHeap(size_t{256} << 20);
    // A closed pipe is a failed write, reported, not a signal that kills silently.
    std::signal(SIGPIPE, SIG_IGN);
    TCliShellUI screen;
    shell::SetShellUI(&screen);
    shell::InitUtilities({});
    int status = Run(std::vector<std::string>(argv + 1, argv + argc));
    if (std::fflush(stdout) != 0)
        outputFailed = true;
    progress.Wipe();
    if (outputFailed) {
        ErrorLine("sorvanti-cli: cannot write the output: %s\n", std::strerror(errno));
        status = ExitFailed;
    }
    catalogue::ResetOrcaMgr();
    shell::DoneUtilities();
    shell::SetShellUI(nullptr);
    return status;
}
