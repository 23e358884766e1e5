#include "orca/SourceWorkspace.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "orca/StructureCheck.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Text.h"

namespace orca {

namespace {

namespace fs = std::filesystem;

// The first quoted text of a line of a .pbg or .pbt file, its backslash escapes undone
// ("pfcapp\\pfcapp.pbl" is pfcapp\pfcapp.pbl); empty when the line quotes nothing.
std::string FirstQuoted(std::string_view line) {
    const size_t open = line.find('"');
    std::string text;
    for (size_t i = open + 1; open != line.npos && i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        text += line[i];
    }
    return text;
}

// The value of a `key "value";` line of a .pbt, or empty.
std::string TargetValue(const std::string& text, std::string_view key) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.size() > key.size() && platform::AsciiSameText(line.substr(0, key.size()), key) &&
            platform::IsBlank(line[key.size()]))
            return FirstQuoted(line);
    return {};
}

// The files of the source tree that match the mask, as paths relative to its root,
// sorted.
std::vector<fs::path> SourceFiles(const fs::path& root, const char* mask) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file(ec) && platform::MatchesMask(it->path().filename().string(), mask))
            found.push_back(it->path().lexically_relative(root));
    std::sort(found.begin(), found.end());
    return found;
}

// A path of the workspace: the destination and the parts, "." and ".." taken out.
std::string WorkspacePath(const std::string& destination, const fs::path& folder,
                          std::string_view relative) {
    return platform::FullWindowsPath(destination + "\\" + folder.string() + "\\" +
                                     std::string(relative));
}

// Writes a library image where it belongs. A plain write, not the atomic one the
// program uses: the workspace is rebuilt from its sources, and flushing two dozen
// libraries to disk would cost most of the build's time.
bool WriteLibrary(const std::string& host, const orca::PblLibrary& library) {
    const std::string image = library.Serialize();
    std::error_code ec;
    fs::create_directories(fs::path(host).parent_path(), ec);
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    out.close();
    return !image.empty() && out;
}

// Checks one source of a library being built as an ORCA import checks it: a source
// entry's name (the file is named in the error as where), a sound structure of text, a
// comment that fits. Gives the entry's type and object name; an error text, or empty.
std::string CheckedSource(const std::string& where, const std::string& library,
                          const std::string& entryName, std::string_view text,
                          std::string_view comment, int* type, std::string* name) {
    bool isSource = false;
    *type = orca::EntryTypeOfName(entryName, &isSource);
    if (*type < 0 || !isSource)
        return where + ": " + entryName + " is not the name of a source entry";
    *name = orca::ObjectName(entryName);
    const std::vector<orca::CompileProblem> problems = orca::CheckSource(text, *name, *type);
    if (!problems.empty())
        return library + "(" + *name + "), line " + std::to_string(problems[0].line) + ": " +
               problems[0].text;
    if (std::string error = orca::CommentTooLong(comment); !error.empty())
        return library + "(" + *name + "): " + error;
    return {};
}

// Reads a .pbg (which names its library and its sources from the workspace's folder), checks every
// source as an ORCA import checks it, and writes the library. The application objects it holds are
// added to *applications (name, library). An error text, or empty.
std::string ImportGroup(const std::string& sources, const std::string& destination,
                        const fs::path& group, SourceWorkspace* workspace,
                        std::vector<std::pair<std::string, std::string>>* applications) {
    const std::string groupPath = sources + "\\" + group.string();
    const auto bytes = platform::ReadFileBytes(groupPath);
    if (!bytes)
        return "cannot read " + groupPath;
    std::string section, library;
    std::vector<std::string> objects;
    std::istringstream lines(*bytes);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("@begin ") || line.starts_with("@end"))
            section = line;
        else if (const std::string text = FirstQuoted(line); text.empty())
            continue;
        else if (section.starts_with("@begin Libraries") && library.empty())
            library = WorkspacePath(destination, {}, text);
        else if (section.starts_with("@begin Objects"))
            objects.push_back(text);
    }
    if (library.empty())
        return groupPath + " names no library";

    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    const auto image = orca::PblLibrary::Create("0600", group.stem().string(), now);
    for (const std::string& object : objects) {
        const auto text = platform::ReadFileBytes(sources + "\\" + object);
        if (!text)
            return groupPath + ": cannot read the source " + object;
        orca::ExportFile source = orca::ParseExportFile(*text);
        // The libraries built are ANSI: a UTF-8 export comes into the code page.
        if (source.encoding == orca::ExportEncoding::Utf8) {
            std::string why;
            if (!orca::StoredTexts(orca::ExportFile(source), orca::PblKind::Ansi, &source.entryName,
                                   &source.comment, &source.source, &why))
                return object + ": " + why;
        }
        if (source.entryName.empty())
            source.entryName = object.substr(platform::FileNameStart(object));
        int type = 0;
        std::string name;
        std::string error = CheckedSource(object, library, source.entryName, source.source,
                                          source.comment, &type, &name);
        if (!error.empty())
            return error;
        if (!image->Put(orca::SourceEntry(name + "." + orca::SourceExtension(type), "", now,
                                          source.comment, source.source),
                        &error))
            return library + "(" + name + "): " + error;
        if (type == PBORCA_APPLICATION)
            applications->emplace_back(name, library);
        ++workspace->sourceCount;
    }
    const std::string host = platform::HostPath(library);
    if (!WriteLibrary(host, *image))
        return "cannot write " + host;
    workspace->libraries.push_back(library);
    workspace->libraryHostPaths.push_back(host);
    return {};
}

// The pb.ini application of a .pbt: its application object, the library that holds it,
// and its library list made absolute.
std::string ReadTarget(const std::string& sources, const std::string& destination,
                       const fs::path& target,
                       const std::vector<std::pair<std::string, std::string>>& applications,
                       WorkspaceApplication* application) {
    const auto bytes = platform::ReadFileBytes(sources + "\\" + target.string());
    if (!bytes)
        return "cannot read " + sources + "\\" + target.string();
    application->name = TargetValue(*bytes, "appname");
    const auto found = std::find_if(applications.begin(), applications.end(), [&](const auto& a) {
        return platform::AsciiSameText(a.first, application->name);
    });
    if (application->name.empty() || found == applications.end())
        return target.string() + ": no application object \"" + application->name +
               "\" among the sources";
    application->library = found->second;
    std::istringstream list(TargetValue(*bytes, "LibList"));
    for (std::string piece; std::getline(list, piece, ';');)
        if (!piece.empty())
            application->libraryList.push_back(
                WorkspacePath(destination, target.parent_path(), piece));
    return {};
}

// A Unicode library built from the export files of PowerBuilder 10 and later in a host
// folder (UTF-8 with a byte-order mark, HEXASCII or code page text), each checked as an
// ORCA import checks it. An error text, or empty.
std::string BuildUnicodeLibrary(const fs::path& folder, const std::string& library,
                                SourceWorkspace* workspace) {
    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    const auto image = orca::PblLibrary::Create("0600", "", now, orca::PblKind::Unicode);
    for (const fs::path& file : SourceFiles(folder, "*.sr?")) {
        const std::string path = (folder / file).string();
        const auto text = platform::ReadHostFile(path);
        if (!text)
            return "cannot read the source " + path;
        const orca::ExportFile source = orca::ParseExportFile(*text);
        std::string entryName, comment, stored, error;
        if (!orca::StoredTexts(source, orca::PblKind::Unicode, &entryName, &comment, &stored,
                               &error))
            return path + ": " + error;
        if (entryName.empty())
            entryName = file.filename().string();
        int type = 0;
        std::string name;
        if (error = CheckedSource(path, library, entryName, source.source, source.comment, &type,
                                  &name);
            !error.empty())
            return error;
        if (!image->Put(orca::WideSourceEntry(entryName, "0600", now, comment, stored), &error))
            return library + "(" + name + "): " + error;
        ++workspace->sourceCount;
    }
    const std::string host = platform::HostPath(library);
    if (!WriteLibrary(host, *image))
        return "cannot write " + host;
    return {};
}

// The pb.ini application of a .pbt of a workspace of libraries (PowerBuilder 10 and
// later keep no .pbg files): the libraries of its list are copied from the workspace's
// folder, and one that is missing there is built from its exported sources in
// ws_objects (the same path with ".src" added), as PowerBuilder's source control keeps
// them. Libraries that several targets list are made once.
std::string ReadLibraryTarget(const fs::path& sourceDir, const std::string& destination,
                              const fs::path& target, SourceWorkspace* workspace,
                              WorkspaceApplication* application) {
    const fs::path targetPath = sourceDir / target;
    const auto bytes = platform::ReadHostFile(targetPath.string());
    if (!bytes)
        return "cannot read " + targetPath.string();
    application->name = TargetValue(*bytes, "appname");
    const std::string appLibrary = TargetValue(*bytes, "applib");
    if (application->name.empty() || appLibrary.empty())
        return target.string() + ": no appname or applib";
    application->library = WorkspacePath(destination, target.parent_path(), appLibrary);
    std::istringstream list(TargetValue(*bytes, "LibList"));
    for (std::string piece; std::getline(list, piece, ';');) {
        if (piece.empty())
            continue;
        const std::string library = WorkspacePath(destination, target.parent_path(), piece);
        std::string relative = piece;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const fs::path from = (target.parent_path() / relative).lexically_normal();
        // A list naming a library outside the workspace's folder would have it read from,
        // and written to, places the user did not name.
        if (from.empty() || from.is_absolute() || *from.begin() == ".." ||
            !platform::AsciiSameText(library.substr(0, destination.size() + 1), destination + "\\"))
            return target.string() + ": the library " + piece +
                   " lies outside the workspace's folder";
        application->libraryList.push_back(library);
        if (std::any_of(workspace->libraries.begin(), workspace->libraries.end(),
                        [&](const std::string& l) { return platform::AsciiSameText(l, library); }))
            continue;
        const std::string host = platform::HostPath(library);
        std::error_code ec;
        if (fs::is_regular_file(sourceDir / from, ec)) {
            fs::create_directories(fs::path(host).parent_path(), ec);
            // The copy is the user's to work on, whatever the permissions of the original.
            if (fs::copy_file(sourceDir / from, host, fs::copy_options::overwrite_existing, ec))
                fs::permissions(host, fs::perms::owner_read | fs::perms::owner_write,
                                fs::perm_options::add, ec);
            if (ec)
                return "cannot copy " + (sourceDir / from).string() + " to " + host + ": " +
                       ec.message();
        } else if (const fs::path exported = sourceDir / "ws_objects" / (from.string() + ".src");
                   fs::is_directory(exported, ec)) {
            if (std::string error = BuildUnicodeLibrary(exported, library, workspace);
                !error.empty())
                return error;
        } else {
            return target.string() + ": the library " + piece +
                   " is neither in the workspace's folder nor exported in ws_objects";
        }
        workspace->libraries.push_back(library);
        workspace->libraryHostPaths.push_back(host);
    }
    return {};
}

SourceWorkspace Build(const std::string& sourceDir, const std::string& destination) {
    SourceWorkspace workspace;
    const auto fail = [&](std::string error) {
        workspace = SourceWorkspace();
        workspace.error = std::move(error);
        return workspace;
    };
    std::error_code ec;
    if (!fs::is_directory(sourceDir, ec))
        return fail("no folder " + sourceDir);
    // The sources are read through their Windows form, as the .pbg files name them.
    const std::string sources = platform::WindowsPath(sourceDir);

    std::vector<std::pair<std::string, std::string>> applications;  // name, library
    for (const fs::path& group : SourceFiles(sourceDir, "*.pbg"))
        if (std::string error = ImportGroup(sources, destination, group, &workspace, &applications);
            !error.empty())
            return fail(error);
    const bool ofLibraries = workspace.libraries.empty();
    const std::vector<fs::path> targets = SourceFiles(sourceDir, "*.pbt");
    if (ofLibraries && targets.empty())
        return fail("no .pbg or .pbt file in " + sourceDir);

    std::string pbIni = "[Application]\r\n";
    for (const fs::path& target : targets) {
        WorkspaceApplication application;
        if (std::string error =
                ofLibraries
                    ? ReadLibraryTarget(sourceDir, destination, target, &workspace, &application)
                    : ReadTarget(sources, destination, target, applications, &application);
            !error.empty())
            return fail(error);
        pbIni += "$" + application.library + "(" + application.name + ")=";
        for (size_t i = 0; i < application.libraryList.size(); ++i)
            pbIni += (i ? ";" : "") + application.libraryList[i];
        pbIni += "\r\n";
        workspace.applications.push_back(std::move(application));
    }
    workspace.pbIni = destination + "\\pb.ini";
    fs::create_directories(platform::HostPath(destination), ec);
    if (!platform::WriteFileBytes(workspace.pbIni, pbIni))
        return fail("cannot write " + workspace.pbIni + ": " + platform::LastErrorText());
    for (const char* key : {"InitPath040", "InitPath050", "InitPath60", "InitPath100"})
        if (!platform::WriteProfileString("PowerBuilder", key, destination))
            return fail("cannot write WIN.INI: " + platform::LastErrorText());
    return workspace;
}

}  // namespace

SourceWorkspace BuildSourceWorkspace(const std::string& sources, const std::string& destination) {
    const std::string root = platform::FullWindowsPath(destination);
    if (root.empty()) {
        SourceWorkspace workspace;
        workspace.error = "no Windows path for the destination " + destination;
        return workspace;
    }
    return Build(sources, root);
}

}  // namespace orca
