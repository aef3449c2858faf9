// Recording end to end: the real program under Xvfb on a private PulseAudio
// server whose default source carries a steady 440 Hz sine. The Record window
// is opened from the Tools menu, a take of about 3 s is recorded with real
// clicks, saved through the real save dialog, checked, and played back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "e2e_app.h"

namespace fs = std::filesystem;

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;

// Whether a pixel is dark enough to be the menu bar's text.
bool dark(const Screen& s, int x, int y) {
    const Rgb p = s.at(x, y);
    return p.r + p.g + p.b < 3 * 110;
}

// Horizontal centres of the words in the menu bar band [y0, y1) from x0 on.
std::vector<int> menuWords(const Screen& img, int x0, int x1, int y0, int y1) {
    std::vector<int> centres;
    int start = -1, lastInk = -1;
    for (int x = x0; x < x1; ++x) {
        bool ink = false;
        for (int y = y0; y < y1 && !ink; ++y) ink = dark(img, x, y);
        if (ink) {
            if (start < 0 || x - lastInk > 10) {
                if (start >= 0) centres.push_back((start + lastInk) / 2);
                start = x;
            }
            lastInk = x;
        }
    }
    if (start >= 0) centres.push_back((start + lastInk) / 2);
    return centres;
}

// Black but for a little noise.
bool nearBlack(const Screen& s, int x, int y) { return s.black(x, y, 7); }

// The Record window's client area: a black rectangle 1665 x 3240 twips whose
// left margin (no control within 60 twips) is black from top to bottom.
std::optional<Rect> findRecordClient(const Screen& img, const Rect& within) {
    for (int y = within.y; y < within.y + within.h; ++y) {
        for (int x = within.x; x < within.x + within.w; ++x) {
            const bool corner = nearBlack(img, x, y) && !(x > 0 && nearBlack(img, x - 1, y)) &&
                                !(y > 0 && nearBlack(img, x, y - 1));
            if (!corner) continue;
            int w = 0;
            while (x + w < img.w && nearBlack(img, x + w, y)) ++w;
            if (w < 100 || w > 250) continue;
            const int h = static_cast<int>(std::lround(w * 3240.0 / 1665.0));
            if (y + h > img.h) continue;
            const int margin = std::max(2, w * 50 / 1665);
            bool ok = true;
            for (int yy = y; yy < y + h && ok; ++yy)
                for (int xx = x; xx < x + margin && ok; ++xx) ok = nearBlack(img, xx, yy);
            if (ok) return Rect{x, y, w, h};
        }
    }
    return std::nullopt;
}

struct ParsedWav {
    int tag = 0, channels = 0, rate = 0, align = 0, bits = 0;
    size_t dataBytes = 0;
    bool ok = false;
};

ParsedWav parseHeader(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string s{std::istreambuf_iterator<char>(in), {}};
    auto le = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
        return v;
    };
    ParsedWav w;
    if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return w;
    bool fmt = false, data = false;
    for (size_t at = 12; at + 8 <= s.size();) {
        const size_t size = le(at + 4, 4);
        if (s.compare(at, 4, "fmt ") == 0) {
            w.tag = static_cast<int>(le(at + 8, 2));
            w.channels = static_cast<int>(le(at + 10, 2));
            w.rate = static_cast<int>(le(at + 12, 4));
            w.align = static_cast<int>(le(at + 20, 2));
            w.bits = static_cast<int>(le(at + 22, 2));
            fmt = true;
        } else if (s.compare(at, 4, "data") == 0) {
            w.dataBytes = std::min(size, s.size() - at - 8);
            data = true;
        }
        at += 8 + size + (size & 1);
    }
    w.ok = fmt && data;
    return w;
}

bool waitFor(const std::function<bool()>& done, double seconds) {
    const auto until = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < until) {
        if (done()) return true;
        sleepSeconds(0.05);
    }
    return done();
}

TEST(RecordE2E, RecordSaveAndPlayBackATakeFromTheTestMicrophone) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("pulseaudio", "pactl", "pacat", "parecord", "Xvfb", "xdotool", "import", "convert");
    ASSERT_FALSE(zendraBin().empty()) << "ZENDRA_BIN is not set";

    AudioServer server;
    Display display;
    TempDir out("zendra-record");
    // Wait for the keep-alive streams to bring the sinks to low latency.
    waitFor([&] { auto l = server.sinkLatencyMs("test_mic"); return l && *l < 50.0; }, 5.0);

    ZendraApp app(display, server.env(), "record");
    ASSERT_NO_FATAL_FAILURE(app.agree());
    const WindowGeometry mg = app.mainGeometry();

    // Tools is the second word of the menu bar; Record is its last item.
    const auto shot = grabScreen(display, app.artifact("main.png"));
    ASSERT_TRUE(shot);
    const auto words = menuWords(*shot, mg.x + 2, mg.x + 300, mg.y + 3, mg.y + 15);
    ASSERT_GE(words.size(), 3u) << "menu bar words not found; main window at " << mg.x << "," << mg.y << " "
                                << mg.width << "x" << mg.height;
    ASSERT_NO_FATAL_FAILURE(app.menuKeys(words[1] - mg.x, "Up"));

    const auto client = app.waitFor(
        [&](const Screen& s) { return findRecordClient(s, Rect{mg.x, mg.y + 20, mg.width, mg.height - 20}); });
    app.snapshot("opened");
    ASSERT_TRUE(client) << "the Record window is not on screen; see record-opened.png";
    const double s = client->w / 1665.0;  // pixels per twip
    auto press = [&](int leftTw, int topTw, int wTw, int hTw) {
        display.click(client->x + static_cast<int>((leftTw + wTw / 2) * s),
                      client->y + static_cast<int>((topTw + hTw / 2) * s));
    };
    auto startRec = [&] { press(120, 420, 1455, 375); };
    auto stopRec = [&] { press(120, 900, 1455, 375); };
    auto play = [&] { press(120, 1380, 1455, 375); };
    auto save = [&] { press(120, 2340, 1455, 375); };

    // A take of about three seconds. Each click lands somewhere within its
    // xdotool call, so the recording time is known to within those calls.
    const auto startBefore = Clock::now();
    startRec();
    const auto startAfter = Clock::now();
    sleepSeconds(1.5);
    app.snapshot("recording");
    sleepSeconds(std::max(0.0, 3.0 - std::chrono::duration<double>(Clock::now() - startAfter).count()));
    const auto stopBefore = Clock::now();
    stopRec();
    const auto stopAfter = Clock::now();
    const double shortest = std::chrono::duration<double>(stopBefore - startAfter).count();
    const double longest = std::chrono::duration<double>(stopAfter - startBefore).count();
    sleepSeconds(0.3);

    // Save through the real dialog: type the path, then Return.
    const std::string target = out.path() + "/take";
    save();
    ASSERT_NO_FATAL_FAILURE(app.answerWindow("^Save Wave File$", target, true));
    const std::string file = target + ".wav";
    ASSERT_TRUE(waitFor([&] { return fs::exists(file); }, 5.0)) << "no file " << file;

    const ParsedWav h = parseHeader(file);
    ASSERT_TRUE(h.ok);
    EXPECT_EQ(h.tag, 1);
    EXPECT_EQ(h.channels, 1);
    EXPECT_EQ(h.bits, 8);
    EXPECT_EQ(h.rate, 22050);
    EXPECT_EQ(h.align, 1);
    const double duration = static_cast<double>(h.dataBytes) / 22050.0;
    EXPECT_GE(duration, shortest - 0.2) << "clicks " << shortest << " to " << longest << " s apart";
    EXPECT_LE(duration, longest + 0.2) << "clicks " << shortest << " to " << longest << " s apart";
    const Stereo take = readWavFloat(file);
    ASSERT_GT(take.left.size(), 22050u);
    const size_t n = take.left.size();
    EXPECT_GT(rmsDb(take.left, n / 4, 3 * n / 4), -40.0);
    const double pitch = cycleFrequencyHz(take.left, 22050, n / 10, n - n / 10);
    EXPECT_NEAR(pitch, 440.0, 4.4);
    std::printf("take: %.3f s (clicks %.3f to %.3f s apart), %.2f Hz\n", duration, shortest, longest, pitch);

    // Playback arrives at the output.
    {
        MonitorRecording monitor(server, app.artifact("playback.wav"));
        ASSERT_TRUE(monitor.waitStarted());
        sleepSeconds(0.3);
        play();
        sleepSeconds(duration + 1.0);
        app.snapshot("after-playback");
        const Stereo played = monitor.read();
        const auto parts = onsets(played.left, played.rate, 0.02f, 0.3);
        ASSERT_FALSE(parts.empty()) << "nothing arrived at the output";
        // From the first sound to the last: the take's length (a loaded
        // machine may stretch it with dropouts, never shorten it).
        const double heard = static_cast<double>(parts.back().second - parts.front().first) / played.rate;
        EXPECT_GE(heard, duration - 0.2);
        EXPECT_LE(heard, duration + 1.0);
        const double playedPitch = cycleFrequencyHz(played.left, played.rate, parts.front().first, parts.back().second);
        EXPECT_NEAR(playedPitch, 440.0, 4.4);
        std::printf("playback heard: %.3f s, %.2f Hz\n", heard, playedPitch);
        EXPECT_GT(rmsDb(played.left, parts.front().first, parts.back().second), -30.0);
    }

    // Closing the main window closes the Record window too, which ends the program.
    display.closeWindow(app.mainWindow());
    const auto code = app.process().waitExit(10.0);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
}

}  // namespace
}  // namespace zendra::test
