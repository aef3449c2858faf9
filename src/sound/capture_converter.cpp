#include "sound/capture_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zendra {

CaptureConverter::CaptureConverter(int inRate, int outRate, int channels, int bits)
    : inRate_(static_cast<uint64_t>(inRate)),
      outRate_(static_cast<uint64_t>(outRate)),
      step_(static_cast<double>(inRate) / outRate),
      table_(SincKernels::instance().forStep(step_)),
      channels_(channels),
      bits_(bits),
      // The kernel's reach and a step are left over from each chunk.
      input_(static_cast<size_t>(table_.taps + kChunk) + static_cast<size_t>(std::ceil(step_)) + 4, 0.0f),
      // Silence before the first frame, so the first output is centred on it.
      held_(static_cast<size_t>(table_.taps / 2)),
      dots_(static_cast<size_t>(std::ceil(kChunk / step_)) + 4),
      bytes_(dots_.size() * static_cast<size_t>(channels) * (bits == 8 ? 1 : 2)) {}

void CaptureConverter::push(const float* in, int frames, CaptureSink& sink) noexcept {
    while (frames > 0) {
        const int n = std::min(frames, kChunk);
        std::memcpy(input_.data() + held_, in, sizeof(float) * static_cast<size_t>(n));
        held_ += static_cast<size_t>(n);
        in += n;
        frames -= n;
        convert(sink);
    }
}

void CaptureConverter::convert(CaptureSink& sink) noexcept {
    // The outputs whose kernel (taps frames, and one more) is all here: those
    // starting at most at frame `last`.
    const auto reach = static_cast<uint64_t>(table_.taps + 1);
    int n = 0;
    if (held_ >= reach) {
        const uint64_t last = consumed_ + held_ - reach;
        const uint64_t upTo = ((last + 1) * outRate_ - 1) / inRate_;  // the last output that fits
        if (upTo >= produced_) n = static_cast<int>(std::min<uint64_t>(upTo - produced_ + 1, dots_.size()));
    }
    if (n > 0) {
        SincRun run;
        run.coeffs = table_.coeffs.data();
        run.taps = table_.taps;
        run.phases = table_.phases;
        run.left = input_.data() + (firstFrame(produced_) - consumed_);
        run.pos = phase(produced_);
        run.step = step_;
        run.frames = n;
        run.outL = dots_.data();
        run.outR = dots_.data();
        sincDot()(run);
        uint8_t* b = bytes_.data();
        for (int i = 0; i < n; ++i) {
            const float x = std::clamp(dots_[static_cast<size_t>(i)], -1.0f, 1.0f);
            for (int c = 0; c < channels_; ++c) {
                if (bits_ == 8) {
                    *b++ = static_cast<uint8_t>(std::lround(x * 127.0f) + 128);
                } else {
                    const auto v = static_cast<int16_t>(std::lround(x * 32767.0f));
                    *b++ = static_cast<uint8_t>(v & 0xff);
                    *b++ = static_cast<uint8_t>((v >> 8) & 0xff);
                }
            }
        }
        sink.deliver(bytes_.data(), static_cast<size_t>(b - bytes_.data()));
        produced_ += static_cast<uint64_t>(n);
    }
    // Let go of the frames no later output reaches.
    const auto drop = static_cast<size_t>(std::min<uint64_t>(firstFrame(produced_) - consumed_, held_));
    std::memmove(input_.data(), input_.data() + drop, sizeof(float) * (held_ - drop));
    held_ -= drop;
    consumed_ += drop;
}

}  // namespace zendra
