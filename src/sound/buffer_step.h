// When the sound keeps dropping out, the device buffer grows a step: 128
// frames (2.7 ms at 48 kHz) to 256, then 512. The decision is made from the
// output engine's count of late callbacks, looked at now and then.
#pragma once
#include <cstdint>
#include <deque>
#include <utility>

namespace zendra {

class BufferStep {
public:
    static constexpr int kLastFrames = 512;
    // This many late callbacks within the window make a step.
    static constexpr uint64_t kLateToStep = 4;
    static constexpr int64_t kWindowNanos = 10'000'000'000;

    // One look: the late callbacks counted so far and the buffer in use.
    // Returns the buffer to move to, or 0 to stay.
    int look(int64_t nowNanos, uint64_t lateSoFar, int bufferFrames);

private:
    std::deque<std::pair<int64_t, uint64_t>> looks_;  // within the window, oldest first
};

}  // namespace zendra
