#include "orca/LibraryLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "orca/PblCommit.h"
#include "orca/PblJournal.h"
#include "orca/PblLibrary.h"

namespace orca {

namespace {

std::atomic<unsigned> tempCounter{0};
std::atomic<long long> failAfter{-1};
std::atomic<bool> failAbandons{false};

std::string ErrnoText(int err) {
    return std::strerror(err);
}

bool WriteAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    std::string dir = std::filesystem::path(path).parent_path().string();
    return dir.empty() ? std::string(".") : dir;
}

// The prefix of the temporaries of the file at target: ".NAME.tmp".
std::string TempPrefix(const std::string& target) {
    return "." + std::filesystem::path(target).filename().string() + ".tmp";
}

bool Refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

constexpr const char* ChangedText =
    "another program changed the file while this call worked on it; the change of this call "
    "was not stored";

}  // namespace

LibraryLock::~LibraryLock() {
    Release();
}

void LibraryLock::Release() {
    if (fd_ >= 0)
        ::close(fd_);  // closing the last descriptor drops the lock
    fd_ = -1;
}

bool LibraryLock::Acquire(const std::string& hostPath, std::string* error, int waitMilliseconds,
                          bool* missing) {
    Release();
    if (missing)
        *missing = false;
    path_ = hostPath;
    target_ = FileOf(hostPath);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        const int fd = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            if (missing)
                *missing = err == ENOENT || err == ENOTDIR;
            return Refuse(error, "cannot open " + hostPath + ": " + ErrnoText(err));
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if (err != EWOULDBLOCK && err != EINTR) {
                ::close(fd);
                return Refuse(error, "cannot lock " + hostPath + ": " + ErrnoText(err));
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                return Refuse(error, hostPath + " is being written by another process");
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(20000));
        }
        // Locked; but the writer we waited for may have replaced the file meanwhile,
        // and the lock of the file it replaced guards nothing.
        FileStamp locked;
        struct stat st {};
        if (!journal::StampOf(fd, &locked) || ::stat(target_.c_str(), &st) != 0 ||
            static_cast<uint64_t>(st.st_ino) != locked.inode ||
            static_cast<uint64_t>(st.st_dev) != locked.device) {
            ::close(fd);
            continue;
        }
        // A journal beside the file is a commit its writer did not finish: undone first.
        std::string why;
        bool found = false;
        if (!journal::Recover(target_, fd, &why, &found)) {
            ::close(fd);
            return Refuse(error, hostPath + ": " + why);
        }
        if (found && !journal::StampOf(fd, &locked)) {
            ::close(fd);
            return Refuse(error, "cannot read the state of " + hostPath);
        }
        fd_ = fd;
        identity_ = locked;
        return true;
    }
}

std::string LibraryLock::FileOf(const std::string& hostPath) {
    char* resolved = ::realpath(hostPath.c_str(), nullptr);
    if (!resolved)
        return hostPath;
    std::string file(resolved);
    std::free(resolved);
    return file;
}

bool LibraryLock::Unchanged() const {
    if (fd_ < 0)
        return false;
    FileStamp locked;
    struct stat st {};
    if (!journal::StampOf(fd_, &locked) || ::stat(target_.c_str(), &st) != 0)
        return false;
    return locked == identity_ && static_cast<uint64_t>(st.st_ino) == locked.inode &&
           static_cast<uint64_t>(st.st_dev) == locked.device;
}

std::unique_ptr<PblLibrary> LibraryLock::Load(std::string* error) const {
    return PblLibrary::Load(target_, error);
}

const char* LibraryLock::WhyNotWritable(const std::string& hostPath) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0)
        return nullptr;  // a new file: the folder decides
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return "the file is read-only";
    if (::access(hostPath.c_str(), W_OK) != 0)
        return errno == EROFS ? "the file is on a read-only file system"
                              : "the file is read-only for this user";
    return nullptr;
}

int LibraryLock::RemoveStaleTemporaries(const std::string& target) {
    const std::string dir = FolderOf(target);
    const std::string prefix = TempPrefix(target);
    DIR* folder = ::opendir(dir.c_str());
    if (!folder)
        return 0;
    int removed = 0;
    const pid_t self = ::getpid();
    while (const dirent* item = ::readdir(folder)) {
        const std::string_view name(item->d_name);
        if (!name.starts_with(prefix))
            continue;
        // ".NAME.tmpPID-..." : the pid of the process that writes it.
        const std::string_view rest = name.substr(prefix.size());
        size_t digits = 0;
        while (digits < rest.size() && digits < 10 && rest[digits] >= '0' && rest[digits] <= '9')
            ++digits;
        if (digits == 0 || digits >= rest.size() || rest[digits] != '-')
            continue;
        const long pid = std::stol(std::string(rest.substr(0, digits)));
        if (pid <= 0 || pid == self)
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;  // its writer (or a process of the same pid) is alive
        const std::string path = dir + "/" + std::string(name);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        // A writer in another pid namespace holds the lock of its temporary.
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(folder);
    return removed;
}

bool LibraryLock::ReadyToCommit(std::string* error) {
    if (fd_ < 0)
        return Refuse(error, "the library is not locked for writing");
    if (const char* why = WhyNotWritable(target_))
        return Refuse(error, why);
    if (!Unchanged())
        return Refuse(error, ChangedText);
    RemoveStaleTemporaries(target_);
    return true;
}

bool LibraryLock::Commit(const PblLibrary& library, std::string* error) {
    if (!ReadyToCommit(error))
        return false;
    commit::Request request;
    request.lockFd = fd_;
    request.target = target_;
    request.shown = path_;
    request.stamp = identity_;
    request.failAfter = failAfter.exchange(-1);
    request.abandon = failAbandons.exchange(false);
    FileStamp after;
    switch (commit::InPlace(request, library, &after, error)) {
        case commit::Outcome::Done:
            identity_ = after;
            return true;
        case commit::Outcome::Failed:
            return false;
        case commit::Outcome::NotApplicable:
            break;
    }
    failAfter = request.failAfter;  // for the whole rewrite's temporary
    const std::string image = library.Serialize();
    if (image.empty())
        return Refuse(error, "the library would exceed the 4 GB a library file can address");
    if (!ReplaceWhole(image, error))
        return false;
    commit::Remember(image, identity_, library);
    return true;
}

void LibraryLock::FailNextCommitAfter(long long bytes, bool abandon) {
    failAfter = bytes < 0 ? -1 : bytes;
    failAbandons = abandon;
}

namespace {

// A flushed temporary beside target holding image: its descriptor (locked, so that no
// one takes it for a killed writer's leftover) and name; -1 with the reason in *error.
// like, when given, is the file whose permissions and owner it takes.
int WriteTemporary(const std::string& target, const std::string& shownPath, std::string_view image,
                   const struct stat* like, std::string* temp, std::string* error) {
    const long long limit = failAfter.exchange(-1);
    const std::string dir = FolderOf(target);
    std::random_device rd;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        *temp = dir + "/" + TempPrefix(target) + std::to_string(::getpid()) + "-" +
                std::to_string(tempCounter++) + "-" + std::to_string(rd() & 0xFFFFFF);
        fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, like ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        Refuse(error,
               "cannot create a temporary file beside " + shownPath + ": " + ErrnoText(errno));
        return -1;
    }
    auto fail = [&](std::string text) {
        ::close(fd);
        ::unlink(temp->c_str());
        Refuse(error, std::move(text));
        return -1;
    };
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail("cannot lock " + *temp + ": " + ErrnoText(errno));
    if (like) {
        if (::fchmod(fd, like->st_mode & 07777) != 0)
            return fail("cannot set the permissions of " + *temp + ": " + ErrnoText(errno));
        struct stat own {};
        if (::fstat(fd, &own) == 0 && (own.st_uid != like->st_uid || own.st_gid != like->st_gid)) {
            if (::fchown(fd, like->st_uid, like->st_gid) != 0) {
                // Not allowed to give the file away: the content matters more.
            }
        }
    }
    const bool simulateFailure =
        limit >= 0 && static_cast<unsigned long long>(limit) < image.size();
    if (!WriteAll(fd, image.data(), simulateFailure ? static_cast<size_t>(limit) : image.size()))
        return fail("cannot write " + shownPath + ": " + ErrnoText(errno));
    if (simulateFailure)
        return fail("cannot write " + shownPath + ": " + ErrnoText(ENOSPC));
    if (::fsync(fd) != 0)
        return fail("cannot flush " + shownPath + ": " + ErrnoText(errno));
    return fd;
}

}  // namespace

bool LibraryLock::Commit(std::string_view image, std::string* error) {
    return ReadyToCommit(error) && ReplaceWhole(image, error);
}

bool LibraryLock::ReplaceWhole(std::string_view image, std::string* error) {
    struct stat old {};
    if (::fstat(fd_, &old) != 0)
        return Refuse(error, "cannot read the state of " + path_ + ": " + ErrnoText(errno));
    std::string temp;
    const int fd = WriteTemporary(target_, path_, image, &old, &temp, error);
    if (fd < 0)
        return false;
    auto fail = [&](std::string text) {
        ::close(fd);
        ::unlink(temp.c_str());
        return Refuse(error, std::move(text));
    };
    // Checked again as late as possible: PowerBuilder may have written while we did.
    if (!Unchanged())
        return fail(ChangedText);
    if (::rename(temp.c_str(), target_.c_str()) != 0)
        return fail("cannot replace " + path_ + ": " + ErrnoText(errno));
    journal::SyncFolderOf(target_);
    ::close(fd_);
    fd_ = fd;  // the lock passes to the new file without a gap
    journal::StampOf(fd_, &identity_);
    return true;
}

bool LibraryLock::CreateNew(const std::string& hostPath, const PblLibrary& library,
                            std::string* error, bool* exists) {
    if (exists)
        *exists = false;
    const std::string image = library.Serialize();
    std::string temp;
    const int fd = WriteTemporary(hostPath, hostPath, image, nullptr, &temp, error);
    if (fd < 0)
        return false;
    // link() gives the new file its name only when no file has it, so that of two
    // writers creating the same library at once one fails instead of replacing the
    // other's library (and whatever was stored in it meanwhile).
    int err = ::link(temp.c_str(), hostPath.c_str()) == 0 ? 0 : errno;
    if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS) {
        // A file system without hard links: rename, as close to the check as can be.
        struct stat st {};
        if (::lstat(hostPath.c_str(), &st) == 0)
            err = EEXIST;
        else
            err = ::rename(temp.c_str(), hostPath.c_str()) == 0 ? 0 : errno;
    }
    ::unlink(temp.c_str());  // after link, the library keeps its own name
    ::close(fd);
    if (err != 0) {
        if (exists)
            *exists = err == EEXIST;
        return Refuse(error, err == EEXIST ? std::string("the file exists")
                                           : "cannot create " + hostPath + ": " + ErrnoText(err));
    }
    journal::SyncFolderOf(hostPath);
    return true;
}

}  // namespace orca
