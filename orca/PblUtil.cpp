// pblutil: PowerBuilder libraries from the command line, on the same code as our ORCA
// library. Paths are host paths. Every change to a library is one atomic write under
// the library's write lock (LibraryLock), so pblutil runs at the same time as each
// other or as ORCA sessions change a library one after the other; a command that fails
// changes nothing. The one exception is workspace, which builds a
// destination meant to be rebuilt from its sources, and writes it in place.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orca/LibraryLock.h"
#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "orca/SourceWorkspace.h"
#include "orca/StructureCheck.h"
#include "orca/TextBridge.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Paths.h"

namespace {

constexpr const char* UsageText =
    "usage: pblutil COMMAND ARGUMENTS\n"
    "\n"
    "  create LIB [COMMENT] [--format 0400|0500|0600] [--unicode]\n"
    "        create an empty library (format 0600 unless given); --unicode: one of\n"
    "        PowerBuilder 10 and later, whose texts are UTF-16 (COMMENT in UTF-8)\n"
    "  list LIB\n"
    "        list every entry: name, data size, time (UTC), comment\n"
    "  export LIB DIR [NAMES...] [--utf8 | --ha | --ansi]\n"
    "        write each source entry (or those named) to DIR/NAME.srX with the\n"
    "        $PBExportHeader$ line and, when the entry has one, the\n"
    "        $PBExportComments$ line (a line break in the comment written as ~r\n"
    "        and ~n, a tilde before r, n, ~ or a break as ~~). --utf8: UTF-8 after a\n"
    "        byte-order mark, as PowerBuilder 10 and later export (the default for a\n"
    "        Unicode library); --ansi: the code page (the default for an ANSI\n"
    "        library); --ha: the code page with the \"HA\" marker before the header.\n"
    "        Text of a Unicode library that the code page lacks (and NUL) is\n"
    "        written as a HEXASCII escape, $$HEX1$$a000$$ENDHEX$$, so nothing is lost\n"
    "  import LIB FILES...\n"
    "        check each .sr* file and store all of them in one write (none when any\n"
    "        fails); the $PBExportHeader$ line, if any, names the entry, else the file\n"
    "        name does; the $PBExportComments$ line becomes the entry's comment; the\n"
    "        object's compiled entry, now stale, is removed (a source and comment\n"
    "        equal to the stored ones leave both entries as they are). A file that\n"
    "        starts with a byte-order mark is UTF-8, else code page text; HEXASCII\n"
    "        escapes in either go back into the UTF-16 of a Unicode library\n"
    "  delete LIB NAMES...\n"
    "        delete entries: NAME.ext one entry, NAME every entry of that object\n"
    "  copy SRC DST NAMES...\n"
    "        copy entries (named as for delete) from SRC into DST, replacing them\n"
    "  workspace SOURCES DEST\n"
    "        build the libraries and pb.ini of a PowerBuilder workspace from its\n"
    "        exported sources: one library per .pbg file under SOURCES, holding the\n"
    "        sources it lists, placed under DEST as the .pbg names it from SOURCES;\n"
    "        DEST/pb.ini with one application per .pbt target; the InitPath keys of\n"
    "        the prefix's WIN.INI pointed at DEST\n"
    "\n"
    "Exit status: 0 success, 1 failure (nothing changed), 2 usage error.\n";

int Usage(const char* problem) {
    std::fprintf(stderr, "pblutil: %s\n\n%s", problem, UsageText);
    return 2;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "pblutil: %s\n", text.c_str());
    return 1;
}

// Reads the library; a command that changes it passes the lock it then holds until it
// has written the library (see SaveOrReport), so that no other writer of this program
// changes the library in between.
std::unique_ptr<orca::PblLibrary> LoadOrReport(const std::string& path,
                                               orca::LibraryLock* lock = nullptr) {
    std::string error;
    if (lock && !lock->Acquire(path, &error)) {
        Fail("library " + path + ": " + error);
        return nullptr;
    }
    auto library = lock ? lock->Load(&error) : orca::PblLibrary::Load(path, &error);
    if (!library)
        Fail("library " + path + ": " + error);
    return library;
}

bool SaveOrReport(const orca::PblLibrary& library, const std::string& path,
                  orca::LibraryLock* lock = nullptr) {
    std::string error;
    if (lock ? lock->Commit(library, &error) : library.Save(path, &error))
        return true;
    Fail("library " + path + " cannot be written (" + error + "); it is unchanged");
    return false;
}

std::string TimeText(uint32_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// The entries a name given on the command line stands for: NAME.ext exactly that
// entry, NAME every entry of that object name (any kind).
std::vector<std::string> EntriesNamed(const orca::PblLibrary& library, std::string_view name) {
    std::vector<std::string> found;
    for (const orca::PblEntry& entry : library.Entries()) {
        if (platform::AsciiSameText(entry.name, name) ||
            (name.find('.') == std::string_view::npos &&
             platform::AsciiSameText(orca::ObjectName(entry.name), name)))
            found.push_back(entry.name);
    }
    return found;
}

int Create(const std::vector<std::string>& args) {
    std::string format = "0600";
    orca::PblKind kind = orca::PblKind::Ansi;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--unicode") {
            kind = orca::PblKind::Unicode;
        } else if (args[i] == "--format") {
            if (i + 1 >= args.size())
                return Usage("--format needs a value");
            format = args[++i];
            if (format != "0400" && format != "0500" && format != "0600")
                return Usage("--format is one of 0400, 0500, 0600");
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.empty() || rest.size() > 2)
        return Usage("create needs LIB [COMMENT]");
    const std::string& path = rest[0];
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return Fail("library " + path + " exists already");
    std::string comment = rest.size() > 1 ? rest[1] : "";
    if (kind == orca::PblKind::Unicode) {
        std::string utf16, why;
        if (!orca::Utf8ToUtf16Strict(comment, &utf16, &why))
            return Fail("the comment cannot be stored: " + why);
        comment = std::move(utf16);
    }
    const auto library =
        orca::PblLibrary::Create(format, comment, static_cast<uint32_t>(std::time(nullptr)), kind);
    std::string error;
    if (!orca::LibraryLock::CreateNew(path, *library, &error))
        return Fail("library " + path + " cannot be created: " + error);
    return 0;
}

int List(const std::vector<std::string>& args) {
    if (args.size() != 1)
        return Usage("list needs LIB");
    const auto library = LoadOrReport(args[0]);
    if (!library)
        return 1;
    // A Unicode library's texts are shown in UTF-8.
    const bool wide = library->Kind() == orca::PblKind::Unicode;
    auto shown = [&](std::string_view text) {
        return wide ? orca::Utf16ToUtf8(text) : std::string(text);
    };
    std::printf("library %s: %sformat %s, %zu entries, comment \"%s\"\n", args[0].c_str(),
                wide ? "Unicode, " : "", library->Format().c_str(), library->Entries().size(),
                shown(library->Comment()).c_str());
    for (const orca::PblEntry& entry : library->Entries()) {
        const std::string comment = shown(entry.Comment());
        std::printf("%-40s %9zu  %s  %s\n", entry.name.c_str(), entry.data.size(),
                    TimeText(entry.time).c_str(), comment.c_str());
    }
    return 0;
}

int Export(const std::vector<std::string>& args) {
    std::optional<orca::ExportEncoding> encoding;
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        if (arg == "--ha") {
            encoding = orca::ExportEncoding::HexAscii;
        } else if (arg == "--utf8") {
            encoding = orca::ExportEncoding::Utf8;
        } else if (arg == "--ansi") {
            encoding = orca::ExportEncoding::Ansi;
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.size() < 2)
        return Usage("export needs LIB DIR [NAMES...]");
    const auto library = LoadOrReport(rest[0]);
    if (!library)
        return 1;
    const std::filesystem::path dir = rest[1];
    std::vector<const orca::PblEntry*> chosen;
    auto isSource = [](const orca::PblEntry& entry) {
        bool source = false;
        return orca::EntryTypeOfName(entry.name, &source) >= 0 && source;
    };
    if (rest.size() == 2) {
        for (const orca::PblEntry& entry : library->Entries())
            if (isSource(entry))
                chosen.push_back(&entry);
    } else {
        for (size_t i = 2; i < rest.size(); ++i) {
            bool any = false;
            for (const std::string& name : EntriesNamed(*library, rest[i])) {
                const orca::PblEntry* entry = library->Find(name);
                if (entry && isSource(*entry)) {
                    chosen.push_back(entry);
                    any = true;
                }
            }
            if (!any)
                return Fail("no source entry " + rest[i] + " in library " + rest[0]);
        }
    }
    const orca::PblKind kind = library->Kind();
    if (!encoding)
        encoding = kind == orca::PblKind::Unicode ? orca::ExportEncoding::Utf8
                                                  : orca::ExportEncoding::Ansi;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    for (const orca::PblEntry* entry : chosen) {
        const std::string file = (dir / entry->name).string();
        const std::string bytes = orca::ExportEntry(*entry, kind, *encoding);
        if (!platform::WriteHostFileAtomic(file, bytes))
            return Fail("cannot write " + file + ": " + platform::LastErrorText());
    }
    std::printf("exported %zu entries to %s\n", chosen.size(), dir.string().c_str());
    return 0;
}

int Import(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return Usage("import needs LIB FILES...");
    orca::LibraryLock lock;
    const auto library = LoadOrReport(args[0], &lock);
    if (!library)
        return 1;
    struct Prepared {
        std::string path;
        std::string entryName;
        orca::ExportFile file;
        int type;
        std::string comment, stored;  // as the library stores them
    };
    std::vector<Prepared> prepared;
    bool failed = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& path = args[i];
        const auto bytes = platform::ReadHostFile(path);
        if (!bytes)
            return Fail("cannot read " + path + ": " + platform::LastErrorText());
        Prepared item;
        item.path = path;
        item.file = orca::ParseExportFile(*bytes);
        // The structure check reads the file's own text; the library gets its form.
        std::string stored, why;
        if (!orca::StoredTexts(item.file, library->Kind(), &item.entryName, &item.comment, &stored,
                               &why))
            return Fail(path + ": " + why + "; nothing imported into " + args[0]);
        item.stored = std::move(stored);
        if (item.entryName.empty())
            item.entryName = std::filesystem::path(path).filename().string();
        bool isSource = false;
        item.type = orca::EntryTypeOfName(item.entryName, &isSource);
        if (item.type < 0 || !isSource)
            return Fail(path + ": " + item.entryName +
                        " is not the name of a source entry (.sra, .srd, .srf, .srm, .srq, "
                        ".srs, .sru, .srw, .srp, .srj, .srx)");
        const std::string_view name = orca::ObjectName(item.entryName);
        if (const std::string tooLong = orca::CommentTooLong(item.file.comment); !tooLong.empty())
            return Fail(path + ": " + tooLong + "; nothing imported into " + args[0]);
        for (const orca::CompileProblem& problem :
             orca::CheckSource(item.file.source, name, item.type)) {
            std::fprintf(stderr, "%s:%d:%d: error %d: %s\n", path.c_str(), problem.line,
                         problem.column, problem.messageNumber, problem.text.c_str());
            failed = true;
        }
        prepared.push_back(std::move(item));
    }
    if (failed)
        return Fail("nothing imported into " + args[0]);
    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    for (Prepared& item : prepared) {
        const std::string_view name = orca::ObjectName(item.entryName);
        const orca::ObjectEntries object = orca::FindObject(*library, name, item.type);
        // The stored source and comment again: both entries stay as they are.
        if (object.source && object.source->Comment() == item.comment &&
            object.source->BodySize() == item.stored.size() &&
            object.source->BodyText() == item.stored)
            continue;
        std::string entryName = object.source ? object.source->name : item.entryName;
        orca::PblEntry entry = library->Kind() == orca::PblKind::Unicode
                                   ? orca::WideSourceEntry(std::move(entryName), library->Format(),
                                                           now, item.comment, item.stored)
                                   : orca::SourceEntry(std::move(entryName), library->Format(), now,
                                                       item.comment, item.stored);
        if (object.compiled)
            library->Remove(std::string(object.compiled->name));
        std::string reason;
        if (!library->Put(std::move(entry), &reason))
            return Fail(item.path + ": cannot be stored in library " + args[0] + " (" + reason +
                        "); nothing imported");
    }
    if (!SaveOrReport(*library, args[0], &lock))
        return 1;
    std::printf("imported %zu entries into %s\n", prepared.size(), args[0].c_str());
    return 0;
}

int Delete(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return Usage("delete needs LIB NAMES...");
    orca::LibraryLock lock;
    const auto library = LoadOrReport(args[0], &lock);
    if (!library)
        return 1;
    std::vector<std::string> names;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::vector<std::string> found = EntriesNamed(*library, args[i]);
        if (found.empty())
            return Fail("no entry " + args[i] + " in library " + args[0]);
        names.insert(names.end(), found.begin(), found.end());
    }
    for (const std::string& name : names)
        library->Remove(name);
    if (!SaveOrReport(*library, args[0], &lock))
        return 1;
    std::printf("deleted %zu entries from %s\n", names.size(), args[0].c_str());
    return 0;
}

int Copy(const std::vector<std::string>& args) {
    if (args.size() < 3)
        return Usage("copy needs SRC DST NAMES...");
    const auto source = LoadOrReport(args[0]);
    if (!source)
        return 1;
    orca::LibraryLock lock;
    const auto target = LoadOrReport(args[1], &lock);
    if (!target)
        return 1;
    // Entries hold their texts in their library's encoding.
    if (source->Kind() != target->Kind())
        return Fail("cannot copy entries between an ANSI and a Unicode library (" + args[0] + ", " +
                    args[1] + "); export the sources and import them instead");
    size_t copied = 0;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::vector<std::string> found = EntriesNamed(*source, args[i]);
        if (found.empty())
            return Fail("no entry " + args[i] + " in library " + args[0]);
        for (const std::string& name : found) {
            // Replace an entry of the same name in another case rather than add a twin.
            for (const orca::PblEntry& old : target->Entries()) {
                if (platform::AsciiSameText(old.name, name) && old.name != name) {
                    target->Remove(std::string(old.name));
                    break;
                }
            }
            std::string reason;
            if (!target->Put(*source->Find(name), &reason))
                return Fail("cannot copy " + args[0] + " into " + args[1] + " (" + reason +
                            "); nothing copied");
            ++copied;
        }
    }
    if (!SaveOrReport(*target, args[1], &lock))
        return 1;
    std::printf("copied %zu entries into %s\n", copied, args[1].c_str());
    return 0;
}

int Workspace(const std::vector<std::string>& args) {
    if (args.size() != 2)
        return Usage("workspace takes SOURCES and DEST");
    const orca::SourceWorkspace workspace =
        orca::BuildSourceWorkspace(args[0], platform::WindowsPath(args[1]));
    if (!workspace.error.empty())
        return Fail(workspace.error);
    std::printf("%zu sources in %zu libraries, %zu applications in %s\n", workspace.sourceCount,
                workspace.libraries.size(), workspace.applications.size(), workspace.pbIni.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage("no command given");
    const std::string command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(UsageText, stdout);
        return 0;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "create")
        return Create(args);
    if (command == "list")
        return List(args);
    if (command == "export")
        return Export(args);
    if (command == "import")
        return Import(args);
    if (command == "delete")
        return Delete(args);
    if (command == "copy")
        return Copy(args);
    if (command == "workspace")
        return Workspace(args);
    return Usage(("unknown command \"" + command + "\"").c_str());
}
