// The audio server dying under the running program: a loop plays from the
// Sample Pad, the server is killed; the program stays alive and answering,
// tells the player once, and when a new server comes up on the same socket
// the loop carries on and a new pad click is heard, without a restart.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr size_t kWindow = kRate / 20;  // whole cycles of 220 and 440 Hz
constexpr const char* kNotice = "^Sound device lost$";

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Median level of `hz` over the windows of the mid channel that hold no
// dropout, from the first window where it rises above -20 dB; nullopt if it
// never does.
std::optional<double> bandLevel(const Stereo& s, double hz, size_t from = 0) {
    std::vector<float> mid(s.left.size());
    for (size_t i = 0; i < mid.size(); ++i) mid[i] = 0.5f * (s.left[i] + s.right[i]);
    std::vector<double> levels = bandLevelsDb(mid, kRate, hz, kWindow, from, mid.size());
    const auto on = std::find_if(levels.begin(), levels.end(), [](double db) { return db > -20.0; });
    if (on == levels.end()) return std::nullopt;
    return median(std::vector<double>(on, levels.end()));
}

using AudioServerLoss = AppTest;

TEST_F(AudioServerLoss, ProgramOutlivesItsServerTellsOnceAndPlaysOnTheNextOne) {
    ASSERT_NO_FATAL_FAILURE(launch("server-loss"));
    ZendraApp& app = this->app();
    const Display& display = *display_;
    // Slot 1 the 220 Hz pad sound, slot 2 the 440 Hz tone; both loop.
    ASSERT_NO_FATAL_FAILURE(app.loadDock({"pad-22050.wav", "tone-22050.wav"}));
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 2));  // Sample Pad
    const auto pad = app.waitFor([](const Screen& s) { return blackArea(s, 200); });
    ASSERT_TRUE(pad.has_value()) << "no Sample Pad";
    const int padX = pad->first + tw(480), pad1Y = pad->second + tw(480), pad2Y = pad->second + tw(1320);
    const double loopFile = 20 * std::log10(0.6);
    {
        MonitorRecording rec(*server_, app.artifact("before.wav"));
        ASSERT_TRUE(rec.waitStarted());
        ASSERT_TRUE(display.click(padX, pad1Y));
        sleepSeconds(1.5);
        const auto loop = bandLevel(rec.read(), 220.0);
        ASSERT_TRUE(loop.has_value()) << "the loop was not heard on the first server";
        EXPECT_NEAR(*loop, loopFile, 1.0);
    }

    const auto killedAt = Clock::now();
    server_->kill();
    const auto notice = display.findWindow(kNotice, 10.0);
    ASSERT_TRUE(notice.has_value()) << "no notice of the lost device";
    EXPECT_LT(since(killedAt), 3.0);
    // While it is down: pads clicked, and the menus still open and close.
    const double cpuAtKill = cpuSeconds(app.process().pid());
    auto visible = [&](const std::vector<std::string>& wids) {
        const auto now = display.windowsByClass(kAppClass);
        return std::any_of(wids.begin(), wids.end(),
                           [&](const auto& w) { return std::count(now.begin(), now.end(), w); });
    };
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(display.click(padX, pad1Y));
        const auto before = display.windowsByClass(kAppClass);
        ASSERT_TRUE(display.click(app.mainGeometry().x + kToolsMenu, app.mainGeometry().y + 8));
        std::vector<std::string> menu;  // what opened: the Tools menu
        for (int i = 0; i < 80 && menu.empty(); ++i, sleepSeconds(0.05))
            for (const auto& w : display.windowsByClass(kAppClass))
                if (!std::count(before.begin(), before.end(), w)) menu.push_back(w);
        ASSERT_FALSE(menu.empty()) << "the Tools menu did not open";
        ASSERT_TRUE(display.key("Escape"));
        for (int i = 0; i < 80 && visible(menu); ++i) sleepSeconds(0.05);
        ASSERT_FALSE(visible(menu)) << "the Tools menu did not close";
    }
    ASSERT_TRUE(app.alive()) << app.stderrText();
    EXPECT_LT((cpuSeconds(app.process().pid()) - cpuAtKill) / since(killedAt), 0.5) << "something spins";
    EXPECT_EQ(display.windowsByName(kNotice).size(), 1u) << app.stderrText();
    ASSERT_TRUE(display.key("Return", *notice));
    ASSERT_TRUE(display.waitWindowGone(kNotice, 8.0)) << "the notice did not close on Return";
    sleepSeconds(1.2);
    EXPECT_TRUE(display.windowsByName(kNotice).empty()) << "a second notice for the same loss";

    // A new server on the same socket: the loop carries on by itself.
    const auto restartAt = Clock::now();
    server_->restart();
    std::optional<double> loopBack;
    while (!loopBack && since(restartAt) < 15.0) {
        MonitorRecording probe(*server_, app.artifact("probe.wav"));
        ASSERT_TRUE(probe.waitStarted()) << "parecord did not start on the new server";
        sleepSeconds(0.6);
        loopBack = bandLevel(probe.read(), 220.0);
    }
    ASSERT_TRUE(loopBack.has_value()) << "the loop was not heard on the new server";
    EXPECT_NEAR(*loopBack, loopFile, 1.0);
    // The second pad is heard over it, only after its click.
    MonitorRecording rec(*server_, app.artifact("after.wav"));
    ASSERT_TRUE(rec.waitStarted());
    sleepSeconds(0.6);
    const auto clickAt = Clock::now();
    ASSERT_TRUE(display.click(padX, pad2Y));
    sleepSeconds(1.5);
    const Stereo s = rec.read();
    const size_t clickFrame = firstFrameAfter(rec, s.left.size(), clickAt);
    const auto tone = bandLevel(s, 440.0);
    ASSERT_TRUE(tone.has_value()) << "the click on the new server was not heard";
    EXPECT_NEAR(*tone, 20 * std::log10(0.8), 2.0);
    EXPECT_FALSE(bandLevel(
        Stereo{{s.left.begin(), s.left.begin() + clickFrame}, {s.right.begin(), s.right.begin() + clickFrame}, kRate},
        440.0))
        << "the tone sounded before its pad was clicked";
    EXPECT_TRUE(display.windowsByName(kNotice).empty()) << "a notice after the device came back";
    const IdleUse idle = idleUse(app.process().pid());
    std::printf("idle after the loss: process %.1f %%, window thread %.1f %%\n", 100 * idle.process,
                100 * idle.windowThread);
    EXPECT_LT(idle.windowThread, 0.03) << "the window thread keeps working with nothing happening";
    EXPECT_LT(idle.process, 0.15) << "the program keeps working with two loops playing";
}

}  // namespace
}  // namespace zendra::test
