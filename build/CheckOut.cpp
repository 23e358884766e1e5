// Check-out and check-in through ORCA.

#include "build/CheckOut.h"

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
    return ref.App.GetSession().CheckOutEntry(ref.Obj->Name, ref.Obj->Lib->Name, destination,
                                              userId, ref.Obj->EntryType, 1) == PBORCA_OK;
}

bool CheckInEntry(catalogue::TPBObjRef& ref) {
    if (!ref.Obj || !ref.Obj->Lib)
        return false;
    catalogue::TOrca& session = ref.App.GetSession();
    if (session.CheckInEntry(ref.Obj->Name, CheckInLibrary, ref.Obj->Lib->Name, CheckInUserId,
                             ref.Obj->EntryType, 1) != PBORCA_OK) {
        shell::LogMessage("Not checked in: " + ref.Obj->Name + " stays in " +
                          std::string(CheckInLibrary) + ".");
        return false;
    }
    session.EntryDelete(CheckInLibrary, ref.Obj->Name, ref.Obj->EntryType);
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
