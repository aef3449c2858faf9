// A file written whole or not at all: the bytes go to a new temporary file
// beside the target, which is flushed to the disk and renamed over it (the
// rename made durable too). Until commit() succeeds the target is untouched;
// a failed or abandoned write leaves no temporary behind. A replaced file
// keeps its permissions. Every short write is an error, so a full disk never
// passes for a saved file. Any thread; one writer per object.
#pragma once
#include <cstddef>
#include <string>

namespace zendra {

class AtomicFile {
public:
    explicit AtomicFile(std::string path) : path_(std::move(path)) {}
    ~AtomicFile();  // removes the temporary unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary; on failure error() says why in plain words.
    bool open();
    int fd() const { return fd_; }  // to write through another library
    bool write(const void* data, size_t size);
    // Flushes, closes and renames into place.
    bool commit();
    // Why the last step failed ("write error (No space left on device)", ...).
    const std::string& error() const { return error_; }
    // errno of the failure to create the temporary, 0 otherwise.
    int openErrno() const { return openErrno_; }

private:
    bool fail(const std::string& reason);

    std::string path_, temp_, error_;
    int fd_ = -1;
    int openErrno_ = 0;
};

}  // namespace zendra
