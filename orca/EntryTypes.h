#pragma once
// The eleven kinds of PowerBuilder library entry, by their ORCA type code (PBORCA_TYPE in
// pborca.h): the extensions of an object's source and compiled entries, the name error
// texts give the kind, and the system class an object of the kind descends from when
// nothing names its ancestor. The one table of them every layer reads.

#include <array>
#include <string_view>

#include "orca/pborca.h"

namespace orca {

struct TEntryKind {
    PBORCA_TYPE type;
    std::string_view sourceExtension;    // "srw"
    std::string_view compiledExtension;  // "win"
    std::string_view typeName;           // "window"
    std::string_view systemClass;        // "Window"
};

inline constexpr int FirstEntryType = PBORCA_APPLICATION;
inline constexpr int LastEntryType = PBORCA_PROXYOBJECT;

inline constexpr std::array<TEntryKind, 11> EntryKinds{{
    {PBORCA_APPLICATION, "sra", "apl", "application", "application"},
    {PBORCA_DATAWINDOW, "srd", "dwo", "datawindow", "datawindow"},
    {PBORCA_FUNCTION, "srf", "fun", "function", "function_object"},
    {PBORCA_MENU, "srm", "men", "menu", "menu"},
    {PBORCA_QUERY, "srq", "qry", "query", "query"},
    {PBORCA_STRUCTURE, "srs", "str", "structure", "structure"},
    {PBORCA_USEROBJECT, "sru", "udo", "user object", "UserObject"},
    {PBORCA_WINDOW, "srw", "win", "window", "Window"},
    {PBORCA_PIPELINE, "srp", "pip", "pipeline", "pipeline"},
    {PBORCA_PROJECT, "srj", "prj", "project", "project"},
    {PBORCA_PROXYOBJECT, "srx", "pxy", "proxy object", "proxy_object"},
}};

// The kind of a type code; none outside the eleven.
constexpr const TEntryKind* EntryKind(int type) {
    return type >= FirstEntryType && type <= LastEntryType ? &EntryKinds[static_cast<size_t>(type)]
                                                           : nullptr;
}

}  // namespace orca
