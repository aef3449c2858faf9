// Playing the real program with real input on a real audio server: files
// chosen through the file dialog, keys bound through the prompt, Sample
// Properties set with the mouse, then pads clicked, keys typed into the Tap
// Pad and notes played on the Keyboard; the set-up saved as a kit; last, a
// change made just before the program is killed comes back in a new run. Each stretch of what the server plays is recorded from
// its monitor and measured (level, pitch, channel balance).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <signal.h>
#include <string>
#include <utility>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr size_t kBlock = kRate / 100;

// Pitch of each 40 ms window that sounds, merged into one value per run of
// windows within 0.3 % of each other (three at least). A loaded server runs
// dry every few tens of milliseconds at times: the pitch is taken from the
// median single cycle, which a dropout spoils only where it falls, so that
// a window with a dropout still counts (passing over such windows lost
// whole notes).
std::vector<double> steadyPitches(const std::vector<float>& x) {
    const size_t window = kRate / 25;
    std::vector<double> notes, run;
    auto close = [&] {
        if (run.size() >= 3 && (notes.empty() || std::fabs(notes.back() / run[0] - 1.0) > 0.003))
            notes.push_back(median(run));
        run.clear();
    };
    for (size_t at = 0; at + window <= x.size(); at += window) {
        if (rmsDb(x, at, at + window) < -40.0) continue;
        const double f = cycleFrequencyHz(x, kRate, at, at + window);
        if (!run.empty() && std::fabs(f / run[0] - 1.0) > 0.003) close();
        run.push_back(f);
    }
    close();
    return notes;
}

// The tone's 10 ms blocks (far louder left than right) in a recording,
// judged by content: a loaded server runs dry now and then.
struct ToneBlocks {
    size_t count = 0, last = 0;        // blocks, and where the last one starts
    std::vector<double> lefts, diffs;  // left level and left - right, of those without a dropout
};
ToneBlocks toneBlocks(const Stereo& s) {
    ToneBlocks t;
    for (size_t i = 0; i + kBlock <= s.left.size(); i += kBlock) {
        const double l = rmsDb(s.left, i, i + kBlock), r = rmsDb(s.right, i, i + kBlock);
        if (peakAbs(s.left, i, i + kBlock) < 0.05 || l - r < 20.0) continue;
        ++t.count, t.last = i;
        if (!hasDropout(s.left, i, kBlock)) t.lefts.push_back(l), t.diffs.push_back(l - r);
    }
    return t;
}

// The tone file's RMS, two volume steps down.
const double kToneLevel = 20 * std::log10(0.8 / std::sqrt(2.0)) - 10.0;

class PlayingE2E : public AppTest {
protected:
    std::optional<Spot> waitForm(int width, std::optional<Rect> avoid = {}) const {
        return app_->waitFor([&](const Screen& s) { return blackArea(s, width, kToolArea, avoid); });
    }
};

TEST_F(PlayingE2E, DialogPromptMouseAndKeysPlayTheBankAsSet) {
    ASSERT_NO_FATAL_FAILURE(launch("playing"));
    ZendraApp& app = this->app();
    const Display& display = *display_;
    // Bare names: the file dialog opens in the demo kit.
    ASSERT_NO_FATAL_FAILURE(app.loadDock({"tone-22050.wav", "kick.wav"}));

    // Key Associations: the tone on "t", the kick on "k", through the prompt.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kFileMenu, 4));
    const auto keys = waitForm(100);
    ASSERT_TRUE(keys.has_value()) << "no Key Associations";
    for (const auto& [row, key] : {std::pair{0, "t"}, {1, "k"}}) {
        ASSERT_TRUE(display.click(keys->first + tw(360 + 300), keys->second + tw(840 + row * 480 + 187)));
        ASSERT_NO_FATAL_FAILURE(app.answerWindow("^Key Associations$", key));
    }
    ASSERT_TRUE(display.click(keys->first + tw(5400 + 487), keys->second + tw(3060 + 187)));  // Done

    // Sample Pad, then Sample Properties beside it: both Loop boxes cleared,
    // the tone two volume steps down (-10 dB) and one pan step left.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 2));
    const auto pad = waitForm(200);
    ASSERT_TRUE(pad.has_value()) << "no Sample Pad";
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 4));
    const auto props = waitForm(500, Rect{pad->first, pad->second, tw(3000), tw(3000)});
    ASSERT_TRUE(props.has_value()) << "no Sample Properties";
    const int vx = props->first, row1 = props->second + tw(660 + 150), row2 = props->second + tw(1020 + 150);
    for (const auto& [x, y] : {Spot{vx + tw(1950), row1}, Spot{vx + tw(1950), row2}, Spot{vx + tw(2460) + 5, row1},
                               Spot{vx + tw(2460) + 5, row1}, Spot{vx + tw(4380) + 5, row1}}) {
        ASSERT_TRUE(display.click(x, y));
        sleepSeconds(0.15);
    }
    app.snapshot("properties");

    // Pads: the tone (2 s, once), then the kick.
    {
        MonitorRecording rec(*server_, app.artifact("pads.wav"));
        ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
        auto padCentre = [&](int i) { return Spot{pad->first + tw(480), pad->second + tw(120 + i * 840 + 360)}; };
        ASSERT_TRUE(display.click(padCentre(0).first, padCentre(0).second));
        sleepSeconds(3.0);
        ASSERT_TRUE(display.click(padCentre(1).first, padCentre(1).second));
        sleepSeconds(1.0);
        const Stereo s = rec.read();
        const ToneBlocks tone = toneBlocks(s);
        // Once, not looped: a loop would fill the recording and drown the kick.
        EXPECT_GE(tone.count, 150u);
        EXPECT_LE(tone.count, 300u);
        EXPECT_NEAR(median(tone.lefts), kToneLevel, 0.5);
        EXPECT_NEAR(median(tone.diffs), 33.33, 1.0);
        EXPECT_NEAR(cycleFrequencyHz(s.left, kRate, 0, tone.last), 440.0, 2.2);
        // The kick: centred, short, after the tone.
        const auto kick = onsets(s.left, kRate, 0.05f, 0.05);
        ASSERT_FALSE(kick.empty());
        EXPECT_GT(kick.back().first, tone.last);
        EXPECT_NEAR(rmsDb(s.left, kick.back().first, kick.back().second),
                    rmsDb(s.right, kick.back().first, kick.back().second), 1.0);
        EXPECT_LT(double(kick.back().second - kick.back().first) / kRate, 1.0);
    }

    // Tap Pad (opening it gives it the focus): "x" is bound to nothing; the
    // second "k" cuts the kick and starts it again.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 3));
    {
        MonitorRecording rec(*server_, app.artifact("taps.wav"));
        ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
        sleepSeconds(0.4);
        XTestKeyboard keyboard(display.name());
        ASSERT_TRUE(keyboard.ok());
        std::vector<Clock::time_point> at;
        for (const auto& [key, pause] : {std::pair{"x", 0.4}, {"k", 0.2}, {"k", 0.9}, {"x", 0.4}}) {
            const auto t = keyboard.tap(key);
            ASSERT_TRUE(t.has_value()) << key;
            at.push_back(*t);
            sleepSeconds(pause);
        }
        const Stereo s = rec.read();
        const auto segs = onsets(s.left, kRate, 0.01f, 0.2);
        ASSERT_EQ(segs.size(), 1u) << "only the kick may sound";
        const size_t kick = segs[0].first;
        EXPECT_GT(kick, firstFrameAfter(rec, s.left.size(), at[0]) + kRate / 4) << "the unbound key sounded";
        // A key's moment is when the X server confirmed it; the program may
        // sound it before this test's next look at the clock (a cycle or so).
        EXPECT_GE(kick + kRate / 100, firstFrameAfter(rec, s.left.size(), at[1]));
        // The restart plays a whole kick (0.45 s) from the second "k": the
        // sound lasts past the end of the first, and ends (no loop).
        const double length = double(segs[0].second - kick) / kRate;
        EXPECT_GT(length, 0.55);
        EXPECT_LT(length, 1.0);
    }

    // Keyboard (Tools, first item) through the menu bar's keys; it opens with
    // the focus on "Play as well", which Space ticks. The tone (440 Hz at
    // 22050 Hz) sounds at 440 F / 22050 for a note of F Hz.
    ASSERT_TRUE(display.focus(app.mainWindow()));
    for (const char* k : {"alt", "Right Down", "Return", "space"}) {
        ASSERT_TRUE(display.key(k));
        sleepSeconds(0.4);
    }
    {
        MonitorRecording rec(*server_, app.artifact("keyboard.wav"));
        ASSERT_TRUE(rec.waitStarted());
        sleepSeconds(0.3);
        // Modifiers and the keypad do not change the note: shift+2 is the 2
        // key, keypad 2 restarts the comma's note, shift+q is q's note.
        const std::pair<const char*, double> notes[] = {{"a", 7550}, {"shift+2", 15300}, {"comma", 35800},
                                                        {"KP_2", 0}, {"shift+q", 14550}, {"l", 36550}};
        std::vector<double> expected;
        for (const auto& [chord, hz] : notes) {
            ASSERT_TRUE(display.key(chord));
            sleepSeconds(0.7);
            if (hz > 0) expected.push_back(440.0 * hz / 22050.0);
        }
        const std::vector<double> heard = steadyPitches(rec.read().left);
        std::string text;
        for (double hz : heard) text += std::to_string(hz) + " Hz  ";
        ASSERT_EQ(heard.size(), expected.size()) << text;
        for (size_t i = 0; i < heard.size(); ++i) EXPECT_NEAR(heard[i], expected[i], expected[i] * 0.005) << i;
    }
    ASSERT_TRUE(app.alive()) << app.stderrText();

    // The set-up saved as a kit.
    TempDir folder("zendra-kit");
    const std::string kit = folder.path() + "/set.zkit";
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kFileMenu, 6));  // Save Kit As...
    ASSERT_NO_FATAL_FAILURE(app.answerWindow("^Save Kit As$", kit, true));
    for (int k = 0; k < 50 && !std::filesystem::exists(kit); ++k) sleepSeconds(0.2);
    ASSERT_TRUE(std::filesystem::exists(kit)) << "no kit saved";

    // The tone's pan a step further left, and 1.5 s later the program is
    // killed (SIGKILL, nothing kept at an end). A new run with the same home
    // offers the last session in the Sample Dock; Done brings it back, and
    // "t" in the Tap Pad plays the tone at its volume and its new pan.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 4));  // Sample Properties, where it was
    ASSERT_TRUE(display.click(vx + tw(4380) + 5, row1));
    sleepSeconds(1.5);
    ::kill(app.process().pid(), SIGKILL);
    EXPECT_EQ(app.process().waitExit(5.0), 128 + SIGKILL);
    app_.reset();
    ASSERT_NO_FATAL_FAILURE(launch("playing-again", {}, false, true));
    const auto dock = waitForm(400);
    ASSERT_TRUE(dock.has_value()) << "no Sample Dock";
    ASSERT_TRUE(display_->click(dock->first + tw(6480 + 427), dock->second + tw(120 + 187)));  // Done
    sleepSeconds(0.5);
    ASSERT_NO_FATAL_FAILURE(this->app().menuItem(kToolsMenu, 3));
    MonitorRecording rec(*server_, this->app().artifact("again.wav"));
    ASSERT_TRUE(rec.waitStarted());
    sleepSeconds(0.4);
    XTestKeyboard keyboard(display_->name());
    ASSERT_TRUE(keyboard.ok() && keyboard.tap("t").has_value());
    sleepSeconds(2.6);
    const ToneBlocks tone = toneBlocks(rec.read());
    ASSERT_GE(tone.count, 100u) << "the bound key did not play the tone";
    EXPECT_NEAR(median(tone.lefts), kToneLevel, 0.5);
    EXPECT_NEAR(median(tone.diffs), 66.66, 1.0);
    const IdleUse idle = idleUse(this->app().process().pid());
    std::printf("idle after the keys: process %.1f %%, window thread %.1f %%\n", 100 * idle.process,
                100 * idle.windowThread);
    EXPECT_LT(idle.windowThread, 0.03) << "the window thread keeps working with nothing happening";
    EXPECT_LT(idle.process, 0.15) << "the program keeps working with one sound playing";
}

}  // namespace
}  // namespace zendra::test
