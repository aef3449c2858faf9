// The Cross Fade end to end: the real program under Xvfb on a private
// PulseAudio server. Two looping demo-kit samples (the 440 Hz tone and the
// 220 Hz pad) are loaded through the real file dialog and started from the
// Sample Pad; in the Cross Fade the right side is set to sample 2, coupling
// is switched on and the faders are moved with mouse clicks on an arrow and
// in a trough. The server's monitor is recorded after each move and the
// level of each sample is measured in its own frequency band.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
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

// Top-left corner of the first black area at least `width` pixels wide (a
// tool window's client area: the main window's background is grey).
std::optional<std::pair<int, int>> blackArea(const Screen& s, int width) {
    for (int y = 20; y < std::min(s.h, 768); ++y) {
        int run = 0;
        for (int x = 0; x < std::min(s.w, 1024); ++x) {
            run = s.black(x, y) ? run + 1 : 0;
            if (run == width) return std::make_pair(x - width + 1, y);
        }
    }
    return std::nullopt;
}

constexpr size_t kWindow = kRate / 20;  // 50 ms: whole periods of 220 and 440 Hz and their harmonics

// Whether a window holds a gap: a stretch of silence where the server ran
// dry (a loaded machine can starve the stream).
bool hasGap(const std::vector<float>& x, size_t begin) {
    int quiet = 0;
    for (size_t n = begin; n < begin + kWindow; ++n) {
        quiet = std::fabs(x[n]) < 1e-4f ? quiet + 1 : 0;
        if (quiet >= 16) return true;
    }
    return false;
}

// Amplitude in dB of one frequency in each window without a gap.
std::vector<double> bandLevels(const std::vector<float>& x, double hz, size_t begin, size_t end) {
    std::vector<double> levels;
    const double w = 2.0 * M_PI * hz / kRate;
    for (size_t b = begin; b + kWindow <= end; b += kWindow) {
        if (hasGap(x, b)) continue;
        std::complex<double> acc = 0;
        for (size_t n = b; n < b + kWindow; ++n)
            acc += static_cast<double>(x[n]) * std::polar(1.0, -w * static_cast<double>(n - b));
        levels.push_back(20.0 * std::log10(2.0 * std::abs(acc) / static_cast<double>(kWindow) + 1e-12));
    }
    return levels;
}

double median(std::vector<double> v) {
    if (v.empty()) return -300.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Top-left corner of the first black run of exactly `width` (±2) pixels
// between non-black pixels: a tool window's client area even where it lies
// over another black window.
std::optional<std::pair<int, int>> blackRunOf(const Screen& s, int width) {
    for (int y = 20; y < std::min(s.h, 768); ++y) {
        int run = 0;
        for (int x = 0; x < std::min(s.w, 1024); ++x) {
            if (s.black(x, y)) {
                ++run;
                continue;
            }
            if (run >= width - 2 && run <= width + 2 && x - run > 0) return std::make_pair(x - run, y);
            run = 0;
        }
    }
    return std::nullopt;
}

class CrossFadeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ZENDRA_SKIP_UNLESS_PROGRAMS("pulseaudio", "pactl", "pacat", "parecord", "Xvfb", "xdotool", "import");
        const char* bin = std::getenv("ZENDRA_BIN");
        const char* kit = std::getenv("ZENDRA_DEMO_KIT");
        if (bin == nullptr || kit == nullptr) GTEST_SKIP() << "ZENDRA_BIN and ZENDRA_DEMO_KIT must be set";
        bin_ = bin;
        kit_ = kit;
        shot_ = artifactsDir() + "/cross-fade-screen.ppm";
    }

    void snapshot(const std::string& name) const {
        display_->screenshot(artifactsDir() + "/cross-fade-" + name + ".png");
    }

    // Opens the main window's Tools menu and picks its n-th item.
    void toolsItem(int n) const {
        ASSERT_TRUE(display_->click(57, 8));
        sleepSeconds(0.3);
        std::string keys;
        for (int k = 0; k < n; ++k) keys += "Down ";
        ASSERT_TRUE(display_->key(keys + "Return"));
        sleepSeconds(0.5);
    }

    // The file dialog: type the path into its file name field and confirm.
    void chooseFile(const std::string& path) const {
        const auto wid = display_->findWindow("^Open$", 15.0);
        ASSERT_TRUE(wid.has_value()) << "no file dialog";
        ASSERT_TRUE(display_->focus(*wid));
        ASSERT_TRUE(display_->type(path));
        ASSERT_TRUE(display_->key("Return"));
        if (!display_->waitWindowGone("^Open$", 1.0)) {
            ASSERT_TRUE(display_->key("Return"));  // a completer took the first
        }
        ASSERT_TRUE(display_->waitWindowGone("^Open$", 10.0)) << "the file dialog did not close";
        sleepSeconds(0.2);
    }

    // Records the monitor for a while and measures both samples' bands on
    // the mid channel (the pad's stereo drift cancels there).
    std::pair<double, double> levels(const std::string& name) const {
        MonitorRecording rec(*server_, artifactsDir() + "/cross-fade-" + name + ".wav");
        EXPECT_TRUE(rec.waitStarted()) << "parecord did not start";
        sleepSeconds(2.0);
        const Stereo s = rec.read();
        std::vector<float> mid(s.left.size());
        for (size_t i = 0; i < mid.size(); ++i) mid[i] = 0.5f * (s.left[i] + s.right[i]);
        const size_t begin = kRate / 10;
        const std::vector<double> tone = bandLevels(mid, 440.0, begin, mid.size());
        const std::vector<double> pad = bandLevels(mid, 220.0, begin, mid.size());
        const size_t all = mid.size() > begin ? (mid.size() - begin) / kWindow : 0;
        std::cout << name << ": " << tone.size() << " of " << all << " windows without a gap; tone "
                  << median(tone) << " dB, pad " << median(pad) << " dB\n";
        EXPECT_GE(tone.size(), 8u) << "too few whole windows in " << rec.path();
        return {median(tone), median(pad)};
    }

    // Polls screenshots until `find` locates a window's client area.
    template <class Find>
    std::optional<std::pair<int, int>> waitFor(Find find, double timeoutSeconds = 10.0) const {
        for (double waited = 0; waited < timeoutSeconds; waited += 0.25) {
            if (const auto screen = grabScreen(*display_, shot_)) {
                if (const auto at = find(*screen)) return at;
            }
            sleepSeconds(0.25);
        }
        return std::nullopt;
    }

    std::string bin_, kit_, shot_;
    std::optional<AudioServer> server_;
    std::optional<Display> display_;
};

TEST_F(CrossFadeEndToEnd, CoupledFadersMovedByMouseSetBothSamplesLevels) {
    server_.emplace();
    display_.emplace();
    AppProcess app(bin_, {}, server_->env() + display_->env() + EnvVars{{"SDL_AUDIODRIVER", "pulseaudio"}},
                   "cross-fade");
    const auto splash = display_->findWindowByClass("zendra", 10.0, std::string("Zendra"));
    ASSERT_TRUE(splash.has_value()) << app.stderrText();
    ASSERT_TRUE(display_->key("Return", *splash));  // I Agree
    ASSERT_TRUE(display_->findWindow("^Zendra\\.$", 10.0).has_value()) << app.stderrText();
    sleepSeconds(0.5);

    // Sample Dock: the tone and the pad, both loop by default.
    const auto dock = waitFor([](const Screen& s) { return blackArea(s, 400); });
    ASSERT_TRUE(dock.has_value()) << "no Sample Dock";
    const auto [dx, dy] = *dock;
    ASSERT_TRUE(display_->click(dx + tw(480 + 240 + 427), dy + tw(840 + 240 + 247)));  // "Sample 1"
    ASSERT_NO_FATAL_FAILURE(chooseFile(kit_ + "/tone-22050.wav"));
    ASSERT_TRUE(display_->click(dx + tw(480 + 240 + 427), dy + tw(840 + 840 + 247)));  // "Sample 2"
    ASSERT_NO_FATAL_FAILURE(chooseFile(kit_ + "/pad-22050.wav"));
    ASSERT_TRUE(display_->click(dx + tw(6480 + 427), dy + tw(120 + 187)));  // Done
    sleepSeconds(0.5);
    ASSERT_TRUE(display_->windowsByName("^Zendra$").empty()) << "a message came up: a file did not load";

    // Sample Pad (Tools, second item): start both.
    ASSERT_NO_FATAL_FAILURE(toolsItem(2));
    const auto padAt = waitFor([](const Screen& s) {
        return blackArea(s, 400) ? std::nullopt : blackArea(s, 200);  // once the dock has gone
    });
    ASSERT_TRUE(padAt.has_value()) << "no Sample Pad";
    const auto [px, py] = *padAt;
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(display_->click(px + tw(120 + 360), py + tw(120 + i * 840 + 360)));

    // Cross Fade (Tools, sixth item), in front of the pad.
    ASSERT_NO_FATAL_FAILURE(toolsItem(6));
    const auto cfAt = waitFor([](const Screen& s) { return blackRunOf(s, tw(3015)); });
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
    snapshot("coupled");
    const auto [tone1, pad1] = levels("after-arrow");

    // The right fader's trough above its thumb: right up to -3, so left down
    // to -2 (tone -10 dB, pad -15 dB).
    ASSERT_TRUE(display_->click(rightX, barTop + tw(300) + 8));
    sleepSeconds(0.3);
    snapshot("trough");
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
