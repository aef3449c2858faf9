#include "sound/sound_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sndfile.h>
#include <sys/stat.h>

#include "sound/byte_source.h"
#include "sound/file_handles.h"
#include "sound/ogg_check.h"
#include "sound/sound_decode.h"
#include "sound/wav_header.h"

namespace zendra {

bool SoundBudget::take(uint64_t n) {
    uint64_t used = used_.load();
    do {
        if (n > limit_ - used) return false;
    } while (!used_.compare_exchange_weak(used, used + n));
    return true;
}

const std::vector<std::string>& soundFileExtensions() {
    // The kinds a player meets; the rest libsndfile reads load when chosen by name.
    static const std::vector<std::string> extensions = {"wav", "flac", "ogg",  "oga", "opus", "mp3",
                                                        "aif", "aiff", "aifc", "caf", "au"};
    return extensions;
}

namespace {

constexpr int kMinRate = 100;
constexpr int kMaxRate = 200000;

const char* kNotSound =
    "it is not a sound file (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, CAF and AU files, among others, can be loaded)";

// The kind a file's first bytes announce, for messages about files the sound
// library cannot open; empty when they announce none.
std::string announcedKind(const ByteSource& src) {
    uint8_t m[12] = {};
    if (!src.readAll(0, m, std::min<uint64_t>(src.size(), sizeof m))) return {};
    auto is = [&](const char* magic, size_t at = 0) { return std::memcmp(m + at, magic, std::strlen(magic)) == 0; };
    if (is("OggS")) return "Ogg";
    if (is("fLaC")) return "FLAC";
    if (is("ID3") || (m[0] == 0xFF && (m[1] & 0xE0) == 0xE0)) return "MP3";
    if (is("FORM") && (is("AIFF", 8) || is("AIFC", 8))) return "AIFF";
    if (is("caff")) return "CAF";
    if (is(".snd")) return "AU";
    return {};
}

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

std::string unsupportedEncoding(const std::string& what) {
    return "its sound is in an encoding that cannot be read (" + what + ")";
}

// Why the sound library could not open the file.
[[noreturn]] void failOpen(const std::string& path, const ByteSource& src, const WavHeader& header,
                           const VirtualFile& file) {
    if (file.error()) failLoad(DSERR_FILEIO, path, "read error (" + errnoText(file.error()) + ")");
    if (header.container != WavContainer::None) {
        const int tag = header.formatTag;
        if (tag >= 0 && tag != 1 && tag != 3) failLoad(DSERR_BADFORMAT, path, unsupportedEncoding(encodingName(tag)));
        failLoad(DSERR_BADFORMAT, path, "the WAV file is damaged or cut short: its header cannot be read");
    }
    const std::string kind = announcedKind(src);
    if (kind.empty()) failLoad(DSERR_BADFORMAT, path, kNotSound);
    failLoad(DSERR_BADFORMAT, path, "the " + kind + " file is damaged or cut short: its header cannot be read");
}

// How the file's encoding comes back in memory.
SampleFormat nativeFormat(int subtype) {
    switch (subtype) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: return SampleFormat::U8;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
    case SF_FORMAT_IMA_ADPCM:
    case SF_FORMAT_MS_ADPCM:
    case SF_FORMAT_GSM610:
    case SF_FORMAT_VOX_ADPCM:
    case SF_FORMAT_NMS_ADPCM_16:
    case SF_FORMAT_NMS_ADPCM_24:
    case SF_FORMAT_NMS_ADPCM_32:
    case SF_FORMAT_G721_32:
    case SF_FORMAT_G723_24:
    case SF_FORMAT_G723_40:
    case SF_FORMAT_DWVW_12:
    case SF_FORMAT_DWVW_16:
    case SF_FORMAT_DPCM_8:
    case SF_FORMAT_DPCM_16:
    case SF_FORMAT_ALAC_16: return SampleFormat::S16;
    default: return SampleFormat::F32;  // deeper PCM, floating point, lossy codecs
    }
}

// Decodes a sound from any source; `path` names it in messages.
SampleData readSource(const std::string& path, const ByteSource& src, const ReadOptions& options) {
    const uint64_t fileSize = src.size();
    if (fileSize == 0) failLoad(DSERR_BADFORMAT, path, "the file is empty (0 bytes)");

    const WavHeader header = inspectWavHeader(src);
    if (!header.truncation.empty()) failLoad(DSERR_FILEIO, path, header.truncation);
    if (announcedKind(src) == "Ogg") {
        if (const auto problem = vorbisHeaderProblem(src)) failLoad(DSERR_BADFORMAT, path, *problem);
    }

    SF_INFO info{};
    VirtualFile file(src);
    SndFile sf(file.open(&info));
    if (!sf.get()) failOpen(path, src, header, file);
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RAW) failLoad(DSERR_BADFORMAT, path, kNotSound);
    if (info.channels < 1) failLoad(DSERR_BADFORMAT, path, "the file is damaged (it has no channels)");
    if (info.samplerate < kMinRate || info.samplerate > kMaxRate)
        failLoad(DSERR_BADFORMAT, path,
                 "its sample rate of " + std::to_string(info.samplerate) + " Hz is outside the supported range (" +
                     std::to_string(kMinRate) + " to " + std::to_string(kMaxRate) + " Hz)");
    return decodeOpened({path, sf.get(), file, info, nativeFormat(info.format & SF_FORMAT_SUBMASK), fileSize, options});
}

SampleData readPath(const std::string& path, const ReadOptions& options) {
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
        if (err == EACCES || err == EPERM) failLoad(DSERR_FILEIO, path, "permission denied (the file cannot be read)");
        if (err == ENOENT) failLoad(DSERR_FILENOTFOUND, path, "the file does not exist");
        failLoad(DSERR_FILEIO, path, errnoText(err));
    }
    if (::fstat(fd.get(), &st) != 0) failLoad(DSERR_FILEIO, path, errnoText(errno));
    return readSource(path, FileSource(fd.get(), static_cast<uint64_t>(st.st_size)), options);
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

SampleData readSoundFile(const std::string& path, const ReadOptions& options) {
    return withMemoryGuard(path, [&] { return readPath(path, options); });
}

SampleData readSoundMemory(const void* data, size_t size, const std::string& name, const ReadOptions& options) {
    return withMemoryGuard(name, [&] { return readSource(name, MemorySource(data, size), options); });
}

}  // namespace zendra
