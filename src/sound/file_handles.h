// Owners of an open file descriptor and of an open libsndfile handle, shared
// by the sound file reader and the WAV writer. Any thread.
#pragma once
#include <cstring>
#include <sndfile.h>
#include <string>
#include <unistd.h>
#include <utility>

namespace zendra {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

class SndFile {
public:
    explicit SndFile(SNDFILE* sf) : sf_(sf) {}
    ~SndFile() {
        if (sf_) sf_close(sf_);
    }
    SndFile(const SndFile&) = delete;
    SndFile& operator=(const SndFile&) = delete;
    SNDFILE* get() const { return sf_; }
    int close() { return sf_close(std::exchange(sf_, nullptr)); }

private:
    SNDFILE* sf_;
};

inline std::string errnoText(int err) { return std::strerror(err); }

}  // namespace zendra
