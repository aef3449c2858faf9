// A step to a larger buffer, taken in place or by a second device crossed
// over to: the sound goes on across it with no gap and no repeated frame.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sample_player.h"

namespace zendra::test {
namespace {

constexpr float kStep = 1e-5f;

// A ramp at the device's rate: each output frame is one step above the last.
std::shared_ptr<SampleData> ramp(int rate) {
    auto data = std::make_shared<SampleData>();
    data->format = SampleFormat::F32;
    data->channels = 1;
    data->rate = rate;
    const int n = 48000;
    data->bytes.resize(static_cast<size_t>(n) * 4);
    for (int k = 0; k < n; ++k) {
        const float v = static_cast<float>(k) * kStep;
        std::memcpy(data->bytes.data() + 4 * static_cast<size_t>(k), &v, 4);
    }
    return data;
}

TEST(BufferStepContinuity, ADeviceThatResizesInPlacePlaysOnFromTheSameFrame) {
    OfflineBackend backend;
    backend.resizeInPlace = true;
    auto engine = std::make_shared<OutputEngine>(backend, "");
    SamplePlayer player(engine);
    player.load({ramp(engine->rate())});
    player.start(0);
    std::vector<float> out = engine->renderOffline(3000);
    ASSERT_TRUE(engine->reopenWithBuffer(256));
    EXPECT_EQ(engine->bufferFrames(), 256);
    EXPECT_EQ(backend.outputsOpened(), 1);  // not reopened
    const std::vector<float> after = engine->renderOffline(3000);
    out.insert(out.end(), after.begin(), after.end());
    // Past the resampler's lead-in, every frame is one step above the one before.
    for (size_t i = 2 * 200; i + 2 < out.size(); i += 2)
        ASSERT_NEAR(out[i + 2] - out[i], kStep, 2e-6f) << "frame " << i / 2;
}

// A device that must be opened again for another size, which takes a while:
// the old one plays on while the new one opens beside it and takes over
// between two callbacks. Each round below calls back every open device once,
// as a server mixing their streams would.
TEST(BufferStepContinuity, ADeviceOpenedAgainTakesOverBetweenTwoCallbacks) {
    OfflineBackend backend;
    backend.outputRealtime = true;
    auto engine = std::make_shared<OutputEngine>(backend, "");
    backend.openOutputMs = 50;
    SamplePlayer player(engine);
    player.load({ramp(engine->rate())});
    player.start(0);
    std::vector<std::vector<float>> rounds;  // the sounding blocks of each round, in callback order
    std::atomic<bool> steady{false};
    std::thread device([&] {
        std::vector<float> block(2 * 128);
        for (int round = 0, after = 0; round < 300 && after < 20; ++round) {
            if (round == 20) steady = true;
            if (steady) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (backend.outputsOpened() == 2) ++after;
            std::vector<float> sounding;
            for (int i = backend.outputsOpened() - 1; i >= 0; --i) {
                if (!backend.renderOutput(i, block.data(), 128)) continue;
                if (std::any_of(block.begin(), block.end(), [](float v) { return v != 0.0f; }))
                    sounding.insert(sounding.end(), block.begin(), block.end());
            }
            rounds.push_back(sounding);
        }
    });
    while (!steady) std::this_thread::yield();
    engine->mixer().flush();
    EXPECT_TRUE(engine->reopenWithBuffer(256));
    device.join();
    EXPECT_EQ(backend.outputsOpened(), 2);
    EXPECT_EQ(engine->bufferFrames(), 128);  // the new device's, as it was opened
    float block[2 * 128];
    EXPECT_FALSE(backend.renderOutput(0, block, 128)) << "the old device is still called back";
    std::vector<float> out;
    for (size_t r = 2; r < rounds.size(); ++r) {
        ASSERT_EQ(rounds[r].size(), 2u * 128) << "round " << r << ": not one device sounding";
        out.insert(out.end(), rounds[r].begin(), rounds[r].end());
    }
    for (size_t i = 0; i + 2 < out.size(); i += 2) ASSERT_NEAR(out[i + 2] - out[i], kStep, 2e-6f) << "frame " << i / 2;
}

}  // namespace
}  // namespace zendra::test
