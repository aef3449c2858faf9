// Loading samples and playing them with the mouse, end to end: the real
// program under Xvfb on a private PulseAudio server. The tone and the kick of
// the demo kit are chosen through the real file dialog (which opens in the
// demo kit), the tone gets a lower volume and a left pan in Sample
// Properties, and the pads are clicked; the server's monitor is recorded.
#include <gtest/gtest.h>

#include <algorithm>
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

using SamplePadEndToEnd = AppTest;

TEST_F(SamplePadEndToEnd, PadsPlayTheChosenFilesAtTheirPitchWithVolumeAndPan) {
    ASSERT_NO_FATAL_FAILURE(launch("sample-pad"));
    ZendraApp& app = this->app();

    // Sample Dock. Bare names: the dialog must open in the demo kit.
    ASSERT_NO_FATAL_FAILURE(app.loadDock({"tone-22050.wav", "kick.wav"}));

    // Sample Pad (Tools, second item): the only tool window showing.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 2));
    const auto padAt = app.waitFor([](const Screen& s) { return blackArea(s, 200); });
    ASSERT_TRUE(padAt.has_value()) << "no Sample Pad";
    const auto [px, py] = *padAt;

    // Sample Properties (Tools, fourth item), placed beside the pad.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 4));
    std::optional<Screen> screen;
    const auto propsAt = app.waitFor([&](const Screen& s) {
        const auto at = blackArea(s, 500, kToolArea, Rect{px, py, tw(3000), tw(3000)});
        if (at) screen = s;
        return at;
    });
    ASSERT_TRUE(propsAt.has_value()) << "no Sample Properties";
    const auto [vx, vy] = *propsAt;
    ASSERT_TRUE(screen->black(px + 2, py + 2)) << "Sample Properties covers the pad";
    // Row 1: Loop cleared, volume two steps down (-10 dB), pan one step left
    // (the right side 33.33 dB down). Row 2: Loop cleared.
    const int row1 = vy + tw(660 + 150), row2 = vy + tw(1020 + 150);
    ASSERT_TRUE(display_->click(vx + tw(1950), row1));
    ASSERT_TRUE(display_->click(vx + tw(1950), row2));
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(display_->click(vx + tw(2460) + 5, row1));  // the volume bar's left arrow
        sleepSeconds(0.15);
    }
    ASSERT_TRUE(display_->click(vx + tw(4380) + 5, row1));  // the pan bar's left arrow
    sleepSeconds(0.3);
    app.snapshot("properties");

    MonitorRecording rec(*server_, app.artifact("monitor.wav"));
    ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
    sleepSeconds(0.4);
    auto padCentre = [&](int i) {
        return std::make_pair(px + tw(120 + (i / 4) * 840 + 360), py + tw(120 + (i % 4) * 840 + 360));
    };
    const auto [t1x, t1y] = padCentre(0);
    ASSERT_TRUE(display_->click(t1x, t1y));  // the tone, 2 s once
    sleepSeconds(3.0);
    const auto [k1x, k1y] = padCentre(1);
    ASSERT_TRUE(display_->click(k1x, k1y));  // the kick
    sleepSeconds(1.0);
    const Stereo s = rec.read();
    app.snapshot("played");
    ASSERT_TRUE(app.alive()) << app.stderrText();
    std::cout << "recording: " << rec.path() << "\n";

    // A loaded machine lets the output underrun now and then, which cuts
    // gaps into the sound and delays the rest: judge 10 ms blocks by their
    // content, not by their time.
    constexpr size_t kBlock = kRate / 100;
    struct Block {
        double left, right, peak;
    };
    std::vector<Block> blocks;
    for (size_t i = 0; i + kBlock <= s.left.size(); i += kBlock) {
        blocks.push_back({rmsDb(s.left, i, i + kBlock), rmsDb(s.right, i, i + kBlock), peakAbs(s.left, i, i + kBlock)});
    }
    auto isTone = [&](size_t k) { return blocks[k].peak > 0.05 && blocks[k].left - blocks[k].right > 20.0; };
    auto isKick = [&](size_t k) { return blocks[k].peak > 0.05 && std::fabs(blocks[k].left - blocks[k].right) < 1.0; };
    // The longest unbroken run of blocks of one kind: [first, last).
    auto longestRun = [&](auto kind) {
        std::pair<size_t, size_t> best{0, 0};
        for (size_t k = 0; k < blocks.size();) {
            size_t e = k;
            while (e < blocks.size() && kind(e)) ++e;
            if (e - k > best.second - best.first) best = {k, e};
            k = e + 1;
        }
        return best;
    };
    size_t toneBlocks = 0, kickBlocks = 0, lastTone = 0, firstKick = blocks.size();
    std::vector<double> lefts, diffs;
    for (size_t k = 1; k + 1 < blocks.size(); ++k) {
        if (isTone(k)) {
            ++toneBlocks;
            lastTone = k;
            if (isTone(k - 1) && isTone(k + 1)) {  // inside a run: no fades
                lefts.push_back(blocks[k].left);
                diffs.push_back(blocks[k].left - blocks[k].right);
            }
        }
        if (isKick(k)) {
            ++kickBlocks;
            firstKick = std::min(firstKick, k);
        }
    }
    const auto [tb, te] = longestRun(isTone);
    std::cout << "tone: " << toneBlocks << " blocks, longest run " << (te - tb) * 10 << " ms; kick: " << kickBlocks
              << " blocks\n";
    // The tone: once (2 s of it in all), 440 Hz, -10 dB on the left and
    // 33.33 dB less on the right.
    ASSERT_GE(te - tb, 20u) << "no stretch of the tone long enough to measure";
    // 2 s of tone, give or take blocks split by gaps; a loop would fill the
    // whole recording and drown the kick.
    EXPECT_GE(toneBlocks, 185u);
    EXPECT_LE(toneBlocks, 260u);
    const double toneLeft = median(lefts), toneDiff = median(diffs);
    const double pitch = cycleFrequencyHz(s.left, kRate, (tb + 1) * kBlock, (te - 1) * kBlock);
    std::cout << "tone: " << pitch << " Hz, left " << toneLeft << " dB, left - right " << toneDiff << " dB\n";
    EXPECT_NEAR(pitch, 440.0, 440.0 * 0.005);
    const double fileLevel = 20 * std::log10(0.8 / std::sqrt(2.0));  // the demo tone's RMS
    EXPECT_NEAR(toneLeft, fileLevel - 10.0, 0.5);
    EXPECT_NEAR(toneDiff, 33.33, 1.0);

    // The kick: the second file, after the tone, centred, low.
    ASSERT_GE(kickBlocks, 10u) << "the kick did not sound";
    EXPECT_GT(firstKick, lastTone);
    const auto [kb, ke] = longestRun(isKick);
    const double kickPitch = cycleFrequencyHz(s.left, kRate, kb * kBlock, ke * kBlock);
    std::cout << "kick: " << kickBlocks * 10 << " ms, " << kickPitch << " Hz\n";
    EXPECT_LT(kickPitch, 300.0);
    EXPECT_LT(kickBlocks, 100u);
    app.terminate();
}

}  // namespace
}  // namespace zendra::test
