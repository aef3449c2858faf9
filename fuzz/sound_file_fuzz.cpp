// libFuzzer target: every input goes to the WAV reader straight from memory
// (the decoding of a file, without the file). Accepted sounds must be playable
// as they stand; refusals must name the file they were loaded under.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sound/sound_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const zendra::SampleData d = zendra::readSoundMemory(data, size, "fuzz-input.wav");
        if (d.channels < 1 || d.channels > 2 || d.rate < 100 || d.rate > 200000) std::abort();
        if (d.bytes.empty() || d.bytes.size() % static_cast<size_t>(d.blockAlign()) != 0) std::abort();
        // Never more sound than the input holds: three 8-bit channels become 8 bytes of float stereo.
        if (d.bytes.size() > 3 * size) std::abort();
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
