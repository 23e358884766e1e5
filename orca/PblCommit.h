#pragma once
// Commits that write what they change: a changed library written into the file it was
// read from, in place, under a rollback journal (PblJournal.h). Used by LibraryLock
// while it holds the file's write lock.

#include <string>
#include <string_view>

#include "orca/PblLibrary.h"

namespace orca::commit {

enum class Outcome {
    Done,           // the library is in the file; *after is the file's state now
    NotApplicable,  // nothing was written: the whole library is to be written anew
    Failed,         // nothing of the change stayed in the file; the reason in *error
};

struct Request {
    int lockFd = -1;           // the locked library file
    std::string target;        // its path
    std::string shown;         // the path named in error texts
    FileStamp stamp;           // its state, checked unchanged by the caller
    long long failAfter = -1;  // test hook: fail after writing this many bytes
    bool abandon = false;      // test hook: on that failure, leave everything as a kill would
};

// Writes library into the file in place: entries whose data is still a chain in the file
// keep their blocks, other data goes into blocks free before this commit or at the end,
// the chains no entry keeps are freed, and the directory nodes, bitmap blocks and header
// that change are rewritten. NotApplicable when the library was not read from the file
// in the state given, the file holds something this writer does not understand, or the
// file would become much larger than its live data (a whole rewrite compacts it).
Outcome InPlace(const Request& request, const PblLibrary& library, FileStamp* after,
                std::string* error);

// After the file was written whole as image (state stamp) from library: remembered, so
// that the next commit into the file can be made in place.
void Remember(std::string_view image, const FileStamp& stamp, const PblLibrary& library);

}  // namespace orca::commit
