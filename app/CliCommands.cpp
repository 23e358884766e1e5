// The table of the search, replace and write-back commands: their operands, options and
// help, the parsing of their words and the dispatch.

#include "app/CliCommands.h"

#include <algorithm>

#include "app/CliSupport.h"

namespace cli {

namespace {

struct TCommandSpec {
    const char* name;
    size_t least, most;  // operands
    std::vector<std::string> flags;
    std::vector<std::string> values;  // options followed by a value
    const char* usage;                // for the program's usage text
    const char* help;                 // the rest of the command's help
    int (*run)(catalogue::TOrcaMgr&, const TInvocation&);
};

constexpr size_t Many = static_cast<size_t>(-1);

const char* const ScopeHelp =
    "SCOPE is an application of pb.ini; APP(OBJECT), an object on the application's\n"
    "search path (with --descendants, its branch of the inheritance hierarchy); a library\n"
    "(Windows or host path); LIB(OBJECT), an object of that library; or a folder, every\n"
    "library of its tree. Quote SCOPE for the shell: 'orders(w_orders)'.\n";

const std::vector<TCommandSpec>& Specs() {
    static const std::vector<TCommandSpec> specs = {
        {"search",
         1,
         Many,
         {"--case", "--word", "--json", "--descendants"},
         {"--types", "--gsr"},
         "  search SCOPE... TEXT     every hit, as library(object):line:column: line\n",
         "Searches the exported sources of each SCOPE in turn as the search dialog does\n"
         "(an object is listed once for each scope it is in): the first * stands for\n"
         "any text between the parts before and after it; ~t ~n ~r ~~ ~* are a tab, line\n"
         "feed, carriage return, tilde and star; letter case does not count unless --case.\n"
         "  --case          match case\n"
         "  --word          whole words only\n"
         "  --types LIST    only these object types, separated by commas: application,\n"
         "                  datawindow, function, menu, query, structure, userobject,\n"
         "                  window, pipeline, project, proxy\n"
         "  --gsr FILE      search for every entry of a replace list (.gsr), each with its\n"
         "                  own options (TEXT is then left out)\n"
         "  --json          one JSON object per hit (UTF-8)\n"
         "  --descendants   with APP(OBJECT): the object and all its descendants\n"
         "Exit status 1 when nothing is found.\n",
         SearchCommand},
        {"replace",
         1,
         2,
         {"--case", "--word", "--descendants", "--apply", "--keep-going"},
         {"--types", "--gsr", "--with", "--temp"},
         "  replace SCOPE TEXT --with TEXT\n"
         "                           a unified diff per object; --apply writes it\n",
         "Replaces every hit of TEXT (as search finds it) by the text of --with, or every\n"
         "entry of a replace list (--gsr FILE). Without --apply nothing is written: a\n"
         "unified diff per changed object goes to stdout. With --apply each changed object\n"
         "is structure-checked first; when one fails nothing is written (unless\n"
         "--keep-going, which writes the others). Each object is then rebuilt as the\n"
         "window rebuilds it: backed up in the temporary library, imported, and copied\n"
         "back when the import fails. A summary goes to stderr.\n"
         "  --with TEXT     the replacement (~t ~n ~r ~~ are escapes; * is a star)\n"
         "  --apply         write the changes into the libraries\n"
         "  --keep-going    write the objects that pass even when others fail\n"
         "  --temp LIB      the temporary library (default: the settings')\n"
         "  --case, --word, --types LIST, --gsr FILE, --descendants: as for search\n",
         ReplaceCommand},
        {"import",
         2,
         Many,
         {},
         {"--temp"},
         "  import LIB FILES...      import exported sources (.sr*) into a library\n",
         "Imports each file, an exported source with or without its export header, into\n"
         "the library as the entry the header (or the file name) names. An entry that\n"
         "exists is backed up in the temporary library first and copied back when the\n"
         "import fails. ORCA's messages go to stderr.\n"
         "  --temp LIB      the temporary library (default: the settings')\n",
         ImportCommand},
        {"regenerate",
         1,
         1,
         {"--descendants"},
         {"--temp"},
         "  regenerate SCOPE         regenerate the objects from their stored sources\n",
         "Regenerates every object of SCOPE (an application, a library of an application's\n"
         "list, APP(OBJECT) with or without --descendants) in hierarchy-safe order, each\n"
         "backed up in the temporary library first.\n"
         "  --temp LIB      the temporary library (default: the settings')\n",
         CompileCommand},
        {"rebuild",
         1,
         1,
         {"--descendants"},
         {"--temp"},
         "  rebuild SCOPE            import the objects' sources again\n",
         "Rebuilds (imports again) every object of SCOPE, as for regenerate.\n"
         "  --temp LIB      the temporary library (default: the settings')\n",
         CompileCommand},
        {"exe",
         1,
         1,
         {},
         {"--out"},
         "  exe APP [--out FILE]     build the application's executable\n",
         "Builds the executable of the application (default: APPNAME.exe in the folder of\n"
         "the application library), every library linked into it.\n"
         "  --out FILE      the executable to write (Windows or host path)\n",
         ExeCommand},
        {"pbd",
         1,
         1,
         {},
         {},
         "  pbd LIB                  build the dynamic library (.pbd) of a library\n",
         "Builds the dynamic library beside LIB, through the first application of pb.ini\n"
         "whose library list holds it.\n",
         PbdCommand},
        {"checkout",
         3,
         3,
         {},
         {"--user"},
         "  checkout APP OBJECT DEST --user ID\n"
         "                           check an object out into library DEST\n",
         "Copies the object into library DEST, marked as checked out by user ID.\n"
         "  --user ID       the user id of the check-out (required)\n",
         CheckOutCommand},
        {"checkin",
         2,
         2,
         {},
         {},
         "  checkin APP OBJECT       check an object in from c:\\check.pbl\n",
         "Moves the object from the check-out library c:\\check.pbl back into its own\n"
         "library; only when that succeeded is it deleted there.\n",
         CheckInCommand},
        {"checked-out",
         1,
         1,
         {},
         {},
         "  checked-out LIB          the library's check-out records\n",
         "Lists the check-out records of a library: entry, user, other library, and d\n"
         "(checked out from this library) or s (a working copy here).\n",
         CheckedOutCommand},
    };
    return specs;
}

const TCommandSpec* SpecOf(std::string_view name) {
    for (const TCommandSpec& spec : Specs())
        if (name == spec.name)
            return &spec;
    return nullptr;
}

bool Listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

bool IsCommand(std::string_view name) {
    return SpecOf(name) != nullptr;
}

std::string CommandsUsage() {
    std::string text;
    for (const TCommandSpec& spec : Specs())
        text += spec.usage;
    return text;
}

std::string CommandHelp(std::string_view command) {
    const TCommandSpec* spec = SpecOf(command);
    if (!spec)
        return {};
    // The synopsis: the usage line up to its description.
    std::string synopsis = std::string(spec->usage).substr(2);
    synopsis.resize(std::min(synopsis.find("  "), synopsis.find('\n')));
    std::string text = "usage: sorvanti-cli [--pbini PATH] " + synopsis + "\n\n";
    text += spec->help;
    const std::string name = spec->name;
    if (name == "search" || name == "replace" || name == "regenerate" || name == "rebuild")
        text += std::string("\n") + ScopeHelp;
    return text;
}

std::optional<TInvocation> Parse(std::string_view command, const std::vector<std::string>& words,
                                 std::string* error) {
    const TCommandSpec* spec = SpecOf(command);
    if (!spec) {
        *error = "unknown command " + std::string(command);
        return std::nullopt;
    }
    TInvocation inv;
    inv.Command = spec->name;
    bool operandsOnly = false;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (operandsOnly || word.size() < 2 || word.rfind("--", 0) != 0) {
            inv.Operands.push_back(word);
        } else if (word == "--") {
            operandsOnly = true;
        } else if (word == "--help") {
            inv.Help = true;
            return inv;
        } else if (Listed(spec->flags, word)) {
            inv.Flags.insert(word);
        } else if (Listed(spec->values, word)) {
            if (i + 1 >= words.size()) {
                *error = word + " needs a value";
                return std::nullopt;
            }
            inv.Values[word] = words[++i];
        } else {
            *error = "unknown option " + word + " for " + inv.Command;
            return std::nullopt;
        }
    }
    size_t least = spec->least, most = spec->most;
    // A replace list stands for the text; replace takes its replacement from --with.
    if (inv.Command == "replace" && inv.HasValue("--gsr"))
        most = 1;
    else if (inv.Command == "search" || inv.Command == "replace")
        least = 2;
    if (inv.Operands.size() < least || inv.Operands.size() > most) {
        *error = "wrong number of arguments for " + inv.Command;
        return std::nullopt;
    }
    if (inv.HasValue("--gsr") && (inv.Has("--case") || inv.Has("--word") ||
                                  inv.HasValue("--types") || inv.HasValue("--with"))) {
        *error = "--gsr brings its own texts and options: no --case, --word, --types or --with";
        return std::nullopt;
    }
    if (inv.Command == "replace" && !inv.HasValue("--gsr") && !inv.HasValue("--with")) {
        *error = "replace needs --with TEXT (or --gsr FILE)";
        return std::nullopt;
    }
    if (inv.Has("--keep-going") && !inv.Has("--apply")) {
        *error = "--keep-going goes with --apply";
        return std::nullopt;
    }
    if (inv.Command == "checkout" && !inv.HasValue("--user")) {
        *error = "checkout needs --user ID";
        return std::nullopt;
    }
    return inv;
}

int RunCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation) {
    const TCommandSpec* spec = SpecOf(invocation.Command);
    return spec ? spec->run(mgr, invocation) : Fail("unknown command " + invocation.Command);
}

}  // namespace cli
