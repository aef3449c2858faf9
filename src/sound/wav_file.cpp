#include "sound/wav_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

namespace zendra {
namespace {

constexpr int kMinRate = 100;
constexpr int kMaxRate = 200000;
constexpr sf_count_t kBlockFrames = 4096;
constexpr float kMinus3dB = 0.70710678f;

[[noreturn]] void failLoad(uint32_t code, const std::string& path, const std::string& reason) {
    throw SoundError(code, "Cannot load \"" + path + "\": " + reason + ".");
}

[[noreturn]] void failSave(uint32_t code, const std::string& path, const std::string& reason) {
    throw SoundError(code, "Cannot save \"" + path + "\": " + reason + ".");
}

std::string errnoText(int err) { return std::strerror(err); }

// libsndfile messages end in a full stop; ours add their own.
std::string sndfileText(SNDFILE* sf) {
    std::string s = sf_strerror(sf);
    while (!s.empty() && (s.back() == '.' || s.back() == ' ' || s.back() == '\n')) s.pop_back();
    return s;
}

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

// Where a sound's bytes come from: an open file or a block of memory. Everything
// past this point reads through it, so both decode alike.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t size() const = 0;
    // Copies up to n bytes from offset; returns how many, or -1 with errno set.
    virtual int64_t readAt(uint64_t offset, void* buf, size_t n) const = 0;

    bool readAll(uint64_t offset, void* buf, size_t n) const {
        auto* p = static_cast<uint8_t*>(buf);
        size_t done = 0;
        while (done < n) {
            const int64_t r = readAt(offset + done, p + done, n - done);
            if (r <= 0) return false;
            done += static_cast<size_t>(r);
        }
        return true;
    }
};

class FileSource final : public ByteSource {
public:
    FileSource(int fd, uint64_t size) : fd_(fd), size_(size) {}
    uint64_t size() const override { return size_; }
    int64_t readAt(uint64_t offset, void* buf, size_t n) const override {
        for (;;) {
            const ssize_t r = ::pread(fd_, buf, n, static_cast<off_t>(offset));
            if (r >= 0 || errno != EINTR) return r;
        }
    }

private:
    int fd_;
    uint64_t size_;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    uint64_t size() const override { return size_; }
    int64_t readAt(uint64_t offset, void* buf, size_t n) const override {
        if (offset >= size_) return 0;
        n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
        std::memcpy(buf, data_ + offset, n);
        return static_cast<int64_t>(n);
    }

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
    static VirtualFile& self(void* user) { return *static_cast<VirtualFile*>(user); }
    static sf_count_t length(void* user) { return static_cast<sf_count_t>(self(user).src_.size()); }
    static sf_count_t tell(void* user) { return self(user).pos_; }
    static sf_count_t seek(sf_count_t offset, int whence, void* user) {
        VirtualFile& f = self(user);
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.pos_ : length(user);
        if (offset < -base || offset > std::numeric_limits<sf_count_t>::max() - base) return -1;
        return f.pos_ = base + offset;
    }
    static sf_count_t read(void* ptr, sf_count_t count, void* user) {
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
    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }

    const ByteSource& src_;
    sf_count_t pos_ = 0;
    int error_ = 0;
    SF_VIRTUAL_IO io_{length, seek, read, write, tell};
};

uint64_t readLE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

uint64_t readBE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

enum class Container { Unknown, Riff, Rifx, Rf64, W64, Ogg };

struct HeaderInfo {
    Container container = Container::Unknown;
    int formatTag = -1;      // from the fmt chunk (the sub-format of an extensible one)
    std::string truncation;  // set when the header claims more than the file holds
};

// Sony Wave64 chunk identifiers: a four-letter name followed by a fixed tail.
constexpr uint8_t kW64Riff[16] = {'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11,
                                  0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr uint8_t kW64Tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1,
                                  0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

bool isW64Id(const uint8_t* guid, const char* name) {
    return std::memcmp(guid, name, 4) == 0 && std::memcmp(guid + 4, kW64Tail, 12) == 0;
}

std::string truncatedData(uint64_t declared, uint64_t present) {
    return "the file is cut short (truncated): its header announces " + std::to_string(declared) +
           " bytes of sound but only " + std::to_string(present) + " are there";
}

const char* kOverrun = "the file is damaged or cut short: its header runs past the end of the file";

// Walks the chunk list up to the sound data. libsndfile quietly shortens a data
// chunk that runs past the end of the file; we refuse such a file instead.
HeaderInfo inspectHeader(const ByteSource& src) {
    const uint64_t fileSize = src.size();
    HeaderInfo info;
    uint8_t head[40];
    if (fileSize < 4 || !src.readAll(0, head, std::min<uint64_t>(fileSize, sizeof head))) return info;
    if (std::memcmp(head, "OggS", 4) == 0) {
        info.container = Container::Ogg;
        return info;
    }
    if (fileSize < 12) return info;

    if (fileSize >= 40 && std::memcmp(head, kW64Riff, 16) == 0 && isW64Id(head + 24, "wave")) {
        info.container = Container::W64;
        uint64_t pos = 40;
        for (int guard = 0; guard < 100000 && pos + 24 <= fileSize; ++guard) {
            uint8_t ch[24];
            if (!src.readAll(pos, ch, sizeof ch)) break;
            const uint64_t size = readLE(ch + 16, 8);  // includes the 24-byte chunk header
            const uint64_t body = pos + 24;
            if (size < 24) {
                info.truncation = "the file is damaged: its header is not readable";
                return info;
            }
            if (isW64Id(ch, "fmt ")) {
                uint8_t tag[2];
                if (src.readAll(body, tag, 2)) info.formatTag = static_cast<int>(readLE(tag, 2));
            }
            if (isW64Id(ch, "data")) {
                if (size - 24 > fileSize - body) info.truncation = truncatedData(size - 24, fileSize - body);
                return info;
            }
            if (size > fileSize - pos) {
                info.truncation = kOverrun;
                return info;
            }
            pos += (size + 7) & ~uint64_t{7};
        }
        return info;
    }

    if (std::memcmp(head + 8, "WAVE", 4) != 0) return info;
    if (std::memcmp(head, "RIFF", 4) == 0) info.container = Container::Riff;
    else if (std::memcmp(head, "RIFX", 4) == 0) info.container = Container::Rifx;
    else if (std::memcmp(head, "RF64", 4) == 0) info.container = Container::Rf64;
    else return info;

    const bool big = info.container == Container::Rifx;
    auto num = [big](const uint8_t* p, int n) { return big ? readBE(p, n) : readLE(p, n); };
    uint64_t ds64DataSize = 0;
    bool haveDs64 = false;
    uint64_t pos = 12;
    for (int guard = 0; guard < 100000 && pos + 8 <= fileSize; ++guard) {
        uint8_t ch[8];
        if (!src.readAll(pos, ch, sizeof ch)) break;
        uint64_t size = num(ch + 4, 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(ch, "ds64", 4) == 0 && size >= 16) {
            uint8_t ds[16];
            if (src.readAll(body, ds, sizeof ds)) {
                ds64DataSize = readLE(ds + 8, 8);
                haveDs64 = true;
            }
        } else if (std::memcmp(ch, "fmt ", 4) == 0 && size >= 2) {
            uint8_t fmt[26];
            const size_t n = size >= 26 ? 26 : 2;
            if (src.readAll(body, fmt, n)) {
                info.formatTag = static_cast<int>(num(fmt, 2));
                if (info.formatTag == 0xFFFE && n == 26) info.formatTag = static_cast<int>(num(fmt + 24, 2));
            }
        } else if (std::memcmp(ch, "data", 4) == 0) {
            if (info.container == Container::Rf64 && size == 0xFFFFFFFF && haveDs64) size = ds64DataSize;
            if (size > fileSize - body) info.truncation = truncatedData(size, fileSize - body);
            return info;
        }
        if (size > fileSize - body) {
            info.truncation = kOverrun;
            return info;
        }
        pos = body + size + (size & 1);
    }
    return info;
}

std::string formatName(int format) {
    SF_FORMAT_INFO fi{};
    fi.format = format;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &fi, sizeof fi) == 0 && fi.name) return fi.name;
    return "an unknown kind";
}

const char* kNotSound = "it is not a sound file (only WAV files can be loaded)";

// Encodings a WAV file may name that the sound library cannot decode.
std::string encodingName(int tag) {
    switch (tag) {
    case 0x0050: return "MPEG";
    case 0x0055: return "MP3";
    case 0x00FF: return "AAC";
    case 0x0160:
    case 0x0161:
    case 0x0162: return "Windows Media Audio";
    case 0x2000: return "AC-3";
    default: return "an unknown one";
    }
}

std::string otherFormat(int major) { return "it is not a WAV file but another sound format: " + formatName(major); }

std::string unsupportedEncoding(const std::string& what) {
    return "its sound is in an encoding that cannot be read (" + what +
           "); only plain PCM (8, 16, 24 or 32 bit) and floating-point WAV files can be loaded";
}

// Per input channel, its share of the left and right output.
void downmixGains(SNDFILE* sf, int channels, std::vector<float>& toLeft, std::vector<float>& toRight) {
    std::vector<int> map(static_cast<size_t>(channels), 0);
    const bool haveMap =
        sf_command(sf, SFC_GET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
    toLeft.assign(map.size(), kMinus3dB);
    toRight.assign(map.size(), kMinus3dB);
    for (int c = 0; c < channels; ++c) {
        const int role = map[static_cast<size_t>(c)];
        const bool left = haveMap ? (role == SF_CHANNEL_MAP_LEFT || role == SF_CHANNEL_MAP_FRONT_LEFT) : c == 0;
        const bool right = haveMap ? (role == SF_CHANNEL_MAP_RIGHT || role == SF_CHANNEL_MAP_FRONT_RIGHT) : c == 1;
        if (left || right) {
            toLeft[static_cast<size_t>(c)] = left ? 1.0f : 0.0f;
            toRight[static_cast<size_t>(c)] = right ? 1.0f : 0.0f;
        }
    }
}

template <typename T>
void appendBytes(std::vector<uint8_t>& out, const T* values, size_t count) {
    const auto* p = reinterpret_cast<const uint8_t*>(values);
    out.insert(out.end(), p, p + count * sizeof(T));
}

SampleData readOpened(const std::string& path, SNDFILE* sf, const SF_INFO& info, SampleFormat native,
                      uint64_t fileSize, const VirtualFile& file) {
    const int channels = info.channels;
    const bool downmix = channels > 2;
    SampleData out;
    out.format = downmix ? SampleFormat::F32 : native;
    out.channels = downmix ? 2 : channels;
    out.rate = info.samplerate;

    // Every frame takes at least one byte per channel on disk, whatever the header says.
    const uint64_t possible = std::min<uint64_t>(static_cast<uint64_t>(info.frames), fileSize / channels);
    out.bytes.reserve(possible * static_cast<uint64_t>(out.blockAlign()));

    std::vector<float> toLeft, toRight;
    if (downmix) downmixGains(sf, channels, toLeft, toRight);
    std::vector<short> shorts;
    std::vector<float> floats;
    std::vector<float> mixed;
    const size_t blockSamples =
        static_cast<size_t>(std::min<sf_count_t>(kBlockFrames, std::max<sf_count_t>(info.frames, 1))) *
        static_cast<size_t>(channels);
    if (out.format == SampleFormat::F32) floats.resize(blockSamples);
    else shorts.resize(blockSamples);

    sf_count_t total = 0;
    while (total < info.frames) {
        const sf_count_t want = std::min(kBlockFrames, info.frames - total);
        const sf_count_t got = out.format == SampleFormat::F32 ? sf_readf_float(sf, floats.data(), want)
                                                                : sf_readf_short(sf, shorts.data(), want);
        if (got <= 0) break;
        const size_t n = static_cast<size_t>(got) * static_cast<size_t>(channels);
        if (out.format == SampleFormat::F32) {
            // A float file may hold NaN, infinities or wild values: never let them reach
            // the output (sound may go to +6 dBFS, no further).
            for (size_t i = 0; i < n; ++i) floats[i] = std::isfinite(floats[i]) ? std::clamp(floats[i], -2.0f, 2.0f) : 0.0f;
        }
        if (out.format == SampleFormat::U8) {
            // libsndfile widens unsigned 8-bit as (byte - 128) << 8: undo it exactly.
            for (size_t i = 0; i < n; ++i) out.bytes.push_back(static_cast<uint8_t>((shorts[i] >> 8) + 128));
        } else if (out.format == SampleFormat::S16) {
            appendBytes(out.bytes, shorts.data(), n);
        } else if (!downmix) {
            appendBytes(out.bytes, floats.data(), n);
        } else {
            mixed.assign(static_cast<size_t>(got) * 2, 0.0f);
            for (sf_count_t f = 0; f < got; ++f) {
                const float* frame = floats.data() + f * channels;
                float l = 0.0f, r = 0.0f;
                for (int c = 0; c < channels; ++c) {
                    l += frame[c] * toLeft[static_cast<size_t>(c)];
                    r += frame[c] * toRight[static_cast<size_t>(c)];
                }
                mixed[static_cast<size_t>(f) * 2] = l;
                mixed[static_cast<size_t>(f) * 2 + 1] = r;
            }
            appendBytes(out.bytes, mixed.data(), mixed.size());
        }
        total += got;
    }
    if (file.error()) failLoad(DSERR_FILEIO, path, "read error (" + errnoText(file.error()) + ")");
    if (sf_error(sf) != SF_ERR_NO_ERROR)
        failLoad(DSERR_FILEIO, path, "the file is damaged: its sound could not be read to the end");
    if (total < info.frames)
        failLoad(DSERR_FILEIO, path,
                 "the file is cut short (truncated): only " + std::to_string(total) + " of its " +
                     std::to_string(info.frames) + " sound frames could be read");
    return out;
}

// Decodes a WAV from any source; `path` names it in messages.
SampleData readSource(const std::string& path, const ByteSource& src) {
    const uint64_t fileSize = src.size();
    if (fileSize == 0) failLoad(DSERR_BADFORMAT, path, "the file is empty (0 bytes)");

    const HeaderInfo header = inspectHeader(src);
    if (!header.truncation.empty()) failLoad(DSERR_FILEIO, path, header.truncation);
    // libsndfile leaks when it gives up on a damaged Ogg Vorbis stream, and we load
    // no Ogg anyway: name it without opening it.
    if (header.container == Container::Ogg) failLoad(DSERR_BADFORMAT, path, otherFormat(SF_FORMAT_OGG));

    SF_INFO info{};
    VirtualFile file(src);
    SndFile sf(file.open(&info));
    if (!sf.get()) {
        if (file.error()) failLoad(DSERR_FILEIO, path, "read error (" + errnoText(file.error()) + ")");
        if (header.container == Container::Unknown)
            failLoad(DSERR_BADFORMAT, path, kNotSound);
        const int tag = header.formatTag;
        if (tag >= 0 && tag != 1 && tag != 3) failLoad(DSERR_BADFORMAT, path, unsupportedEncoding(encodingName(tag)));
        failLoad(DSERR_BADFORMAT, path, "the WAV file is damaged or cut short: its header cannot be read");
    }

    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_RAW) failLoad(DSERR_BADFORMAT, path, kNotSound);
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX && major != SF_FORMAT_RF64 && major != SF_FORMAT_W64)
        failLoad(DSERR_BADFORMAT, path, otherFormat(major));

    SampleFormat native;
    switch (info.format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8: native = SampleFormat::U8; break;
    case SF_FORMAT_PCM_16: native = SampleFormat::S16; break;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE: native = SampleFormat::F32; break;
    default: failLoad(DSERR_BADFORMAT, path, unsupportedEncoding(formatName(info.format & SF_FORMAT_SUBMASK)));
    }
    if (info.channels < 1) failLoad(DSERR_BADFORMAT, path, "the WAV file is damaged (it has no channels)");
    if (info.samplerate < kMinRate || info.samplerate > kMaxRate)
        failLoad(DSERR_BADFORMAT, path,
                 "its sample rate of " + std::to_string(info.samplerate) + " Hz is outside the supported range (" +
                     std::to_string(kMinRate) + " to " + std::to_string(kMaxRate) + " Hz)");
    if (info.frames <= 0) failLoad(DSERR_BADFORMAT, path, "the WAV file contains no sound (0 frames of data)");

    return readOpened(path, sf.get(), info, native, fileSize, file);
}

SampleData readWavPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        if (err == ENOENT) failLoad(DSERR_FILENOTFOUND, path, "the file does not exist");
        if (err == ENOTDIR) failLoad(DSERR_FILENOTFOUND, path, "a folder on its path does not exist");
        if (err == EACCES) failLoad(DSERR_FILEIO, path, "permission denied (a folder on its path cannot be entered)");
        failLoad(DSERR_FILEIO, path, errnoText(err));
    }
    if (S_ISDIR(st.st_mode)) failLoad(DSERR_FILENOTFOUND, path, "it is a folder, not a file");
    if (!S_ISREG(st.st_mode)) failLoad(DSERR_BADFORMAT, path, "it is not a regular file");

    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        const int err = errno;
        if (err == EACCES || err == EPERM)
            failLoad(DSERR_FILEIO, path, "permission denied (the file cannot be read)");
        if (err == ENOENT) failLoad(DSERR_FILENOTFOUND, path, "the file does not exist");
        failLoad(DSERR_FILEIO, path, errnoText(err));
    }
    if (::fstat(fd.get(), &st) != 0) failLoad(DSERR_FILEIO, path, errnoText(errno));
    return readSource(path, FileSource(fd.get(), static_cast<uint64_t>(st.st_size)));
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

template <typename Read>
SampleData withMemoryGuard(const std::string& path, Read read) {
    try {
        return read();
    } catch (const std::bad_alloc&) {
        failLoad(DSERR_OUTOFMEMORY, path, "there is not enough memory to hold its sound");
    } catch (const std::length_error&) {
        failLoad(DSERR_OUTOFMEMORY, path, "there is not enough memory to hold its sound");
    }
}

}  // namespace

SampleData readWavFile(const std::string& path) {
    return withMemoryGuard(path, [&] { return readWavPath(path); });
}

SampleData readWavMemory(const void* data, size_t size, const std::string& name) {
    return withMemoryGuard(name, [&] { return readSource(name, MemorySource(data, size)); });
}

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
