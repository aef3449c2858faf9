#include "sound/wav_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "sound/file_handles.h"

namespace zendra {
namespace {

constexpr int kMinRate = 100;
constexpr int kMaxRate = 200000;

[[noreturn]] void failSave(uint32_t code, const std::string& path, const std::string& reason) {
    throw SoundError(code, "Cannot save \"" + path + "\": " + reason + ".");
}

// libsndfile messages end in a full stop; ours add their own.
std::string sndfileText(SNDFILE* sf) {
    std::string s = sf_strerror(sf);
    while (!s.empty() && (s.back() == '.' || s.back() == ' ' || s.back() == '\n')) s.pop_back();
    return s;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::atomic<unsigned> tempCounter{0};

// Opens a new, uniquely named file next to the target.
int createTemp(const std::string& path, std::string& tempPath) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = dir + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(tempCounter++);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

std::string createError(int err, const std::string& folder) {
    switch (err) {
    case ENOENT: return "the folder \"" + folder + "\" does not exist";
    case ENOTDIR: return "\"" + folder + "\" is not a folder";
    case EACCES:
    case EPERM: return "permission denied (cannot create files in \"" + folder + "\")";
    case EROFS: return "the folder \"" + folder + "\" is on a read-only file system";
    default: return errnoText(err);
    }
}

}  // namespace

void writeWavFile(const std::string& path, const SampleData& data) {
    if (path.empty() || path.back() == '/') failSave(DSERR_INVALIDPARAM, path, "no file name was given");
    if (data.channels < 1 || data.channels > 2)
        failSave(DSERR_INVALIDPARAM, path, std::to_string(data.channels) + " channels cannot be saved (1 or 2 allowed)");
    if (data.rate < kMinRate || data.rate > kMaxRate)
        failSave(DSERR_INVALIDPARAM, path, "the sample rate of " + std::to_string(data.rate) + " Hz is out of range");
    if (data.bytes.size() % static_cast<size_t>(data.blockAlign()) != 0)
        failSave(DSERR_INVALIDPARAM, path, "the sound data ends in a partial frame");
    if (data.bytes.size() > 0xFFFFFFFFull - 4096)
        failSave(DSERR_INVALIDPARAM, path, "the sound is too long for a WAV file");

    int subtype = SF_FORMAT_PCM_16;
    if (data.format == SampleFormat::U8) subtype = SF_FORMAT_PCM_U8;
    if (data.format == SampleFormat::F32) subtype = SF_FORMAT_FLOAT;

    std::string tempPath;
    FileDescriptor fd(createTemp(path, tempPath));
    if (fd.get() < 0) {
        const int err = errno;
        failSave(err == ENOENT ? DSERR_FILENOTFOUND : DSERR_FILEIO, path, createError(err, folderOf(path)));
    }
    auto fail = [&](const std::string& reason) {
        ::unlink(tempPath.c_str());
        failSave(DSERR_FILEIO, path, reason);
    };

    // An existing file keeps its permissions.
    struct stat existing {};
    if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd.get(), existing.st_mode & 07777);

    SF_INFO info{};
    info.samplerate = data.rate;
    info.channels = data.channels;
    info.format = SF_FORMAT_WAV | subtype;
    SndFile sf(sf_open_fd(fd.get(), SFM_WRITE, &info, SF_FALSE));
    if (!sf.get()) fail("the file could not be started (" + sndfileText(nullptr) + ")");
    sf_command(sf.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (!data.bytes.empty()) {
        const auto size = static_cast<sf_count_t>(data.bytes.size());
        if (sf_write_raw(sf.get(), data.bytes.data(), size) != size) fail("write error (" + sndfileText(sf.get()) + ")");
    }
    if (const int err = sf.close(); err != 0) fail("write error (" + std::string(sf_error_number(err)) + ")");
    if (::fsync(fd.get()) != 0) fail("write error (" + errnoText(errno) + ")");
    if (::close(fd.release()) != 0) fail("write error (" + errnoText(errno) + ")");

    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        const int err = errno;
        if (err == EISDIR) fail("a folder of that name is in the way");
        fail(errnoText(err));
    }
    // Make the rename itself durable.
    const int dirFd = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace zendra
