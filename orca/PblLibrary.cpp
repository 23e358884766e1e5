// PblLibrary: the in-memory library and its entries. Reading is in PblReader.cpp,
// writing the image in PblWriter.cpp.

#include "orca/PblLibrary.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

#include <sys/file.h>

#include "orca/AnsiView.h"
#include "orca/LibraryLock.h"
#include "orca/PblBinary.h"
#include "orca/PblJournal.h"
#include "orca/TextBridge.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"

namespace orca {

namespace {

// The comment as the header can hold it: up to its first zero character, at most 255
// characters (bytes, or UTF-16 units of two bytes in a Unicode library).
std::string HeaderComment(std::string_view comment, PblKind kind) {
    if (kind == PblKind::Ansi) {
        comment = comment.substr(0, comment.find('\0'));
        return std::string(comment.substr(0, pbl::HeaderCommentSize - 1));
    }
    size_t end = 0;
    while (end + 1 < comment.size() && end < 2 * (pbl::HeaderCommentSize - 1) &&
           (comment[end] != '\0' || comment[end + 1] != '\0'))
        end += 2;
    return std::string(comment.substr(0, end));
}

// Memory for a library image, left uninitialised: the read fills it.
struct ImageBuffer {
    std::unique_ptr<char[]> bytes;
    size_t capacity = 0;
};

// Buffers of library images that no library uses any more, kept for the next read.
// Reading a library again (a new session, a refresh after a change) then fills memory
// the process has already touched instead of having fresh pages faulted in and
// cleared, which costs more than the read itself. Bounded, so that a process that has
// let its libraries go keeps little.
class ImagePool {
  public:
    static constexpr size_t MaxBuffers = 32;
    static constexpr size_t MaxBytes = size_t{64} << 20;

    // The smallest buffer kept that holds size bytes, else a new one.
    static ImageBuffer Take(size_t size) {
        if (!gone_) {
            ImagePool& pool = Instance();
            const std::lock_guard<std::mutex> lock(pool.mutex_);
            auto best = pool.free_.end();
            for (auto it = pool.free_.begin(); it != pool.free_.end(); ++it)
                if (it->capacity >= size &&
                    (best == pool.free_.end() || it->capacity < best->capacity))
                    best = it;
            if (best != pool.free_.end()) {
                ImageBuffer buffer = std::move(*best);
                pool.bytes_ -= buffer.capacity;
                pool.free_.erase(best);
                return buffer;
            }
        }
        ImageBuffer buffer{std::make_unique_for_overwrite<char[]>(std::max<size_t>(size, 1)),
                           std::max<size_t>(size, 1)};
        // Its pages are faulted in with one call rather than one fault each, which in a
        // virtual machine costs more than reading them.
        const auto begin =
            (reinterpret_cast<uintptr_t>(buffer.bytes.get()) + 4095) & ~uintptr_t{4095};
        const auto end =
            (reinterpret_cast<uintptr_t>(buffer.bytes.get()) + size) & ~uintptr_t{4095};
#ifdef MADV_POPULATE_WRITE
        if (end > begin)
            (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#endif
        return buffer;
    }

    static void Give(ImageBuffer buffer) noexcept {
        if (gone_)
            return;  // the pool went with the library: the buffer is freed
        ImagePool& pool = Instance();
        const std::lock_guard<std::mutex> lock(pool.mutex_);
        if (pool.free_.size() >= MaxBuffers || pool.bytes_ + buffer.capacity > MaxBytes)
            return;
        try {
            pool.free_.push_back(std::move(buffer));
            pool.bytes_ += pool.free_.back().capacity;
        } catch (...) {
            // No room to keep it: it is freed.
        }
    }

  private:
    // Destroyed with the library (at exit, or when a program unloads it), so that what it
    // keeps is freed; images that outlive it free their buffers themselves.
    static ImagePool& Instance() {
        static ImagePool pool;
        return pool;
    }
    ~ImagePool() {
        gone_ = true;
    }
    static inline bool gone_ = false;
    std::mutex mutex_;
    std::vector<ImageBuffer> free_;
    size_t bytes_ = 0;
};

// An image in a pooled buffer, which goes back to the pool with the image's last entry.
class PooledImage : public PblImage {
  public:
    PooledImage(ImageBuffer buffer, size_t size) : buffer_(std::move(buffer)) {
        bytes_ = std::string_view(buffer_.bytes.get(), size);
    }
    void SetOrigin(const FileStamp& stamp) { origin_ = stamp; }
    ~PooledImage() override { ImagePool::Give(std::move(buffer_)); }
    PooledImage(const PooledImage&) = delete;
    PooledImage& operator=(const PooledImage&) = delete;

  private:
    ImageBuffer buffer_;
};

// The size bytes of an open file read straight into a pooled buffer; nullptr with the
// reason in LastErrorText() when reading fails. A file that has shrunk gives what it
// still holds.
std::shared_ptr<PooledImage> ReadImage(int fd, size_t size, const std::string& hostPath) {
    ImageBuffer buffer = ImagePool::Take(size);
    size_t used = 0;
    while (used < size) {
        const ssize_t n = ::read(fd, buffer.bytes.get() + used, size - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ImagePool::Give(std::move(buffer));
            platform::SetLastErrorText("cannot read " + hostPath + ": " + std::strerror(err));
            return nullptr;
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    return std::make_shared<PooledImage>(std::move(buffer), used);
}

// An image of the library that holds exactly its state before the commit the journal
// belongs to: the bytes as read with the journal undone.
class UndoneImage : public PblImage {
  public:
    UndoneImage(std::string_view read, const journal::Journal& journal) : held_(read) {
        journal::Apply(journal, &held_);
        bytes_ = held_;
    }

  private:
    std::string held_;
};

bool Refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

}  // namespace

size_t PblData::CopyTo(size_t from, size_t n, char* out) const {
    if (from >= size_)
        return 0;
    n = std::min(n, size_ - from);
    if (!image_) {
        std::memcpy(out, held_->data() + from, n);
        return n;
    }
    size_t skip = from, copied = 0;
    ForEachPiece([&](const char* piece, size_t count) {
        if (skip >= count) {
            skip -= count;
            return;
        }
        const size_t take = std::min(count - skip, n - copied);
        std::memcpy(out + copied, piece + skip, take);
        copied += take;
        skip = 0;
    });
    return copied;
}

std::string PblData::Str(size_t from, size_t n) const {
    if (from >= size_)
        return {};
    std::string out(std::min(n, size_ - from), '\0');
    out.resize(CopyTo(from, out.size(), out.data()));
    return out;
}

std::string_view PblData::Prefix(size_t n) const {
    n = std::min(n, size_);
    if (!image_)
        return held_ ? std::string_view(*held_).substr(0, n) : std::string_view();
    const std::string_view image = image_->Bytes();
    if (n == 0 || static_cast<size_t>(first_) + pbl::BlockSize > image.size())
        return {};
    const char* b = image.data() + first_;
    if (pbl::Get16(b + 8) < n)
        return {};
    return std::string_view(b + pbl::DataHeaderSize, n);
}

bool operator==(const PblData& a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    size_t at = 0;
    bool same = true;
    a.ForEachPiece([&](const char* piece, size_t count) {
        same = same && std::memcmp(piece, b.data() + at, count) == 0;
        at += count;
    });
    return same && at == b.size();
}

bool operator==(const PblData& a, const PblData& b) {
    auto held = [](const PblData& d) {
        return d.held_ ? std::string_view(*d.held_) : std::string_view();
    };
    if (!b.image_)
        return a == held(b);
    if (!a.image_)
        return b == held(a);
    return a.size() == b.size() && a == b.Str();
}

bool PblLibrary::NameLess(std::string_view a, std::string_view b) {
    return platform::AsciiCompareText(a, b) < 0;
}

std::unique_ptr<PblLibrary> PblLibrary::Load(const std::string& hostPath, std::string* error) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error)
            *error = "cannot read " + hostPath + ": cannot open " + hostPath + ": " +
                     std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        if (error)
            *error =
                "cannot read " + hostPath + ": cannot read " + hostPath + ": " + std::strerror(err);
        return nullptr;
    }
    auto lib = Read(fd, hostPath, error);
    ::close(fd);
    return lib;
}

std::unique_ptr<PblLibrary> PblLibrary::Read(int fd, const std::string& hostPath,
                                             std::string* error) {
    // A commit in place may be at work on the file, or a killed one may have left its
    // journal: what is read is the committed state, never a half-written one. With no
    // journal, the read counts when the file's state did not change while it was read
    // and no journal appeared meanwhile (a commit that wrote while it was read changes
    // the state by its end). With a journal whose writer is gone (nobody holds the
    // lock), the journal is rolled back, or undone in memory when the file cannot be
    // written; with a writer at work, the read waits for the commit a little, then
    // reads the state before it by undoing the journal in memory, which holds while the
    // same journal is still there after the read.
    const std::string journalPath = journal::PathOf(LibraryLock::FileOf(hostPath));
    const auto start = std::chrono::steady_clock::now();
    auto waited = [&] { return std::chrono::steady_clock::now() - start; };
    auto fail = [&](std::string text) -> std::unique_ptr<PblLibrary> {
        if (error)
            *error = std::move(text);
        return nullptr;
    };
    for (;;) {
        journal::Journal jn;
        journal::State state = journal::Read(journalPath, &jn);
        FileStamp s1;
        if (!journal::StampOf(fd, &s1))
            return fail("cannot read " + hostPath + ": " + std::strerror(errno));
        const bool ours =
            state == journal::State::Complete && jn.device == s1.device && jn.inode == s1.inode;
        bool locked = false;
        if (ours || state == journal::State::Incomplete) {
            if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
                locked = true;  // no writer at work: the journal is a killed writer's
                if (LibraryLock::WhyNotWritable(hostPath) == nullptr &&
                    ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                    const bool undone =
                        journal::Recover(LibraryLock::FileOf(hostPath), fd, nullptr);
                    ::flock(fd, LOCK_UN);
                    if (undone)
                        continue;
                    if (::flock(fd, LOCK_SH | LOCK_NB) != 0)
                        continue;
                }
                state = journal::Read(journalPath, &jn);
            } else if (waited() < std::chrono::seconds(ours ? 1 : 10)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            } else if (!ours && state == journal::State::Incomplete) {
                return fail("cannot read " + hostPath +
                            ": another process has been writing it for too long");
            }
        }
        const bool undo = ours && state == journal::State::Complete;
        std::shared_ptr<PooledImage> image = ReadImage(fd, static_cast<size_t>(s1.size), hostPath);
        FileStamp s2;
        const bool stamped = journal::StampOf(fd, &s2);
        const uint64_t nonce = journal::NonceOf(journalPath);
        if (locked)
            ::flock(fd, LOCK_UN);
        if (!image)
            return fail("cannot read " + hostPath + ": " + platform::LastErrorText());
        const bool steady =
            locked || (undo ? nonce == jn.nonce
                            : stamped && s1 == s2 &&
                                  nonce == (state == journal::State::Complete ? jn.nonce : 0));
        if (!steady) {
            if (waited() > std::chrono::seconds(10))
                return fail("cannot read " + hostPath + ": it kept changing while it was read");
            continue;
        }
        std::shared_ptr<const PblImage> read;
        if (undo) {
            read = std::make_shared<const UndoneImage>(image->Bytes(), jn);
        } else {
            if (s1 == s2)
                image->SetOrigin(s2);
            read = std::move(image);
        }
        std::string why;
        auto lib = Parse(std::move(read), &why);
        if (!lib && error)
            *error = hostPath + ": " + why;
        return lib;
    }
}

std::unique_ptr<PblLibrary> PblLibrary::Create(std::string_view format, std::string_view comment,
                                               uint32_t time, PblKind kind) {
    auto lib = std::make_unique<PblLibrary>();
    lib->kind_ = kind;
    lib->format_ = format.size() == 4 ? std::string(format) : std::string("0600");
    lib->comment_ = HeaderComment(comment, kind);
    lib->time_ = time;
    return lib;
}

void PblLibrary::SetComment(std::string_view comment) {
    comment_ = HeaderComment(comment, kind_);
}

const PblEntry* PblLibrary::Find(std::string_view name) const {
    auto it =
        std::lower_bound(entries_.begin(), entries_.end(), name,
                         [](const PblEntry& e, std::string_view n) { return NameLess(e.name, n); });
    if (it == entries_.end() || platform::AsciiCompareText(it->name, name) != 0)
        return nullptr;
    return &*it;
}

bool PblLibrary::Put(PblEntry entry, std::string* error) {
    if (entry.name.empty())
        return Refuse(error, "an entry name cannot be empty");
    if (entry.name.size() > MaxNameLength)
        return Refuse(error, "the entry name '" + entry.name + "' is longer than " +
                                 std::to_string(MaxNameLength) + " bytes");
    if (entry.name.find('\0') != std::string::npos)
        return Refuse(error, "an entry name cannot hold a zero byte");
    if (entry.format.empty())
        entry.format = format_;
    if (entry.format.size() != 4)
        return Refuse(error, "the format of entry '" + entry.name + "' must be four bytes");
    if (entry.commentLength == 0)
        entry.wide = kind_ == PblKind::Unicode;
    if (entry.wide != (kind_ == PblKind::Unicode))
        return Refuse(error, "entry '" + entry.name + "' holds " +
                                 (entry.wide ? "UTF-16 texts, which an ANSI library cannot hold"
                                             : "ANSI texts, which a Unicode library cannot hold"));
    if (kind_ == PblKind::Unicode) {
        std::string utf16, why;
        if (!Utf8ToUtf16Strict(entry.name, &utf16, &why))
            return Refuse(error, "the entry name '" + entry.name + "' is not UTF-8: " + why);
    }
    if (entry.CommentBytes() > entry.data.size())
        return Refuse(error, "the comment length of entry '" + entry.name + "' exceeds its data");
    if (entry.data.size() > MaxDataSize)
        return Refuse(error, "the data of entry '" + entry.name + "' exceeds " +
                                 std::to_string(MaxDataSize) + " bytes");
    auto it = std::lower_bound(
        entries_.begin(), entries_.end(), entry.name,
        [](const PblEntry& e, const std::string& n) { return NameLess(e.name, n); });
    if (it != entries_.end() && platform::AsciiCompareText(it->name, entry.name) == 0)
        *it = std::move(entry);
    else
        entries_.insert(it, std::move(entry));
    return true;
}

bool PblLibrary::Remove(std::string_view name) {
    const PblEntry* found = Find(name);
    if (!found)
        return false;
    entries_.erase(entries_.begin() + (found - entries_.data()));
    return true;
}

bool PblLibrary::Save(const std::string& hostPath, std::string* error) const {
    if (storedForm_) {
        std::string why;
        const std::unique_ptr<PblLibrary> stored = StoredFormOf(*this, &why);
        if (!stored)
            return Refuse(error, "cannot save " + hostPath + ": " + why);
        return stored->Save(hostPath, error);
    }
    if (const char* why = LibraryLock::WhyNotWritable(hostPath))
        return Refuse(error, "cannot save " + hostPath + ": " + why);
    const std::string image = Serialize();
    if (image.empty())
        return Refuse(error, "cannot save " + hostPath +
                                 ": the library would exceed the 4 GB a library file can address");
    if (!platform::WriteHostFileAtomic(hostPath, image))
        return Refuse(error, "cannot save " + hostPath + ": " + platform::LastErrorText());
    return true;
}

}  // namespace orca
