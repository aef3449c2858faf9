// The Cross Fade end to end: the real program under Xvfb on a private
// PulseAudio server. Two looping demo-kit samples (the 440 Hz tone and the
// 220 Hz pad) are loaded through the real file dialog and started from the
// Sample Pad; in the Cross Fade the right side is set to sample 2, coupling
// is switched on and the faders are moved with mouse clicks on an arrow and
// in a trough. The server's monitor is recorded after each move and the
// level of each sample is measured in its own frequency band.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;
constexpr size_t kWindow = kRate / 20;  // 50 ms: whole periods of 220 and 440 Hz and their harmonics

class CrossFadeEndToEnd : public AppTest {
protected:

    // Records the monitor for a while and measures both samples' bands on
    // the mid channel (the pad's stereo drift cancels there), leaving out
    // windows with a dropout.
    std::pair<double, double> levels(const std::string& name) const {
        MonitorRecording rec(*server_, app_->artifact(name + ".wav"));
        EXPECT_TRUE(rec.waitStarted()) << "parecord did not start";
        sleepSeconds(2.0);
        const Stereo s = rec.read();
        std::vector<float> mid(s.left.size());
        for (size_t i = 0; i < mid.size(); ++i) mid[i] = 0.5f * (s.left[i] + s.right[i]);
        const size_t begin = kRate / 10;
        const std::vector<double> tone = bandLevelsDb(mid, kRate, 440.0, kWindow, begin, mid.size());
        const std::vector<double> pad = bandLevelsDb(mid, kRate, 220.0, kWindow, begin, mid.size());
        const size_t all = mid.size() > begin ? (mid.size() - begin) / kWindow : 0;
        std::cout << name << ": " << tone.size() << " of " << all << " windows without a gap; tone "
                  << median(tone, -300.0) << " dB, pad " << median(pad, -300.0) << " dB\n";
        EXPECT_GE(tone.size(), 8u) << "too few whole windows in " << rec.path();
        return {median(tone, -300.0), median(pad, -300.0)};
    }
};

TEST_F(CrossFadeEndToEnd, CoupledFadersMovedByMouseSetBothSamplesLevels) {
    ASSERT_NO_FATAL_FAILURE(launch("cross-fade"));
    ZendraApp& app = this->app();

    // Sample Dock: the tone and the pad, both loop by default.
    ASSERT_NO_FATAL_FAILURE(app.loadDock({demoKit() + "/tone-22050.wav", demoKit() + "/pad-22050.wav"}));

    // Sample Pad (Tools, second item): start both.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 2));
    const auto padAt = app.waitFor([](const Screen& s) {
        return blackArea(s, 400) ? std::nullopt : blackArea(s, 200);  // once the dock has gone
    });
    ASSERT_TRUE(padAt.has_value()) << "no Sample Pad";
    const auto [px, py] = *padAt;
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(display_->click(px + tw(120 + 360), py + tw(120 + i * 840 + 360)));

    // Cross Fade (Tools, sixth item), in front of the pad.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 6));
    const auto cfAt = app.waitFor([](const Screen& s) { return blackRunOf(s, tw(3015)); });
    ASSERT_TRUE(cfAt.has_value()) << "no Cross Fade";
    const auto [cx, cy] = *cfAt;
    // The right chooser to "2", then coupling on.
    ASSERT_TRUE(display_->click(cx + tw(1800 + 400), cy + tw(120 + 157)));
    ASSERT_TRUE(display_->key("ctrl+a"));
    ASSERT_TRUE(display_->type("2"));
    ASSERT_TRUE(display_->click(cx + tw(120 + 607), cy + tw(3420 + 187)));  // Enable
    sleepSeconds(0.3);

    // The left fader's down arrow: left at -1 (tone -5 dB), right at -4 (pad -20 dB).
    const int leftX = cx + tw(540 + 127), rightX = cx + tw(2220 + 127);
    const int barTop = cy + tw(600), barBottom = cy + tw(600 + 2535);
    ASSERT_TRUE(display_->click(leftX, barBottom - 6));
    sleepSeconds(0.3);
    app.snapshot("coupled");
    const auto [tone1, pad1] = levels("after-arrow");

    // The right fader's trough above its thumb: right up to -3, so left down
    // to -2 (tone -10 dB, pad -15 dB).
    ASSERT_TRUE(display_->click(rightX, barTop + tw(300) + 8));
    sleepSeconds(0.3);
    app.snapshot("trough");
    const auto [tone2, pad2] = levels("after-trough");
    ASSERT_TRUE(app.alive()) << app.stderrText();

    const double toneFile = 20 * std::log10(0.8), padFile = 20 * std::log10(0.6);  // the files' amplitudes
    EXPECT_NEAR(tone1 - toneFile, -5.0, 0.5);
    EXPECT_NEAR(pad1 - padFile, -20.0, 0.5);
    EXPECT_NEAR(tone2 - toneFile, -10.0, 0.5);
    EXPECT_NEAR(pad2 - padFile, -15.0, 0.5);
    EXPECT_NEAR(tone2 - tone1, -5.0, 0.3);
    EXPECT_NEAR(pad2 - pad1, 5.0, 0.3);
    app.terminate();
}

}  // namespace
}  // namespace zendra::test
