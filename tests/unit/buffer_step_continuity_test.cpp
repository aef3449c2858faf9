// A larger buffer taken in place: the device is not reopened and the sound
// goes on across the step with no gap and no repeated frame.
#include <cstring>
#include <gtest/gtest.h>

#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sample_player.h"

namespace zendra::test {
namespace {

TEST(BufferStepContinuity, ADeviceThatResizesInPlacePlaysOnFromTheSameFrame) {
    OfflineBackend backend;
    backend.resizeInPlace = true;
    auto engine = std::make_shared<OutputEngine>(backend, "");
    // A ramp at the device's rate: each output frame is one step above the last.
    auto ramp = std::make_shared<SampleData>();
    ramp->format = SampleFormat::F32;
    ramp->channels = 1;
    ramp->rate = engine->rate();
    const int n = 48000;
    ramp->bytes.resize(static_cast<size_t>(n) * 4);
    for (int k = 0; k < n; ++k) {
        const float v = static_cast<float>(k) * 1e-5f;
        std::memcpy(ramp->bytes.data() + 4 * static_cast<size_t>(k), &v, 4);
    }
    SamplePlayer player(engine);
    player.load({ramp});
    player.start(0);
    std::vector<float> out = engine->renderOffline(3000);
    ASSERT_TRUE(engine->reopenWithBuffer(256));
    EXPECT_EQ(engine->bufferFrames(), 256);
    EXPECT_EQ(backend.outputsOpened(), 1);  // not reopened
    const std::vector<float> after = engine->renderOffline(3000);
    out.insert(out.end(), after.begin(), after.end());
    // Past the resampler's lead-in, every frame is one step above the one before.
    for (size_t i = 2 * 200; i + 2 < out.size(); i += 2)
        ASSERT_NEAR(out[i + 2] - out[i], 1e-5f, 2e-6f) << "frame " << i / 2;
}

}  // namespace
}  // namespace zendra::test
