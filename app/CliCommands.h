#pragma once
// The command line's search, replace and write-back commands: search, replace, import,
// regenerate, rebuild, exe, pbd, checkout, checkin, checked-out. sorvanti-cli hands them
// their words (after the global options) in two steps: Parse checks the usage before any
// catalogue is loaded, RunCommand runs the command on the loaded catalogue.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Orcactrl.h"

namespace cli {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

// One command as given: its operands, its flags and its options with a value.
struct TInvocation {
    std::string Command;
    std::vector<std::string> Operands;
    std::set<std::string> Flags;
    std::map<std::string, std::string> Values;
    bool Help = false;  // --help: print the command's help, run nothing

    bool Has(const std::string& flag) const { return Flags.count(flag) > 0; }
    bool HasValue(const std::string& option) const { return Values.count(option) > 0; }
    std::string Value(const std::string& option) const {
        const auto it = Values.find(option);
        return it == Values.end() ? std::string() : it->second;
    }
};

// True for the names of the commands here.
bool IsCommand(std::string_view name);
// The commands' lines for the program's usage text.
std::string CommandsUsage();
// The help of one command (usage line, operands, options).
std::string CommandHelp(std::string_view command);
// The words after the command name; nullopt and *error on bad usage.
std::optional<TInvocation> Parse(std::string_view command, const std::vector<std::string>& words,
                                 std::string* error);
// Runs a parsed command; its exit status.
int RunCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);

}  // namespace cli
