// libFuzzer target: every input is handed to the WAV reader straight from
// memory (the same decoding as for a file, without the file round trip).
// Accepted sounds must come back consistent; refused ones must say why and
// give the name they were loaded under.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sound/wav_file.h"

namespace {
const std::string kName = "fuzz-input.wav";
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const zendra::SampleData d = zendra::readWavMemory(data, size, kName);
        // What comes back must be playable as it stands.
        if (d.channels < 1 || d.channels > 2) std::abort();
        if (d.rate < 100 || d.rate > 200000) std::abort();
        if (d.bytes.empty() || d.bytes.size() % static_cast<size_t>(d.blockAlign()) != 0) std::abort();
        // Never more sound than the input holds: the widest case, three 8-bit
        // channels mixed to float stereo, turns 3 bytes into 8.
        if (d.bytes.size() > 3 * size) std::abort();
        // Float sound is always finite: NaN and infinities are read as silence.
        if (d.format == zendra::SampleFormat::F32) {
            for (size_t i = 0; i + 4 <= d.bytes.size(); i += 4) {
                float v;
                std::memcpy(&v, d.bytes.data() + i, 4);
                if (!std::isfinite(v)) std::abort();
            }
        }
    } catch (const zendra::SoundError& e) {
        if (std::string(e.what()).find("\"" + kName + "\"") == std::string::npos) std::abort();
    }
    return 0;
}
