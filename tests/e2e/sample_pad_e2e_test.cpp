// Loading samples and playing them with the mouse, end to end: the real
// program under Xvfb on a private PulseAudio server. The tone and the kick of
// the demo kit are chosen through the real file dialog (which opens in the
// demo kit), the tone gets a lower volume and a left pan in Sample
// Properties, and the pads are clicked; the server's monitor is recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "e2e_env.h"
#include "signal_measure.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;

// A length in twips as the program lays it out (96 dpi under Xvfb).
int tw(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

struct Screen {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    bool black(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * w + x) * 3;
        return rgb[i] == 0 && rgb[i + 1] == 0 && rgb[i + 2] == 0;
    }
};

std::optional<Screen> grabScreen(const Display& display, const std::string& path) {
    if (!display.screenshot(path)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    Screen s;
    in >> magic >> s.w >> s.h >> maxval;
    in.get();
    if (magic != "P6" || s.w <= 0 || s.h <= 0 || maxval <= 0 || maxval > 65535) return std::nullopt;
    const size_t bytesPerValue = maxval > 255 ? 2 : 1;
    std::vector<unsigned char> raw(static_cast<size_t>(s.w) * s.h * 3 * bytesPerValue);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (!in) return std::nullopt;
    s.rgb.resize(static_cast<size_t>(s.w) * s.h * 3);
    for (size_t i = 0; i < s.rgb.size(); ++i) s.rgb[i] = raw[i * bytesPerValue];
    return s;
}

// Top-left corner of the first black area at least `width` pixels wide (a tool
// window's client area: the main window's background is grey), skipping
// areas that start inside `avoid` (x, y, w, h).
std::optional<std::pair<int, int>> blackArea(const Screen& s, int width, std::optional<std::array<int, 4>> avoid = {}) {
    for (int y = 20; y < std::min(s.h, 768); ++y) {
        int run = 0;
        for (int x = 0; x < std::min(s.w, 1024); ++x) {
            run = s.black(x, y) ? run + 1 : 0;
            if (run == width) {
                const int x0 = x - width + 1;
                if (avoid && x0 >= (*avoid)[0] && x0 < (*avoid)[0] + (*avoid)[2] && y >= (*avoid)[1] &&
                    y < (*avoid)[1] + (*avoid)[3]) {
                    continue;
                }
                return std::make_pair(x0, y);
            }
        }
    }
    return std::nullopt;
}

// Pitch from the median period between rising zero crossings: unlike a
// mean over the stretch, a few short dropouts do not bias it.
double medianPitch(const std::vector<float>& x, int rate, size_t begin, size_t end) {
    std::vector<double> crossings, periods;
    for (size_t i = begin + 1; i < end && i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) crossings.push_back(double(i - 1) + x[i - 1] / (x[i - 1] - x[i]));
    }
    for (size_t k = 1; k < crossings.size(); ++k) periods.push_back(crossings[k] - crossings[k - 1]);
    if (periods.empty()) return 0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return rate / periods[periods.size() / 2];
}

class SamplePadEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ZENDRA_SKIP_UNLESS_PROGRAMS("pulseaudio", "pactl", "pacat", "parecord", "Xvfb", "xdotool", "import");
        const char* bin = std::getenv("ZENDRA_BIN");
        const char* kit = std::getenv("ZENDRA_DEMO_KIT");
        if (bin == nullptr || kit == nullptr) GTEST_SKIP() << "ZENDRA_BIN and ZENDRA_DEMO_KIT must be set";
        bin_ = bin;
        shot_ = artifactsDir() + "/sample-pad-screen.ppm";
    }

    void snapshot(const std::string& name) const {
        display_->screenshot(artifactsDir() + "/sample-pad-" + name + ".png");
    }

    // Opens a menu of the main window and picks its n-th item from the keyboard.
    void menuItem(int menuX, int n) const {
        ASSERT_TRUE(display_->click(menuX, 8));
        sleepSeconds(0.3);
        std::string keys;
        for (int k = 0; k < n; ++k) keys += "Down ";
        ASSERT_TRUE(display_->key(keys + "Return"));
        sleepSeconds(0.5);
    }

    // The file dialog: type a name into its file name field and confirm.
    void chooseFile(const std::string& name) const {
        const auto wid = display_->findWindow("^Open$", 5.0);
        ASSERT_TRUE(wid.has_value()) << "no file dialog";
        ASSERT_TRUE(display_->focus(*wid));
        ASSERT_TRUE(display_->type(name));
        ASSERT_TRUE(display_->key("Return"));
        if (!display_->waitWindowGone("^Open$", 1.0)) {
            ASSERT_TRUE(display_->key("Return"));  // a completer took the first
        }
        ASSERT_TRUE(display_->waitWindowGone("^Open$", 3.0)) << "the file dialog did not close";
        sleepSeconds(0.2);
    }

    std::string bin_, shot_;
    std::optional<AudioServer> server_;
    std::optional<Display> display_;
};

TEST_F(SamplePadEndToEnd, PadsPlayTheChosenFilesAtTheirPitchWithVolumeAndPan) {
    server_.emplace();
    display_.emplace();
    AppProcess app(bin_, {}, server_->env() + display_->env() + EnvVars{{"SDL_AUDIODRIVER", "pulseaudio"}},
                   "sample-pad");
    const auto splash = display_->findWindowByClass("zendra", 10.0, std::string("Zendra"));
    ASSERT_TRUE(splash.has_value()) << app.stderrText();
    ASSERT_TRUE(display_->key("Return", *splash));  // I Agree
    ASSERT_TRUE(display_->findWindow("^Zendra\\.$", 10.0).has_value()) << app.stderrText();
    sleepSeconds(0.5);

    // Sample Dock. Bare names: the dialog must open in the demo kit.
    auto screen = grabScreen(*display_, shot_);
    ASSERT_TRUE(screen.has_value());
    const auto dock = blackArea(*screen, 400);
    ASSERT_TRUE(dock.has_value()) << "no Sample Dock";
    const auto [dx, dy] = *dock;
    ASSERT_TRUE(display_->click(dx + tw(480 + 240 + 427), dy + tw(840 + 240 + 247)));  // "Sample 1"
    chooseFile("tone-22050.wav");
    ASSERT_TRUE(display_->click(dx + tw(480 + 240 + 427), dy + tw(840 + 840 + 247)));  // "Sample 2"
    chooseFile("kick.wav");
    snapshot("dock");
    ASSERT_TRUE(display_->click(dx + tw(6480 + 427), dy + tw(120 + 187)));  // Done
    sleepSeconds(0.5);
    ASSERT_TRUE(display_->windowsByName("^Zendra$").empty()) << "a message came up: a file did not load";

    // Sample Pad (Tools, second item): the only tool window showing.
    menuItem(57, 2);
    screen = grabScreen(*display_, shot_);
    ASSERT_TRUE(screen.has_value());
    const auto padAt = blackArea(*screen, 200);
    ASSERT_TRUE(padAt.has_value()) << "no Sample Pad";
    const auto [px, py] = *padAt;

    // Sample Properties (Tools, fourth item), placed beside the pad.
    menuItem(57, 4);
    screen = grabScreen(*display_, shot_);
    ASSERT_TRUE(screen.has_value());
    const auto propsAt = blackArea(*screen, 500, std::array<int, 4>{px, py, tw(3000), tw(3000)});
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
    snapshot("properties");

    MonitorRecording rec(*server_, artifactsDir() + "/sample-pad-monitor.wav");
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
    snapshot("played");
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
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const double toneLeft = median(lefts), toneDiff = median(diffs);
    const double pitch = medianPitch(s.left, kRate, (tb + 1) * kBlock, (te - 1) * kBlock);
    std::cout << "tone: " << pitch << " Hz, left " << toneLeft << " dB, left - right " << toneDiff << " dB\n";
    EXPECT_NEAR(pitch, 440.0, 440.0 * 0.005);
    const double fileLevel = 20 * std::log10(0.8 / std::sqrt(2.0));  // the demo tone's RMS
    EXPECT_NEAR(toneLeft, fileLevel - 10.0, 0.5);
    EXPECT_NEAR(toneDiff, 33.33, 1.0);

    // The kick: the second file, after the tone, centred, low.
    ASSERT_GE(kickBlocks, 10u) << "the kick did not sound";
    EXPECT_GT(firstKick, lastTone);
    const auto [kb, ke] = longestRun(isKick);
    const double kickPitch = medianPitch(s.left, kRate, kb * kBlock, ke * kBlock);
    std::cout << "kick: " << kickBlocks * 10 << " ms, " << kickPitch << " Hz\n";
    EXPECT_LT(kickPitch, 300.0);
    EXPECT_LT(kickBlocks, 100u);
    app.terminate();
}

}  // namespace
}  // namespace zendra::test
