#pragma once
// The write lock of one library file, held for the whole read-modify-write of a change,
// and the commit of the changed library under it.
//
// The lock is an advisory flock() on the library file itself, so it needs no file of
// its own beside the library. A commit replaces the file by a new one (written beside
// it and renamed over it); the new file is locked before the rename, so the lock passes
// to it without a gap, and a writer that was waiting on the old file sees that the path
// now names another file and locks that one instead.
//
// Only this program's writers take the lock; PowerBuilder does not. So a commit first
// checks that the path still names the file that was locked, with the size and times
// it had then (or had after this lock's last commit); if anything else changed the
// file meanwhile the commit is refused and the other writer's change stays as it is.
//
// A commit of a library read from the locked file, which has not changed since, is made
// in place: what changed is written into free blocks or at the end and the directory,
// bitmap and header blocks that change are overwritten, under a rollback journal beside
// the library (PblCommit.h, PblJournal.h). A journal a killed writer left is rolled back
// when the lock is next acquired. Other commits write the whole library anew.
//
// Before writing, a commit removes the temporary files that killed writers left
// beside the library: a temporary is named ".NAME.tmpPID-..." after the process that
// writes it, and is removed only when that process no longer exists and nobody holds a
// lock on the temporary (the temporaries of a commit are locked while written).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "orca/PblLibrary.h"

namespace orca {

class LibraryLock {
  public:
    LibraryLock() = default;
    ~LibraryLock();
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

    // How long Acquire waits for another writer by default.
    static constexpr int DefaultWaitMilliseconds = 30000;

    // Waits until this lock holds the write lock of the library at hostPath (a symbolic
    // link is followed). False with the reason in *error when the file cannot be
    // opened or another writer keeps it locked beyond waitMilliseconds; *missing is set
    // when the file does not exist.
    bool Acquire(const std::string& hostPath, std::string* error,
                 int waitMilliseconds = DefaultWaitMilliseconds, bool* missing = nullptr);
    void Release();
    bool Held() const { return fd_ >= 0; }
    // The path as given to Acquire, and the file it names.
    const std::string& Path() const { return path_; }
    const std::string& File() const { return target_; }
    // The file a path names: symbolic links and "..", "." followed; the path itself
    // when it names no file.
    static std::string FileOf(const std::string& hostPath);

    // True while the path still names the locked file, unchanged since it was locked or
    // last committed.
    bool Unchanged() const;

    // Reads and parses the locked library.
    std::unique_ptr<PblLibrary> Load(std::string* error) const;
    // Replaces the locked library by this one; false with the reason in *error leaves
    // the file as it is (a read-only file, a file another program changed, a full disk).
    bool Commit(const PblLibrary& library, std::string* error);
    bool Commit(std::string_view image, std::string* error);

    // Writes a new library file at hostPath, never over an existing file: false with
    // *exists set when a file has the name (the caller's check may have been overtaken
    // by another writer).
    static bool CreateNew(const std::string& hostPath, const PblLibrary& library,
                          std::string* error, bool* exists = nullptr);

    // Removes the temporaries that writers no longer alive left beside the file at
    // target (see above); the number removed.
    static int RemoveStaleTemporaries(const std::string& target);
    // Null when the file at hostPath may be written, else why not ("the file is
    // read-only"). Writing needs a write permission bit of the file (as a read-only
    // file on Windows refuses every writer) and the caller's right to write it.
    static const char* WhyNotWritable(const std::string& hostPath);
    // Test hook: make the next commit fail after writing this many bytes of its
    // temporary file, or of its journal and then of the library when it is made in place
    // (as a full disk would), -1 for never. With abandon, a commit in place that fails so
    // leaves the journal and the library as a killed writer would.
    static void FailNextCommitAfter(long long bytes, bool abandon = false);
    // The state of the locked file as of the lock or its last commit.
    const FileStamp& Stamp() const { return identity_; }

  private:
    // The checks every commit makes first (locked, writable, unchanged by others), and
    // the removal of killed writers' temporaries; false with the reason in *error.
    bool ReadyToCommit(std::string* error);
    // Writes image beside the file and renames it over it, after ReadyToCommit.
    bool ReplaceWhole(std::string_view image, std::string* error);

    std::string path_;    // as given
    std::string target_;  // the file the path names (symbolic links followed)
    int fd_ = -1;
    FileStamp identity_;
};

}  // namespace orca
