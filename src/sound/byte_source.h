// Where a sound file's bytes come from: an open file or a block of memory,
// and libsndfile's view of either. Everything that decodes reads through a
// ByteSource, so a file and the same bytes in memory decode alike. Any
// thread; one source per reader.
#pragma once
#include <cstddef>
#include <cstdint>
#include <sndfile.h>

namespace zendra {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Copies up to n bytes from offset; returns how many, or -1 with errno set.
    virtual int64_t readAt(uint64_t offset, void* buf, size_t n) const = 0;
    // Exactly n bytes from offset, or false.
    bool readAll(uint64_t offset, void* buf, size_t n) const;
};

class FileSource final : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t size() const override { return size_; }
    int64_t readAt(uint64_t offset, void* buf, size_t n) const override;

private:
    int fd_;
    uint64_t size_;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t size() const override { return size_; }
    int64_t readAt(uint64_t offset, void* buf, size_t n) const override;

private:
    const uint8_t* data_;
    size_t size_;
};

// libsndfile's view of a ByteSource: a read-only file with a position.
class VirtualFile {
public:
    explicit VirtualFile(const ByteSource& src) : src_(src) {}
    SNDFILE* open(SF_INFO* info) { return sf_open_virtual(&io_, SFM_READ, info, this); }
    int error() const { return error_; }  // errno of a failed read, or 0

private:
    static sf_count_t length(void* user);
    static sf_count_t tell(void* user);
    static sf_count_t seek(sf_count_t offset, int whence, void* user);
    static sf_count_t read(void* ptr, sf_count_t count, void* user);
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }

    const ByteSource& src_;
    sf_count_t pos_ = 0;
    int error_ = 0;
    SF_VIRTUAL_IO io_{length, seek, read, write, tell};
};

}  // namespace zendra
