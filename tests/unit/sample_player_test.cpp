// The sample player measured on its rendered output, offline: starting by
// slot, gain, pan, level and rate in native units, a new bank, and starts
// from a device's own thread.
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "signal_measure.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sample_player.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;
constexpr float kSilence = 1e-4f;

// A mono float sound holding a sine.
std::shared_ptr<SampleData> tone(double hz, int rate, double seconds, float amp = 0.5f) {
    auto d = std::make_shared<SampleData>();
    d->format = SampleFormat::F32;
    d->channels = 1;
    d->rate = rate;
    const std::vector<float> s = sine(hz, rate, seconds, amp);
    d->bytes.resize(s.size() * sizeof(float));
    std::memcpy(d->bytes.data(), s.data(), d->bytes.size());
    return d;
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

TEST_F(SamplePlayerTest, AStartWhilePlayingRestartsFromTheBeginningInTheSameBlock) {
    player.load({tone(1000, 24000, 1.0)});
    player.setLoop(0, true);
    player.start(0);
    render(0.2);
    EXPECT_NEAR(player.position(0), 4800, 2);
    player.start(0);
    EXPECT_EQ(player.position(0), 0);
    const Stereo after = renderFrames(480);
    EXPECT_NEAR(player.position(0), 240, 2);
    EXPECT_TRUE(player.looping(0));
    // Once the cut sound has faded, what plays is the sound from its start.
    for (size_t i = 100; i < 480; ++i) EXPECT_NEAR(after.left[i], expected(1000, i), 0.01) << i;
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
    const double cases[][4] = {{-6, 0, -6, -6},        {-25, 0, -25, -25},        {0, -0.2173, 0, -21.73},
                               {0, 0.2173, -21.73, 0}, {-5, -0.2173, -5, -26.73}, {0, -0.5, 0, -50},
                               {0, 1, -200, 0},        {-3, -1, -3, -200},        {-100, 0, -200, -200},
                               {-150, 0, -200, -200}};
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
    for (const int hz : {44100, 11025}) {
        player.setRateHz(0, hz);
        render(0.01);
        const double want = 441.0 * hz / 22050;
        EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), want, want * 0.005) << hz;
        EXPECT_EQ(player.rateHz(0), hz);
    }
    player.setRateHz(0, 0);  // not a rate: nothing changes
    render(0.01);
    EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), 220.5, 220.5 * 0.005);
    EXPECT_EQ(player.rateHz(0), 11025);
}

TEST_F(SamplePlayerTest, ANewBankCutsOffTheOldAndStartsStopped) {
    player.load({tone(1000, 48000, 0.5), tone(500, 48000, 0.5)});
    player.setLoop(0, true);
    player.setLoop(1, true);
    player.start(0);
    player.start(1);
    EXPECT_GT(peakAbs(render(0.1).left), 0.5);
    player.load({tone(700, 48000, 0.5)});
    EXPECT_EQ(player.count(), 1);
    EXPECT_FALSE(player.playing(0));
    EXPECT_FALSE(player.playing(1));
    EXPECT_LT(peakAbs(render(0.1).left, 64), kSilence);
    player.start(0);
    EXPECT_NEAR(frequencyHz(render(0.2).left, kRate), 700, 700 * 0.005);
    EXPECT_FALSE(player.looping(0));  // not looping, whatever the old bank's slot did
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
    EXPECT_FALSE(player.startFromDevice(2, 1.0f));  // no such slot
    EXPECT_FALSE(player.startFromDevice(-1, 1.0f));
    EXPECT_FALSE(player.startFromDevice(SamplePlayer::kSlots, 1.0f));
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

// The same at the mixer: a start published for a voice that has been
// detached and attached to another sound since is left alone.
TEST(MixerDeviceStart, AStartForAVoiceAttachedAgainSinceIsIgnored) {
    OfflineBackend backend;
    OutputEngine engine(backend, "");
    Mixer& mixer = engine.mixer();
    auto a = tone(1000, 48000, 0.5), b = tone(500, 48000, 0.5);
    const int v = mixer.attach(a.get(), a->rate);
    engine.renderOffline(128);
    const DeviceStart old{DeviceStart::Start, static_cast<int16_t>(v), true, mixer.attachSeq(v), 1.0f};
    ASSERT_TRUE(mixer.startFromDevice(old));
    mixer.detach(v, a);
    ASSERT_EQ(mixer.attach(b.get(), b->rate), v);
    EXPECT_LT(peakAbs(engine.renderOffline(4800)), kSilence);
    EXPECT_EQ(mixer.status(v), 0);
    // A start published for the voice as it is now plays.
    ASSERT_TRUE(mixer.startFromDevice({DeviceStart::Start, static_cast<int16_t>(v), false, mixer.attachSeq(v), 1.0f}));
    EXPECT_GT(peakAbs(engine.renderOffline(4800)), 0.4);
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

}  // namespace
}  // namespace zendra::test
