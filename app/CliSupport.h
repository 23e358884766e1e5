#pragma once
// What the command line's commands share: output and errors, paths, and the scopes and
// objects their operands name.

#include <string>
#include <string_view>
#include <vector>

#include "app/CliCommands.h"
#include "catalogue/Orcactrl.h"
#include "search/ObjectSearch.h"

namespace cli {

// "sorvanti-cli: message" on stderr; ExitFailed.
int Fail(const std::string& message);
// printf to stderr, after wiping the progress line when one is drawn.
void ErrorLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes to stdout; false once a write failed (a closed pipe), after saying so on stderr.
bool Write(std::string_view text);

// A path as the program holds it: host paths (beginning with /) become their Windows form.
std::string WindowsForm(const std::string& path);
// True when an operand names a file or folder rather than an application.
bool LooksLikePath(const std::string& name);
// The name of an entry type ("window"), or its number when it has none.
std::string TypeName(int type);

// What an operand names.
struct TScope {
    search::TSearchScope Search;
    catalogue::TPBApp* App = nullptr;     // an application, or the one an object was found in
    catalogue::TPBObjRef* Ref = nullptr;  // APP(OBJECT)
    catalogue::TPBObj* Obj = nullptr;     // LIB(OBJECT)
    catalogue::TPBLib* Lib = nullptr;     // a library
};
// Resolves SCOPE: an application of pb.ini; APP(OBJECT) (with descendants: its hierarchy
// branch); LIB(OBJECT); a library file; a folder (every library of its tree). False and
// *error when nothing of that name exists.
bool ResolveScope(catalogue::TOrcaMgr& mgr, const std::string& operand, bool descendants,
                  TScope* scope, std::string* error);
// The first object of that name (any case) on the application's search path, or null.
catalogue::TPBObjRef* FindObjectRef(catalogue::TPBApp& app, const std::string& name);
// The library of a path operand when it exists and can be read, else null and *error.
catalogue::TPBLib* FindLibraryFile(catalogue::TOrcaMgr& mgr, const std::string& operand,
                                   std::string* error);
// The reference of the library in the first application (pb.ini order) whose library
// list holds it, or null.
catalogue::TPBLibRef* FindLibRef(catalogue::TOrcaMgr& mgr, const catalogue::TPBLib& lib);
// Makes --temp LIB the temporary library of this run; false and *error when it names no
// library file.
bool UseTemporaryLibrary(const TInvocation& invocation, std::string* error);

// The commands (CliSearch.cpp, CliWriteBack.cpp).
int SearchCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int ReplaceCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int ImportCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int CompileCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int ExeCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int PbdCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int CheckOutCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int CheckInCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);
int CheckedOutCommand(catalogue::TOrcaMgr& mgr, const TInvocation& invocation);

}  // namespace cli
