#pragma once
// The rollback journal of a commit made in place: the bytes a commit is about to
// overwrite in a library file, and the file's size before it, kept beside the library
// as ".NAME-journal" while the commit writes. The commit writes and flushes the journal
// before it touches the library and removes it once the library is flushed; that
// removal is the commit. A journal left behind by a killed writer ("hot") is rolled
// back by the next writer's lock and by readers, which read the state before the
// interrupted commit. A journal that is not whole (its writer was killed writing it)
// means the library was not touched yet and is discarded.

#include <cstdint>
#include <string>
#include <vector>

#include "orca/PblLibrary.h"

namespace orca::journal {

struct Record {
    uint64_t offset = 0;
    std::string bytes;  // the file's bytes there before the commit
};

struct Journal {
    uint64_t nonce = 0;              // tells one commit's journal from the next one's
    uint64_t oldSize = 0;            // the file's size before the commit
    uint64_t device = 0, inode = 0;  // the library file it belongs to
    std::vector<Record> records;
};

enum class State { None, Incomplete, Complete };

// The journal of the library file at target: ".NAME-journal" in its folder.
std::string PathOf(const std::string& target);
std::string Encode(const Journal& journal);
// Reads the journal at path: None when there is none, Incomplete when it is not whole.
State Read(const std::string& path, Journal* out);
// The nonce of the journal at path, 0 when there is none or it cannot be read.
uint64_t NonceOf(const std::string& path);
// The bytes image of the library with the journal undone: the state before the commit.
void Apply(const Journal& journal, std::string* image);
// Undoes the journal in the file open for writing at fd and flushes it; false with the
// reason in *error.
bool RollBack(int fd, const Journal& journal, std::string* error);

// For a caller that holds the library's lock, exclusive or shared, so that no writer is
// at work: rolls a hot journal of the file at target (open at fd) back and removes it,
// and removes a journal that is not whole or belongs to another file. False with the
// reason in *error when a hot journal is there and cannot be rolled back (the file is
// read-only, say); *found is set when a journal was there.
bool Recover(const std::string& target, int fd, std::string* error, bool* found = nullptr);

// The state of the open file.
bool StampOf(int fd, FileStamp* stamp);
// Flushes the folder holding path (a new or removed name in it).
void SyncFolderOf(const std::string& path);

}  // namespace orca::journal
