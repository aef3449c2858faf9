// Tells late device callbacks: ones that come so long after the one before
// that the device must have run dry. What counts as late is learned from the
// device's own rhythm while it settles (a server that takes several buffers
// at a time calls back in bursts), and is never less than two buffers.
// Used by the audio thread alone.
#pragma once
#include <algorithm>
#include <cstdint>

namespace zendra {

class Lateness {
public:
    static constexpr uint64_t kSettling = 256;  // callbacks after opening that are not judged
    static constexpr uint64_t kLearnFrom = 32;  // the very first are irregular

    // A newly opened device with this buffer period; 0: never late
    // (rendering on demand).
    void restart(int64_t periodNanos) {
        period_ = periodNanos;
        seen_ = 0;
        usual_ = 0;
        lateAfter_ = 2 * periodNanos;
    }
    int64_t period() const { return period_; }
    // One callback, starting at `nowNanos`; true when it came late.
    bool onCallback(int64_t nowNanos) {
        const int64_t gap = nowNanos - last_;
        last_ = nowNanos;
        if (period_ <= 0) return false;
        const uint64_t n = seen_++;
        if (n >= kSettling) return gap > lateAfter_;
        if (n > kLearnFrom) usual_ = std::max(usual_, gap);
        if (n + 1 == kSettling) lateAfter_ = std::max(2 * period_, usual_ + period_);
        return false;
    }

private:
    int64_t period_ = 0, last_ = 0, usual_ = 0, lateAfter_ = 0;
    uint64_t seen_ = 0;
};

}  // namespace zendra
