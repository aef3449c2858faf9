// Turns a device's float frames into the PCM a capture buffer asks for: its
// rate (band-limited, with the resampler's kernels), channels and depth
// (unsigned 8-bit or signed 16-bit little-endian). For audio systems that
// deliver only their own format (JACK). Made on the window thread; push() on
// the device's thread, which it never blocks and never allocates on.
#pragma once
#include <cstdint>
#include <vector>

#include "sound/audio_backend.h"
#include "sound/sinc_kernel.h"

namespace zendra {

class CaptureConverter {
public:
    static constexpr int kChunk = 1024;  // input frames converted at a time

    CaptureConverter(int inRate, int outRate, int channels, int bits);

    // Converts mono frames at the input rate and delivers what they complete.
    void push(const float* in, int frames, CaptureSink& sink) noexcept;

private:
    void convert(CaptureSink& sink) noexcept;

    // Where output `k`'s kernel starts: input frame k * inRate / outRate,
    // counted exactly, so the take does not depend on how frames arrive.
    uint64_t firstFrame(uint64_t k) const { return k * inRate_ / outRate_; }
    double phase(uint64_t k) const { return static_cast<double>(k * inRate_ % outRate_) / outRate_; }

    uint64_t inRate_, outRate_;
    double step_;  // input frames per output frame
    const SincTable& table_;
    int channels_, bits_;
    std::vector<float> input_;  // frames not yet passed, the kernel's reach among them
    size_t held_ = 0;           // frames in input_
    uint64_t consumed_ = 0;     // input frames before input_[0]
    uint64_t produced_ = 0;     // output frames so far
    std::vector<float> dots_;
    std::vector<uint8_t> bytes_;
};

}  // namespace zendra
