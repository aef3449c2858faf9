#include "sound/buffer_step.h"

namespace zendra {

int BufferStep::look(int64_t nowNanos, uint64_t lateSoFar, int bufferFrames) {
    while (!looks_.empty() && nowNanos - looks_.front().first > kWindowNanos) looks_.pop_front();
    looks_.emplace_back(nowNanos, lateSoFar);
    if (bufferFrames >= kLastFrames || lateSoFar - looks_.front().second < kLateToStep) return 0;
    looks_.clear();  // the larger buffer is judged afresh
    return bufferFrames * 2 > kLastFrames ? kLastFrames : bufferFrames * 2;
}

}  // namespace zendra
