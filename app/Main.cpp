// The sorvanti program. Until its window exists it starts the program-wide services,
// loads the stored settings, locates PowerBuilder's pb.ini and its ORCA library for
// the chosen version, and says what it found.

#include <cstdio>
#include <string>
#include <vector>

#include "app/ConsoleShellUI.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/Profile.h"
#include "platform/SharedLibrary.h"
#include "shell/options.h"
#include "shell/utilities.h"

namespace {

void Say(const std::string& label, const std::string& value) {
    std::printf("  %-22s %s\n", label.c_str(), value.c_str());
}

// Counts the applications of pb.ini's "Application" section (keys starting with "$").
int CountApplications(const std::string& pbIni) {
    int count = 0;
    for (const std::string& key : platform::GetPrivateProfileKeys("Application", pbIni))
        if (!key.empty() && key[0] == '$')
            ++count;
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    app::TConsoleShellUI screen;
    shell::SetShellUI(&screen);
    shell::InitUtilities(args);

    shell::TOptionsForm& options = shell::CreateOptionsForm();
    const shell::TPBVersionInfo& version = options.SelectedPBVersion();

    std::printf("Sorvanti\n");
    Say("prefix", platform::PrefixDir());
    Say("program directory", shell::ProgramDir());
    Say("debug log", shell::WriteDebug("") ? shell::ProgramDir() + "\\log.txt" : "off");
    Say("PowerBuilder version", version.Label.data());
    Say("change detection", std::to_string(options.DetectTimer.Interval() / 1000) + " s");
    Say("automatic refresh", std::to_string(options.AutoRefreshTimer.Interval() / 1000) + " s");

    shell::TPBLocation location(&options);
    const std::string pbIni = location.GetPBIniFile();
    Say("pb.ini", pbIni.empty() ? "not found" : pbIni);
    if (!pbIni.empty())
        Say("applications", std::to_string(CountApplications(pbIni)));

    platform::TSharedLibrary orca;
    if (orca.Load(version.OrcaDll))
        Say("ORCA library", orca.HostPath());
    else
        Say("ORCA library",
            std::string(version.OrcaDll) + " not found (" + platform::LastErrorText() + ")");

    shell::ShowStatus("Ready.");
    shell::DoneUtilities();
    shell::SetShellUI(nullptr);
    return 0;
}
