// A lost output device: the player is told once, the program goes on, and
// the device comes back with the bank still playing.
#include "core/device_watch.h"
#include "mixing/frm_sample_play.h"
#include "signal_measure.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class DeviceWatchTest : public UiTest {};

TEST_F(DeviceWatchTest, LossIsToldOnceAndTheDeviceReopensWithTheBankPlaying) {
    int notices = 0;
    hooks.notice = [&](const QString&, const QString&) { ++notices; };
    dialogs::setHooks(&hooks);
    startSound();
    loadBank({demo("tone-22050.wav")});
    ASSERT_EQ(DXMoudule::SampleBuffer.size(), 1u) << (messages.empty() ? "" : messages[0].text.toStdString());
    forms::frmSamplePlay().cmbSample_Click(0);
    EXPECT_GT(rmsDb(splitInterleaved(render(0.2), 48000).left), -20.0);

    DeviceWatch watch;
    backend->failOutput = true;  // the server is gone
    backend->loseOutput();
    for (int i = 0; i < 5; ++i) watch.check();
    EXPECT_TRUE(watch.lostNow());
    EXPECT_EQ(notices, 1);
    // The windows keep working meanwhile.
    forms::frmSamplePlay().cmbSample_Click(0);
    EXPECT_EQ(DXMoudule::SampleBuffer[0]->GetStatus(), 5);

    backend->failOutput = false;  // the server is back
    watch.check();
    EXPECT_FALSE(watch.lostNow());
    EXPECT_EQ(backend->outputsOpened(), 2);
    EXPECT_GT(rmsDb(splitInterleaved(render(0.2), 48000).left), -20.0);
    EXPECT_NEAR(frequencyHz(splitInterleaved(render(0.5), 48000).left, 48000), 440.0, 2.0);

    // A second loss is told again, once.
    backend->failOutput = true;
    backend->loseOutput();
    watch.check();
    watch.check();
    EXPECT_EQ(notices, 2);
}

}  // namespace
}  // namespace zendra::test
