// sorvanti-cli: the catalogue from a shell, without a window. It uses the window's
// settings, prefix, pb.ini location and ORCA library.
//
//   sorvanti-cli [--pbini PATH] COMMAND [ARGUMENTS]
//
// Exit status: 0 success, 1 nothing found or an operation failed, 2 bad usage. Errors go
// to stderr; what the commands find goes to stdout.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CliCommands.h"
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
    "  export APP|LIB DIR       every source as a .sr* file with its export header, one\n"
    "                           folder per library; a file whose content is already the\n"
    "                           same is left untouched\n"
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

int Export(catalogue::TOrcaMgr& mgr, const std::string& what, const std::string& dir) {
    std::string error;
    const std::vector<catalogue::TPBLib*> libs = Libraries(mgr, what, &error);
    if (!error.empty())
        return Fail(error);
    const std::filesystem::path root =
        std::filesystem::path(!dir.empty() && dir[0] == '/' ? dir : platform::HostPath(dir));
    if (root.empty())
        return Fail("cannot write into " + dir + ": no such drive");
    int written = 0, unchanged = 0, failed = 0;
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
            const std::filesystem::path path = folder / file;
            if (platform::ReadHostFile(path.string()) == bytes) {
                ++unchanged;
                continue;
            }
            if (!platform::WriteHostFileAtomic(path.string(), bytes))
                return Fail("cannot write " + path.string() + ": " + platform::LastErrorText());
            ++written;
        }
    }
    std::fprintf(stderr, "sorvanti-cli: %d sources written, %d unchanged, %d failed, in %s\n",
                 written, unchanged, failed, root.string().c_str());
    return failed == 0 ? ExitOk : ExitFailed;
}

int Run(std::vector<std::string> args) {
    std::string pbIni;
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
        if (args[i] == "--pbini") {
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
    static constexpr TCommand Commands[] = {{"apps", 0, 0}, {"libs", 1, 1},      {"list", 1, 1},
                                            {"show", 2, 2}, {"hierarchy", 1, 2}, {"export", 2, 2}};
    const TCommand* chosen = nullptr;
    for (const TCommand& c : Commands)
        if (command == c.name)
            chosen = &c;
    std::optional<cli::TInvocation> invocation;
    if (cli::IsCommand(command)) {
        std::string error;
        invocation = cli::Parse(command, commandWords, &error);
        if (!invocation) {
            std::fprintf(stderr, "sorvanti-cli: %s\n%s", error.c_str(),
                         cli::CommandHelp(command).c_str());
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
        return Export(mgr, words[1], words[2]);
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
