// A block of PCM frames as stored in a sound buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zendra {

enum class SampleFormat : uint8_t { U8, S16, F32 };

inline int bytesPerSample(SampleFormat f) {
    switch (f) {
    case SampleFormat::U8: return 1;
    case SampleFormat::S16: return 2;
    case SampleFormat::F32: return 4;
    }
    return 1;
}

struct SampleData {
    SampleFormat format = SampleFormat::S16;
    int channels = 1;  // 1 or 2
    int rate = 22050;  // the file's own rate, Hz
    std::vector<uint8_t> bytes;

    int blockAlign() const { return bytesPerSample(format) * channels; }
    size_t frames() const { return bytes.size() / static_cast<size_t>(blockAlign()); }
};

}  // namespace zendra
