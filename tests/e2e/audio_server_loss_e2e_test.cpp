// The audio server dying under the running program, end to end: the real
// program under Xvfb plays a looping sample from the Sample Pad on a private
// PulseAudio server, which is then killed. While it is down the program must
// stay alive and answer mouse and keyboard, and tell the player once; once a
// new server is up on the same socket the loop carries on and a new pad click
// is heard, without restarting the program.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr const char* kNoticeTitle = "^Sound device lost$";

// 50 ms windows hold whole cycles of both the loop (220 Hz and its odd
// harmonics) and the tone (440 Hz), so neither leaks into the other's bin.
constexpr size_t kWindow = kRate / 20;

// CPU time (user + system) a process has used so far, in seconds.
double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');  // the command name may hold spaces
    if (close == std::string::npos) return 0.0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(field);  // utime, stime
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// (left + right) / 2: the loop's slow stereo drift cancels out in it.
std::vector<float> mid(const Stereo& s) {
    std::vector<float> m(s.left.size());
    for (size_t i = 0; i < m.size(); ++i) m[i] = 0.5f * (s.left[i] + s.right[i]);
    return m;
}

// Level in dB of `hz` in each 50 ms window of x; nullopt for a window that
// holds a dropout (a loaded machine lets the server run dry now and then, and
// the gap splashes into every bin).
using Track = std::vector<std::optional<double>>;
Track bandTrack(const std::vector<float>& x, double hz) {
    Track track;
    for (size_t b = 0; b + kWindow <= x.size(); b += kWindow) {
        if (hasDropout(x, b, kWindow)) {
            track.emplace_back();
        } else {
            track.emplace_back(bandDb(x, kRate, hz, b, b + kWindow));
        }
    }
    return track;
}

// The first of `run` clean windows in a row (dropouts aside) above `db`, at
// or after `from`; SIZE_MAX if there is none.
size_t firstRunAbove(const Track& track, double db, size_t from = 0, int run = 3) {
    int count = 0;
    size_t first = 0;
    for (size_t k = from; k < track.size(); ++k) {
        if (!track[k]) continue;
        if (*track[k] <= db) {
            count = 0;
            continue;
        }
        if (count++ == 0) first = k;
        if (count == run) return first;
    }
    return SIZE_MAX;
}

// The clean windows' levels in [begin, end).
std::vector<double> levels(const Track& track, size_t begin, size_t end) {
    std::vector<double> v;
    for (size_t k = begin; k < end && k < track.size(); ++k) {
        if (track[k]) v.push_back(*track[k]);
    }
    return v;
}

double maxOf(const Track& track, size_t begin, size_t end) {
    const auto v = levels(track, begin, end);
    return v.empty() ? -200.0 : *std::max_element(v.begin(), v.end());
}

double medianOf(const Track& track, size_t begin, size_t end) { return median(levels(track, begin, end), -200.0); }

class AudioServerLoss : public AppTest {
protected:
    // Seconds until a Tools menu, opened by a click, shows and then goes away
    // again on Escape: the program's event loop answering real input. Nullopt
    // if either does not happen within the timeout.
    std::optional<double> menuRoundTrip(double timeoutSeconds = 8.0) {
        const auto t0 = Clock::now();
        const auto before = display_->windowsByClass(kAppClass);
        auto has = [](const std::vector<std::string>& list, const std::string& w) {
            return std::find(list.begin(), list.end(), w) != list.end();
        };
        if (!display_->click(app().mainGeometry().x + kToolsMenu, app().mainGeometry().y + 8)) return std::nullopt;
        std::optional<std::string> menu;
        while (!menu && since(t0) < timeoutSeconds) {
            const auto notices = display_->windowsByName(kNoticeTitle);
            for (const auto& w : display_->windowsByClass(kAppClass)) {
                if (!has(before, w) && !has(notices, w)) menu = w;
            }
            if (!menu) sleepSeconds(0.05);
        }
        if (!menu || !display_->key("Escape")) return std::nullopt;
        while (since(t0) < timeoutSeconds) {
            if (!has(display_->windowsByClass(kAppClass), *menu)) return since(t0);
            sleepSeconds(0.05);
        }
        return std::nullopt;
    }

    // Whether the program has a stream playing on the current server.
    bool streamOnServer() {
        const RunResult r = server_->pactl({"list", "sink-inputs"}, 3.0);
        return r.exitCode == 0 && r.out.find("application.name = \"Zendra\"") != std::string::npos;
    }
};

TEST_F(AudioServerLoss, ProgramOutlivesItsServerTellsOnceAndPlaysOnTheNextOne) {
    const auto t0 = Clock::now();
    ASSERT_NO_FATAL_FAILURE(launch("server-loss"));
    ZendraApp& app = this->app();

    // Slot 1 the 220 Hz pad sound, slot 2 the 440 Hz tone; both loop.
    ASSERT_NO_FATAL_FAILURE(app.loadDock({"pad-22050.wav", "tone-22050.wav"}));
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 2));  // Sample Pad
    const auto padAt = app.waitFor([](const Screen& s) { return blackArea(s, 200); });
    ASSERT_TRUE(padAt.has_value()) << "no Sample Pad";
    auto padCentre = [&](int i) {
        return std::make_pair(padAt->first + tw(120 + (i / 4) * 840 + 360),
                              padAt->second + tw(120 + (i % 4) * 840 + 360));
    };
    const auto [p1x, p1y] = padCentre(0);
    const auto [p2x, p2y] = padCentre(1);
    const auto [p3x, p3y] = padCentre(2);  // an empty slot
    std::cout << "set up after " << since(t0) << " s\n";

    // The loop is heard on the first server.
    double loopBefore = 0;
    {
        MonitorRecording rec(*server_, app.artifact("before.wav"));
        ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
        ASSERT_TRUE(display_->click(p1x, p1y));
        sleepSeconds(1.5);
        const Stereo s = rec.read();
        const auto loop = bandTrack(mid(s), 220.0);
        const size_t on = firstRunAbove(loop, -20.0);
        ASSERT_NE(on, SIZE_MAX) << "the loop was not heard on the first server";
        loopBefore = medianOf(loop, on + 1, loop.size());
        const double pitch = cycleFrequencyHz(s.left, kRate, (on + 1) * kWindow, s.left.size());
        std::cout << "before the loss: loop at 220 Hz " << loopBefore << " dB, pitch " << pitch << " Hz\n";
        EXPECT_NEAR(loopBefore, 20 * std::log10(0.6), 1.0);  // the file's fundamental
        EXPECT_NEAR(pitch, 220.0, 2.0);
    }
    const std::string mainTitle = display_->windowTitle(app.mainWindow());
    const auto mainGeometry = display_->windowGeometry(app.mainWindow());
    ASSERT_TRUE(mainGeometry.has_value());

    // The server crashes.
    const auto killedAt = Clock::now();
    server_->kill();
    ASSERT_FALSE(server_->running());
    const auto notice = display_->findWindow(kNoticeTitle, 10.0);
    ASSERT_TRUE(notice.has_value()) << "no notice of the lost device";
    const double toNotice = since(killedAt);
    app.snapshot("notice");
    std::cout << "notice after " << toNotice << " s\n";
    EXPECT_LT(toNotice, 3.0);  // the device is looked at twice a second
    ASSERT_TRUE(app.alive()) << app.stderrText();
    const auto ng = display_->windowGeometry(*notice);
    ASSERT_TRUE(ng.has_value());
    const Rect noticeRect{ng->x, ng->y, ng->width, ng->height};
    ASSERT_FALSE(noticeRect.contains(p1x, p1y) || noticeRect.contains(p3x, p3y)) << "the notice covers the pads";

    // While it is down: pads clicked again and again (the empty third too), and
    // the program still answers the mouse and keyboard.
    XTestKeyboard keyboard(display_->name());
    ASSERT_TRUE(keyboard.ok()) << "no XTEST on " << display_->name();
    const double cpuAtKill = cpuSeconds(app.process().pid());
    ASSERT_GT(cpuAtKill, 0.0) << "no CPU time read for the program";
    std::vector<double> roundTrips;
    for (int round = 0; round < 3; ++round) {
        for (const auto& [x, y] : {std::make_pair(p1x, p1y), std::make_pair(p3x, p3y)}) {
            ASSERT_TRUE(display_->click(x, y));
            sleepSeconds(0.25);
        }
        ASSERT_TRUE(display_->click(p1x, p1y));  // the pointer gives the pad the focus: Space presses it
        ASSERT_TRUE(keyboard.tap("space").has_value());
        const auto rt = menuRoundTrip();
        if (!rt) app.snapshot("menu");
        ASSERT_TRUE(rt.has_value()) << "the menu did not open and close while the server was down ("
                                    << display_->windowsByName(kNoticeTitle).size() << " notices showing)";
        roundTrips.push_back(*rt);
    }
    ASSERT_TRUE(app.alive()) << app.stderrText();
    EXPECT_EQ(display_->windowTitle(app.mainWindow()), mainTitle);
    const auto gDown = display_->windowGeometry(app.mainWindow());
    ASSERT_TRUE(gDown.has_value());
    EXPECT_EQ(gDown->width, mainGeometry->width);
    EXPECT_EQ(gDown->height, mainGeometry->height);
    const double downFor = since(killedAt);
    const double cpuShare = (cpuSeconds(app.process().pid()) - cpuAtKill) / downFor;
    const size_t notices = display_->windowsByName(kNoticeTitle).size();
    std::cout << "down " << downFor << " s, 9 pad clicks and 3 Space taps, " << notices
              << " notice(s), program CPU " << 100 * cpuShare << " %, menu round trips";
    for (double rt : roundTrips) std::cout << " " << rt << " s";
    std::cout << "\n";
    EXPECT_LT(cpuShare, 0.5) << "something spins while the server is down";
    EXPECT_EQ(notices, 1u);
    EXPECT_GT(downFor, 2.0);  // several looks of the device watch

    // Return dismisses the notice; no second one follows while still down.
    const auto dismissAt = Clock::now();
    ASSERT_TRUE(display_->key("Return", *notice));
    ASSERT_TRUE(display_->waitWindowGone(kNoticeTitle, 8.0)) << "the notice did not close on Return";
    std::cout << "notice closed " << since(dismissAt) << " s after Return\n";
    ASSERT_TRUE(display_->click(p1x, p1y));
    sleepSeconds(1.2);
    EXPECT_TRUE(display_->windowsByName(kNoticeTitle).empty()) << "a second notice for the same loss";
    ASSERT_TRUE(app.alive()) << app.stderrText();

    // A new server on the same socket: the program finds it by itself.
    const auto restartAt = Clock::now();
    server_->restart();
    const double serverUp = since(restartAt);
    bool back = streamOnServer();
    while (!back && since(restartAt) < 10.0) {
        sleepSeconds(0.05);
        back = streamOnServer();
    }
    const double toStream = since(restartAt);
    std::cout << "new server up in " << serverUp << " s; the program's stream on it " << toStream
              << " s after the restart began\n";
    ASSERT_TRUE(back) << "the program did not reconnect to the new server";
    EXPECT_LT(toStream, serverUp + 3.0);

    // The loop carries on by itself: short recordings until it is heard (a
    // new stream on a fresh null sink may take a moment to flow).
    std::optional<double> loopBack;
    double loopResumed = -200.0;
    while (!loopBack && since(restartAt) < 15.0) {
        MonitorRecording probe(*server_, app.artifact("probe.wav"));
        ASSERT_TRUE(probe.waitStarted()) << "parecord did not start on the new server";
        sleepSeconds(0.6);
        const auto track = bandTrack(mid(probe.read()), 220.0);
        const size_t on = firstRunAbove(track, -20.0);
        if (on == SIZE_MAX) continue;
        loopResumed = medianOf(track, on, track.size());
        const auto at = probe.availableAt(on * kWindow);
        loopBack = at ? std::chrono::duration<double>(*at - restartAt).count() : since(restartAt);
    }
    ASSERT_TRUE(loopBack.has_value()) << "the loop was not heard on the new server";
    std::cout << "loop heard again " << *loopBack << " s after the restart began (" << *loopBack - serverUp
              << " s after the server was up), at " << loopResumed << " dB\n";
    EXPECT_LT(*loopBack - serverUp, 5.0);
    EXPECT_NEAR(loopResumed, loopBefore, 1.0);

    // A click on the second pad is heard over the loop.
    MonitorRecording rec(*server_, app.artifact("after.wav"));
    ASSERT_TRUE(rec.waitStarted()) << "parecord did not start on the new server";
    sleepSeconds(0.6);
    const auto clickAt = Clock::now();
    ASSERT_TRUE(display_->click(p2x, p2y));
    sleepSeconds(1.5);
    const Stereo s = rec.read();
    app.snapshot("after");
    ASSERT_TRUE(app.alive()) << app.stderrText();
    std::cout << "recording: " << rec.path() << "\n";

    const size_t clickWin = firstFrameAfter(rec, s.left.size(), clickAt) / kWindow;
    const auto loop = bandTrack(mid(s), 220.0);
    const auto tone = bandTrack(mid(s), 440.0);
    ASSERT_GT(clickWin, 4u) << "the recording started late";
    const double loopAfter = medianOf(loop, 0, clickWin);
    // Before the click the 440 Hz bin holds only what a skip splashes into it.
    const double toneBefore = medianOf(tone, 0, clickWin), tonePeakBefore = maxOf(tone, 0, clickWin);
    const size_t toneOn = firstRunAbove(tone, -12.0);
    ASSERT_NE(toneOn, SIZE_MAX) << "the click on the new server was not heard";
    ASSERT_GE(toneOn, clickWin) << "the tone sounded before its pad was clicked";
    const double toneLevel = medianOf(tone, toneOn + 1, tone.size());
    const double clickToSound = static_cast<double>(toneOn - clickWin) * kWindow / kRate;
    std::cout << "after: loop " << loopAfter << " dB; 440 Hz before the click " << toneBefore << " dB (at most "
              << tonePeakBefore << " dB), after it " << toneLevel << " dB, heard " << clickToSound
              << " s after the click; whole run " << since(t0) << " s\n";
    EXPECT_NEAR(loopAfter, loopBefore, 1.0);
    EXPECT_LT(toneBefore, -50.0);
    EXPECT_NEAR(toneLevel, 20 * std::log10(0.8), 2.0);  // the tone file's amplitude
    EXPECT_LT(clickToSound, 3.0);
    EXPECT_TRUE(display_->windowsByName(kNoticeTitle).empty()) << "a notice after the device came back";
    app.terminate();
}

}  // namespace
}  // namespace zendra::test
