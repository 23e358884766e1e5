#include "shell/ProgramGroup.h"

#include "platform/DesktopEntry.h"
#include "platform/Prefix.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"

namespace shell {

std::string ShowGroupMacro() {
    return "[ShowGroup(\"" + std::string(ProgramGroupName) + "\",0)]";
}

std::string CreateGroupMacro() {
    return "[CreateGroup(" + std::string(ProgramGroupName) + ")]\r\n";
}

std::string AddItemMacro(std::string_view shortProgramPath) {
    const std::string path(shortProgramPath);
    std::string macro = "[AddItem(" + path + "," + std::string(ProductTitle) + "," + path + ",0)] ";
    if (macro.size() > MaxProgramManagerMacro)
        return {};
    return macro;
}

bool RegisterProgramGroup() {
    platform::TDesktopEntry entry;
    entry.fileName = std::string(DesktopEntryFileName);
    entry.name = std::string(ProductTitle);
    entry.programHostPath = platform::ProgramFileHostPath();
    entry.icon = "sorvanti";
    const platform::TDesktopEntryResult result = platform::WriteDesktopEntry(entry);
    if (!result.ok) {
        LogMessage("The program could not be added to the applications menu: " + result.reason);
        return false;
    }
    if (result.written)
        LogMessage("The program was added to the applications menu: " + result.hostPath);
    return true;
}

}  // namespace shell
