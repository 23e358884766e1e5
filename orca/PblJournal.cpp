// The rollback journal of commits made in place (see PblJournal.h).
//
// Layout: "SVJRNL01", then as 64-bit little-endian numbers the nonce, the old file
// size, the device and inode of the library, the record count; each record its offset,
// its length and its bytes; at the end a 64-bit checksum (FNV-1a) of everything before
// it and "SVJRNLok". A journal without that end, or whose checksum differs, is not whole.

#include "orca/PblJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace orca::journal {

namespace {

constexpr char Magic[] = "SVJRNL01";
constexpr char Tail[] = "SVJRNLok";
constexpr size_t HeadSize = 8 + 5 * 8;

void Put64(std::string& out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xff);
}

uint64_t Get64(const char* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

uint64_t Checksum(const char* bytes, size_t size) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < size; ++i) {
        h ^= static_cast<unsigned char>(bytes[i]);
        h *= 1099511628211ull;
    }
    return h;
}

bool ReadFile(const std::string& path, std::string* out, bool* missing) {
    *missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *missing = errno == ENOENT;
        return false;
    }
    out->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        out->append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

bool Decode(const std::string& bytes, Journal* out) {
    if (bytes.size() < HeadSize + 16 || bytes.compare(0, 8, Magic) != 0 ||
        bytes.compare(bytes.size() - 8, 8, Tail) != 0)
        return false;
    const size_t body = bytes.size() - 16;
    if (Get64(bytes.data() + body) != Checksum(bytes.data(), body))
        return false;
    const char* p = bytes.data() + 8;
    out->nonce = Get64(p);
    out->oldSize = Get64(p + 8);
    out->device = Get64(p + 16);
    out->inode = Get64(p + 24);
    const uint64_t count = Get64(p + 32);
    out->records.clear();
    size_t at = HeadSize;
    for (uint64_t i = 0; i < count; ++i) {
        if (body - at < 16)
            return false;
        Record r;
        r.offset = Get64(bytes.data() + at);
        const uint64_t length = Get64(bytes.data() + at + 8);
        at += 16;
        if (length > body - at || r.offset > (uint64_t{1} << 40))
            return false;
        r.bytes = bytes.substr(at, length);
        at += length;
        out->records.push_back(std::move(r));
    }
    return at == body;
}

}  // namespace

std::string PathOf(const std::string& target) {
    const std::filesystem::path path(target);
    return (path.parent_path() / ("." + path.filename().string() + "-journal")).string();
}

std::string Encode(const Journal& journal) {
    std::string out(Magic, 8);
    Put64(out, journal.nonce);
    Put64(out, journal.oldSize);
    Put64(out, journal.device);
    Put64(out, journal.inode);
    Put64(out, journal.records.size());
    for (const Record& r : journal.records) {
        Put64(out, r.offset);
        Put64(out, r.bytes.size());
        out += r.bytes;
    }
    Put64(out, Checksum(out.data(), out.size()));
    out.append(Tail, 8);
    return out;
}

State Read(const std::string& path, Journal* out) {
    std::string bytes;
    bool missing = false;
    if (!ReadFile(path, &bytes, &missing))
        return missing ? State::None : State::Incomplete;
    return Decode(bytes, out) ? State::Complete : State::Incomplete;
}

uint64_t NonceOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return 0;
    char head[16];
    const bool ok = ::pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head);
    ::close(fd);
    return ok && std::memcmp(head, Magic, 8) == 0 ? Get64(head + 8) : 0;
}

void Apply(const Journal& journal, std::string* image) {
    image->resize(journal.oldSize, '\0');
    for (const Record& r : journal.records) {
        if (r.offset >= image->size())
            continue;
        const size_t n = std::min<size_t>(r.bytes.size(), image->size() - r.offset);
        std::memcpy(image->data() + r.offset, r.bytes.data(), n);
    }
}

bool RollBack(int fd, const Journal& journal, std::string* error) {
    for (const Record& r : journal.records) {
        size_t done = 0;
        while (done < r.bytes.size()) {
            const ssize_t n = ::pwrite(fd, r.bytes.data() + done, r.bytes.size() - done,
                                       static_cast<off_t>(r.offset + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (error)
                    *error =
                        std::string("cannot undo an interrupted write: ") + std::strerror(errno);
                return false;
            }
            done += static_cast<size_t>(n);
        }
    }
    if (::ftruncate(fd, static_cast<off_t>(journal.oldSize)) != 0 || ::fsync(fd) != 0) {
        if (error)
            *error = std::string("cannot undo an interrupted write: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool Recover(const std::string& target, int fd, std::string* error, bool* found) {
    const std::string path = PathOf(target);
    Journal journal;
    const State state = Read(path, &journal);
    if (found)
        *found = state != State::None;
    if (state == State::None)
        return true;
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    if (state == State::Complete && journal.device == static_cast<uint64_t>(st.st_dev) &&
        journal.inode == static_cast<uint64_t>(st.st_ino)) {
        const int rw = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
        struct stat same {};
        if (rw < 0 || ::fstat(rw, &same) != 0 || same.st_ino != st.st_ino ||
            same.st_dev != st.st_dev) {
            if (rw >= 0)
                ::close(rw);
            if (error)
                *error =
                    "an interrupted write cannot be undone: the library cannot be opened "
                    "for writing";
            return false;
        }
        const bool undone = RollBack(rw, journal, error);
        ::close(rw);
        if (!undone)
            return false;
    }
    // Undone, not whole (the library was not touched yet) or another file's.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        if (error)
            *error = "cannot remove " + path + ": " + std::strerror(errno);
        return false;
    }
    SyncFolderOf(path);
    return true;
}

bool StampOf(int fd, FileStamp* stamp) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    stamp->device = static_cast<uint64_t>(st.st_dev);
    stamp->inode = static_cast<uint64_t>(st.st_ino);
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->mtimeSec = st.st_mtim.tv_sec;
    stamp->mtimeNsec = st.st_mtim.tv_nsec;
    stamp->ctimeSec = st.st_ctim.tv_sec;
    stamp->ctimeNsec = st.st_ctim.tv_nsec;
    return true;
}

void SyncFolderOf(const std::string& path) {
    std::string dir = std::filesystem::path(path).parent_path().string();
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);  // some file systems refuse to sync a folder
        ::close(fd);
    }
}

}  // namespace orca::journal
