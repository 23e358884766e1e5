#include "tests/support/PfcWorkspace.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string_view>

#include "orca/OrcaObjects.h"
#include "orca/StructureCheck.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Profile.h"

namespace testsupport {

namespace {

namespace fs = std::filesystem;

constexpr const char* WindowsRoot = "c:\\pfc";

// Application names as PowerBuilder compares them: ASCII letters folded.
std::string AsciiLowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = platform::AsciiLower(c);
    return out;
}

// The lines of a text with CR LF, LF or CR ends.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

// The quoted texts of a line of a .pbg or .pbt file, with their backslash escapes
// undone ("pfcapp\\pfcapp.pbl" is pfcapp\pfcapp.pbl).
std::vector<std::string> QuotedTexts(std::string_view line) {
    std::vector<std::string> texts;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] != '"') {
            ++i;
            continue;
        }
        std::string text;
        ++i;
        while (i < line.size() && line[i] != '"') {
            if (line[i] == '\\' && i + 1 < line.size())
                ++i;
            text += line[i++];
        }
        ++i;
        texts.push_back(std::move(text));
    }
    return texts;
}

// A relative path of the corpus files (backslashes) as a normal relative host path.
fs::path RelativePath(std::string_view windowsRelative) {
    std::string text(windowsRelative);
    std::replace(text.begin(), text.end(), '\\', '/');
    return fs::path(text).lexically_normal();
}

// c:\pfc\ followed by the path relative to the workspace's root.
std::string WindowsPathOf(const fs::path& relative) {
    std::string text = relative.generic_string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return std::string(WindowsRoot) + "\\" + text;
}

bool EndsWithNoCase(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           platform::AsciiSameText(std::string_view(text).substr(text.size() - suffix.size()),
                                   suffix);
}

// Every file of the tree with the extension, as paths relative to the root, sorted.
std::vector<fs::path> FilesWithExtension(const fs::path& root, std::string_view extension) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec) && EndsWithNoCase(it->path().filename().string(), extension))
            found.push_back(it->path().lexically_relative(root));
    }
    std::sort(found.begin(), found.end());
    return found;
}

// One source to import.
struct Source {
    std::string library;  // Windows path
    std::string name;     // object name
    int type = 0;
    std::string comment;
    std::string text;
};

struct Library {
    fs::path relative;  // under the workspace's root
    std::string comment;
};

// Reads a .pbg: its library (placed in the .pbg's folder) and its sources.
bool ReadGroup(const fs::path& corpusRoot, const fs::path& group, Library* library,
               std::vector<Source>* sources, std::string* error) {
    const fs::path hostGroup = corpusRoot / group;
    const auto bytes = platform::ReadHostFile(hostGroup.string());
    if (!bytes) {
        *error = "cannot read " + hostGroup.string();
        return false;
    }
    std::string section;
    std::string libraryName;
    std::vector<std::string> objects;
    for (std::string_view line : Lines(*bytes)) {
        if (line.rfind("@begin ", 0) == 0) {
            section = std::string(line.substr(7));
            continue;
        }
        if (line.rfind("@end", 0) == 0) {
            section.clear();
            continue;
        }
        const std::vector<std::string> texts = QuotedTexts(line);
        if (texts.empty())
            continue;
        if (section == "Libraries" && libraryName.empty())
            libraryName = RelativePath(texts[0]).filename().string();
        else if (section == "Objects")
            objects.push_back(texts[0]);
    }
    if (libraryName.empty())
        libraryName = group.stem().string() + ".pbl";
    library->relative = group.parent_path() / libraryName;
    library->comment = "PFC " + group.stem().string();
    const std::string libraryPath = WindowsPathOf(library->relative);

    for (const std::string& object : objects) {
        // The .pbg names its sources from the corpus's root; a source beside the .pbg
        // is taken when that path does not exist.
        fs::path file = corpusRoot / RelativePath(object);
        std::error_code ec;
        if (!fs::is_regular_file(file, ec))
            file = hostGroup.parent_path() / RelativePath(object).filename();
        const auto text = platform::ReadHostFile(file.string());
        if (!text) {
            *error = group.string() + ": cannot read the source " + object;
            return false;
        }
        orca::ExportFile parsed = orca::ParseExportFile(*text);
        const std::string entryName =
            parsed.entryName.empty() ? file.filename().string() : parsed.entryName;
        bool isSource = false;
        const int type = orca::EntryTypeOfName(entryName, &isSource);
        if (type < 0 || !isSource) {
            *error = file.string() + ": " + entryName + " is not the name of a source entry";
            return false;
        }
        Source source;
        source.library = libraryPath;
        source.name = std::string(orca::ObjectName(entryName));
        source.type = type;
        source.comment = std::move(parsed.comment);
        source.text = std::move(parsed.source);
        sources->push_back(std::move(source));
    }
    return true;
}

// The value of a `key "value";` line of a .pbt, or empty.
std::string TargetValue(std::string_view text, std::string_view key) {
    for (std::string_view line : Lines(text)) {
        if (line.size() > key.size() && platform::AsciiSameText(line.substr(0, key.size()), key) &&
            (line[key.size()] == ' ' || line[key.size()] == '\t')) {
            const std::vector<std::string> texts = QuotedTexts(line);
            return texts.empty() ? std::string() : texts[0];
        }
    }
    return {};
}

// Writes a library image where it belongs. A plain write, not the atomic one the
// program uses: the workspace lives in a temporary prefix, and flushing two dozen
// libraries to disk would cost most of the build's time.
bool WriteLibrary(const fs::path& host, const orca::PblLibrary& library, std::string* error) {
    const std::string image = library.Serialize();
    std::error_code ec;
    fs::create_directories(host.parent_path(), ec);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    out.close();
    if (image.empty() || !out) {
        *error = "cannot write " + host.string();
        return false;
    }
    return true;
}

PfcWorkspace Build(const TempPrefix& prefix) {
    PfcWorkspace workspace;
    if (CorpusDir().empty())
        return workspace;
    const fs::path corpusRoot = fs::path(CorpusDir()) / "pfc";
    std::error_code ec;
    if (!fs::is_directory(corpusRoot, ec))
        return workspace;
    const fs::path hostRoot = fs::path(prefix.DriveC()) / "pfc";

    std::vector<Library> libraries;
    std::vector<Source> sources;
    for (const fs::path& group : FilesWithExtension(corpusRoot, ".pbg")) {
        Library library;
        if (!ReadGroup(corpusRoot, group, &library, &sources, &workspace.error))
            return workspace;
        libraries.push_back(std::move(library));
    }
    if (libraries.empty()) {
        workspace.error = "no .pbg file in " + corpusRoot.string();
        return workspace;
    }

    // Every source is checked as an ORCA import checks it; a library is built whole in
    // memory and written once.
    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    std::map<std::string, std::unique_ptr<orca::PblLibrary>> images;  // by Windows path
    for (const Library& library : libraries)
        images[WindowsPathOf(library.relative)] =
            orca::PblLibrary::Create("0600", library.comment, now);
    for (const Source& source : sources) {
        const std::vector<orca::CompileProblem> problems =
            orca::CheckSource(source.text, source.name, source.type);
        if (!problems.empty()) {
            workspace.error = source.library + "(" + source.name + "), line " +
                              std::to_string(problems[0].line) + ": " + problems[0].text;
            return workspace;
        }
        orca::PblEntry entry;
        entry.name = source.name + "." + orca::SourceExtension(source.type);
        entry.time = now;
        entry.commentLength = static_cast<uint16_t>(std::min<size_t>(source.comment.size(), 65535));
        entry.data = source.comment.substr(0, entry.commentLength) + source.text;
        std::string error;
        if (!images[source.library]->Put(std::move(entry), &error)) {
            workspace.error = source.library + "(" + source.name + "): " + error;
            return workspace;
        }
    }
    for (const Library& library : libraries) {
        if (!WriteLibrary(hostRoot / library.relative, *images[WindowsPathOf(library.relative)],
                          &workspace.error))
            return workspace;
    }

    // The application library is the one the application object was imported into.
    std::map<std::string, std::string> applicationLibrary;  // lower-case name -> library
    for (const Source& source : sources) {
        if (source.type == orca::kEntryApplication) {
            applicationLibrary.emplace(AsciiLowerCase(source.name), source.library);
        }
    }
    std::string pbIni = "[Application]\r\n";
    for (const fs::path& target : FilesWithExtension(corpusRoot, ".pbt")) {
        const auto bytes = platform::ReadHostFile((corpusRoot / target).string());
        if (!bytes) {
            workspace.error = "cannot read " + (corpusRoot / target).string();
            return workspace;
        }
        PfcApplication application;
        application.name = TargetValue(*bytes, "appname");
        const auto found = applicationLibrary.find(AsciiLowerCase(application.name));
        if (application.name.empty() || found == applicationLibrary.end()) {
            workspace.error = target.string() + ": no application object \"" + application.name +
                              "\" among the sources";
            return workspace;
        }
        application.library = found->second;
        const std::string list = TargetValue(*bytes, "LibList");
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = list.find(';', start);
            if (end == std::string::npos)
                end = list.size();
            if (end > start) {
                const std::string_view piece = std::string_view(list).substr(start, end - start);
                application.libraryList.push_back(
                    WindowsPathOf((target.parent_path() / RelativePath(piece)).lexically_normal()));
            }
            start = end + 1;
        }
        pbIni += "$" + application.library + "(" + application.name + ")=";
        for (size_t i = 0; i < application.libraryList.size(); ++i)
            pbIni += (i ? ";" : "") + application.libraryList[i];
        pbIni += "\r\n";
        workspace.applications.push_back(std::move(application));
    }

    const std::string pbIniHostPath = (hostRoot / "pb.ini").string();
    if (!platform::WriteHostFileAtomic(pbIniHostPath, pbIni)) {
        workspace.error = "cannot write " + pbIniHostPath + ": " + platform::LastErrorText();
        workspace.applications.clear();
        return workspace;
    }
    for (const char* key : {"InitPath040", "InitPath050", "InitPath60"}) {
        if (!platform::WriteProfileString("PowerBuilder", key, WindowsRoot)) {
            workspace.error = "cannot write WIN.INI: " + platform::LastErrorText();
            workspace.applications.clear();
            return workspace;
        }
    }
    workspace.pbIni = std::string(WindowsRoot) + "\\pb.ini";
    workspace.pbIniHostPath = pbIniHostPath;
    for (const Library& library : libraries) {
        workspace.libraries.push_back(WindowsPathOf(library.relative));
        workspace.libraryHostPaths.push_back((hostRoot / library.relative).string());
    }
    workspace.sourceCount = sources.size();
    return workspace;
}

}  // namespace

PfcWorkspace BuildPfcWorkspace(const TempPrefix& prefix) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    PfcWorkspace workspace = Build(prefix);
    workspace.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    workspace.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return workspace;
}

}  // namespace testsupport
