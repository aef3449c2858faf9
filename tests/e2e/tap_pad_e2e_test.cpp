// Playing by typing, end to end: the real program under Xvfb on a private
// PulseAudio server. Two drum sounds are loaded through the Sample Dock's
// file dialog, bound to keys through the real prompt, made one-shot in Sample
// Properties, and played by typing into the Tap Pad; the server's monitor is
// recorded and measured.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_env.h"
#include "signal_measure.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;

// The top-left corner, in screen pixels, of the one tool window showing: its
// client area is the only black run of 100 pixels inside the main window
// (the MDI background is grey, menus and frames are light).
std::optional<std::pair<int, int>> blackFormOrigin(const Display& display, const std::string& path) {
    if (!display.screenshot(path)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if (magic != "P6" || w <= 0 || h <= 0 || maxval <= 0 || maxval > 65535) return std::nullopt;
    const size_t bytesPerValue = maxval > 255 ? 2 : 1;  // 16-bit values are big-endian
    std::vector<unsigned char> raw(static_cast<size_t>(w) * h * 3 * bytesPerValue);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (!in) return std::nullopt;
    std::vector<unsigned char> px(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < px.size(); ++i) px[i] = raw[i * bytesPerValue];
    const int maxX = std::min(w, 1024), maxY = std::min(h, 768);
    for (int y = 20; y < maxY; ++y) {
        int run = 0;
        for (int x = 0; x < maxX; ++x) {
            const size_t i = (static_cast<size_t>(y) * w + x) * 3;
            run = (px[i] == 0 && px[i + 1] == 0 && px[i + 2] == 0) ? run + 1 : 0;
            if (run == 100) return std::make_pair(x - 99, y);
        }
    }
    return std::nullopt;
}

// A length in twips as the program lays it out (96 dpi under Xvfb).
int tw(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

// Key presses sent straight to the X server through the XTEST extension, so
// that the moment of each key is known to well under a millisecond (an
// xdotool run takes 100 ms or more to start here). libX11 and libXtst are
// loaded at run time: the tests do not link against them.
class FakeKeyboard {
    // The few Xlib types used, spelled out (Xlib's macros clash with gtest).
    struct XDisplay;
    using KeySym = unsigned long;
    using KeyCode = unsigned char;
    using Bool = int;

public:
    explicit FakeKeyboard(const std::string& display) {
        x11_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
        xtst_ = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
        if (x11_ == nullptr || xtst_ == nullptr) return;
        open_ = reinterpret_cast<decltype(open_)>(dlsym(x11_, "XOpenDisplay"));
        close_ = reinterpret_cast<decltype(close_)>(dlsym(x11_, "XCloseDisplay"));
        keysym_ = reinterpret_cast<decltype(keysym_)>(dlsym(x11_, "XStringToKeysym"));
        keycode_ = reinterpret_cast<decltype(keycode_)>(dlsym(x11_, "XKeysymToKeycode"));
        sync_ = reinterpret_cast<decltype(sync_)>(dlsym(x11_, "XSync"));
        fake_ = reinterpret_cast<decltype(fake_)>(dlsym(xtst_, "XTestFakeKeyEvent"));
        if (open_ && close_ && keysym_ && keycode_ && sync_ && fake_) dpy_ = open_(display.c_str());
    }
    ~FakeKeyboard() {
        if (dpy_ != nullptr) close_(dpy_);
        if (xtst_ != nullptr) dlclose(xtst_);
        if (x11_ != nullptr) dlclose(x11_);
    }
    bool ok() const { return dpy_ != nullptr; }
    // Presses and releases the key named like an X keysym ("k", "Tab");
    // returns the moment the server had the press.
    std::optional<Clock::time_point> tap(const std::string& name) {
        const KeyCode code = keycode_(dpy_, keysym_(name.c_str()));
        if (code == 0) return std::nullopt;
        fake_(dpy_, code, 1, 0);
        sync_(dpy_, 0);
        const auto at = Clock::now();
        sleepSeconds(0.03);
        fake_(dpy_, code, 0, 0);
        sync_(dpy_, 0);
        return at;
    }

private:
    void* x11_ = nullptr;
    void* xtst_ = nullptr;
    XDisplay* (*open_)(const char*) = nullptr;
    int (*close_)(XDisplay*) = nullptr;
    KeySym (*keysym_)(const char*) = nullptr;
    KeyCode (*keycode_)(XDisplay*, KeySym) = nullptr;
    int (*sync_)(XDisplay*, Bool) = nullptr;
    int (*fake_)(XDisplay*, unsigned, Bool, unsigned long) = nullptr;
    XDisplay* dpy_ = nullptr;
};

// Normalised correlation of two stretches of equal length.
double correlation(const std::vector<float>& x, size_t a, size_t b, size_t n) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t k = 0; k < n; ++k) {
        xy += double(x[a + k]) * x[b + k];
        xx += double(x[a + k]) * x[a + k];
        yy += double(x[b + k]) * x[b + k];
    }
    return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

class TapPadEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ZENDRA_SKIP_UNLESS_PROGRAMS("pulseaudio", "pactl", "pacat", "parecord", "Xvfb", "xdotool", "import");
        const char* bin = std::getenv("ZENDRA_BIN");
        const char* kit = std::getenv("ZENDRA_DEMO_KIT");
        if (bin == nullptr || kit == nullptr) GTEST_SKIP() << "ZENDRA_BIN and ZENDRA_DEMO_KIT must be set";
        bin_ = bin;
        kit_ = kit;
        shot_ = artifactsDir() + "/tap-pad-screen.ppm";
    }

    // Waits for a tool window to show somewhere other than `before`.
    std::optional<std::pair<int, int>> waitForm(std::optional<std::pair<int, int>> before = {}) const {
        const auto t0 = Clock::now();
        do {
            const auto at = blackFormOrigin(*display_, shot_);
            if (at && at != before) return at;
            sleepSeconds(0.2);
        } while (Clock::now() - t0 < std::chrono::seconds(8));
        return std::nullopt;
    }

    void snapshot(const std::string& name) const { display_->screenshot(artifactsDir() + "/tap-pad-" + name + ".png"); }

    // Opens a menu of the main window and picks its n-th item from the keyboard.
    void menuItem(int menuX, int n) const {
        ASSERT_TRUE(display_->click(menuX, 8));
        sleepSeconds(0.6);
        std::string keys;
        for (int k = 0; k < n; ++k) keys += "Down ";
        ASSERT_TRUE(display_->key(keys + "Return"));
        sleepSeconds(0.4);
    }

    // The prompt or file dialog that opened as its own window: type and confirm.
    void answerWindow(const std::string& titleRegex, const std::string& text) const {
        const auto wid = display_->findWindow(titleRegex, 5.0);
        ASSERT_TRUE(wid.has_value()) << "no window " << titleRegex;
        ASSERT_TRUE(display_->focus(*wid));
        ASSERT_TRUE(display_->type(text));
        ASSERT_TRUE(display_->key("Return"));
        if (!display_->waitWindowGone(titleRegex, 2.0)) {
            ASSERT_TRUE(display_->key("Return"));  // a completer took the first
        }
        ASSERT_TRUE(display_->waitWindowGone(titleRegex, 8.0)) << titleRegex << " did not close";
        sleepSeconds(0.2);
    }

    std::string bin_, kit_, shot_;
    std::optional<AudioServer> server_;
    std::optional<Display> display_;
};

TEST_F(TapPadEndToEnd, TypedKeysPlayTheirSamplesRepeatedKeyRestartsUnboundKeyIsSilent) {
    const auto t0 = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - t0).count(); };
    server_.emplace();
    display_.emplace();
    std::cout << "servers up after " << elapsed() << " s\n";
    AppProcess app(bin_, {}, server_->env() + display_->env() + EnvVars{{"SDL_AUDIODRIVER", "pulseaudio"}}, "tap-pad");

    // Disclaimer: "I Agree" holds the focus.
    const auto splash = display_->findWindowByClass("zendra", 10.0, std::string("Zendra"));
    ASSERT_TRUE(splash.has_value()) << app.stderrText();
    ASSERT_TRUE(display_->key("Return", *splash));
    const auto mainWin = display_->findWindow("^Zendra\\.$", 10.0);
    ASSERT_TRUE(mainWin.has_value()) << app.stderrText();
    sleepSeconds(0.5);

    std::cout << "main window after " << elapsed() << " s\n";
    // Sample Dock: two files through the file dialog, then Done.
    const auto dock = waitForm();
    ASSERT_TRUE(dock.has_value());
    const auto [dx, dy] = *dock;
    ASSERT_TRUE(display_->click(dx + tw(480 + 240 + 427), dy + tw(840 + 240 + 247)));  // "Sample 1"
    answerWindow("^Open$", kit_ + "/kick.wav");
    ASSERT_TRUE(display_->click(dx + tw(480 + 240 + 427), dy + tw(840 + 840 + 247)));  // "Sample 2"
    answerWindow("^Open$", kit_ + "/snare.wav");
    ASSERT_TRUE(display_->click(dx + tw(6480 + 427), dy + tw(120 + 187)));  // Done

    // Key Associations: kick on "k", snare on "s", through the real prompt.
    menuItem(20, 3);
    const auto keys = waitForm(dock);
    ASSERT_TRUE(keys.has_value());
    const auto [kx, ky] = *keys;
    ASSERT_TRUE(display_->click(kx + tw(360 + 300), ky + tw(840 + 187)));  // "1 ="
    answerWindow("^Key Associations$", "k");
    ASSERT_TRUE(display_->click(kx + tw(360 + 300), ky + tw(840 + 480 + 187)));  // "2 ="
    answerWindow("^Key Associations$", "s");
    snapshot("settings");
    ASSERT_TRUE(display_->click(kx + tw(5400 + 487), ky + tw(3060 + 187)));  // Done

    // Sample Properties: clear both Loop boxes so each hit plays once.
    menuItem(57, 4);
    const auto props = waitForm(keys);
    ASSERT_TRUE(props.has_value());
    const auto [px, py] = *props;
    ASSERT_TRUE(display_->click(px + tw(1800 + 150), py + tw(660 + 150)));
    ASSERT_TRUE(display_->click(px + tw(1800 + 150), py + tw(1020 + 150)));

    // Tap Pad: opening it gives it the focus.
    menuItem(57, 3);

    std::cout << "set up after " << elapsed() << " s\n";
    MonitorRecording rec(*server_, artifactsDir() + "/tap-pad-monitor.wav");
    ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
    sleepSeconds(0.4);
    FakeKeyboard keyboard(display_->name());
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
    snapshot("tap-pad-typed");
    ASSERT_TRUE(app.alive()) << app.stderrText();
    std::cout << "recording: " << rec.path() << "\n";
    ASSERT_GT(s.left.size(), static_cast<size_t>(2 * kRate));

    // When each key was pressed, as a frame of the recording: the first
    // frame that reached the file after the key press.
    auto frameAt = [&](Clock::time_point t) -> size_t {
        size_t lo = 0, hi = s.left.size() - 1;
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            const auto at = rec.availableAt(mid);
            if (at && *at < t) lo = mid + 1; else hi = mid;
        }
        return lo;
    };

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
