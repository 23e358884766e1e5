// The applications of pb.ini and their library search paths.

#include "catalogue/PbIni.h"

#include <unordered_set>
#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/IniText.h"
#include "platform/LastError.h"
#include "platform/Profile.h"
#include "shell/Utilities.h"

namespace catalogue {

namespace {

constexpr std::string_view ApplicationSection = "Application";

}  // namespace

// An application name holds no "(", a library path may ("c:\apps (old)\x.pbl"): the key
// is split at its last "(".
bool ParseApplicationKey(std::string_view key, std::string& name, std::string& appLib) {
    if (key.empty() || key[0] != '$')
        return false;
    const size_t open = key.rfind('(');
    if (open == std::string_view::npos)
        return false;
    const size_t close = key.find(')', open + 1);
    if (close == std::string_view::npos)
        return false;
    name = std::string(key.substr(open + 1, close - open - 1));
    appLib = std::string(key.substr(1, open - 1));
    return !name.empty() && !appLib.empty();
}

std::optional<std::string> TOrcaMgr::ReadPBIni(const std::string& pbIni) {
    std::string why;
    std::optional<std::string> text;
    if (platform::DirectoryExists(pbIni)) {
        why = "it is a folder, not a file (see Preferences)";
    } else {
        text = platform::ReadFileBytes(pbIni);
        if (!text)
            why = platform::LastErrorText();
        else if (platform::ini::IsUtf16(*text))
            why = "it is UTF-16 text, which is not read";
    }
    if (why.empty()) {
        unattendedReports_[PBIniUnreadable].clear();
        return text;
    }
    // Nothing read is no "every application left pb.ini".
    const std::string line =
        "pb.ini " + pbIni + " not read: " + why + "; the applications are kept as they are.";
    if (Unattended()) {
        ReportUnattended(PBIniUnreadable, line);
    } else {
        unattendedReports_[PBIniUnreadable] = line;
        shell::LogMessage(line);
    }
    return std::nullopt;
}

void TOrcaMgr::LoadApplications() {
    const std::string pbIni = GetPBIniFile();
    if (pbIni.empty() || !shell::FileFound(pbIni))
        return;
    if (!LoadOrcaDll())
        return;
    if (platform::DirectoryExists(pbIni)) {
        // Neither its date nor its (absent) keys mean anything.
        ReadPBIni(pbIni);
        return;
    }

    const platform::TDateTime date = platform::FileAge(pbIni).value_or(0);
    if (date != PBIniDate) {
        PBIniDate = date;
        if (DeferRefresh)
            SetOutOfDate(true);
    }
    if (DeferRefresh)
        return;

    const std::optional<std::string> text = ReadPBIni(pbIni);
    if (!text)
        return;

    std::vector<TPBApp*> leftOver;
    for (const auto& item : Apps)
        leftOver.push_back(item.Obj);

    std::unordered_set<TPBApp*> seen;
    for (const std::string& key : platform::ini::KeyNames(*text, ApplicationSection)) {
        if (key.empty() || key[0] != '$')
            continue;
        std::string name, appLib;
        if (!ParseApplicationKey(key, name, appLib)) {
            shell::LogMessage("pb.ini: application key " + key +
                              " skipped: it is not of the form $library(name).");
            continue;
        }
        TPBApp* app = Apps.Find(name + ";(" + appLib + ")");
        if (!app)
            app = AddApp(name, appLib);
        if (!seen.insert(app).second) {
            shell::LogMessage("pb.ini: application key " + key +
                              " listed more than once; the first is used.");
            continue;
        }
        std::erase(leftOver, app);
        shell::ShowStatus("Initializing Application " + name);
    }
    for (TPBApp* app : leftOver)
        RemoveApp(app);
    shell::ShowStatus("Ready.");
}

void TPBApp::LoadLibraryList() {
    const std::string pbIni = Mgr.GetPBIniFile();
    std::vector<std::string> pieces;
    if (!pbIni.empty() && shell::FileFound(pbIni)) {
        // A pb.ini that cannot be read leaves the library list as it is.
        const std::optional<std::string> text = Mgr.ReadPBIni(pbIni);
        if (!text)
            return;
        shell::SplitString(
            platform::ini::FindValue(*text, ApplicationSection, PBIniKey()).value_or(""), pieces);
    }
    // Empty pieces ("a;;b") name no library; a library named twice is searched once.
    std::vector<std::string> paths;
    for (std::string& piece : pieces) {
        if (piece.empty())
            continue;
        bool listed = false;
        for (const std::string& path : paths)
            listed = listed || platform::AnsiSameText(path, piece);
        if (listed) {
            shell::LogMessage("pb.ini: library " + piece +
                              " listed more than once for application " + Name +
                              "; the first is used.");
            continue;
        }
        paths.push_back(std::move(piece));
    }

    std::vector<TPBLibRef*> old;
    for (const auto& item : LibRefs)
        old.push_back(item.Obj);

    shell::ShowGauge(true);
    const int last = static_cast<int>(paths.size()) - 1;
    shell::SetGauge(-1, last, -1);
    if (!Mgr.LoadOrcaDll()) {
        shell::ShowGauge(false);
        return;
    }
    for (int i = 0; i <= last; ++i) {
        const std::string& path = paths[static_cast<size_t>(i)];
        shell::SetGauge(-1, last, i);
        TPBLibRef* libRef = nullptr;
        for (auto it = old.begin(); it != old.end(); ++it) {
            if (platform::AnsiSameText((*it)->Lib->Name, path)) {
                libRef = *it;
                old.erase(it);
                break;
            }
        }
        if (!libRef) {
            libRef = AddLibRef(path);
            if (!libRef->Lib->Exists)
                shell::LogMessage((platform::DirectoryExists(path) ? "Library is a directory: "
                                                                   : "Library not found: ") +
                                  path + " (application " + Name + ").");
        }
        LibRefs.Move(LibRefs.IndexOfObject(libRef), i);
        libRef->Lib->EnsureLoaded();
        libRef->SyncObjRefs();
    }
    for (auto it = old.rbegin(); it != old.rend(); ++it)
        RemoveLibRef(*it);
    InitSession();
    shell::ShowGauge(false);
}

bool DeleteAppFromPBIni(TPBApp* app) {
    if (!app)
        return false;
    const std::string pbIni = app->Mgr.GetPBIniFile();
    if (pbIni.empty())
        return false;
    if (!platform::PrivateProfileKeyExists(ApplicationSection, app->PBIniKey(), pbIni)) {
        shell::LogMessage("Could not delete " + app->PBIniKey() + " from " + pbIni +
                          ": it is not in section [Application].");
        return false;
    }
    if (!platform::WritePrivateProfileString(ApplicationSection, app->PBIniKey(), std::nullopt,
                                             pbIni)) {
        shell::LogMessage("Could not delete " + app->PBIniKey() + " from " + pbIni + ": " +
                          platform::LastErrorText());
        return false;
    }
    if ((app->ReplicationRole == 1 || app->ReplicationRole == 2) && app->LinkedApp) {
        app->LinkedApp->ReplicationRole = 0;
        app->LinkedApp->LinkedApp = nullptr;
    }
    app->Mgr.RemoveApp(app);
    return true;
}

bool DeleteLibFromPBIni(TPBLibRef* libRef) {
    if (!libRef)
        return false;
    TPBApp& app = *libRef->App;
    const std::string pbIni = app.Mgr.GetPBIniFile();
    if (pbIni.empty())
        return false;
    const std::string key = app.PBIniKey();

    std::vector<std::string> pieces;
    shell::SplitString(platform::GetPrivateProfileString(ApplicationSection, key, "", pbIni),
                       pieces);
    for (auto it = pieces.begin(); it != pieces.end(); ++it) {
        if (platform::AnsiSameText(*it, libRef->Lib->Name)) {
            pieces.erase(it);
            break;
        }
    }
    const std::string value = shell::JoinStrings(pieces);

    // The key is deleted and written again, so that it becomes the last line of its
    // section, in one write of the file: the entry is never lost half-way.
    std::optional<std::string> text = platform::ReadFileBytes(pbIni);
    std::string failure;
    if (!text)
        failure = platform::LastErrorText();
    else if (platform::ini::IsUtf16(*text))
        failure = "the file is UTF-16 text";
    else if (!platform::ini::FindValue(*text, ApplicationSection, key))
        failure = "the application is not in section [Application]";
    else if (std::string why = platform::ini::Unstorable(ApplicationSection, key, value);
             !why.empty())
        failure = why;
    if (failure.empty()) {
        std::string edited = platform::ini::DeleteKey(*text, ApplicationSection, key);
        edited = platform::ini::SetValue(edited, ApplicationSection, key, value);
        if (!platform::WriteFileBytes(pbIni, edited))
            failure = platform::LastErrorText();
    }
    if (!failure.empty()) {
        shell::LogMessage("Could not remove " + libRef->Lib->Name + " from " + key + " in " +
                          pbIni + ": " + failure);
        return false;
    }
    app.RemoveLibRef(libRef);
    return true;
}

}  // namespace catalogue
