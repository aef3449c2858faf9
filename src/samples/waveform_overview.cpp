#include "samples/waveform_overview.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace zendra::samples {

namespace {

// Levels of the stored formats, as -1..1.
float level(uint8_t v) { return (static_cast<float>(v) - 128.0f) / 128.0f; }
float level(int16_t v) { return static_cast<float>(v) / 32768.0f; }
float level(float v) { return v; }

template <typename T>
const T* samplesOf(const SampleData& s) {
    return reinterpret_cast<const T*>(s.bytes.data());
}

// Peaks of frames [first, end) of one channel; end > first.
template <typename T>
Peak scan(const T* x, int channels, int channel, int64_t first, int64_t end) {
    T lo = x[first * channels + channel], hi = lo;
    for (int64_t f = first + 1; f < end; ++f) {
        const T v = x[f * channels + channel];
        lo = v < lo ? v : lo;
        hi = hi < v ? v : hi;
    }
    return {level(lo), level(hi)};
}

// Peaks of blocks [from, to), every channel, into `out`. The samples of a
// block are taken in runs of kLanes side by side (kLanes a multiple of the
// channel count, so lane k holds channel k % channels), which the compiler
// turns into vector minimum and maximum instructions.
template <typename T>
void scanBlocks(const T* x, int channels, int64_t frames, int64_t from, int64_t to, Peak* out) {
    constexpr int kLanes = 32;
    for (int64_t b = from; b < to; ++b) {
        const int64_t first = b * Overview::kBlockFrames;
        const int64_t n = std::min(Overview::kBlockFrames, frames - first) * channels;
        const T* p = x + first * channels;
        T lo[kLanes], hi[kLanes];
        for (int k = 0; k < kLanes; ++k) lo[k] = hi[k] = p[k % channels];
        int64_t i = 0;
        for (; i + kLanes <= n; i += kLanes) {
            for (int k = 0; k < kLanes; ++k) {
                const T v = p[i + k];
                lo[k] = v < lo[k] ? v : lo[k];
                hi[k] = hi[k] < v ? v : hi[k];
            }
        }
        for (; i < n; ++i) {
            const int k = static_cast<int>(i % channels);
            lo[k] = p[i] < lo[k] ? p[i] : lo[k];
            hi[k] = hi[k] < p[i] ? p[i] : hi[k];
        }
        for (int c = 0; c < channels; ++c) {
            T l = lo[c], h = hi[c];
            for (int k = c; k < kLanes; k += channels) {
                l = lo[k] < l ? lo[k] : l;
                h = h < hi[k] ? hi[k] : h;
            }
            out[b * channels + c] = {level(l), level(h)};
        }
    }
}

Peak merge(Peak a, Peak b) { return {std::min(a.min, b.min), std::max(a.max, b.max)}; }

}  // namespace

Peak scanPeak(const SampleData& s, int channel, int64_t first, int64_t end) {
    first = std::max<int64_t>(first, 0);
    end = std::min<int64_t>(end, static_cast<int64_t>(s.frames()));
    if (end <= first || channel < 0 || channel >= s.channels) return {};
    switch (s.format) {
    case SampleFormat::U8: return scan(samplesOf<uint8_t>(s), s.channels, channel, first, end);
    case SampleFormat::S16: return scan(samplesOf<int16_t>(s), s.channels, channel, first, end);
    case SampleFormat::F32: return scan(samplesOf<float>(s), s.channels, channel, first, end);
    }
    return {};
}

Overview::Overview(const SampleData& s) : channels_(s.channels), frames_(static_cast<int64_t>(s.frames())) {
    if (channels_ < 1 || frames_ == 0) return;
    const int64_t blocks = (frames_ + kBlockFrames - 1) / kBlockFrames;
    peaks_.resize(static_cast<size_t>(blocks * channels_));
    auto part = [&](int64_t from, int64_t to) {
        switch (s.format) {
        case SampleFormat::U8: scanBlocks(samplesOf<uint8_t>(s), channels_, frames_, from, to, peaks_.data()); break;
        case SampleFormat::S16: scanBlocks(samplesOf<int16_t>(s), channels_, frames_, from, to, peaks_.data()); break;
        case SampleFormat::F32: scanBlocks(samplesOf<float>(s), channels_, frames_, from, to, peaks_.data()); break;
        }
    };
    // A long sound is shared out among the cores; this thread takes the
    // first share and waits for the others, so the sound is never read
    // after the constructor returns.
    constexpr int64_t kBlocksAlone = 4096;  // about a million frames
    const int64_t shares =
        std::clamp<int64_t>(std::min<int64_t>(std::thread::hardware_concurrency(), 4), 1, blocks / kBlocksAlone + 1);
    std::vector<std::thread> helpers;
    for (int64_t k = 1; k < shares; ++k) {
        try {
            helpers.emplace_back(part, blocks * k / shares, blocks * (k + 1) / shares);
        } catch (const std::system_error&) {
            part(blocks * k / shares, blocks * (k + 1) / shares);  // no thread to be had: here, then
        }
    }
    part(0, blocks / shares);
    for (std::thread& t : helpers) t.join();
}

std::vector<Peak> Overview::columns(const SampleData& s, int channel, int64_t first, int64_t end, int width) const {
    first = std::clamp<int64_t>(first, 0, frames_);
    end = std::clamp<int64_t>(end, first, frames_);
    if (width <= 0 || first == end || channel < 0 || channel >= channels_) return {};
    std::vector<Peak> out(static_cast<size_t>(width));
    const int64_t n = end - first;
    const bool fromBlocks = n / width >= kBlockFrames;
    for (int x = 0; x < width; ++x) {
        const int64_t a = first + x * n / width;
        const int64_t b = std::max(first + (x + 1) * n / width, a + 1);
        if (!fromBlocks) {
            out[static_cast<size_t>(x)] = scanPeak(s, channel, a, b);
            continue;
        }
        Peak p = block(a / kBlockFrames, channel);
        for (int64_t k = a / kBlockFrames + 1; k * kBlockFrames < b; ++k) p = merge(p, block(k, channel));
        out[static_cast<size_t>(x)] = p;
    }
    return out;
}

std::shared_ptr<const Overview> OverviewCache::get(const SampleData& s) {
    for (const Held& h : held_)
        if (h.bytes == s.bytes.data() && h.size == s.bytes.size()) return h.overview;
    auto made = std::make_shared<const Overview>(s);
    held_.push_back({s.bytes.data(), s.bytes.size(), made});
    return made;
}

}  // namespace zendra::samples
