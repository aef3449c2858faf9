// A device whose callbacks just stop when its server dies (SDL's own PipeWire
// driver) is noticed as lost after a quiet spell, the player is told once,
// and it is reopened when the server is back.
#include <chrono>
#include <thread>

#include "core/device_watch.h"
#include "sound/ds_types.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// A real-time device that reports nothing when lost: only the callbacks,
// which the test makes, show that it lives.
class QuietDevice : public OutputDevice {
public:
    explicit QuietDevice(bool silentLoss) : silentLoss_(silentLoss) {}
    int rate() const override { return 48000; }
    int bufferFrames() const override { return 128; }
    bool realtime() const override { return true; }
    bool stopsSilentlyWhenLost() const override { return silentLoss_; }

private:
    bool silentLoss_;
};

struct QuietBackend : OfflineBackend {
    explicit QuietBackend(bool silent) : silentLoss(silent) {}
    std::unique_ptr<OutputDevice> openOutput(const std::string&, OutputCallback*) override {
        if (failOutput) throw SoundError(DSERR_NODRIVER, "No sound output device could be opened.");
        ++opened;
        return std::make_unique<QuietDevice>(silentLoss);
    }
    bool silentLoss;
    int opened = 0;
};

class SilentDeviceLossTest : public UiTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SilentDeviceLossTest, QuietSpellIsALossOnlyForDevicesThatStopSilently) {
    const bool silentLoss = GetParam();
    auto quiet = std::make_shared<QuietBackend>(silentLoss);
    DXMoudule::setBackendFactory([quiet] { return quiet; });
    int notices = 0;
    hooks.notice = [&](const QString&, const QString&) { ++notices; };
    dialogs::setHooks(&hooks);
    startSound();
    DeviceWatch watch;
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
    callbacksFor(std::chrono::milliseconds(100));  // then it plays
    EXPECT_FALSE(watch.lostNow());
    EXPECT_EQ(notices, silentLoss ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Devices, SilentDeviceLossTest, ::testing::Bool());

}  // namespace
}  // namespace zendra::test
