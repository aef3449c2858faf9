// The sample player measured on its rendered output, offline: starting by
// slot, gain, pan, level and rate in native units, a new bank, starts from a
// device's own thread, and drum-kit playing.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "signal_measure.h"
#include "sound/ds_types.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sample_player.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;
constexpr float kSilence = 1e-4f;

// A mono float sound of these samples.
std::shared_ptr<SampleData> floats(const std::vector<float>& x, int rate = kRate) {
    auto d = std::make_shared<SampleData>();
    d->format = SampleFormat::F32;
    d->rate = rate;
    d->bytes.resize(x.size() * sizeof(float));
    std::memcpy(d->bytes.data(), x.data(), d->bytes.size());
    return d;
}
// One holding a sine.
std::shared_ptr<SampleData> tone(double hz, int rate, double seconds, float amp = 0.5f) {
    return floats(sine(hz, rate, seconds, amp), rate);
}

// The sine a tone plays at the device rate, at output frame i.
double expected(double hz, size_t i, double amp = 0.5) {
    return amp * std::sin(2 * M_PI * hz * static_cast<double>(i) / kRate);
}

class SamplePlayerTest : public ::testing::Test {
protected:
    Stereo render(double seconds) { return renderFrames(static_cast<int>(std::lround(seconds * kRate))); }
    Stereo renderFrames(int frames) { return splitInterleaved(engine->renderOffline(frames), kRate); }
    // One block as the audio thread mixes it: only what was already published.
    Stereo audioBlock(int frames) {
        std::vector<float> block(2 * static_cast<size_t>(frames));
        engine->render(block.data(), frames);
        return splitInterleaved(block, kRate);
    }
    // Level of the next 0.3 s after the gain ramp has settled.
    std::pair<double, double> levelsDb() {
        render(0.05);
        const Stereo s = render(0.3);
        return {std::max(rmsDb(s.left), -200.0), std::max(rmsDb(s.right), -200.0)};
    }

    OfflineBackend backend;
    std::shared_ptr<OutputEngine> engine = std::make_shared<OutputEngine>(backend, "");
    SamplePlayer player{engine};
};

TEST_F(SamplePlayerTest, StartPlaysFromTheFirstFrameOnceOrLoopingAsSet) {
    // 0.1 s at half the device rate: 4800 frames of output.
    player.load({tone(1000, 24000, 0.1)});
    ASSERT_EQ(player.count(), 1);
    EXPECT_FALSE(player.playing(0));
    EXPECT_FALSE(player.loops(0));  // a new bank plays once
    EXPECT_EQ(player.rateHz(0), 24000);
    EXPECT_LT(peakAbs(render(0.05).left), kSilence);

    player.start(0);
    EXPECT_TRUE(player.playing(0));
    EXPECT_FALSE(player.looping(0));
    const Stereo once = render(0.2);
    // Past the resampler's reach into the silence before it.
    for (size_t i = 50; i < 250; ++i) EXPECT_NEAR(once.left[i], expected(1000, i), 0.01) << i;
    // It ends at the sound's end and stays there.
    EXPECT_GT(peakAbs(once.left, 4600, 4790), 0.4);
    EXPECT_LT(peakAbs(once.left, 4810), kSilence);
    EXPECT_FALSE(player.playing(0));

    player.setLoop(0, true);
    EXPECT_FALSE(player.playing(0));  // only a start plays
    player.start(0);
    EXPECT_TRUE(player.looping(0));
    const Stereo looped = render(0.35);
    EXPECT_GT(peakAbs(looped.left, 4810, 9000), 0.4);
    EXPECT_GT(peakAbs(looped.left, 15000), 0.4);
    EXPECT_TRUE(player.looping(0));
    // Turning the loop off leaves the sound playing as it was; the next start plays once.
    player.setLoop(0, false);
    render(0.2);
    EXPECT_TRUE(player.looping(0));
    player.start(0);
    EXPECT_FALSE(player.looping(0));
    render(0.15);
    EXPECT_FALSE(player.playing(0));
}

TEST_F(SamplePlayerTest, StopKeepsThePlaceResumeAndPlayOnGoOnFromItRewindGoesBack) {
    player.load({tone(1000, 48000, 1.0)});
    player.start(0);
    render(0.1);
    player.stop(0);
    EXPECT_FALSE(player.playing(0));
    render(0.1);
    const int64_t at = player.position(0);
    EXPECT_NEAR(at, 4800, 2);
    EXPECT_LT(peakAbs(render(0.05).left), kSilence);
    player.resume(0);
    render(0.1);
    EXPECT_NEAR(player.position(0), at + 4800, 2);
    player.playOn(0, true);  // only the loop flag changes
    EXPECT_TRUE(player.looping(0));
    render(0.1);
    EXPECT_NEAR(player.position(0), at + 9600, 2);
    player.rewind(0);
    EXPECT_EQ(player.position(0), 0);
    const Stereo rewound = renderFrames(480);
    EXPECT_TRUE(player.looping(0));  // playing on, from the start
    for (size_t i = 100; i < 480; ++i) EXPECT_NEAR(rewound.left[i], expected(1000, i), 0.01) << i;
}

TEST_F(SamplePlayerTest, GainInDecibelsOnBothSidesPanAttenuatesOnlyTheFarSide) {
    player.load({tone(1000, 48000, 0.5)});
    player.setLoop(0, true);
    player.start(0);
    const auto [fullL, fullR] = levelsDb();
    EXPECT_NEAR(fullL, 20 * std::log10(0.5 / std::sqrt(2.0)), 0.1);  // a new bank plays at full gain
    EXPECT_NEAR(fullR, fullL, 0.01);
    // gain dB, pan, then the left and right levels relative to full; -200: silence.
    const double cases[][4] = {{-6, 0, -6, -6}, {0, -0.2173, 0, -21.73}, {-5, 0.2173, -26.73, -5},
                               {0, 1, -200, 0}, {-100, 0, -200, -200},   {-150, 0, -200, -200}};
    for (const auto& [db, pan, left, right] : cases) {
        player.setGainDb(0, db);
        player.setPan(0, pan);
        const auto [l, r] = levelsDb();
        const double gotL = l < -150 ? -200 : l - fullL, gotR = r < -150 ? -200 : r - fullR;
        EXPECT_NEAR(gotL, left, 0.1) << db << "/" << pan;
        EXPECT_NEAR(gotR, right, 0.1) << db << "/" << pan;
    }
    EXPECT_EQ(player.gainDb(0), SamplePlayer::kSilentDb);
    player.setPan(0, 5);
    EXPECT_EQ(player.pan(0), 1.0);
}

TEST_F(SamplePlayerTest, LevelScalesOnlyThePlayItStarts) {
    player.load({tone(1000, 48000, 0.5)});
    player.setLoop(0, true);
    player.start(0);
    const double full = levelsDb().first;
    player.start(0, 0.5f);
    EXPECT_NEAR(levelsDb().first - full, -6.02, 0.05);
    player.setGainDb(0, -6);  // on top of the level of this play
    EXPECT_NEAR(levelsDb().first - full, -12.02, 0.05);
    player.start(0);
    EXPECT_NEAR(levelsDb().first - full, -6, 0.05);
    EXPECT_EQ(player.gainDb(0), -6);
}

TEST_F(SamplePlayerTest, RateInHertzSetsThePitch) {
    player.load({tone(441, 22050, 0.5)});
    player.setLoop(0, true);
    player.start(0);
    render(0.01);
    EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), 441, 441 * 0.005);
    for (const int hz : {44100, 11025, 0}) {  // 0: not a rate, nothing changes
        player.setRateHz(0, hz);
        render(0.01);
        const double want = 441.0 * (hz ? hz : 11025) / 22050;
        EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), want, want * 0.005) << hz;
        EXPECT_EQ(player.rateHz(0), hz ? hz : 11025);
    }
}

TEST_F(SamplePlayerTest, AStartFromAnotherThreadSoundsInTheNextBlock) {
    player.load({tone(1000, 48000, 0.5), tone(1000, 48000, 0.5)});
    player.setLoop(1, true);
    player.setGainDb(1, -6);
    render(0.01);  // what the window thread set is published
    bool started = false;
    std::thread device([&] { started = player.startFromDevice(1, 0.5f); });
    device.join();
    EXPECT_TRUE(started);
    const Stereo first = audioBlock(128);
    // From its first frame, at its gain times the level.
    const double amp = 0.5 * std::pow(10.0, -6.0 / 20) * 0.5;
    for (size_t i = 0; i < 128; ++i) EXPECT_NEAR(first.left[i], expected(1000, i, amp), 0.005) << i;
    EXPECT_TRUE(player.looping(1));  // as its loop was set
    EXPECT_FALSE(player.playing(0));
    for (int none : {2, -1, SamplePlayer::kSlots}) EXPECT_FALSE(player.startFromDevice(none, 1.0f)) << none;
}

TEST_F(SamplePlayerTest, ADeviceStartNeverPlaysASoundOfANewerBank) {
    player.load({tone(1000, 48000, 0.5), tone(500, 48000, 0.5)});
    render(0.01);
    // Published for the old bank, not yet taken by the audio thread.
    ASSERT_TRUE(player.startFromDevice(1, 1.0f));
    // Two new banks: the second one takes the voice of the old bank's slot 1.
    player.load({tone(700, 48000, 0.5)});
    player.load({tone(900, 48000, 0.5)});
    EXPECT_FALSE(player.startFromDevice(1, 1.0f));  // beyond the new bank
    EXPECT_LT(peakAbs(render(0.1).left), kSilence);
    EXPECT_FALSE(player.playing(0));
    // What was published for the new bank plays it.
    EXPECT_TRUE(player.startFromDevice(0, 1.0f));
    EXPECT_NEAR(frequencyHz(render(0.2).left, kRate), 900, 900 * 0.005);
}

TEST_F(SamplePlayerTest, DeviceStartsBeyondWhatTheAudioThreadHoldsAreRefusedNotWaitedFor) {
    player.load({tone(1000, 48000, 0.5)});
    render(0.01);
    int accepted = 0;
    while (accepted < 100000 && player.startFromDevice(0, 1.0f)) ++accepted;
    EXPECT_GE(accepted, 64);
    EXPECT_LT(accepted, 100000);
    EXPECT_FALSE(player.startFromDevice(0, 1.0f));
    EXPECT_GT(peakAbs(audioBlock(128).left), 0.4);  // the audio thread takes them
    EXPECT_TRUE(player.startFromDevice(0, 1.0f));
}

// Sounds at the device rate play frame for frame.
std::shared_ptr<SampleData> dc(float level, size_t frames = 4800) { return floats(std::vector<float>(frames, level)); }

double mean(const std::vector<float>& x, size_t begin, size_t end) {
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += x[i];
    return sum / static_cast<double>(end - begin);
}

// Drum-kit playing: velocity layers, mute groups, envelopes and played ranges.
class DrumKitPlayerTest : public SamplePlayerTest {
protected:
    std::vector<float> render(int frames) { return renderFrames(frames).left; }
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
