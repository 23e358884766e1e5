#pragma once
// One ORCA session: the state behind a PBORCA_* handle (library list, current
// application, last error text, parsed libraries) and the work of every call. The C
// functions of pborca.h only check the handle and forward here.
//
// Libraries are read through a per-session cache keyed by host path and checked
// against the file's identity (device, inode, size, modification time) on every use,
// so a directory pass followed by an export of every entry parses the file once, while
// a library changed by anyone else is read again. Every write by the session drops the
// cached copy. A session that misses its own cache first takes the copy another live
// session of the process holds of the same file (same identity), so sessions open at
// the same time on the same libraries parse each file once between them. A call made
// from inside a directory pass on the object being reported (as the catalogue exports
// each entry while it reads a directory) takes that object's entries as the pass has
// them, without looking them up again.
//
// A call that changes libraries holds their write locks (LibraryLock) from before it
// reads them until it has written them, so that writers of this program, in this
// process or another, change a library one after the other and none loses another's
// change.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "orca/LibraryLock.h"
#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "orca/pborca.h"

namespace orca {

class Session {
  public:
    // createFormat and createKind: the format string and the kind of the libraries this
    // session creates.
    explicit Session(std::string createFormat, PblKind createKind = PblKind::Ansi);

    const std::string& Error() const { return error_; }
    // A call that failed inside the library (memory ran out, a callback threw): the
    // error text says so and gives the reason.
    void NoteFailure(std::string_view reason) noexcept;
    const std::string& CreateFormat() const { return createFormat_; }

    int32_t SetLibraryList(char** libraries, int32_t count);
    int32_t SetCurrentAppl(const char* library, const char* application);
    int32_t LibraryCommentModify(const char* library, const char* comment);
    int32_t LibraryCreate(const char* library, const char* comment);
    int32_t LibraryDelete(const char* library);
    int32_t LibraryDirectory(const char* library, char* commentBuffer, int32_t commentSize,
                             PBORCA_LISTPROC callback, void* userData);
    int32_t EntryList(const char* library, PBORCA_LISTPROC callback, void* userData);
    int32_t EntryCopy(const char* sourceLibrary, const char* targetLibrary, const char* name,
                      int type);
    int32_t EntryDelete(const char* library, const char* name, int type);
    int32_t EntryMove(const char* sourceLibrary, const char* targetLibrary, const char* name,
                      int type);
    int32_t EntryExport(const char* library, const char* name, int type, char* buffer,
                        int32_t size);
    int32_t EntryInformation(const char* library, const char* name, int type,
                             PBORCA_ENTRYINFO* info);
    int32_t CompileEntryImport(const char* library, const char* name, int type, const char* comment,
                               const char* source, int32_t length, PBORCA_ERRPROC callback,
                               void* userData);
    int32_t CompileEntryImportList(char** libraries, char** names, PBORCA_TYPE* types,
                                   char** comments, char** sources, int32_t* lengths, int32_t count,
                                   PBORCA_ERRPROC callback, void* userData);
    int32_t CompileEntryRegenerate(const char* library, const char* name, int type,
                                   PBORCA_ERRPROC callback, void* userData);
    int32_t ObjectQueryHierarchy(const char* library, const char* name, int type,
                                 PBORCA_HIERPROC callback, void* userData);
    int32_t ObjectQueryReference(const char* library, const char* name, int type,
                                 PBORCA_REFPROC callback, void* userData);
    int32_t CheckOutEntry(const char* name, const char* sourceLibrary, const char* targetLibrary,
                          const char* userId, int type, int32_t makeCopy);
    int32_t CheckInEntry(const char* name, const char* sourceLibrary, const char* targetLibrary,
                         const char* userId, int type, int32_t moveEntry);
    int32_t ListCheckOutEntries(const char* library, PBORCA_CHECKPROC callback, void* userData);
    int32_t ExecutableCreate(const char* executable, const char* icon, const char* resourceFile,
                             PBORCA_LNKPROC callback, void* userData, int32_t* dynamicLibraryFlags,
                             int32_t count, int32_t flags);
    int32_t DynamicLibraryCreate(const char* library, const char* resourceFile, int32_t flags);

    // Number of library parses this session has done (for tests of the cache).
    int ParseCount() const { return parses_; }

  private:
    struct Opened {
        std::string windowsPath;
        std::string hostPath;
        std::shared_ptr<const PblLibrary> library;
    };
    struct CacheEntry {
        uint64_t device = 0, inode = 0, size = 0;
        int64_t mtimeSec = 0, mtimeNsec = 0;
        std::shared_ptr<const PblLibrary> library;
    };

    // Holds the write locks of the libraries a changing call works on, from its start to
    // its end; a call made inside another shares the outer call's locks.
    class WriteCall;
    // The lock this call holds of the file, nullptr when none.
    LibraryLock* LockOf(const std::string& hostPath);
    // Writes the library through the call's lock of the file (or as a new file).
    bool Commit(const std::string& hostPath, const PblLibrary& library, std::string* reason);

    int32_t Fail(int32_t code, std::string text);
    // PBORCA_OBJNOTFOUND: "Entry NAME.srX not found in library LIB" and detail after it.
    int32_t NotFound(const std::string& entryName, const std::string& library,
                     std::string_view detail = "");
    // Drops what the session holds of a file it is about to change.
    void Invalidate(const std::string& hostPath);
    // Maps and reads a library; on failure sets the error and gives the result code.
    int32_t Open(const char* windowsPath, Opened* out);
    // Writes a changed library over the opened one, atomically; it becomes the cached
    // copy of the file (moved there, not copied).
    int32_t Write(const Opened& opened, PblLibrary changed);
    // Writes target, then source; when source cannot be written, target is put back as
    // it was, so that neither library claims half of a change that spans both.
    int32_t WriteBoth(const Opened& target, const PblLibrary& newTarget, const Opened& source,
                      const PblLibrary& newSource);
    // Puts copies of the object's entries, read from source, into changed, the new form
    // of target, in place of its own; PBORCA_INVALIDNAME naming the entry and the reason
    // when target cannot hold one (changed must then not be written). Entries go only
    // between libraries of one kind: an ANSI library cannot hold a Unicode library's
    // compiled forms, nor the other way round.
    int32_t CopyObjectInto(PblLibrary& changed, const Opened& source, const Opened& target,
                           std::string_view name, int type, const ObjectEntries& object);
    int32_t CheckCall(const char* library, const char* name, int type);
    // The object a directory pass in progress is reporting, when the call names it.
    const DirectoryObject* Reported(const char* library, const char* name, int type) const;
    // The entries of an object for a call that only reads them, and the library's name
    // for the error texts: the object being reported when the call names it, else
    // found as Begin finds it.
    int32_t FindForRead(const char* library, const char* name, int type, std::string* windowsPath,
                        const PblEntry** source, const PblEntry** compiled);
    // The opening shared by the calls that work on a library: clears the error text and
    // reads the library. The calls on an object first check the names and the type
    // (CheckCall) and, when listSearch names a call that searches the library list
    // ("Hierarchy"), that the list is set; they then get the object's entries.
    int32_t Begin(const char* library, Opened* opened);
    int32_t Begin(const char* library, const char* name, int type, Opened* opened,
                  ObjectEntries* object, const char* listSearch = nullptr);
    int32_t CheckSourceText(std::string_view source, std::string_view name, int type,
                            PBORCA_ERRPROC callback, void* userData);
    bool SameLibrary(std::string_view windowsPath, const std::string& hostPath) const;
    int32_t ReadScc(const Opened& opened, std::vector<SccRecord>* records);
    int32_t BuildDynamicLibrary(const Opened& opened, PBORCA_LNKPROC callback, void* userData,
                                std::string* image);

    std::string createFormat_;
    PblKind createKind_ = PblKind::Ansi;
    std::string error_;
    std::vector<std::string> libraryList_;  // Windows paths as given
    bool libraryListSet_ = false;
    std::string currentApplLibrary_, currentApplName_;
    std::unordered_map<std::string, CacheEntry> cache_;
    Opened pin_;  // the library of the directory pass in progress, if any
    const DirectoryObject* reported_ = nullptr;        // the object that pass is reporting
    uint64_t writes_ = 0;                              // files this session changed or replaced
    std::vector<std::unique_ptr<LibraryLock>> locks_;  // of the changing call in progress
    int writeCalls_ = 0;                               // changing calls in progress
    int parses_ = 0;
};

// The session behind a handle, nullptr when the handle is not one of a live session.
Session* SessionFromHandle(HPBORCA handle);
HPBORCA OpenSession(std::string createFormat, PblKind createKind = PblKind::Ansi);
void CloseSession(HPBORCA handle);

}  // namespace orca
