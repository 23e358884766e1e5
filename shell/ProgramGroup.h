#pragma once
// The start-up registration of the program in the user's menu. Where a program manager
// runs (Windows), the program adds itself to the group "Vellanor" with three macros
// passed as texts of at most 255 characters; those texts are made here. On this
// platform the registration is a desktop entry in the applications menu
// (platform/DesktopEntry.h).

#include <cstddef>
#include <string>
#include <string_view>

namespace shell {

inline constexpr std::string_view ProgramGroupName = "Vellanor";
// The longest macro a program manager takes.
inline constexpr size_t MaxProgramManagerMacro = 255;
// The desktop entry's file in the applications folder.
inline constexpr std::string_view DesktopEntryFileName = "sorvanti.desktop";

// [ShowGroup("Vellanor",0)]: shows the group that exists.
std::string ShowGroupMacro();
// [CreateGroup(Vellanor)] and CR LF: makes the group that does not exist.
std::string CreateGroupMacro();
// [AddItem(P,Sorvanti 2,P,0)] with a trailing blank, P the program's path in its short
// form. Empty when that would be longer than MaxProgramManagerMacro: a cut macro would
// register a path that does not exist, so none is sent.
std::string AddItemMacro(std::string_view shortProgramPath);

// Registers the program on this platform: writes the desktop entry for the running
// program (Name "Sorvanti 2", Exec its host path). A failure is logged, never shown, and
// start-up goes on; true when the entry is in place.
bool RegisterProgramGroup();

}  // namespace shell
