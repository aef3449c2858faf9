// A recorded take: its capture format, the copy of the captured bytes into a
// playable buffer, and the name it is saved under. Sound objects only, so the
// benchmarks can use it without the windows.
#pragma once
#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sound/direct_sound.h"
#include "sound/ds_types.h"

namespace zendra::take {

// Seconds a capture buffer holds.
constexpr int32_t kBufferSeconds = 20;
// Flags of a playback copy: static, with volume control.
constexpr int32_t kPlayFlags = 0x82;
// Capture buffers map the format through the audio system.
constexpr int32_t DSCBCAPS_WAVEMAPPED = static_cast<int32_t>(0x80000000u);

// A PCM format record; block align is channels x bits / 8, rounded half to even.
inline WAVEFORMATEX MakeWaveFormat(int32_t rate, int16_t channels, int16_t bits) {
    WAVEFORMATEX f;
    f.nFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.lSamplesPerSec = rate;
    f.nBitsPerSample = bits;
    const auto product = static_cast<int16_t>(channels * bits);
    f.nBlockAlign = static_cast<int16_t>(std::nearbyint(product / 8.0));
    f.lAvgBytesPerSec = static_cast<int32_t>(f.nBlockAlign) * rate;
    f.nSize = 0;
    return f;
}

// 22050 Hz 8-bit mono when the device offers it, else 11025 Hz 8-bit mono;
// nothing when it offers neither.
inline std::optional<WAVEFORMATEX> captureFormatFor(int32_t formats) {
    if ((formats & WAVE_FORMAT_2M08) != 0) return MakeWaveFormat(22050, 1, 8);
    if ((formats & WAVE_FORMAT_1M08) != 0) return MakeWaveFormat(11025, 1, 8);
    return std::nullopt;
}

// The description of a capture buffer holding 20 seconds of the format.
inline DSCBUFFERDESC captureDescFor(const WAVEFORMATEX& format) {
    DSCBUFFERDESC d;
    d.lFlags = DSCBCAPS_WAVEMAPPED;
    d.lBufferBytes = format.lAvgBytesPerSec * kBufferSeconds;
    d.fxFormat = format;
    return d;
}

// Copies what the capture buffer holds into a fresh static buffer on `ds`,
// stopping a running capture first. `transfer` is the staging area, resized
// for the copy. Returns null when nothing has been captured; the take stays
// in the capture buffer, so each call makes a new copy of the same take.
inline std::shared_ptr<DirectSoundBuffer> copyToPlayBuffer(DirectSoundCaptureBuffer& capture, DirectSound& ds,
                                                           WAVEFORMATEX format, std::vector<int16_t>& transfer) {
    if ((capture.GetStatus() & DSCBSTATUS_CAPTURING) != 0) capture.Stop();
    DSCURSORS cursors;
    capture.GetCurrentPosition(cursors);
    if (cursors.lPlay == 0) return nullptr;
    DSBUFFERDESC desc;
    desc.lFlags = kPlayFlags;
    desc.lBufferBytes = static_cast<int32_t>(format.nBlockAlign) * cursors.lPlay;
    auto copy = ds.CreateSoundBuffer(desc, format);
    const int32_t n = desc.lBufferBytes;
    transfer.assign(static_cast<size_t>(n) / 2 + 2, 0);  // room for at least n bytes
    capture.ReadBuffer(0, n, transfer.data(), 0);
    copy->WriteBuffer(0, n, transfer.data(), 0);
    return copy;
}

// The name a take is saved under: the chosen name with ".wav" appended unless
// it already ends in exactly ".wav" (case counts, so ".WAV" gets one too).
inline std::string fileNameFor(const std::string& chosen) {
    static const std::string suffix = ".wav";
    const bool hasSuffix =
        chosen.size() >= suffix.size() && chosen.compare(chosen.size() - suffix.size(), suffix.size(), suffix) == 0;
    if (!chosen.empty() && !hasSuffix) return chosen + suffix;
    return chosen;
}

}  // namespace zendra::take
