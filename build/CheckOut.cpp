// Check-out and check-in through ORCA.

#include "build/CheckOut.h"

#include "build/Companion.h"
#include "shell/Utilities.h"

namespace build {

namespace {

void CollectCheckOut(PBORCA_CHECKOUT* record, void* userData) {
    try {
        if (!record || !userData)
            return;
        auto* list = static_cast<std::vector<TCheckedOut>*>(userData);
        list->push_back({record->lpszEntryName ? record->lpszEntryName : "",
                         record->lpszUserID ? record->lpszUserID : "",
                         record->lpszLibraryName ? record->lpszLibraryName : "", record->cMode});
    } catch (...) {
    }
}

}  // namespace

bool CheckOutEntry(catalogue::TPBObjRef& ref, std::string_view destination,
                   std::string_view userId) {
    if (!ref.Obj || !ref.Obj->Lib)
        return false;
    if (destination.empty()) {
        shell::LogMessage("Not checked out: " + ref.Obj->Name + ": no destination library given.");
        return false;
    }
    const std::string target = LibraryForEntriesOf(destination, ref.Obj->Lib->Name, true);
    if (target.empty()) {
        shell::LogMessage("Not checked out: " + ref.Obj->Name + ": no library of its kind beside " +
                          std::string(destination) + ".");
        return false;
    }
    return ref.App.GetSession().CheckOutEntry(ref.Obj->Name, ref.Obj->Lib->Name, target, userId,
                                              ref.Obj->EntryType, 1) == PBORCA_OK;
}

bool CheckInEntry(catalogue::TPBObjRef& ref) {
    if (!ref.Obj || !ref.Obj->Lib)
        return false;
    // An entry of a library of the other kind than the check-out library was checked out
    // into that library's companion.
    const std::string source = LibraryForEntriesOf(CheckInLibrary, ref.Obj->Lib->Name, false);
    if (source.empty()) {
        shell::LogMessage(
            "Not checked in: " + ref.Obj->Name + ": " +
            CompanionName(CheckInLibrary,
                          catalogue::LibraryIsUnicode(ref.Obj->Lib->Name).value_or(false)) +
            " does not exist.");
        return false;
    }
    catalogue::TOrca& session = ref.App.GetSession();
    if (session.CheckInEntry(ref.Obj->Name, source, ref.Obj->Lib->Name, CheckInUserId,
                             ref.Obj->EntryType, 1) != PBORCA_OK) {
        shell::LogMessage("Not checked in: " + ref.Obj->Name + " stays in " + source + ".");
        return false;
    }
    session.EntryDelete(source, ref.Obj->Name, ref.Obj->EntryType);
    return true;
}

bool ListCheckOutEntries(catalogue::TPBLibRef& libRef, std::vector<TCheckedOut>* entries) {
    std::vector<TCheckedOut> list;
    if (libRef.App->GetSession().ListCheckOutEntries(libRef.Lib->Name, &CollectCheckOut, &list) !=
        PBORCA_OK)
        return false;
    if (list.empty())
        shell::LogMessage("No entries of " + libRef.Lib->Name + " are checked out.");
    for (const TCheckedOut& e : list)
        shell::LogMessage("Checked out: " + e.Entry + " by " + e.User + ", " + e.Library);
    if (entries)
        *entries = std::move(list);
    return true;
}

}  // namespace build
