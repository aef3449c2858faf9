// Sound buffers made from generated PCM, for tests of the engine.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "sound/direct_sound.h"

namespace zendra::test {

// An integer PCM format record.
WAVEFORMATEX pcmFormat(int channels, int rate, int bits);

// A buffer holding 16-bit PCM frames (interleaved when stereo).
std::shared_ptr<DirectSoundBuffer> pcmBuffer(DirectSound& ds, const std::vector<int16_t>& pcm, int rate,
                                             int channels = 1, int32_t flags = 480);

// A 16-bit mono buffer holding a sine of the given amplitude (of full scale).
std::shared_ptr<DirectSoundBuffer> sineBuffer(DirectSound& ds, double hz, int rate, double seconds,
                                              float amplitude = 0.5f, int32_t flags = 480);

}  // namespace zendra::test
