#include "sound/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zendra {
namespace {

std::atomic<unsigned> tempCounter{0};

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string createError(int err, const std::string& folder) {
    switch (err) {
    case ENOENT: return "the folder \"" + folder + "\" does not exist";
    case ENOTDIR: return "\"" + folder + "\" is not a folder";
    case EACCES:
    case EPERM: return "permission denied (cannot create files in \"" + folder + "\")";
    case EROFS: return "the folder \"" + folder + "\" is on a read-only file system";
    default: return std::strerror(err);
    }
}

std::string writeError(int err) { return "write error (" + std::string(std::strerror(err)) + ")"; }

}  // namespace

AtomicFile::~AtomicFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool AtomicFile::fail(const std::string& reason) {
    error_ = reason;
    return false;
}

bool AtomicFile::open() {
    const size_t slash = path_.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path_ : path_.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp =
            dir + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(tempCounter++);
        fd_ = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temp_ = temp;
            struct stat existing {};
            if (::stat(path_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
                ::fchmod(fd_, existing.st_mode & 07777);
            return true;
        }
        if (errno != EEXIST) break;
    }
    openErrno_ = errno;
    return fail(createError(openErrno_, folderOf(path_)));
}

bool AtomicFile::write(const void* data, size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(writeError(n < 0 ? errno : ENOSPC));
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::commit() {
    if (::fsync(fd_) != 0) return fail(writeError(errno));
    const int closed = ::close(std::exchange(fd_, -1));
    if (closed != 0) return fail(writeError(errno));
    if (::rename(temp_.c_str(), path_.c_str()) != 0) {
        const int err = errno;
        return fail(err == EISDIR ? "a folder of that name is in the way" : std::strerror(err));
    }
    temp_.clear();
    // Make the rename itself durable.
    const int dirFd = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace zendra
