// A sound's levels at a coarse grain, made once per sound, from which a
// waveform of any width is drawn without reading the sound again.
// Threads: an Overview, once made, may be read from any thread; the cache
// belongs to the window thread.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "sound/sample_data.h"

namespace zendra::samples {

// The lowest and highest level (-1..1) of one channel over some frames.
struct Peak {
    float min = 0.0f;
    float max = 0.0f;
    bool operator==(const Peak&) const = default;
};

// The peaks of frames [first, end) of one channel, read from the sound
// itself; {0, 0} for no frames.
Peak scanPeak(const SampleData& s, int channel, int64_t first, int64_t end);

class Overview {
public:
    static constexpr int64_t kBlockFrames = 256;

    Overview() = default;
    // Reads the whole sound once: the peaks of each block of kBlockFrames
    // frames (the last one may be shorter), channel by channel. A long sound
    // is read by several threads at once; all are done when this returns.
    explicit Overview(const SampleData& s);

    int channels() const { return channels_; }
    int64_t frames() const { return frames_; }
    int64_t blocks() const { return channels_ > 0 ? static_cast<int64_t>(peaks_.size()) / channels_ : 0; }
    Peak block(int64_t b, int channel) const { return peaks_[static_cast<size_t>(b * channels_ + channel)]; }

    // The peaks of `width` columns that share frames [first, end) evenly:
    // column x covers [first + x*n/width, first + (x+1)*n/width), n = end - first
    // (at least the frame it starts at). A column as wide as a block or more
    // is made from the blocks it touches; a narrower one from the sound
    // itself, `s`, the sound the overview was made from, read only where
    // the columns lie.
    std::vector<Peak> columns(const SampleData& s, int channel, int64_t first, int64_t end, int width) const;

private:
    int channels_ = 0;
    int64_t frames_ = 0;
    std::vector<Peak> peaks_;  // block by block, the channels of a block side by side
};

// The overviews of the sounds shown so far, each made at its first request.
// A sound is known by its address and size: clear() when the sounds are
// replaced, since a new sound may take an old one's place.
class OverviewCache {
public:
    std::shared_ptr<const Overview> get(const SampleData& s);
    void clear() { held_.clear(); }
    size_t size() const { return held_.size(); }

private:
    struct Held {
        const void* bytes;
        size_t size;
        std::shared_ptr<const Overview> overview;
    };
    std::vector<Held> held_;
};

}  // namespace zendra::samples
