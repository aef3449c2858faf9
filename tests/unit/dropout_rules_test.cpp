// The rules that judge a device's rhythm: which callbacks came so late that
// the device ran dry, and when late callbacks crowd together enough to step
// the buffer up; the engine following a device whose buffer size changes.
#include <cstdint>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

#include "sound/buffer_step.h"
#include "sound/lateness.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace zendra {
namespace {

TEST(BufferStepTest, StepsOnlyForLatenessCrowdedIntoTenSeconds) {
    constexpr int64_t s = 1'000'000'000;
    BufferStep spread;  // a late callback every 3 s, for a minute
    for (int i = 0; i <= 20; ++i) EXPECT_EQ(spread.look(i * 3 * s, static_cast<uint64_t>(i), 128), 0) << i;
    BufferStep crowded;
    EXPECT_EQ(crowded.look(0, 7, 128), 0);  // lateness before the first look is not held against it
    EXPECT_EQ(crowded.look(4 * s, 9, 128), 0);
    EXPECT_EQ(crowded.look(9 * s, 11, 128), 256);
    EXPECT_EQ(crowded.look(10 * s, 14, 256), 0);  // the larger buffer is judged afresh
    EXPECT_EQ(crowded.look(11 * s, 18, 256), 512);
    EXPECT_EQ(crowded.look(12 * s, 99, 512), 0);  // and there it stays
}

TEST(LatenessTest, ABurstyDeviceIsJudgedByItsOwnRhythm) {
    constexpr int64_t ms = 1'000'000, period = 2'666'667;  // 128 frames at 48 kHz
    for (const bool bursty : {false, true}) {
        // Steady: a callback every period. Bursty: two back to back every two periods.
        Lateness l;
        l.restart(period);
        int64_t t = 0;
        for (uint64_t i = 0; i < Lateness::kSettling; ++i) {
            t += bursty ? (i % 2 == 0 ? 2 * period : 0) : period;
            EXPECT_FALSE(l.onCallback(t));
        }
        EXPECT_EQ(l.onCallback(t + 6 * ms), !bursty) << bursty;  // within a bursty device's rhythm
        EXPECT_TRUE(l.onCallback(t + 6 * ms + 9 * ms)) << bursty;
    }
}

// A server that changes its buffer size (JACK's can): the engine's size
// follows at once, and lateness is judged afresh by the new period from the
// next callback on.
TEST(LatenessTest, TheEngineFollowsADeviceWhoseBufferSizeChanges) {
    OfflineBackend backend;
    backend.outputRealtime = true;
    OutputEngine engine(backend, "");
    std::vector<float> block(2 * 1024);
    engine.render(block.data(), 128);
    EXPECT_EQ(std::pair(engine.bufferFrames(), engine.latenessPeriodNanos()), std::pair(128, int64_t{2'666'666}));
    backend.resizeOutput(1024);
    EXPECT_EQ(engine.bufferFrames(), 1024);
    EXPECT_DOUBLE_EQ(engine.callbackTimes().periodNanos, 1e9 * 1024 / 48000);
    engine.render(block.data(), 1024);
    EXPECT_EQ(engine.latenessPeriodNanos(), int64_t{21'333'333});
}

}  // namespace
}  // namespace zendra
