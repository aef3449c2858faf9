// Playing by typing, end to end: the real program under Xvfb on a private
// PulseAudio server. Two drum sounds are loaded through the Sample Dock's
// file dialog, bound to keys through the real prompt, made one-shot in Sample
// Properties, and played by typing into the Tap Pad; the server's monitor is
// recorded and measured.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;

class TapPadEndToEnd : public AppTest {
protected:

    // Waits for a tool window to show somewhere other than `before`: its
    // client area is the only black run of 100 pixels inside the main window.
    std::optional<Spot> waitForm(std::optional<Spot> before = {}) const {
        return app_->waitFor([&](const Screen& s) -> std::optional<Spot> {
            const auto at = blackArea(s, 100);
            return at && at != before ? at : std::nullopt;
        });
    }
};

TEST_F(TapPadEndToEnd, TypedKeysPlayTheirSamplesRepeatedKeyRestartsUnboundKeyIsSilent) {
    const auto t0 = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - t0).count(); };
    ASSERT_NO_FATAL_FAILURE(launch("tap-pad"));
    ZendraApp& app = this->app();
    std::cout << "main window after " << elapsed() << " s\n";

    // Sample Dock: two files through the file dialog, then Done.
    Spot dock;
    ASSERT_NO_FATAL_FAILURE(app.loadDock({demoKit() + "/kick.wav", demoKit() + "/snare.wav"}, &dock));

    // Key Associations: kick on "k", snare on "s", through the real prompt.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kFileMenu, 3));
    const auto keys = waitForm(dock);
    ASSERT_TRUE(keys.has_value());
    const auto [kx, ky] = *keys;
    ASSERT_TRUE(display_->click(kx + tw(360 + 300), ky + tw(840 + 187)));  // "1 ="
    ASSERT_NO_FATAL_FAILURE(app.answerWindow("^Key Associations$", "k"));
    ASSERT_TRUE(display_->click(kx + tw(360 + 300), ky + tw(840 + 480 + 187)));  // "2 ="
    ASSERT_NO_FATAL_FAILURE(app.answerWindow("^Key Associations$", "s"));
    app.snapshot("settings");
    ASSERT_TRUE(display_->click(kx + tw(5400 + 487), ky + tw(3060 + 187)));  // Done

    // Sample Properties: clear both Loop boxes so each hit plays once.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 4));
    const auto props = waitForm(keys);
    ASSERT_TRUE(props.has_value());
    const auto [px, py] = *props;
    ASSERT_TRUE(display_->click(px + tw(1800 + 150), py + tw(660 + 150)));
    ASSERT_TRUE(display_->click(px + tw(1800 + 150), py + tw(1020 + 150)));

    // Tap Pad: opening it gives it the focus.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 3));

    std::cout << "set up after " << elapsed() << " s\n";
    MonitorRecording rec(*server_, app.artifact("monitor.wav"));
    ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
    sleepSeconds(0.4);
    XTestKeyboard keyboard(display_->name());
    ASSERT_TRUE(keyboard.ok()) << "no XTEST on " << display_->name();
    struct Tap {
        std::string key;
        Clock::time_point at;
    };
    std::vector<Tap> taps;
    auto tap = [&](const std::string& key, double pause) {
        const auto at = keyboard.tap(key);
        ASSERT_TRUE(at.has_value()) << key;
        taps.push_back({key, *at});
        sleepSeconds(pause);
    };
    tap("x", 0.4);  // unbound
    tap("k", 0.2);
    tap("k", 0.9);  // cuts the first hit off and starts it again
    tap("s", 0.6);
    tap("x", 0.5);  // unbound, after the sounds have ended
    const Stereo s = rec.read();
    app.snapshot("typed");
    ASSERT_TRUE(app.alive()) << app.stderrText();
    std::cout << "recording: " << rec.path() << "\n";
    ASSERT_GT(s.left.size(), static_cast<size_t>(2 * kRate));

    // When each key was pressed, as a frame of the recording: the first
    // frame that reached the file after the key press.
    auto frameAt = [&](Clock::time_point t) { return firstFrameAfter(rec, s.left.size(), t); };

    // Two sounding stretches: the kick (hit twice) and the snare. Nothing
    // before the first "k" or after the snare: "x" plays nothing.
    const auto segs = onsets(s.left, kRate, 0.01f, 0.2);  // a dropout on a busy machine splits nothing
    for (const auto& [b, e] : segs) std::cout << "sound " << double(b) / kRate << " .. " << double(e) / kRate << " s\n";
    ASSERT_EQ(segs.size(), 2u) << "expected the kick and the snare only";
    const size_t kick = segs[0].first, snare = segs[1].first;
    EXPECT_GT(kick, frameAt(taps[0].at) + kRate / 4) << "the unbound key sounded";

    // The second "k" restarts the kick: the waveform after its cut-off fade
    // is the kick's start again, about the tap interval after the first.
    const double interval = std::chrono::duration<double>(taps[2].at - taps[1].at).count();
    const size_t window = kRate / 50, skip = 160;
    double best = 0.0;
    size_t bestAt = 0;
    for (size_t c = kick + kRate / 10; c + skip + window < segs[0].second && c < kick + kRate * 6 / 10; ++c) {
        const double r = correlation(s.left, kick + skip, c + skip, window);
        if (r > best) {
            best = r;
            bestAt = c;
        }
    }
    std::cout << "restart found " << double(bestAt - kick) / kRate << " s after the first hit (keys " << interval
              << " s apart), correlation " << best << "\n";
    EXPECT_GT(best, 0.9);
    // The kick sounds on for a whole kick (0.45 s) after the restart, past the
    // end of the first hit.
    EXPECT_GT(double(segs[0].second - kick) / kRate, 0.45 + 0.1);
    EXPECT_GT(double(segs[0].second - bestAt) / kRate, 0.4);
    EXPECT_GT(double(segs[1].second - snare) / kRate, 0.25);
    EXPECT_GT(snare, frameAt(taps[3].at));

    // Key to sound, reported rather than judged (timing belongs to the
    // benchmarks): from the key press reaching the X server to the onset
    // reaching the recording. An upper bound: it includes the recorder's
    // fragment (10 ms) and the file polling (1 ms).
    const std::pair<const Tap*, size_t> heard[] = {{&taps[1], kick}, {&taps[2], bestAt}, {&taps[3], snare}};
    for (const auto& [t, onset] : heard) {
        const auto at = rec.availableAt(onset);
        ASSERT_TRUE(at.has_value());
        const double ms = std::chrono::duration<double, std::milli>(*at - t->at).count();
        std::cout << "key '" << t->key << "': onset in the recording " << ms << " ms after the key press\n";
        EXPECT_GT(ms, 0.0) << "heard before the key";
    }
    app.terminate();
}

}  // namespace
}  // namespace zendra::test
