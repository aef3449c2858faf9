// libFuzzer target: every input goes to the sound file reader straight from
// memory (the decoding of a file, without the file), whatever format it
// claims: WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF and the rest. Accepted
// sounds must be playable as they stand and within the memory allowed;
// refusals must name the file they were loaded under.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sound/sound_file.h"

namespace {
// Small enough that no single allocation passes the fuzzer's 64 MB limit.
constexpr uint64_t kMaxBytes = uint64_t{32} << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const zendra::SampleData d = zendra::readSoundMemory(data, size, "fuzz-input.wav", {kMaxBytes});
        if (d.channels < 1 || d.channels > 2 || d.rate < 100 || d.rate > 200000) std::abort();
        if (d.bytes.empty() || d.bytes.size() % static_cast<size_t>(d.blockAlign()) != 0) std::abort();
        if (d.bytes.size() > kMaxBytes) std::abort();
        for (size_t i = 0; d.format == zendra::SampleFormat::F32 && i < d.bytes.size(); i += 4) {
            float v;
            std::memcpy(&v, d.bytes.data() + i, 4);
            if (!std::isfinite(v)) std::abort();  // NaN and infinities are read as silence
        }
    } catch (const zendra::SoundError& e) {
        if (std::string(e.what()).find("\"fuzz-input.wav\"") == std::string::npos) std::abort();
    }
    return 0;
}
