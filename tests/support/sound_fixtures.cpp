#include "sound_fixtures.h"

#include <cmath>

#include "signal_measure.h"

namespace zendra::test {

WAVEFORMATEX pcmFormat(int channels, int rate, int bits) {
    WAVEFORMATEX f;
    f.nFormatTag = 1;
    f.nChannels = static_cast<int16_t>(channels);
    f.lSamplesPerSec = rate;
    f.nBitsPerSample = static_cast<int16_t>(bits);
    f.nBlockAlign = static_cast<int16_t>(bits / 8 * channels);
    f.lAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

std::shared_ptr<DirectSoundBuffer> pcmBuffer(DirectSound& ds, const std::vector<int16_t>& pcm, int rate, int channels,
                                             int32_t flags) {
    WAVEFORMATEX f = pcmFormat(channels, rate, 16);
    DSBUFFERDESC d;
    d.lFlags = flags;
    d.lBufferBytes = static_cast<int32_t>(pcm.size() * 2);
    auto b = ds.CreateSoundBuffer(d, f);
    b->WriteBuffer(0, d.lBufferBytes, pcm.data(), 0);
    return b;
}

std::shared_ptr<DirectSoundBuffer> sineBuffer(DirectSound& ds, double hz, int rate, double seconds, float amplitude,
                                              int32_t flags) {
    const auto s = sine(hz, rate, seconds, amplitude);
    std::vector<int16_t> pcm(s.size());
    for (size_t i = 0; i < s.size(); ++i) pcm[i] = static_cast<int16_t>(std::lround(s[i] * 32767.0f));
    return pcmBuffer(ds, pcm, rate, 1, flags);
}

}  // namespace zendra::test
