// sorvanti-cli: the catalogue from a shell, without a window. It uses the window's
// settings, prefix, pb.ini location and ORCA library.
//
//   sorvanti-cli [--pbini PATH] COMMAND [ARGUMENTS]
//
// Exit status: 0 success, 1 nothing found or an operation failed, 2 bad usage. Errors go
// to stderr; what the commands find goes to stdout.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "catalogue/Hierarchy.h"
#include "catalogue/Orcactrl.h"
#include "catalogue/Source.h"
#include "orca/EntryTypes.h"
#include "orca/OrcaObjects.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/LastError.h"
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
    "                           untouched\n"
    "\n"
    "  --pbini PATH             the pb.ini to read (a Windows path, or a host path)\n"
    "  --help                   this text\n"
    "\n"
    "Applications are named as in pb.ini; libraries by Windows path (c:\\apps\\x.pbl) or\n"
    "host path. Exit status: 0 success, 1 nothing found or an operation failed, 2 bad\n"
    "usage.\n";

// The screen of a command line: nothing is shown; what the program would log or ask
// goes to stderr, and no question is answered.
class TCliShellUI : public shell::TSilentShellUI {
  public:
    bool HasLogWindow() const override { return true; }
    // A log line without its time stamp (what stands before the first ": ").
    void AppendLogLine(std::string_view line) override {
        const size_t cut = line.find(": ");
        if (cut != std::string_view::npos)
            line.remove_prefix(cut + 2);
        std::fprintf(stderr, "sorvanti-cli: %.*s\n", static_cast<int>(line.size()), line.data());
    }
    shell::TModalResult MessageDlg(std::string_view text, shell::TMsgDlgType, shell::TMsgDlgButtons,
                                   long) override {
        std::fprintf(stderr, "sorvanti-cli: %.*s\n", static_cast<int>(text.size()), text.data());
        return shell::mrNone;
    }
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "sorvanti-cli: %s\n", message.c_str());
    return ExitFailed;
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "sorvanti-cli: %s\n%s", message.c_str(), UsageText);
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

// A path as the program holds it: host paths become their Windows form.
std::string WindowsForm(const std::string& path) {
    return !path.empty() && path[0] == '/' ? platform::WindowsPath(path) : path;
}

bool LooksLikeLibrary(const std::string& name) {
    return name.find('\\') != std::string::npos || name.find('/') != std::string::npos ||
           name.find(':') != std::string::npos;
}

std::string TypeName(int type) {
    const orca::TEntryKind* kind = orca::EntryKind(type);
    return kind ? std::string(kind->typeName) : std::to_string(type);
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
    if (LooksLikeLibrary(what)) {
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

// Files replaced as a batch. Each goes through a temporary file beside it that is
// flushed to disk before it is renamed over the file, so that a crash or a full disk
// leaves every file either as it was or complete, as platform::WriteHostFileAtomic does
// for one file (a symbolic link stays a link and its target gets the content; an
// existing file keeps its permissions). What differs is the cost: the flushes of a
// batch run side by side, so the file system commits them in a few journal commits
// instead of one per file, and each folder is flushed once, after its renames, at the
// end. A failure removes the temporary files not yet renamed; the files renamed before
// it are complete.
class TBatchWriter {
  public:
    TBatchWriter() = default;
    TBatchWriter(const TBatchWriter&) = delete;
    TBatchWriter& operator=(const TBatchWriter&) = delete;
    ~TBatchWriter() { Discard(); }

    // Queues the new content of path. absent: the caller found no file there, so there
    // are no permissions to keep and no link to follow. False with the reason in
    // *error when the temporary file cannot be written.
    bool Add(const std::string& path, std::string_view bytes, bool absent, std::string* error) {
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
                return Failed(error, "cannot write " + target + ": " + std::strerror(EISDIR));
        }
        const size_t slash = target.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : target.substr(0, slash);
        const std::string name = target.substr(slash == std::string::npos ? 0 : slash + 1);
        Pending file{target, dir, {}, -1};
        for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
            file.temp = dir + "/." + name + ".tmp" + std::to_string(::getpid()) + "-" +
                        std::to_string(counter_++);
            file.fd = ::open(file.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (file.fd < 0 && errno != EEXIST)
                break;
        }
        if (file.fd < 0)
            return Failed(error, "cannot create a temporary file for " + target + ": " +
                                     std::strerror(errno));
        pending_.push_back(file);
        if (exists) {
            if (::fchmod(file.fd, st.st_mode & 07777) != 0)
                return Failed(error, "cannot set the permissions of " + file.temp + ": " +
                                         std::strerror(errno));
            struct stat own {};
            if (::fstat(file.fd, &own) == 0 && (own.st_uid != st.st_uid || own.st_gid != st.st_gid))
                if (::fchown(file.fd, st.st_uid, st.st_gid) != 0) {
                    // Not allowed to give the file away: the content matters more.
                }
        }
        const char* data = bytes.data();
        size_t left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(file.fd, data, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return Failed(error, "cannot write " + file.temp + ": " + std::strerror(errno));
            data += n;
            left -= static_cast<size_t>(n);
        }
        return pending_.size() < MaxOpen || Flush(error);
    }

    // Flushes and renames what is queued, then flushes the folders of every file
    // renamed. False with the reason in *error.
    bool Finish(std::string* error) {
        if (!Flush(error))
            return false;
        std::vector<int> fds;
        for (const std::string& dir : dirs_) {
            const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd >= 0)
                fds.push_back(fd);
        }
        dirs_.clear();
        // Some file systems refuse to flush a folder; the renames stand all the same.
        SyncAll(fds);
        for (const int fd : fds)
            ::close(fd);
        return true;
    }

  private:
    struct Pending {
        std::string target, dir, temp;
        int fd;
    };
    // Temporary files held open at a time; a batch is flushed when it reaches this.
    static constexpr size_t MaxOpen = 256;
    static constexpr size_t MaxThreads = 16;

    bool Failed(std::string* error, std::string text) {
        *error = std::move(text);
        Discard();
        return false;
    }

    void Discard() {
        for (Pending& file : pending_) {
            if (file.fd >= 0)
                ::close(file.fd);
            ::unlink(file.temp.c_str());
        }
        pending_.clear();
    }

    // fsync of every descriptor, side by side; the errno of each, 0 for success.
    static std::vector<int> SyncAll(const std::vector<int>& fds) {
        std::vector<int> results(fds.size(), 0);
        std::atomic<size_t> next{0};
        auto work = [&] {
            for (size_t i; (i = next++) < fds.size();)
                results[i] = ::fsync(fds[i]) == 0 ? 0 : errno;
        };
        std::vector<std::thread> threads;
        try {
            while (threads.size() + 1 < std::min(MaxThreads, fds.size()))
                threads.emplace_back(work);
        } catch (const std::system_error&) {
            // No more threads: those started and this one share the work.
        }
        work();
        for (std::thread& t : threads)
            t.join();
        return results;
    }

    bool Flush(std::string* error) {
        std::vector<int> fds;
        for (const Pending& file : pending_)
            fds.push_back(file.fd);
        const std::vector<int> results = SyncAll(fds);
        for (size_t i = 0; i < pending_.size(); ++i) {
            if (results[i] != 0)
                return Failed(
                    error, "cannot flush " + pending_[i].temp + ": " + std::strerror(results[i]));
        }
        for (Pending& file : pending_) {
            const int closed = ::close(file.fd);
            file.fd = -1;
            if (closed != 0)
                return Failed(error, "cannot close " + file.temp + ": " + std::strerror(errno));
        }
        for (size_t i = 0; i < pending_.size(); ++i) {
            const Pending& file = pending_[i];
            if (::rename(file.temp.c_str(), file.target.c_str()) != 0) {
                const int err = errno;
                pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(i));
                return Failed(error, "cannot replace " + file.target + ": " + std::strerror(err));
            }
            dirs_.insert(file.dir);
        }
        pending_.clear();
        return true;
    }

    std::vector<Pending> pending_;
    std::set<std::string> dirs_;
    unsigned counter_ = 0;
};

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

int Export(catalogue::TOrcaMgr& mgr, const std::vector<std::string>& whats,
           const std::string& dir) {
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
    std::string error;
    for (catalogue::TPBLib* lib : libs) {
        std::string stem = lib->Name.substr(lib->Name.find_last_of("\\:") + 1);
        if (const size_t dot = stem.rfind('.'); dot != std::string::npos)
            stem.resize(dot);
        const std::filesystem::path folder = root / stem;
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec)
            return Fail("cannot create " + folder.string() + ": " + ec.message());
        for (int i = 0; i < lib->Entries.Count(); ++i) {
            catalogue::TPBObj& obj = *lib->Entries[i];
            const orca::TEntryKind* kind = orca::EntryKind(obj.EntryType);
            const std::string_view source = obj.SourceText();
            if (!kind || source.empty()) {
                std::fprintf(stderr, "sorvanti-cli: %s: %s could not be exported\n",
                             lib->Name.c_str(), obj.Name.c_str());
                ++failed;
                continue;
            }
            const std::string file = obj.Name + "." + std::string(kind->sourceExtension);
            const std::string bytes = orca::FormatExportFile(file, obj.Comment, source);
            const std::string path = (folder / file).string();
            bool absent = false;
            if (SameContent(path, bytes, &absent)) {
                ++unchanged;
                continue;
            }
            if (!writer.Add(path, bytes, absent, &error))
                return Fail(error);
            ++written;
        }
    }
    if (!writer.Finish(&error))
        return Fail(error);
    std::fprintf(stderr, "sorvanti-cli: %d sources written, %d unchanged, %d failed, in %s\n",
                 written, unchanged, failed, root.string().c_str());
    return failed == 0 ? ExitOk : ExitFailed;
}

int Run(std::vector<std::string> args) {
    std::string pbIni;
    std::vector<std::string> words;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            Out(UsageText);
            return ExitOk;
        }
        if (args[i] == "--pbini") {
            if (i + 1 >= args.size())
                return Usage("--pbini needs a path");
            pbIni = WindowsForm(args[++i]);
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
    if (!chosen)
        return Usage("unknown command " + command);
    if (operands < chosen->least || operands > chosen->most)
        return Usage("wrong number of arguments for " + command);

    shell::TOptionsForm& options = shell::CreateOptionsForm();
    if (!pbIni.empty()) {
        if (!platform::FileExists(pbIni))
            return Fail("cannot read pb.ini " + pbIni + ": no such file");
        options.PBIniFileName = pbIni;
    }
    catalogue::TOrcaMgr& mgr = catalogue::CreateOrcaMgr();
    if (mgr.GetPBIniFile().empty())
        return Fail("no pb.ini found (give one with --pbini)");
    if (!mgr.LoadOrcaDll())
        return Fail(std::string("the ORCA library ") + options.SelectedPBVersion().OrcaDll.data() +
                    " could not be loaded");
    mgr.LoadApplications();

    if (command == "apps")
        return Apps(mgr);
    if (command == "list")
        return List(mgr, words[1]);
    if (command == "export")
        return Export(mgr, std::vector<std::string>(words.begin() + 1, words.end() - 1),
                      words.back());
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
    // A closed pipe is a failed write, reported, not a signal that kills silently.
    std::signal(SIGPIPE, SIG_IGN);
    TCliShellUI screen;
    shell::SetShellUI(&screen);
    shell::InitUtilities({});
    int status = Run(std::vector<std::string>(argv + 1, argv + argc));
    if (std::fflush(stdout) != 0)
        outputFailed = true;
    if (outputFailed) {
        std::fprintf(stderr, "sorvanti-cli: cannot write the output: %s\n", std::strerror(errno));
        status = ExitFailed;
    }
    catalogue::ResetOrcaMgr();
    shell::DoneUtilities();
    shell::SetShellUI(nullptr);
    return status;
}
