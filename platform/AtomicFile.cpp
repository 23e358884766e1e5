#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/LastError.h"

namespace platform {

namespace {

std::atomic<long long> failAfter{-1};
std::atomic<unsigned> tempCounter{0};

std::string ErrnoText(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

// Writes all of bytes, retrying short writes; false with errno set on failure.
bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The file a write to hostPath replaces: a symbolic link is followed so that the
// link stays a link and its target receives the new content.
std::string ResolveTarget(const std::string& hostPath) {
    std::error_code ec;
    if (std::filesystem::is_symlink(hostPath, ec)) {
        auto target = std::filesystem::canonical(hostPath, ec);
        if (!ec)
            return target.string();
    }
    return hostPath;
}

void SyncDirectory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);  // some file systems refuse to sync a directory; the rename stands
    ::close(fd);
}

}  // namespace

std::optional<std::string> ReadHostFile(const std::string& hostPath, size_t limit) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorText(ErrnoText("cannot open", hostPath, errno));
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastErrorText(ErrnoText("cannot read", hostPath, EISDIR));
        return std::nullopt;
    }
    std::string content;
    if (st.st_size > 0)
        content.reserve(std::min(static_cast<size_t>(st.st_size), limit));
    char buffer[65536];
    while (content.size() < limit) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, limit - content.size()));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            SetLastErrorText(ErrnoText("cannot read", hostPath, err));
            return std::nullopt;
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

bool WriteHostFileAtomic(const std::string& hostPath, std::string_view bytes) {
    const long long limit = failAfter.exchange(-1);
    if (hostPath.empty()) {
        SetLastErrorText("cannot write a file without a name");
        return false;
    }
    const std::string target = ResolveTarget(hostPath);
    const std::filesystem::path targetPath(target);
    std::string dir = targetPath.parent_path().string();
    if (dir.empty())
        dir = ".";

    struct stat st {};
    bool exists = false;
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            SetLastErrorText(ErrnoText("cannot write", target, EISDIR));
            return false;
        }
        exists = true;
    }

    // A unique name beside the target, so that the final rename stays in one file
    // system; hidden, so that a listing in between does not show it.
    std::random_device rd;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = dir + "/." + targetPath.filename().string() + ".tmp" + std::to_string(::getpid()) +
               "-" + std::to_string(tempCounter++) + "-" + std::to_string(rd() & 0xFFFFFF);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        SetLastErrorText(ErrnoText("cannot create a temporary file for", target, errno));
        return false;
    }

    auto fail = [&](const std::string& message) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temp.c_str());
        SetLastErrorText(message);
        return false;
    };

    if (exists) {
        // Keep the target's permissions (and, where allowed, its owner).
        if (::fchmod(fd, st.st_mode & 07777) != 0)
            return fail(ErrnoText("cannot set the permissions of", temp, errno));
        struct stat own {};
        if (::fstat(fd, &own) == 0 && (own.st_uid != st.st_uid || own.st_gid != st.st_gid)) {
            if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
                // Not allowed to give the file away: the content still matters more.
            }
        }
    }

    size_t toWrite = bytes.size();
    const bool simulateFailure = limit >= 0;
    if (simulateFailure && static_cast<unsigned long long>(limit) < toWrite)
        toWrite = static_cast<size_t>(limit);
    if (!WriteAll(fd, bytes.data(), toWrite))
        return fail(ErrnoText("cannot write", temp, errno));
    if (simulateFailure)
        return fail(ErrnoText("cannot write", temp, ENOSPC));
    if (::fsync(fd) != 0)
        return fail(ErrnoText("cannot flush", temp, errno));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return fail(ErrnoText("cannot close", temp, errno));
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return fail(ErrnoText("cannot replace", target, errno));
    SyncDirectory(dir);
    return true;
}

void FailNextAtomicWriteAfter(long long bytes) {
    failAfter = bytes < 0 ? -1 : bytes;
}

}  // namespace platform
