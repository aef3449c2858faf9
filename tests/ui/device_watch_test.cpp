// The device watch: a device whose callbacks just stop when its server dies
// (SDL's own PipeWire driver) is noticed as lost after a quiet spell, the
// player is told once, and it is reopened when the server is back (back only
// once it keeps calling back); a stream that stalls as it starts is reopened
// once without a word; a device that keeps running dry gets a larger buffer,
// unless the buffer is its server's; a sound system asked for that could not
// be opened is named; a loss the audio system announces is told at once.
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <chrono>
#include <thread>

#include "core/device_watch.h"
#include "core/frm_reworked.h"
#include "sound/audio_systems.h"
#include "sound/ds_types.h"
#include "sound/lateness.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// A real-time device that reports nothing when lost: only the callbacks,
// which the test makes, show that it lives.
class QuietDevice : public OutputDevice {
public:
    QuietDevice(bool silentLoss, int frames, bool fixed) : silentLoss_(silentLoss), frames_(frames), fixed_(fixed) {}
    int rate() const override { return 48000; }
    int bufferFrames() const override { return frames_; }
    bool realtime() const override { return true; }
    int64_t quietLossNanos() const override { return silentLoss_ ? 500'000'000 : 0; }
    bool bufferFixed() const override { return fixed_; }

private:
    bool silentLoss_;
    int frames_;
    bool fixed_;
};

struct QuietBackend : OfflineBackend {
    explicit QuietBackend(bool silent) : silentLoss(silent) {}
    std::unique_ptr<OutputDevice> openOutput(const std::string&, int frames, OutputCallback*) override {
        if (failOutput) throw SoundError(DSERR_NODRIVER, "No sound output device could be opened.");
        ++opened;
        return std::make_unique<QuietDevice>(silentLoss, serverFrames > 0 ? serverFrames : frames, serverFrames > 0);
    }
    std::string name() const override { return "Quiet"; }
    bool silentLoss;
    int serverFrames = 0;  // the server's buffer, whatever is asked
    int opened = 0;
};

class SilentDeviceLossTest : public UiTest, public ::testing::WithParamInterface<bool> {
protected:
    // Sound on a quiet device, the notices counted.
    std::shared_ptr<QuietBackend> startQuiet(bool silentLoss) {
        auto quiet = std::make_shared<QuietBackend>(silentLoss);
        setBackendFactory([quiet] { return quiet; });
        hooks.notice = [this](const QString&, const QString&) { ++notices; };
        dialogs::setHooks(&hooks);
        startSound();
        return quiet;
    }
    int notices = 0;
};

TEST_P(SilentDeviceLossTest, QuietSpellIsALossOnlyForDevicesThatStopSilently) {
    const bool silentLoss = GetParam();
    auto quiet = startQuiet(silentLoss);
    DeviceWatch watch(forms::shared());
    float block[2 * 128];
    const auto callbacksFor = [&](std::chrono::milliseconds span) {
        for (auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;) {
            engine().render(block, 128);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            watch.check();
        }
    };
    callbacksFor(std::chrono::milliseconds(700));  // longer than the threshold, but never quiet
    EXPECT_FALSE(watch.lostNow());
    if (silentLoss) {  // a dying server's last callbacks come late; they make no step once it is back
        for (int i = 0; i < 300; ++i) engine().render(block, 128);
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(8));
            engine().render(block, 128);
        }
    }

    quiet->failOutput = true;  // the server dies: no more callbacks
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    watch.check();
    watch.check();
    EXPECT_EQ(watch.lostNow(), silentLoss);
    EXPECT_EQ(notices, silentLoss ? 1 : 0);

    quiet->failOutput = false;  // the server is back, but the reopened stream stays quiet at first
    watch.check();
    EXPECT_EQ(quiet->opened, silentLoss ? 2 : 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    watch.check();
    EXPECT_EQ(watch.lostNow(), silentLoss);
    EXPECT_EQ(quiet->opened, silentLoss ? 3 : 1);
    engine().render(block, 128);  // one callback, then quiet again: not back yet
    watch.check();
    EXPECT_EQ(watch.lostNow(), silentLoss);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    watch.check();
    EXPECT_EQ(quiet->opened, silentLoss ? 4 : 1);
    callbacksFor(std::chrono::milliseconds(200));  // then it plays
    EXPECT_FALSE(watch.lostNow());
    EXPECT_EQ(notices, silentLoss ? 1 : 0);
    EXPECT_EQ(quiet->opened, silentLoss ? 4 : 1);
}

TEST_F(SilentDeviceLossTest, AStreamThatStallsAsItStartsIsReopenedOnceWithoutAWordThenCountsAsLost) {
    auto quiet = startQuiet(true);
    DeviceWatch watch(forms::shared());
    QSignalSpy said(&watch, &DeviceWatch::statusChanged);
    float block[2 * 128];
    const auto stall = [&] {  // a few callbacks, then none
        for (int i = 0; i < 3; ++i) engine().render(block, 128);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        watch.check();
    };
    stall();
    EXPECT_EQ(quiet->opened, 2);
    EXPECT_FALSE(watch.lostNow());
    EXPECT_EQ(notices, 0);
    stall();  // the new stream stalls too: lost
    EXPECT_TRUE(watch.lostNow());
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(quiet->opened, 3);
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::milliseconds(3)))
        engine().render(block, 128);
    watch.check();
    EXPECT_FALSE(watch.lostNow());
    stall();  // played steadily since: a stall now is a loss at once
    EXPECT_TRUE(watch.lostNow());
    EXPECT_EQ(notices, 2);
    EXPECT_EQ(said.size(), 3) << "lost, back, lost";
}

INSTANTIATE_TEST_SUITE_P(Devices, SilentDeviceLossTest, ::testing::Bool());

class DropoutTest : public UiTest, public ::testing::WithParamInterface<bool> {};

TEST_P(DropoutTest, ADeviceThatKeepsRunningDryGetsALargerBufferAndThePlayerIsToldUnlessTheServerOwnsIt) {
    const bool serverOwnsBuffer = GetParam();
    auto quiet = std::make_shared<QuietBackend>(false);
    if (serverOwnsBuffer) quiet->serverFrames = 128;
    setBackendFactory([quiet] { return quiet; });
    dialogs::setHooks(&hooks);
    startSound();
    DeviceWatch watch(forms::shared());
    QSignalSpy said(&watch, &DeviceWatch::statusChanged);
    float block[2 * 512];
    const auto callbacks = [&](int n, int gapMs) {
        for (int i = 0; i < n; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
            engine().render(block, engine().bufferFrames());
        }
    };
    const auto settle = [&] { callbacks(static_cast<int>(Lateness::kSettling), 0); };
    callbacks(5, 25);  // while the stream settles: not counted
    settle();
    EXPECT_EQ(engine().lateCallbacks(), 0u);
    watch.check();
    callbacks(3, 25);
    watch.check();
    EXPECT_EQ(quiet->opened, 1);
    callbacks(1, 25);
    watch.check();
    if (serverOwnsBuffer) {
        callbacks(8, 25);
        watch.check();
        EXPECT_EQ(engine().lateCallbacks(), 12u);
        EXPECT_EQ(quiet->opened, 1) << "reopened, though the server keeps its buffer";
        EXPECT_EQ(said.size(), 0);
        return;
    }
    EXPECT_EQ(quiet->opened, 2);
    EXPECT_EQ(engine().bufferFrames(), 256);
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0][0].toString(),
              QStringLiteral("The sound kept dropping out: the audio buffer is now 256 frames (5.3 ms)."));
    settle();
    watch.check();
    callbacks(4, 25);
    watch.check();
    EXPECT_EQ(engine().bufferFrames(), 512);
    settle();
    watch.check();
    callbacks(6, 25);
    watch.check();
    EXPECT_EQ(quiet->opened, 3);
    EXPECT_EQ(said.size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Buffers, DropoutTest, ::testing::Bool());

TEST_F(DropoutTest, ASystemAskedForThatCouldNotBeOpenedIsNamedOnceWithTheOneThatPlays) {
    auto jack = std::make_shared<QuietBackend>(false), pipewire = std::make_shared<QuietBackend>(false);
    jack->failOutput = true;
    auto chosen = std::make_shared<ChosenAudio>(AudioSystem::Jack, [=](AudioSystem s) {
        return std::static_pointer_cast<AudioBackend>(s == AudioSystem::Jack ? jack : pipewire);
    });
    setBackendFactory([chosen] { return chosen; });
    dialogs::setHooks(&hooks);
    startSound();
    DeviceWatch watch(forms::shared());
    QSignalSpy said(&watch, &DeviceWatch::statusChanged);
    float block[2 * 128];
    engine().render(block, 128);
    watch.check();
    watch.check();
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0][0].toString(), QStringLiteral("JACK could not be opened (No sound output device could be "
                                                    "opened.): playing through Quiet."));
}

// A loss the audio system announces (PipeWire, JACK; here the offline one)
// is told through the event loop at once, and the device reopened, with no
// look at the device due for an hour.
TEST_F(DropoutTest, ALossTheSystemAnnouncesIsToldAtOnceWithoutWaitingForALook) {
    const int interval = DeviceWatch::intervalMs;
    DeviceWatch::intervalMs = 3'600'000;
    QStringList titles;
    hooks.notice = [&](const QString&, const QString& title) { titles << title; };
    dialogs::setHooks(&hooks);
    const bool started = startMain();
    DeviceWatch::intervalMs = interval;
    ASSERT_TRUE(started);
    backend->loseOutput();
    EXPECT_TRUE(titles.isEmpty());  // not from the thread that learnt it
    ASSERT_TRUE(QTest::qWaitFor([&] { return !titles.isEmpty(); }, 5000));
    EXPECT_EQ(titles, QStringList{"Sound device lost"});
    EXPECT_EQ(backend->outputsOpened(), 2);
    EXPECT_EQ(forms::FrmReworked().statusBar()->currentMessage(), "The sound device is back.");
    QTest::qWait(100);
    EXPECT_EQ(titles.size(), 1);
    EXPECT_EQ(backend->outputsOpened(), 2);
}

}  // namespace
}  // namespace zendra::test
