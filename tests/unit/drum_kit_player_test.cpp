// Drum-kit playing of the sample player, measured on its rendered output,
// offline: velocity layers, mute groups, envelopes and played ranges.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "signal_measure.h"
#include "sound/ds_types.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sample_player.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;  // the offline device's; sounds at this rate play frame for frame

std::shared_ptr<SampleData> floats(const std::vector<float>& x) {
    auto d = std::make_shared<SampleData>();
    d->format = SampleFormat::F32;
    d->rate = kRate;
    d->bytes.resize(x.size() * sizeof(float));
    std::memcpy(d->bytes.data(), x.data(), d->bytes.size());
    return d;
}
std::shared_ptr<SampleData> dc(float level, size_t frames = 4800) { return floats(std::vector<float>(frames, level)); }

double mean(const std::vector<float>& x, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += x[i];
    return sum / static_cast<double>(end - begin);
}

class DrumKitPlayerTest : public ::testing::Test {
protected:
    std::vector<float> render(int frames) { return splitInterleaved(engine->renderOffline(frames), kRate).left; }
    OfflineBackend backend;
    std::shared_ptr<OutputEngine> engine = std::make_shared<OutputEngine>(backend, "");
    SamplePlayer player{engine};
};

TEST_F(DrumKitPlayerTest, AVelocityPlaysItsLayerAndAWindowStartTheDefaultOne) {
    SamplePlayer::SlotSounds kit;
    kit.layers = {{dc(0.1f), 1, 40}, {dc(0.3f), 41, 90}, {dc(0.6f), 91, 127}};
    player.load({kit});
    player.setLoop(0, true);
    // Each note cuts off the layer before it: what sounds is the new layer alone.
    for (const auto& [velocity, level] : {std::pair{10, 0.1}, {60, 0.3}, {127, 0.6}, {41, 0.3}}) {
        ASSERT_TRUE(player.startFromDevice(0, 1.0f, velocity));
        EXPECT_NEAR(mean(render(2048), 512, 2048), level, 1e-3) << velocity;
    }
    player.start(0);  // the highest range
    EXPECT_NEAR(mean(render(2048), 512, 2048), 0.6, 1e-3);
    player.startFromDevice(0, 1.0f);  // no velocity: the same
    EXPECT_NEAR(mean(render(2048), 512, 2048), 0.6, 1e-3);

    // One marked as default; ranges with gaps between them: the nearest.
    kit.layers = {{dc(0.1f), 20, 40}, {dc(0.3f), 60, 80}, {dc(0.6f), 100, 120}};
    kit.defaultLayer = 0;
    player.load({kit});
    player.start(0);
    EXPECT_NEAR(mean(render(2048), 512, 2048), 0.1, 1e-3);
    player.startFromDevice(0, 1.0f, 55);
    EXPECT_NEAR(mean(render(2048), 512, 2048), 0.3, 1e-3);
    EXPECT_EQ(player.layerFor(0, 1), 0);
    EXPECT_EQ(player.layerFor(0, 95), 2);
    EXPECT_EQ(player.layerFor(0, 127), 2);
    EXPECT_EQ(player.layerFor(0, -1), 0);

    kit.layers[1].maxVelocity = 128;
    EXPECT_THROW(player.load({kit}), SoundError);
    kit.layers.assign(9, {dc(0.1f)});
    EXPECT_THROW(player.load({kit}), SoundError);
    EXPECT_EQ(player.layers(0), 3);  // a refused bank changes nothing
}

TEST_F(DrumKitPlayerTest, AStartCutsOffTheOtherSlotsOfItsMuteGroupWithinFiveMsWithoutAClick) {
    const float a = 0.5f, c = 0.2f;
    player.load({dc(a), dc(0.0f), dc(c)});
    for (int s : {0, 1, 2}) player.setLoop(s, true);
    player.setMuteGroup(0, 3);
    player.setMuteGroup(1, 3);
    player.setMuteGroup(2, 4);  // another group plays on
    const size_t fiveMs = kRate / 200;
    for (bool fromDevice : {false, true}) {
        SCOPED_TRACE(fromDevice ? "device" : "window");
        player.start(0);
        player.start(2);
        std::vector<float> joined = render(2048);
        ASSERT_NEAR(joined.back(), a + c, 1e-3);
        joined.erase(joined.begin(), joined.end() - 8);
        if (fromDevice)
            player.startFromDevice(1, 1.0f, 100);
        else
            player.start(1);
        const std::vector<float> after = render(512);
        joined.insert(joined.end(), after.begin(), after.end());
        for (size_t i = fiveMs; i < after.size(); ++i) ASSERT_NEAR(after[i], c, 1e-4) << i;
        EXPECT_FALSE(player.playing(0));
        EXPECT_TRUE(player.playing(2));
        // It fades over the mixer's cut-off fade, no faster.
        EXPECT_LT(maxStep(joined), a * 1.1 / Mixer::kGainRampFrames);
        player.stop(2);
        render(512);
    }
}

TEST_F(DrumKitPlayerTest, TheEnvelopeRampsHoldsAndReleasesOnlyOnANoteOffWhenAsked) {
    const float a = 0.5f;
    player.load({dc(a, 48000)});
    player.setLoop(0, true);
    Envelope e{10.0f, 10.0f, 0.5f, 20.0f, true};  // 480, 480 frames to 0.5; release 960
    player.setEnvelope(0, e);
    player.start(0);
    std::vector<float> out = render(4800);
    EXPECT_NEAR(out[119], a * 120 / 480.0, 1e-3);
    EXPECT_NEAR(out[239], a * 240 / 480.0, 1e-3);
    EXPECT_NEAR(out[479], a, 1e-3);  // full at the end of the attack
    EXPECT_NEAR(out[480 + 239], a * (1 - 0.5 * 240 / 480.0), 1e-3);
    for (size_t i = 960; i < out.size(); ++i) ASSERT_NEAR(out[i], a * 0.5, 1e-3) << i;  // sustained
    for (bool fromDevice : {false, true}) {
        SCOPED_TRACE(fromDevice ? "device" : "window");
        player.start(0);
        render(2400);
        if (fromDevice)
            player.releaseFromDevice(0);
        else
            player.release(0);
        out = render(1500);
        EXPECT_NEAR(out[479], a * 0.5 * 480 / 960.0, 1e-3);
        EXPECT_LT(peakAbs(out, 960), 1e-6);
        EXPECT_LT(maxStep(out), a * 0.5 / 960 * 1.1);
        EXPECT_FALSE(player.playing(0));
    }
    // A one-shot: note-off changes nothing.
    e.releaseOnNoteOff = false;
    player.setEnvelope(0, e);
    player.start(0);
    render(2400);
    player.release(0);
    player.releaseFromDevice(0);
    out = render(2400);
    EXPECT_NEAR(mean(out, 0, out.size()), a * 0.5, 1e-3);
    EXPECT_TRUE(player.playing(0));
    // Decayed to silence: the sound ends there.
    player.setEnvelope(0, {0.0f, 10.0f, 0.0f, 0.0f, false});
    player.start(0);
    out = render(960);
    EXPECT_NEAR(out[239], a * 0.5, 1e-3);
    EXPECT_LT(peakAbs(out, 480), 1e-6);
    EXPECT_FALSE(player.playing(0));
}

TEST_F(DrumKitPlayerTest, TheDefaultEnvelopeLeavesTheOutputAsAPlainVoiceMakesIt) {
    std::vector<float> chirp(9600);
    for (size_t i = 0; i < chirp.size(); ++i) chirp[i] = 0.5f * std::sin(1e-4f * static_cast<float>(i * i));
    auto sound = floats(chirp);
    player.load({sound});
    player.setEnvelope(0, {5.0f, 5.0f, 0.5f, 5.0f, true});
    player.setEnvelope(0, Envelope{});
    player.release(0);  // deaf to note-off again
    player.start(0);
    const std::vector<float> shaped = engine->renderOffline(8000);
    // The sound itself from its first frame: no ramp, no change of level.
    for (size_t i = 0; i < 8000; ++i) ASSERT_NEAR(shaped[2 * i], chirp[i], 1e-4) << i;
    // Bit for bit what a voice that never had an envelope plays.
    OfflineBackend otherBackend;
    OutputEngine other(otherBackend, "");
    other.mixer().start(other.mixer().attach(sound.get(), kRate), false, 1.0f);
    EXPECT_EQ(other.renderOffline(8000), shaped);
}

TEST_F(DrumKitPlayerTest, AStartPlaysFromTheStartFrameToTheEndFrameOrLoopsBetweenThem) {
    std::vector<float> ramp(4000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 4000.0f;
    player.load({floats(ramp)});
    player.setRange(0, 1000, 2500);
    player.start(0);
    std::vector<float> out = render(2048);
    for (size_t j = 32; j < 1468; ++j) ASSERT_NEAR(out[j], (1000.0 + j) / 4000.0, 3e-4) << j;
    EXPECT_LT(peakAbs(out, 1532), 1e-6);  // ends at the end frame
    EXPECT_FALSE(player.playing(0));
    EXPECT_EQ(player.position(0), 1000);

    player.setLoop(0, true);
    player.start(0);
    out = render(4096);
    for (size_t j = 0; j < out.size(); ++j)
        if (j % 1500 >= 32 && j % 1500 < 1468) {
            ASSERT_NEAR(out[j], (1000.0 + j % 1500) / 4000.0, 3e-4) << j;
        }
    EXPECT_NEAR(player.position(0), 1000 + 4096 % 1500, 1);
    // To the end of the sound, and back to its whole (the loop cut off fades first).
    player.setRange(0, 3000, -1);
    player.start(0);
    out = render(2048);
    for (size_t j = 64; j < 968; ++j) ASSERT_NEAR(out[j], (3000.0 + j) / 4000.0, 3e-4) << j;
    player.setRange(0, 0, -1);
    player.start(0);
    out = render(2048);
    for (size_t j = 64; j < 2048; ++j) ASSERT_NEAR(out[j], j / 4000.0, 3e-4) << j;
}

}  // namespace
}  // namespace zendra::test
