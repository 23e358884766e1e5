#include "orca/OrcaSession.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <unordered_set>
#include <utility>

#include "orca/AnsiView.h"
#include "orca/StructureCheck.h"
#include "orca/TextBridge.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"
#include "platform/Paths.h"

namespace orca {

// The records must have PowerBuilder's byte offsets wherever pointers are 4 bytes.
static_assert(sizeof(PBORCA_ENTRYINFO) == 268);
static_assert(offsetof(PBORCA_ENTRYINFO, lCreateTime) == 256);
static_assert(offsetof(PBORCA_ENTRYINFO, lObjectSize) == 260);
static_assert(offsetof(PBORCA_ENTRYINFO, lSourceSize) == 264);
static_assert(offsetof(PBORCA_DIRENTRY, lCreateTime) == 256);
static_assert(offsetof(PBORCA_DIRENTRY, lEntrySize) == 260);
static_assert(offsetof(PBORCA_COMPERR, iLevel) == 0);
static_assert(offsetof(PBORCA_HIERARCHY, lpszAncestorName) == 0);
static_assert(offsetof(PBORCA_LINKERR, lpszMessageText) == 0);
#if defined(__SIZEOF_POINTER__) && __SIZEOF_POINTER__ == 4
static_assert(offsetof(PBORCA_DIRENTRY, lpszEntryName) == 264);
static_assert(offsetof(PBORCA_DIRENTRY, otEntryType) == 268);
static_assert(offsetof(PBORCA_COMPERR, lpszMessageNumber) == 4);
static_assert(offsetof(PBORCA_COMPERR, lpszMessageText) == 8);
static_assert(offsetof(PBORCA_COMPERR, iColumnNumber) == 12);
static_assert(offsetof(PBORCA_COMPERR, iLineNumber) == 14);
#endif

namespace {

std::mutex sessionsMutex;
std::unordered_set<Session*>& LiveSessions() {
    static std::unordered_set<Session*> sessions;
    return sessions;
}

// Parsed libraries shared by the sessions of this process: a session that finds a
// library another live session has already parsed (same host path and file identity)
// uses that copy instead of reading the file again. The registry holds no copy alive by
// itself; a copy lives as long as some session's cache holds it. Any write by a session
// of this process drops the path's record.
struct SharedLibrary {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t mtimeSec = 0, mtimeNsec = 0;
    std::weak_ptr<const PblLibrary> library;
};
std::mutex sharedMutex;
std::unordered_map<std::string, SharedLibrary>& SharedLibraries() {
    static std::unordered_map<std::string, SharedLibrary> libraries;
    return libraries;
}

bool SameFile(const struct stat& st, uint64_t device, uint64_t inode, uint64_t size,
              int64_t mtimeSec, int64_t mtimeNsec) {
    return device == static_cast<uint64_t>(st.st_dev) &&
           inode == static_cast<uint64_t>(st.st_ino) && size == static_cast<uint64_t>(st.st_size) &&
           mtimeSec == st.st_mtim.tv_sec && mtimeNsec == st.st_mtim.tv_nsec;
}

// The copy another live session parsed of this very file, if any.
std::shared_ptr<const PblLibrary> FindShared(const std::string& hostPath, const struct stat& st) {
    const std::lock_guard<std::mutex> lock(sharedMutex);
    auto& libraries = SharedLibraries();
    const auto it = libraries.find(hostPath);
    if (it == libraries.end())
        return nullptr;
    const SharedLibrary& shared = it->second;
    if (SameFile(st, shared.device, shared.inode, shared.size, shared.mtimeSec, shared.mtimeNsec))
        if (std::shared_ptr<const PblLibrary> library = shared.library.lock())
            return library;
    libraries.erase(it);
    return nullptr;
}

void ShareParsed(const std::string& hostPath, const struct stat& st,
                 const std::shared_ptr<const PblLibrary>& library) {
    const std::lock_guard<std::mutex> lock(sharedMutex);
    SharedLibraries()[hostPath] = {static_cast<uint64_t>(st.st_dev),
                                   static_cast<uint64_t>(st.st_ino),
                                   static_cast<uint64_t>(st.st_size),
                                   st.st_mtim.tv_sec,
                                   st.st_mtim.tv_nsec,
                                   library};
}

void DropShared(const std::string& hostPath) {
    const std::lock_guard<std::mutex> lock(sharedMutex);
    SharedLibraries().erase(hostPath);
}

// The kind of the file behind a library the calls work on: an ANSI view stands for the
// Unicode library it shows.
PblKind StoredKind(const PblLibrary& library) {
    return library.StoredForm() ? library.StoredForm()->Kind() : library.Kind();
}

const char* KindName(PblKind kind) {
    return kind == PblKind::Unicode ? "Unicode" : "ANSI";
}

std::string TypeName(int type) {
    const TEntryKind* kind = EntryKind(type);
    return std::string(kind ? kind->typeName : "unknown");
}

std::string SourceName(std::string_view name, int type) {
    return std::string(name) + "." + SourceExtension(type);
}

bool ValidName(std::string_view name) {
    if (name.empty() || name.size() > 255)
        return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '.' || c == '\\' || c == '/' || c == ':')
            return false;
    }
    return true;
}

void CopyText(char* target, size_t capacity, std::string_view text) {
    if (capacity == 0)
        return;
    const size_t n = std::min(text.size(), capacity - 1);
    if (n != 0)  // an empty text may have no bytes at all behind it
        std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

uint32_t Now() {
    return static_cast<uint32_t>(std::time(nullptr));
}

std::string Plural(size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The entries of an object: source, compiled form and extras.
std::vector<const PblEntry*> EntriesOf(const ObjectEntries& object) {
    std::vector<const PblEntry*> entries;
    for (const PblEntry* e : {object.source, object.compiled})
        if (e)
            entries.push_back(e);
    entries.insert(entries.end(), object.extras.begin(), object.extras.end());
    return entries;
}

void RemoveObject(PblLibrary& target, const ObjectEntries& object) {
    std::vector<std::string> names;
    for (const PblEntry* e : EntriesOf(object))
        names.push_back(e->name);
    for (const std::string& n : names)
        target.Remove(n);
}

// Replaces the object's entries in target by those given (copies of another library's).
// False with the reason in *error when target cannot hold one of them (a name read from
// a library can be longer than a library may store); target is then half changed and
// must not be written.
bool ReplaceObject(PblLibrary& target, std::string_view name, int type, const ObjectEntries& with,
                   std::string* error) {
    RemoveObject(target, FindObject(target, name, type));
    for (const PblEntry* e : EntriesOf(with)) {
        if (!target.Put(*e, error))
            return false;
    }
    return true;
}

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), platform::AsciiLower);
    return text;
}

// Hands one link problem to the caller's callback, if any.
void ReportLinkError(PBORCA_LNKPROC callback, void* userData, std::string text) {
    if (!callback)
        return;
    PBORCA_LINKERR record{};
    record.lpszMessageText = text.data();
    callback(&record, userData);
}

std::string NoCompiledFormText(const std::string& library, const DirectoryObject& object) {
    return "Library " + library + ": " + std::string(object.name) + " (" + TypeName(object.type) +
           ") has no compiled form; regenerate it in PowerBuilder";
}

// Hands one directory line to the caller's callback.
void ReportDirEntry(PBORCA_LISTPROC callback, void* userData, std::string& name, int type,
                    std::string_view comment, uint32_t time, size_t size) {
    PBORCA_DIRENTRY record{};
    CopyText(record.szComment, sizeof record.szComment, comment);
    record.lCreateTime = static_cast<int32_t>(time);
    record.lEntrySize = static_cast<int32_t>(size);
    record.lpszEntryName = name.data();
    record.otEntryType = static_cast<PBORCA_TYPE>(type);
    callback(&record, userData);
}

std::string WithExtension(const std::string& path, std::string_view extension) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + "." + std::string(extension);
    return path.substr(0, dot + 1) + std::string(extension);
}

}  // namespace

Session::Session(std::string createFormat, PblKind createKind)
    : createFormat_(std::move(createFormat)), createKind_(createKind) {}

int32_t Session::Fail(int32_t code, std::string text) {
    error_ = std::move(text);
    return code;
}

void Session::NoteFailure(std::string_view reason) noexcept {
    try {
        error_ = "The call failed inside the ORCA library: " + std::string(reason);
    } catch (...) {
        // No memory for the text: a short one fits the room the text already has.
        error_ = std::string_view("Out of memory").substr(0, error_.capacity());
    }
}

int32_t Session::NotFound(const std::string& entryName, const std::string& library,
                          std::string_view detail) {
    return Fail(PBORCA_OBJNOTFOUND,
                "Entry " + entryName + " not found in library " + library + std::string(detail));
}

int32_t Session::Open(const char* windowsPath, Opened* out) {
    if (!windowsPath || !*windowsPath)
        return Fail(PBORCA_INVALIDPARMS, "No library name given");
    // Inside a directory pass the library being listed was checked when the pass began.
    if (pin_.library && pin_.windowsPath == windowsPath) {
        *out = pin_;
        return PBORCA_OK;
    }
    out->windowsPath = windowsPath;
    out->hostPath = platform::HostPath(windowsPath);
    if (out->hostPath.empty())
        return Fail(PBORCA_BADLIBRARY,
                    "Library " + out->windowsPath + ": the path names no file on this host");
    const auto hit = cache_.find(out->hostPath);
    if (hit != cache_.end() && hit->second.library) {
        // A library read before is used while the file is still the one it was read from.
        struct stat st {};
        if (::stat(out->hostPath.c_str(), &st) != 0) {
            const int err = errno;
            if (err == ENOENT || err == ENOTDIR)
                return Fail(PBORCA_BADLIBRARY, "Library " + out->windowsPath + " does not exist");
            return Fail(PBORCA_LIBIOERROR,
                        "Library " + out->windowsPath + ": " + std::strerror(err));
        }
        if (!S_ISREG(st.st_mode))
            return Fail(PBORCA_BADLIBRARY, "Library " + out->windowsPath + " is not a file");
        const CacheEntry& cached = hit->second;
        if (SameFile(st, cached.device, cached.inode, cached.size, cached.mtimeSec,
                     cached.mtimeNsec)) {
            out->library = cached.library;
            return PBORCA_OK;
        }
    }
    // The file is opened first and its identity taken from the open file, so that the
    // identity kept is that of the bytes read. Never blocking, so that a named pipe in
    // a library's place is refused instead of waited on.
    const int fd = ::open(out->hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return Fail(PBORCA_BADLIBRARY, "Library " + out->windowsPath + " does not exist");
        return Fail(PBORCA_LIBIOERROR, "Library " + out->windowsPath + ": cannot read " +
                                           out->hostPath + ": cannot open " + out->hostPath + ": " +
                                           std::strerror(err));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return Fail(PBORCA_LIBIOERROR, "Library " + out->windowsPath + ": " + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(PBORCA_BADLIBRARY, "Library " + out->windowsPath + " is not a file");
    }
    std::shared_ptr<const PblLibrary> library = FindShared(out->hostPath, st);
    if (!library) {
        std::string reason;
        ++parses_;
        std::unique_ptr<PblLibrary> parsed = PblLibrary::Read(fd, out->hostPath, &reason);
        if (!parsed) {
            ::close(fd);
            Invalidate(out->hostPath);
            return Fail(PBORCA_LIBIOERROR, "Library " + out->windowsPath + ": " + reason);
        }
        if (parsed->Kind() == PblKind::Unicode) {
            // The calls work in the code page: they see the library's ANSI view.
            std::unique_ptr<PblLibrary> view =
                AnsiViewOf(std::shared_ptr<const PblLibrary>(std::move(parsed)), &reason);
            if (!view) {
                ::close(fd);
                Invalidate(out->hostPath);
                return Fail(PBORCA_LIBIOERROR,
                            "Library " + out->windowsPath + ": " + out->hostPath + ": " + reason);
            }
            parsed = std::move(view);
        }
        library = std::move(parsed);
        ShareParsed(out->hostPath, st, library);
    }
    ::close(fd);
    CacheEntry& cached = cache_[out->hostPath];
    cached.library = std::move(library);
    cached.device = static_cast<uint64_t>(st.st_dev);
    cached.inode = static_cast<uint64_t>(st.st_ino);
    cached.size = static_cast<uint64_t>(st.st_size);
    cached.mtimeSec = st.st_mtim.tv_sec;
    cached.mtimeNsec = st.st_mtim.tv_nsec;
    out->library = cached.library;
    return PBORCA_OK;
}

void Session::Invalidate(const std::string& hostPath) {
    cache_.erase(hostPath);
    DropShared(hostPath);
    pin_ = Opened();
    reported_ = nullptr;
    ++writes_;
}

class Session::WriteCall {
  public:
    // Locks the existing libraries among windowsPaths, in the order of their host paths
    // (so that two calls locking the same two libraries cannot wait for each other). A
    // library that does not exist or cannot be mapped is left to the call to report.
    WriteCall(Session& session, std::vector<const char*> windowsPaths) : session_(session) {
        ++session_.writeCalls_;
        // File: host path and Windows path; two paths of one file take one lock (a
        // second lock of the file would wait for the first).
        std::map<std::string, std::pair<std::string, std::string>> files;
        for (const char* windowsPath : windowsPaths) {
            if (!windowsPath || !*windowsPath)
                continue;
            std::string host = platform::HostPath(windowsPath);
            if (!host.empty() && !session_.LockOf(host))
                files.emplace(LibraryLock::FileOf(host), std::make_pair(host, windowsPath));
        }
        for (const auto& [file, paths] : files) {
            const auto& [host, windowsPath] = paths;
            auto lock = std::make_unique<LibraryLock>();
            std::string reason;
            bool missing = false;
            if (lock->Acquire(host, &reason, LibraryLock::DefaultWaitMilliseconds, &missing)) {
                session_.locks_.push_back(std::move(lock));
            } else if (!missing) {
                result_ = session_.Fail(PBORCA_LIBIOERROR, "Library " + windowsPath + ": " +
                                                               reason + "; nothing was changed");
                return;
            }
        }
    }
    ~WriteCall() {
        if (--session_.writeCalls_ == 0)
            session_.locks_.clear();
    }
    WriteCall(const WriteCall&) = delete;
    WriteCall& operator=(const WriteCall&) = delete;
    // PBORCA_OK when every existing library is locked.
    int32_t Result() const { return result_; }

  private:
    Session& session_;
    int32_t result_ = PBORCA_OK;
};

LibraryLock* Session::LockOf(const std::string& hostPath) {
    for (const auto& lock : locks_)
        if (lock->Path() == hostPath)
            return lock.get();
    if (locks_.empty())
        return nullptr;
    const std::string file = LibraryLock::FileOf(hostPath);
    for (const auto& lock : locks_)
        if (lock->File() == file)
            return lock.get();
    return nullptr;
}

bool Session::Commit(const std::string& hostPath, const PblLibrary& library, std::string* reason) {
    if (library.StoredForm()) {
        // A Unicode library is written in its own layout, from its ANSI view.
        const std::unique_ptr<PblLibrary> stored = StoredFormOf(library, reason);
        return stored && Commit(hostPath, *stored, reason);
    }
    if (LibraryLock* lock = LockOf(hostPath))
        return lock->Commit(library, reason);
    return library.Save(hostPath, reason);
}

int32_t Session::Write(const Opened& opened, PblLibrary changed) {
    Invalidate(opened.hostPath);
    std::string reason;
    if (!Commit(opened.hostPath, changed, &reason))
        return Fail(PBORCA_LIBIOERROR, "Library " + opened.windowsPath + ": cannot be written (" +
                                           reason + "); it is unchanged");
    // The file now holds exactly the library written, in the state the lock saw last: the
    // next call uses it without reading the file again, and its next commit can keep
    // what this one wrote where it is.
    if (const LibraryLock* lock = LockOf(opened.hostPath)) {
        CacheEntry& cached = cache_[opened.hostPath];
        cached.library = std::make_shared<const PblLibrary>(std::move(changed));
        cached.device = lock->Stamp().device;
        cached.inode = lock->Stamp().inode;
        cached.size = lock->Stamp().size;
        cached.mtimeSec = lock->Stamp().mtimeSec;
        cached.mtimeNsec = lock->Stamp().mtimeNsec;
    }
    return PBORCA_OK;
}

int32_t Session::WriteBoth(const Opened& target, const PblLibrary& newTarget, const Opened& source,
                           const PblLibrary& newSource) {
    const std::shared_ptr<const PblLibrary> oldTarget = target.library;
    if (const int32_t rc = Write(target, newTarget))
        return rc;
    if (const int32_t rc = Write(source, newSource)) {
        // Put the target back as it was, so neither library claims half the change.
        const std::string reason = error_;
        std::string ignored;
        (void)Commit(target.hostPath, *oldTarget, &ignored);
        return Fail(rc, reason);
    }
    return PBORCA_OK;
}

int32_t Session::CopyObjectInto(PblLibrary& changed, const Opened& source, const Opened& target,
                                std::string_view name, int type, const ObjectEntries& object) {
    const PblKind from = StoredKind(*source.library);
    if (from != StoredKind(*target.library))
        return Fail(PBORCA_INVALIDPARMS,
                    "Entry " + SourceName(name, type) + " cannot be copied from " + KindName(from) +
                        " library " + source.windowsPath + " into " +
                        KindName(StoredKind(*target.library)) + " library " + target.windowsPath +
                        ": entries are copied only between libraries of one kind; the library "
                        "is unchanged");
    std::string reason;
    if (!ReplaceObject(changed, name, type, object, &reason))
        return Fail(PBORCA_INVALIDNAME, "Entry " + SourceName(name, type) +
                                            " cannot be stored in library " + target.windowsPath +
                                            ": " + reason + "; the library is unchanged");
    return PBORCA_OK;
}

int32_t Session::CheckCall(const char* library, const char* name, int type) {
    if (!library || !*library)
        return Fail(PBORCA_INVALIDPARMS, "No library name given");
    if (!name || !*name)
        return Fail(PBORCA_INVALIDPARMS, "No entry name given");
    if (!SourceExtension(type))
        return Fail(PBORCA_INVALIDPARMS,
                    "Entry " + std::string(name) + ": unknown entry type " + std::to_string(type));
    return PBORCA_OK;
}

int32_t Session::Begin(const char* library, Opened* opened) {
    error_.clear();
    return Open(library, opened);
}

int32_t Session::Begin(const char* library, const char* name, int type, Opened* opened,
                       ObjectEntries* object, const char* listSearch) {
    error_.clear();
    if (const int32_t rc = CheckCall(library, name, type))
        return rc;
    if (listSearch && !libraryListSet_)
        return Fail(PBORCA_LIBLISTNOTSET, std::string(listSearch) + " of " +
                                              SourceName(name, type) +
                                              ": the library list is not set");
    if (const int32_t rc = Open(library, opened))
        return rc;
    *object = FindObject(*opened->library, name, type);
    return PBORCA_OK;
}

bool Session::SameLibrary(std::string_view windowsPath, const std::string& hostPath) const {
    const std::string mapped = platform::HostPath(windowsPath);
    return !mapped.empty() && mapped == hostPath;
}

int32_t Session::SetLibraryList(char** libraries, int32_t count) {
    error_.clear();
    if (count < 0 || (count > 0 && !libraries))
        return Fail(PBORCA_INVALIDPARMS,
                    "Invalid library list (count " + std::to_string(count) + ")");
    std::vector<std::string> list;
    for (int32_t i = 0; i < count; ++i) {
        if (!libraries[i] || !*libraries[i])
            return Fail(PBORCA_BADLIBRARY,
                        "Library list entry " + std::to_string(i + 1) + " is empty");
        const std::string host = platform::HostPath(libraries[i]);
        struct stat st {};
        if (host.empty() || ::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return Fail(PBORCA_BADLIBRARY,
                        "Library " + std::string(libraries[i]) + " does not exist");
        list.emplace_back(libraries[i]);
    }
    libraryList_ = std::move(list);
    libraryListSet_ = true;
    return PBORCA_OK;
}

int32_t Session::SetCurrentAppl(const char* library, const char* application) {
    error_.clear();
    if (!library || !*library || !application || !*application)
        return Fail(PBORCA_INVALIDPARMS, "No application library or name given");
    if (!currentApplName_.empty())
        return Fail(PBORCA_DUPOPERATION, "The current application is already " + currentApplName_ +
                                             " in " + currentApplLibrary_);
    if (!libraryListSet_)
        return Fail(PBORCA_LIBLISTNOTSET,
                    "Cannot set the current application: the library list is not set");
    Opened opened;
    if (const int32_t rc = Open(library, &opened))
        return rc;
    const bool listed =
        std::any_of(libraryList_.begin(), libraryList_.end(),
                    [&](const std::string& l) { return SameLibrary(l, opened.hostPath); });
    if (!listed)
        return Fail(PBORCA_LIBNOTINLIST,
                    "Library " + std::string(library) + " is not in the library list");
    if (FindObject(*opened.library, application, PBORCA_APPLICATION).Empty())
        return Fail(PBORCA_OBJNOTFOUND,
                    "Application " + std::string(application) + " not found in library " + library);
    currentApplLibrary_ = library;
    currentApplName_ = application;
    return PBORCA_OK;
}

int32_t Session::LibraryCommentModify(const char* library, const char* comment) {
    const WriteCall call(*this, {library});
    if (call.Result())
        return call.Result();
    Opened opened;
    if (const int32_t rc = Begin(library, &opened))
        return rc;
    PblLibrary changed(*opened.library);
    changed.SetComment(comment ? comment : "");
    return Write(opened, std::move(changed));
}

int32_t Session::LibraryCreate(const char* library, const char* comment) {
    error_.clear();
    if (!library || !*library)
        return Fail(PBORCA_INVALIDPARMS, "No library name given");
    const std::string host = platform::HostPath(library);
    if (host.empty())
        return Fail(PBORCA_BADLIBRARY,
                    "Library " + std::string(library) + ": the path names no file on this host");
    struct stat st {};
    if (::lstat(host.c_str(), &st) == 0)
        return Fail(PBORCA_OBJEXISTS,
                    "Library " + std::string(library) + " cannot be created: the file exists");
    // A Unicode library holds its comment in UTF-16; the call gives it in the code page,
    // HEXASCII escapes included.
    std::string stored = comment ? comment : "";
    if (createKind_ == PblKind::Unicode) {
        std::string wide, why;
        if (!AnsiToUtf16(stored, &wide, &why))
            return Fail(PBORCA_INVALIDPARMS, "Library " + std::string(library) +
                                                 " cannot be created: its comment has a " + why);
        stored = std::move(wide);
    }
    Invalidate(host);
    const std::unique_ptr<PblLibrary> created =
        PblLibrary::Create(createFormat_, stored, Now(), createKind_);
    std::string reason;
    bool exists = false;
    if (!LibraryLock::CreateNew(host, *created, &reason, &exists))
        return Fail(exists ? PBORCA_OBJEXISTS : PBORCA_LIBIOERROR,
                    "Library " + std::string(library) + " cannot be created: " + reason);
    return PBORCA_OK;
}

int32_t Session::LibraryDelete(const char* library) {
    const WriteCall call(*this, {library});
    if (call.Result())
        return call.Result();
    Opened opened;
    if (const int32_t rc = Begin(library, &opened))
        return rc;
    // A read-only file is not deleted, as Windows deletes none.
    if (const char* why = LibraryLock::WhyNotWritable(opened.hostPath))
        return Fail(PBORCA_LIBIOERROR,
                    "Library " + opened.windowsPath + " cannot be deleted: " + why);
    Invalidate(opened.hostPath);
    if (::unlink(opened.hostPath.c_str()) != 0)
        return Fail(PBORCA_LIBIOERROR, "Library " + opened.windowsPath +
                                           " cannot be deleted: " + std::strerror(errno));
    return PBORCA_OK;
}

int32_t Session::LibraryDirectory(const char* library, char* commentBuffer, int32_t commentSize,
                                  PBORCA_LISTPROC callback, void* userData) {
    Opened opened;
    if (const int32_t rc = Begin(library, &opened))
        return rc;
    // The opened copy stays alive for the whole pass, even if the callback changes the
    // library (the cache then drops it, this pass keeps it).
    const std::shared_ptr<const PblLibrary> lib = opened.library;
    if (commentBuffer && commentSize > 0)
        CopyText(commentBuffer, static_cast<size_t>(commentSize), lib->Comment());
    if (!callback)
        return PBORCA_OK;
    const std::vector<DirectoryObject> objects = ListObjects(*lib);
    // Calls made from the callback on this library use the copy just read, without
    // mapping and checking the file again for every entry.
    // A write during the pass ends the pin for the passes around it too.
    struct PinGuard {
        Session& session;
        Opened saved;
        const DirectoryObject* savedReported;
        uint64_t writes;
        PinGuard(Session& s, const Opened& with)
            : session(s), saved(s.pin_), savedReported(s.reported_), writes(s.writes_) {
            session.pin_ = with;
        }
        ~PinGuard() {
            const bool unchanged = session.writes_ == writes;
            session.pin_ = unchanged ? saved : Opened();
            session.reported_ = unchanged ? savedReported : nullptr;
        }
    } guard(*this, opened);
    std::string name;  // the record's copy of the name, which the callback may change
    for (const DirectoryObject& object : objects) {
        reported_ = &object;
        name.assign(object.name);
        ReportDirEntry(callback, userData, name, object.type, object.comment, object.time,
                       object.size);
        // A write by the callback ended the pin; the object then stays unreported.
        if (!pin_.library)
            reported_ = nullptr;
    }
    return PBORCA_OK;
}

int32_t Session::EntryList(const char* library, PBORCA_LISTPROC callback, void* userData) {
    Opened opened;
    if (const int32_t rc = Begin(library, &opened))
        return rc;
    const std::shared_ptr<const PblLibrary> lib = opened.library;
    if (!callback)
        return PBORCA_OK;
    std::string name;
    for (const PblEntry& entry : lib->Entries()) {
        name.assign(entry.name);
        ReportDirEntry(callback, userData, name, EntryTypeOfName(entry.name), entry.Comment(),
                       entry.time, entry.data.size());
    }
    return PBORCA_OK;
}

int32_t Session::EntryCopy(const char* sourceLibrary, const char* targetLibrary, const char* name,
                           int type) {
    const WriteCall call(*this, {sourceLibrary, targetLibrary});
    if (call.Result())
        return call.Result();
    Opened source, target;
    ObjectEntries object;
    if (const int32_t rc = Begin(sourceLibrary, name, type, &source, &object))
        return rc;
    if (object.Empty())
        return NotFound(SourceName(name, type), source.windowsPath);
    if (const int32_t rc = Open(targetLibrary, &target))
        return rc;
    if (target.hostPath == source.hostPath)
        return PBORCA_OK;
    PblLibrary changed(*target.library);
    if (const int32_t rc = CopyObjectInto(changed, source, target, name, type, object))
        return rc;
    return Write(target, std::move(changed));
}

int32_t Session::EntryDelete(const char* library, const char* name, int type) {
    const WriteCall call(*this, {library});
    if (call.Result())
        return call.Result();
    Opened opened;
    ObjectEntries object;
    if (const int32_t rc = Begin(library, name, type, &opened, &object))
        return rc;
    if (object.Empty())
        return NotFound(SourceName(name, type), opened.windowsPath);
    PblLibrary changed(*opened.library);
    RemoveObject(changed, object);
    return Write(opened, std::move(changed));
}

int32_t Session::EntryMove(const char* sourceLibrary, const char* targetLibrary, const char* name,
                           int type) {
    const WriteCall call(*this, {sourceLibrary, targetLibrary});
    if (call.Result())
        return call.Result();
    if (const int32_t rc = EntryCopy(sourceLibrary, targetLibrary, name, type))
        return rc;
    Opened source, target;
    if (const int32_t rc = Open(sourceLibrary, &source))
        return rc;
    if (const int32_t rc = Open(targetLibrary, &target))
        return rc;
    if (source.hostPath == target.hostPath)
        return PBORCA_OK;
    return EntryDelete(sourceLibrary, name, type);
}

const DirectoryObject* Session::Reported(const char* library, const char* name, int type) const {
    if (!reported_ || !pin_.library || !library || !name || reported_->type != type ||
        pin_.windowsPath != library || !platform::AsciiSameText(reported_->name, name))
        return nullptr;
    return reported_;
}

int32_t Session::FindForRead(const char* library, const char* name, int type,
                             std::string* windowsPath, const PblEntry** source,
                             const PblEntry** compiled) {
    if (const DirectoryObject* object = Reported(library, name, type)) {
        error_.clear();
        *windowsPath = pin_.windowsPath;
        *source = object->source;
        *compiled = object->compiled;
        return PBORCA_OK;
    }
    Opened opened;
    ObjectEntries object;
    if (const int32_t rc = Begin(library, name, type, &opened, &object))
        return rc;
    // The session's cache (or the pass's pin) holds the library, and so the entries,
    // for the rest of the call.
    *windowsPath = std::move(opened.windowsPath);
    *source = object.source;
    *compiled = object.compiled;
    return PBORCA_OK;
}

int32_t Session::EntryExport(const char* library, const char* name, int type, char* buffer,
                             int32_t size) {
    if (!buffer || size <= 0)
        return Fail(PBORCA_INVALIDPARMS, "No export buffer given");
    // Whatever happens, the buffer never holds a previous entry's text afterwards.
    buffer[0] = '\0';
    std::string windowsPath;
    const PblEntry *source = nullptr, *compiled = nullptr;
    if (const int32_t rc = FindForRead(library, name, type, &windowsPath, &source, &compiled))
        return rc;
    if (!source)
        return NotFound(SourceName(name, type), windowsPath,
                        compiled ? " (the object has only its compiled form)" : "");
    const size_t bodySize = source->BodySize();
    if (bodySize >= static_cast<size_t>(size))
        return Fail(PBORCA_BUFFERTOOSMALL, "Entry " + source->name + " in library " + windowsPath +
                                               ": the source is " + std::to_string(bodySize) +
                                               " bytes, the buffer holds " + std::to_string(size) +
                                               " with its zero byte");
    source->CopyBody(buffer);
    buffer[bodySize] = '\0';
    return PBORCA_OK;
}

int32_t Session::EntryInformation(const char* library, const char* name, int type,
                                  PBORCA_ENTRYINFO* info) {
    if (!info)
        return Fail(PBORCA_INVALIDPARMS, "No information block given");
    std::string windowsPath;
    const PblEntry *source = nullptr, *compiled = nullptr;
    if (const int32_t rc = FindForRead(library, name, type, &windowsPath, &source, &compiled))
        return rc;
    if (!source && !compiled)
        return NotFound(SourceName(name, type), windowsPath);
    PBORCA_ENTRYINFO filled{};
    if (source) {
        CopyText(filled.szComment, sizeof filled.szComment, source->Comment());
        filled.lCreateTime = static_cast<int32_t>(source->time);
        filled.lSourceSize = static_cast<int32_t>(source->BodySize());
    } else {
        filled.lCreateTime = static_cast<int32_t>(compiled->time);
    }
    if (compiled)
        filled.lObjectSize = static_cast<int32_t>(compiled->data.size());
    *info = filled;
    return PBORCA_OK;
}

int32_t Session::CheckSourceText(std::string_view source, std::string_view name, int type,
                                 PBORCA_ERRPROC callback, void* userData) {
    const std::vector<CompileProblem> problems = CheckSource(source, name, type);
    if (problems.empty())
        return PBORCA_OK;
    for (const CompileProblem& problem : problems) {
        if (!callback)
            break;
        char number[16];
        std::snprintf(number, sizeof number, "%04d", problem.messageNumber);
        std::string text = problem.text;
        PBORCA_COMPERR record{};
        record.iLevel = problem.level;
        record.lpszMessageNumber = number;
        record.lpszMessageText = text.data();
        record.iColumnNumber = static_cast<uint16_t>(std::clamp(problem.column, 0, 65535));
        record.iLineNumber = static_cast<uint16_t>(std::clamp(problem.line, 0, 65535));
        callback(&record, userData);
    }
    const CompileProblem& first = problems.front();
    return Fail(PBORCA_COMPERROR,
                "Entry " + SourceName(name, type) + ": " + Plural(problems.size(), "problem") +
                    " in the source; the first at line " + std::to_string(first.line) +
                    ", column " + std::to_string(first.column) + ": " + first.text);
}

int32_t Session::CompileEntryImport(const char* library, const char* name, int type,
                                    const char* comment, const char* source, int32_t length,
                                    PBORCA_ERRPROC callback, void* userData) {
    char* libraries[] = {const_cast<char*>(library)};
    char* names[] = {const_cast<char*>(name)};
    PBORCA_TYPE types[] = {static_cast<PBORCA_TYPE>(type)};
    char* comments[] = {const_cast<char*>(comment)};
    char* sources[] = {const_cast<char*>(source)};
    int32_t lengths[] = {length};
    return CompileEntryImportList(libraries, names, types, comments, sources, lengths, 1, callback,
                                  userData);
}

int32_t Session::CompileEntryImportList(char** libraries, char** names, PBORCA_TYPE* types,
                                        char** comments, char** sources, int32_t* lengths,
                                        int32_t count, PBORCA_ERRPROC callback, void* userData) {
    error_.clear();
    if (count < 0 || (count > 0 && (!libraries || !names || !types || !sources || !lengths)))
        return Fail(PBORCA_INVALIDPARMS, "Invalid import list");
    const WriteCall call(*this, std::vector<const char*>(libraries, libraries + count));
    if (call.Result())
        return call.Result();
    // Every source is checked before anything is stored; libraries are written once
    // each, in the order they first appear.
    std::vector<Opened> opened;
    std::map<std::string, std::unique_ptr<PblLibrary>> changed;
    int32_t failed = PBORCA_OK;
    std::string firstError;
    for (int32_t i = 0; i < count; ++i) {
        const int type = static_cast<int>(types[i]);
        if (const int32_t rc = CheckCall(libraries[i], names[i], type))
            return rc;
        if (!ValidName(names[i]))
            return Fail(PBORCA_INVALIDNAME,
                        "Entry name \"" + std::string(names[i]) + "\" cannot be stored");
        if (lengths[i] < 0 || (lengths[i] > 0 && !sources[i]))
            return Fail(PBORCA_INVALIDPARMS,
                        "Entry " + SourceName(names[i], type) + ": no source text given");
        const std::string_view text(sources[i] ? sources[i] : "", static_cast<size_t>(lengths[i]));
        const std::string_view comment(comments && comments[i] ? comments[i] : "");
        if (const std::string why = CommentTooLong(comment); !why.empty())
            return Fail(PBORCA_INVALIDPARMS, "Entry " + SourceName(names[i], type) + ": " + why +
                                                 (count > 1 ? " (nothing was imported)" : ""));
        if (const int32_t rc = CheckSourceText(text, names[i], type, callback, userData)) {
            if (failed == PBORCA_OK)
                firstError = error_;
            failed = rc;
            continue;
        }
        Opened lib;
        if (const int32_t rc = Open(libraries[i], &lib))
            return rc;
        auto& target = changed[lib.hostPath];
        if (!target) {
            target = std::make_unique<PblLibrary>(*lib.library);
            opened.push_back(lib);
        }
        const ObjectEntries object = FindObject(*target, names[i], type);
        // The same source and comment again: the stored entry, and the compiled form
        // made from it, stay as they are.
        if (object.source && object.source->Comment() == comment &&
            object.source->data.size() == object.source->CommentBytes() + text.size() &&
            object.source->BodyText() == text)
            continue;
        PblEntry entry =
            SourceEntry(object.source ? object.source->name : SourceName(names[i], type),
                        target->Format(), Now(), comment, text);
        // The compiled form was made from the old source: PowerBuilder must not take
        // it for the new one.
        const std::string entryName = entry.name;
        if (object.compiled)
            target->Remove(std::string(object.compiled->name));
        std::string reason;
        if (!target->Put(std::move(entry), &reason))
            return Fail(PBORCA_INVALIDNAME, "Entry " + entryName + " cannot be stored in library " +
                                                lib.windowsPath + ": " + reason +
                                                (count > 1 ? " (nothing was imported)" : ""));
    }
    if (failed != PBORCA_OK) {
        if (count > 1)
            firstError += " (nothing was imported)";
        return Fail(failed, firstError);
    }
    for (const Opened& lib : opened) {
        if (const int32_t rc = Write(lib, std::move(*changed[lib.hostPath])))
            return rc;
    }
    return PBORCA_OK;
}

int32_t Session::CompileEntryRegenerate(const char* library, const char* name, int type,
                                        PBORCA_ERRPROC callback, void* userData) {
    Opened opened;
    ObjectEntries object;
    if (const int32_t rc = Begin(library, name, type, &opened, &object))
        return rc;
    if (!object.source)
        return NotFound(SourceName(name, type), opened.windowsPath);
    return CheckSourceText(object.source->BodyText(), ObjectName(object.source->name), type,
                           callback, userData);
}

int32_t Session::ObjectQueryHierarchy(const char* library, const char* name, int type,
                                      PBORCA_HIERPROC callback, void* userData) {
    Opened opened;
    ObjectEntries object;
    if (const int32_t rc = Begin(library, name, type, &opened, &object, "Hierarchy"))
        return rc;
    if (!object.source)
        return NotFound(SourceName(name, type), opened.windowsPath);
    const PblEntry* current = object.source;
    std::shared_ptr<const PblLibrary> holder = opened.library;
    std::vector<std::string> ancestors;
    std::set<std::string> seen{Lowered(std::string(ObjectName(current->name)))};
    for (;;) {
        const std::optional<std::string> ancestor =
            AncestorOf(current->BodyText(), ObjectName(current->name));
        if (!ancestor)
            break;
        if (!seen.insert(Lowered(*ancestor)).second)
            break;  // a cycle: report each class once
        const PblEntry* found = nullptr;
        for (const std::string& listed : libraryList_) {
            Opened lib;
            if (Open(listed.c_str(), &lib) != PBORCA_OK)
                continue;  // unreadable: skipped
            if (const PblEntry* source = FindObject(*lib.library, *ancestor, type).source) {
                holder = lib.library;
                found = source;
                break;
            }
        }
        if (!found)
            break;  // a system class or one outside the list ends the chain
        ancestors.push_back(std::string(ObjectName(found->name)));
        current = found;
    }
    error_.clear();
    if (ancestors.empty())
        return Fail(PBORCA_OBJHASNOANCS,
                    "Entry " + SourceName(name, type) + " has no ancestor in the library list");
    if (callback) {
        for (std::string& ancestor : ancestors) {
            PBORCA_HIERARCHY record{};
            record.lpszAncestorName = ancestor.data();
            callback(&record, userData);
        }
    }
    return PBORCA_OK;
}

int32_t Session::ObjectQueryReference(const char* library, const char* name, int type,
                                      PBORCA_REFPROC callback, void* userData) {
    Opened opened;
    ObjectEntries entries;
    if (const int32_t rc = Begin(library, name, type, &opened, &entries, "References"))
        return rc;
    if (!entries.source)
        return NotFound(SourceName(name, type), opened.windowsPath);
    const PblEntry* source = entries.source;
    // The words of the source, lower-cased.
    std::unordered_set<std::string> words;
    const std::string body = source->BodyText();
    auto isWordChar = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '$' || c == '#' || c == '%' ||
               static_cast<unsigned char>(c) >= 0x80;
    };
    for (size_t i = 0; i < body.size();) {
        if (!isWordChar(body[i])) {
            ++i;
            continue;
        }
        size_t j = i;
        std::string word;
        while (j < body.size() && (isWordChar(body[j]) || body[j] == '-')) {
            word += platform::AsciiLower(body[j++]);
        }
        words.insert(std::move(word));
        i = j;
    }
    struct Found {
        std::string library, name;
        int type;
    };
    std::vector<Found> found;
    std::set<std::pair<std::string, int>> reported;
    for (const std::string& listed : libraryList_) {
        Opened lib;
        if (Open(listed.c_str(), &lib) != PBORCA_OK)
            continue;
        for (const DirectoryObject& object : ListObjects(*lib.library)) {
            const std::string lowered = Lowered(std::string(object.name));
            if (object.type == type && platform::AsciiSameText(object.name, name))
                continue;
            if (!words.count(lowered) || !reported.insert({lowered, object.type}).second)
                continue;
            found.push_back({listed, std::string(object.name), object.type});
        }
    }
    error_.clear();
    if (found.empty())
        return Fail(PBORCA_OBJHASNOREFS,
                    "Entry " + SourceName(name, type) + " refers to no object of the list");
    if (callback) {
        for (Found& f : found) {
            PBORCA_REFERENCE record{};
            record.lpszLibraryName = f.library.data();
            record.lpszEntryName = f.name.data();
            record.otEntryType = static_cast<PBORCA_TYPE>(f.type);
            callback(&record, userData);
        }
    }
    return PBORCA_OK;
}

int32_t Session::ReadScc(const Opened& opened, std::vector<SccRecord>* records) {
    if (!ParseSccData(opened.library->SourceControlData(), records))
        return Fail(PBORCA_CHECKOUTERROR,
                    "Library " + opened.windowsPath +
                        ": its source-control data is in an encoding this library does "
                        "not write; it is left as it is");
    return PBORCA_OK;
}

int32_t Session::CheckOutEntry(const char* name, const char* sourceLibrary,
                               const char* targetLibrary, const char* userId, int type,
                               int32_t makeCopy) {
    const WriteCall call(*this, {sourceLibrary, targetLibrary});
    if (call.Result())
        return call.Result();
    Opened source, target;
    ObjectEntries object;
    if (const int32_t rc = Begin(sourceLibrary, name, type, &source, &object))
        return rc;
    if (const int32_t rc = Open(targetLibrary, &target))
        return rc;
    const std::string entryName = SourceName(name, type);
    if (source.hostPath == target.hostPath)
        return Fail(PBORCA_INVALIDPARMS, "Check out of " + entryName + ": library " +
                                             source.windowsPath +
                                             " cannot be its own check-out library");
    if (object.Empty())
        return NotFound(entryName, source.windowsPath);
    std::vector<SccRecord> sourceRecords, targetRecords;
    if (const int32_t rc = ReadScc(source, &sourceRecords))
        return rc;
    if (const int32_t rc = ReadScc(target, &targetRecords))
        return rc;
    for (const SccRecord& r : sourceRecords) {
        if (r.flag == 'd' && platform::AsciiSameText(r.entry, entryName))
            return Fail(PBORCA_CHECKOUTERROR,
                        "Entry " + entryName + " in library " + source.windowsPath +
                            " is checked out already by " + r.user + " to " + r.library);
        if (r.flag == 's' && platform::AsciiSameText(r.entry, entryName))
            return Fail(PBORCA_CHECKOUTERROR,
                        "Entry " + entryName + " in library " + source.windowsPath +
                            " is itself a working copy checked out of " + r.library);
    }
    for (const SccRecord& r : targetRecords) {
        if (platform::AsciiSameText(r.entry, entryName) && r.flag != 'r')
            return Fail(PBORCA_CHECKOUTERROR,
                        "Entry " + entryName + " in library " + target.windowsPath +
                            " is under source control already (" + r.library + ")");
    }
    PblLibrary newTarget(*target.library);
    if (makeCopy) {
        if (const int32_t rc = CopyObjectInto(newTarget, source, target, name, type, object))
            return rc;
    } else if (FindObject(newTarget, name, type).Empty()) {
        return NotFound(entryName, target.windowsPath, " (check-out without copy)");
    }
    const std::string user = userId ? userId : "";
    targetRecords.push_back({source.windowsPath, entryName, user, 's'});
    newTarget.SetSourceControlData(EncodeSccData(targetRecords));
    PblLibrary newSource(*source.library);
    sourceRecords.push_back({target.windowsPath, entryName, user, 'd'});
    newSource.SetSourceControlData(EncodeSccData(sourceRecords));
    return WriteBoth(target, newTarget, source, newSource);
}

int32_t Session::CheckInEntry(const char* name, const char* sourceLibrary,
                              const char* targetLibrary, const char* userId, int type,
                              int32_t moveEntry) {
    (void)userId;  // anyone may check a working copy in; the records keep who took it
    const WriteCall call(*this, {sourceLibrary, targetLibrary});
    if (call.Result())
        return call.Result();
    Opened source, target;
    ObjectEntries object;
    if (const int32_t rc = Begin(sourceLibrary, name, type, &source, &object))
        return rc;
    if (const int32_t rc = Open(targetLibrary, &target))
        return rc;
    const std::string entryName = SourceName(name, type);
    std::vector<SccRecord> sourceRecords, targetRecords;
    if (const int32_t rc = ReadScc(source, &sourceRecords))
        return rc;
    if (const int32_t rc = ReadScc(target, &targetRecords))
        return rc;
    auto outRecord =
        std::find_if(targetRecords.begin(), targetRecords.end(), [&](const SccRecord& r) {
            return r.flag == 'd' && platform::AsciiSameText(r.entry, entryName) &&
                   SameLibrary(r.library, source.hostPath);
        });
    if (outRecord == targetRecords.end())
        return Fail(PBORCA_CHECKOUTERROR, "Entry " + entryName + " of library " +
                                              target.windowsPath + " is not checked out to " +
                                              source.windowsPath);
    if (object.Empty())
        return NotFound(entryName, source.windowsPath);
    targetRecords.erase(outRecord);
    std::erase_if(sourceRecords, [&](const SccRecord& r) {
        return r.flag == 's' && platform::AsciiSameText(r.entry, entryName) &&
               SameLibrary(r.library, target.hostPath);
    });
    PblLibrary newTarget(*target.library);
    if (const int32_t rc = CopyObjectInto(newTarget, source, target, name, type, object))
        return rc;
    newTarget.SetSourceControlData(EncodeSccData(targetRecords));
    PblLibrary newSource(*source.library);
    if (moveEntry)
        RemoveObject(newSource, object);
    newSource.SetSourceControlData(EncodeSccData(sourceRecords));
    return WriteBoth(target, newTarget, source, newSource);
}

int32_t Session::ListCheckOutEntries(const char* library, PBORCA_CHECKPROC callback,
                                     void* userData) {
    Opened opened;
    if (const int32_t rc = Begin(library, &opened))
        return rc;
    std::vector<SccRecord> records;
    if (const int32_t rc = ReadScc(opened, &records))
        return rc;
    if (!callback)
        return PBORCA_OK;
    for (SccRecord& r : records) {
        std::string version;
        PBORCA_CHECKOUT record{};
        record.lpszEntryName = r.entry.data();
        record.lpszLibraryName = r.library.data();
        record.lpszUserID = r.user.data();
        record.lpszVersion = version.data();
        record.cMode = r.flag;
        callback(&record, userData);
    }
    return PBORCA_OK;
}

int32_t Session::BuildDynamicLibrary(const Opened& opened, PBORCA_LNKPROC callback, void* userData,
                                     std::string* image) {
    const PblLibrary& lib = *opened.library;
    std::vector<DirectoryObject> missing;
    for (const DirectoryObject& object : ListObjects(lib)) {
        if (!object.compiled)
            missing.push_back(object);
    }
    if (!missing.empty()) {
        for (const DirectoryObject& object : missing)
            ReportLinkError(callback, userData, NoCompiledFormText(opened.windowsPath, object));
        const DirectoryObject& first = missing.front();
        return Fail(PBORCA_LINKERROR,
                    "Library " + opened.windowsPath + ": " + Plural(missing.size(), "object") +
                        " without a compiled form, the first " + std::string(first.name) + " (" +
                        TypeName(first.type) + ")");
    }
    // A Unicode library's dynamic library is one too, of its stored entries.
    const PblLibrary& from = lib.StoredForm() ? *lib.StoredForm() : lib;
    const std::unique_ptr<PblLibrary> pbd =
        PblLibrary::Create(from.Format(), from.Comment(), from.Time(), from.Kind());
    for (const PblEntry& entry : from.Entries()) {
        bool isSource = false;
        if (EntryTypeOfName(entry.name, &isSource) >= 0 && isSource)
            continue;
        std::string reason;
        if (!pbd->Put(entry, &reason)) {
            std::string text = "Library " + opened.windowsPath + ": entry " + entry.name +
                               " cannot be stored in a dynamic library: " + reason;
            ReportLinkError(callback, userData, text);
            return Fail(PBORCA_LINKERROR, std::move(text));
        }
    }
    *image = pbd->Serialize();
    return PBORCA_OK;
}

int32_t Session::DynamicLibraryCreate(const char* library, const char* resourceFile,
                                      int32_t flags) {
    (void)resourceFile;  // resources are part of PowerBuilder's own build, not ours
    (void)flags;
    Opened opened;
    if (const int32_t rc = Begin(library, &opened))
        return rc;
    const std::string pbdPath = WithExtension(opened.hostPath, "pbd");
    const std::string pbdName = WithExtension(opened.windowsPath, "pbd");
    if (pbdPath == opened.hostPath)
        return Fail(PBORCA_PBDCREATERROR,
                    "Library " + opened.windowsPath + " is a dynamic library already");
    std::string image;
    if (BuildDynamicLibrary(opened, nullptr, nullptr, &image) != PBORCA_OK)
        return Fail(PBORCA_PBDCREATERROR, "Cannot create " + pbdName + ": " + error_);
    Invalidate(pbdPath);
    if (!platform::WriteHostFileAtomic(pbdPath, image))
        return Fail(PBORCA_PBDCREATERROR,
                    "Cannot create " + pbdName + ": " + platform::LastErrorText());
    return PBORCA_OK;
}

int32_t Session::ExecutableCreate(const char* executable, const char* icon,
                                  const char* resourceFile, PBORCA_LNKPROC callback, void* userData,
                                  int32_t* dynamicLibraryFlags, int32_t count, int32_t flags) {
    error_.clear();
    (void)icon;  // a Windows icon and resources have no place in our image
    (void)resourceFile;
    (void)flags;
    if (!executable || !*executable)
        return Fail(PBORCA_INVALIDPARMS, "No executable name given");
    if (!libraryListSet_)
        return Fail(PBORCA_LIBLISTNOTSET,
                    "Cannot create " + std::string(executable) + ": the library list is not set");
    if (currentApplName_.empty())
        return Fail(PBORCA_CURRAPPLNOTSET, "Cannot create " + std::string(executable) +
                                               ": the current application is not set");
    if (count != static_cast<int32_t>(libraryList_.size()) || (count > 0 && !dynamicLibraryFlags))
        return Fail(PBORCA_PBDCOUNTERROR, "Cannot create " + std::string(executable) + ": " +
                                              std::to_string(count) +
                                              " dynamic-library flags for a list of " +
                                              Plural(libraryList_.size(), "library"));
    const std::string exeHost = platform::HostPath(executable);
    if (exeHost.empty())
        return Fail(PBORCA_INVALIDPARMS, "Executable " + std::string(executable) +
                                             ": the path names no file on this host");

    // Link everything first; nothing is written while any object is missing.
    std::vector<std::pair<std::string, std::string>> pbds;  // host path, image
    std::unique_ptr<PblLibrary> exe;
    int32_t linkResult = PBORCA_OK;
    std::string firstProblem;
    std::set<std::string> linked;
    for (size_t i = 0; i < libraryList_.size(); ++i) {
        Opened lib;
        if (const int32_t rc = Open(libraryList_[i].c_str(), &lib))
            return rc;
        if (!exe) {
            // The image is of the first library's kind; a Unicode one holds the stored
            // compiled forms and its title in UTF-16.
            std::string title = currentApplName_;
            const bool wide = lib.library->StoredForm() != nullptr;
            if (wide && !AnsiToUtf16(currentApplName_, &title, nullptr))
                title.clear();
            exe = PblLibrary::Create(lib.library->Format(), title, Now(),
                                     wide ? PblKind::Unicode : PblKind::Ansi);
        }
        if (dynamicLibraryFlags[i]) {
            std::string image;
            if (BuildDynamicLibrary(lib, callback, userData, &image) != PBORCA_OK) {
                if (linkResult == PBORCA_OK)
                    firstProblem = error_;
                linkResult = PBORCA_LINKERROR;
                continue;
            }
            pbds.emplace_back(WithExtension(lib.hostPath, "pbd"), std::move(image));
            continue;
        }
        for (const DirectoryObject& object : ListObjects(*lib.library)) {
            if (!linked
                     .insert(
                         Lowered(std::string(object.name) + "." + CompiledExtension(object.type)))
                     .second)
                continue;  // the earlier library's object wins
            std::string problem;
            if (!object.compiled) {
                problem = NoCompiledFormText(lib.windowsPath, object);
            } else {
                std::vector<const PblEntry*> entries{object.compiled};
                for (const PblEntry* extra :
                     FindObject(*lib.library, object.name, object.type).extras)
                    entries.push_back(extra);
                std::string reason;
                for (const PblEntry* entry : entries) {
                    const bool stored = exe->Kind() == PblKind::Unicode && entry->origin;
                    if (!exe->Put(stored ? *entry->origin : *entry, &reason)) {
                        problem = "Library " + lib.windowsPath + ": entry " + entry->name +
                                  " cannot be stored in the executable: " + reason;
                        break;
                    }
                }
            }
            if (!problem.empty()) {
                ReportLinkError(callback, userData, problem);
                if (linkResult == PBORCA_OK)
                    firstProblem = problem;
                linkResult = PBORCA_LINKERROR;
            }
        }
    }
    if (linkResult != PBORCA_OK)
        return Fail(linkResult, "Cannot create " + std::string(executable) + ": " + firstProblem);
    for (const auto& [path, image] : pbds) {
        Invalidate(path);
        if (!platform::WriteHostFileAtomic(path, image))
            return Fail(PBORCA_PBDCREATERROR,
                        "Cannot create " + path + ": " + platform::LastErrorText());
    }
    if (!exe)
        exe = PblLibrary::Create(createFormat_, currentApplName_, Now());
    std::string image = exe->Serialize();
    // The trailer that lets a reader find the library image from the end of the file.
    std::string trailer(512, '\0');
    std::memcpy(trailer.data(), "TRL*", 4);  // long at 4: offset of HDR*, 0 here
    image += trailer;
    if (!platform::WriteHostFileAtomic(exeHost, image))
        return Fail(PBORCA_LIBIOERROR,
                    "Cannot create " + std::string(executable) + ": " + platform::LastErrorText());
    return PBORCA_OK;
}

Session* SessionFromHandle(HPBORCA handle) {
    auto* session = static_cast<Session*>(handle);
    const std::lock_guard<std::mutex> lock(sessionsMutex);
    return LiveSessions().count(session) ? session : nullptr;
}

HPBORCA OpenSession(std::string createFormat, PblKind createKind) {
    auto* session = new Session(std::move(createFormat), createKind);
    const std::lock_guard<std::mutex> lock(sessionsMutex);
    LiveSessions().insert(session);
    return session;
}

void CloseSession(HPBORCA handle) {
    auto* session = static_cast<Session*>(handle);
    {
        const std::lock_guard<std::mutex> lock(sessionsMutex);
        if (!LiveSessions().erase(session))
            return;
    }
    delete session;
}

}  // namespace orca
