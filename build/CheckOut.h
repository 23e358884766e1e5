#pragma once
// Check-out and check-in of library entries through PowerBuilder's own source control in
// ORCA: an entry is checked out into a library the user picks, marked with a user id, and
// checked in again from the fixed check-out library into its own library. Failures go to
// the log through the session wrapper; each function says whether ORCA succeeded.

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Orcactrl.h"

namespace build {

// The library Check In takes entries from.
inline constexpr std::string_view CheckInLibrary = "c:\\check.pbl";
// The user id Check In works under.
inline constexpr std::string_view CheckInUserId = "sorvanti";

// Copies the entry into destination, marked as checked out by userId.
bool CheckOutEntry(catalogue::TPBObjRef& ref, std::string_view destination,
                   std::string_view userId);
// Moves the entry from CheckInLibrary back into its own library; only when that
// succeeded is it deleted from CheckInLibrary (a failed check-in keeps the work there).
bool CheckInEntry(catalogue::TPBObjRef& ref);

struct TCheckedOut {
    std::string Entry;
    std::string User;
    std::string Library;
    char Mode = 0;  // 'd' checked out from this library, 's' a working copy here
};
// The check-out records of a library, each also as one log line
// ("Checked out: ENTRY by USER, LIBRARY"); false when ORCA could not read them.
bool ListCheckOutEntries(catalogue::TPBLibRef& libRef, std::vector<TCheckedOut>* entries = nullptr);

}  // namespace build
