// The sorvanti program. Until its window exists it starts the program-wide services,
// loads the stored settings, locates PowerBuilder's pb.ini and its ORCA library for
// the chosen version, loads every application of pb.ini into the catalogue, and says
// what it found.

#include <cstdio>
#include <string>
#include <vector>

#include "app/ConsoleShellUI.h"
#include "catalogue/Orcactrl.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Prefix.h"
#include "platform/SharedLibrary.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"

namespace {

void Say(const std::string& label, const std::string& value) {
    std::printf("  %-22s %s\n", label.c_str(), value.c_str());
}

// Every application of the catalogue with its library search path: entries per
// library, missing libraries, and the number of classes its hierarchy holds.
void ListApplications(catalogue::TOrcaMgr& mgr) {
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        catalogue::TPBApp* app = mgr.Apps[i];
        app->LoadLibraryList();
        std::printf("  application %s (%s)\n", app->Name.c_str(), app->AppLib.c_str());
        for (const auto& item : app->LibRefs) {
            const catalogue::TPBLib& lib = *item.Obj->Lib;
            if (lib.Exists)
                std::printf("    %-40s %d entries\n", lib.Name.c_str(), lib.Entries.Count());
            else
                std::printf("    %-40s missing\n", lib.Name.c_str());
        }
    }
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

    catalogue::TOrcaMgr& mgr = catalogue::CreateOrcaMgr();
    const std::string pbIni = mgr.GetPBIniFile();
    Say("pb.ini", pbIni.empty() ? "not found" : pbIni);

    platform::TSharedLibrary orca;
    if (orca.Load(version.OrcaDll))
        Say("ORCA library", orca.HostPath());
    else
        Say("ORCA library",
            std::string(version.OrcaDll) + " not found (" + platform::LastErrorText() + ")");

    if (!pbIni.empty() && mgr.LoadOrcaDll()) {
        mgr.LoadApplications();
        Say("applications", std::to_string(mgr.Apps.Count()));
        ListApplications(mgr);
    }

    shell::ShowStatus("Ready.");
    std::printf("%s\n", screen.LastStatus().c_str());
    catalogue::ResetOrcaMgr();
    shell::DoneUtilities();
    shell::SetShellUI(nullptr);
    return 0;
}
