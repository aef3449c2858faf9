#include "sound/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <unistd.h>

namespace zendra {

bool ByteSource::readAll(uint64_t offset, void* buf, size_t n) const {
    auto* p = static_cast<uint8_t*>(buf);
    size_t done = 0;
    while (done < n) {
        const int64_t r = readAt(offset + done, p + done, n - done);
        if (r <= 0) return false;
        done += static_cast<size_t>(r);
    }
    return true;
}

int64_t FileSource::readAt(uint64_t offset, void* buf, size_t n) const {
    for (;;) {
        const ssize_t r = ::pread(fd_, buf, n, static_cast<off_t>(offset));
        if (r >= 0 || errno != EINTR) return r;
    }
}

int64_t MemorySource::readAt(uint64_t offset, void* buf, size_t n) const {
    if (offset >= size_) return 0;
    n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    std::memcpy(buf, data_ + offset, n);
    return static_cast<int64_t>(n);
}

namespace {
VirtualFile& self(void* user) { return *static_cast<VirtualFile*>(user); }
}  // namespace

sf_count_t VirtualFile::length(void* user) { return static_cast<sf_count_t>(self(user).src_.size()); }

sf_count_t VirtualFile::tell(void* user) { return self(user).pos_; }

sf_count_t VirtualFile::seek(sf_count_t offset, int whence, void* user) {
    VirtualFile& f = self(user);
    if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.pos_ : length(user);
    if (offset < -base || offset > std::numeric_limits<sf_count_t>::max() - base) return -1;
    return f.pos_ = base + offset;
}

sf_count_t VirtualFile::read(void* ptr, sf_count_t count, void* user) {
    VirtualFile& f = self(user);
    if (count <= 0) return 0;
    const int64_t r = f.src_.readAt(static_cast<uint64_t>(f.pos_), ptr, static_cast<size_t>(count));
    if (r < 0) {
        f.error_ = errno;
        return 0;
    }
    f.pos_ += r;
    return r;
}

}  // namespace zendra
