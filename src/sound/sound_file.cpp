#include "sound/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "sound/byte_source.h"
#include "sound/file_handles.h"
#include "sound/wav_header.h"

namespace zendra {
namespace {

constexpr int kMinRate = 100;
constexpr int kMaxRate = 200000;
constexpr sf_count_t kBlockFrames = 4096;
constexpr float kMinus3dB = 0.70710678f;

[[noreturn]] void failLoad(uint32_t code, const std::string& path, const std::string& reason) {
    throw SoundError(code, "Cannot load \"" + path + "\": " + reason + ".");
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

    const WavHeader header = inspectWavHeader(src);
    if (!header.truncation.empty()) failLoad(DSERR_FILEIO, path, header.truncation);
    // libsndfile leaks when it gives up on a damaged Ogg Vorbis stream, and we load
    // no Ogg anyway: name it without opening it.
    char magic[4];
    if (src.readAll(0, magic, 4) && std::memcmp(magic, "OggS", 4) == 0)
        failLoad(DSERR_BADFORMAT, path, otherFormat(SF_FORMAT_OGG));

    SF_INFO info{};
    VirtualFile file(src);
    SndFile sf(file.open(&info));
    if (!sf.get()) {
        if (file.error()) failLoad(DSERR_FILEIO, path, "read error (" + errnoText(file.error()) + ")");
        if (header.container == WavContainer::None)
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

SampleData readPath(const std::string& path) {
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

SampleData readSoundFile(const std::string& path) {
    return withMemoryGuard(path, [&] { return readPath(path); });
}

SampleData readSoundMemory(const void* data, size_t size, const std::string& name) {
    return withMemoryGuard(name, [&] { return readSource(name, MemorySource(data, size)); });
}

}  // namespace zendra
