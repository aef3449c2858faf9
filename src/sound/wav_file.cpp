#include "sound/wav_file.h"

#include <cerrno>

#include "sound/atomic_file.h"
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

}  // namespace

void writeWavFile(const std::string& path, const SampleData& data) {
    if (path.empty() || path.back() == '/') failSave(DSERR_INVALIDPARAM, path, "no file name was given");
    if (data.channels < 1 || data.channels > 2)
        failSave(DSERR_INVALIDPARAM, path,
                 std::to_string(data.channels) + " channels cannot be saved (1 or 2 allowed)");
    if (data.rate < kMinRate || data.rate > kMaxRate)
        failSave(DSERR_INVALIDPARAM, path, "the sample rate of " + std::to_string(data.rate) + " Hz is out of range");
    if (data.bytes.size() % static_cast<size_t>(data.blockAlign()) != 0)
        failSave(DSERR_INVALIDPARAM, path, "the sound data ends in a partial frame");
    if (data.bytes.size() > 0xFFFFFFFFull - 4096)
        failSave(DSERR_INVALIDPARAM, path, "the sound is too long for a WAV file");

    int subtype = SF_FORMAT_PCM_16;
    if (data.format == SampleFormat::U8) subtype = SF_FORMAT_PCM_U8;
    if (data.format == SampleFormat::F32) subtype = SF_FORMAT_FLOAT;

    AtomicFile file(path);
    if (!file.open()) failSave(file.openErrno() == ENOENT ? DSERR_FILENOTFOUND : DSERR_FILEIO, path, file.error());
    auto fail = [&](const std::string& reason) { failSave(DSERR_FILEIO, path, reason); };

    SF_INFO info{};
    info.samplerate = data.rate;
    info.channels = data.channels;
    info.format = SF_FORMAT_WAV | subtype;
    SndFile sf(sf_open_fd(file.fd(), SFM_WRITE, &info, SF_FALSE));
    if (!sf.get()) fail("the file could not be started (" + sndfileText(nullptr) + ")");
    sf_command(sf.get(), SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    if (!data.bytes.empty()) {
        const auto size = static_cast<sf_count_t>(data.bytes.size());
        if (sf_write_raw(sf.get(), data.bytes.data(), size) != size)
            fail("write error (" + sndfileText(sf.get()) + ")");
    }
    if (const int err = sf.close(); err != 0) fail("write error (" + std::string(sf_error_number(err)) + ")");
    if (!file.commit()) fail(file.error());
}

}  // namespace zendra
