// Long play, end to end: a full bank of sixteen looping samples, then random
// pad clicks, bar moves, key taps and bank reloads against the real program
// for ZENDRA_SOAK_SECONDS (two minutes by default; scripts/soak.sh runs it for
// an hour). A measurement run by hand, not part of the test suite. Throughout, the program stays alive
// and its main window answers; its memory (VmRSS) does not grow past a bound
// once warmed up; at the end a pad is still heard, and the program, closed
// through its window, reports its audio callback timing.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_app.h"
#include "e2e_env.h"
#include "signal_measure.h"

namespace zendra::test {
namespace {

// Resident memory of a process in kB, or nullopt once it is gone.
std::optional<long> residentKb(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return std::nullopt;
}

// The program's callback histogram: 10 µs buckets, by upper bound.
struct CallbackReport {
    uint64_t calls = 0, maxNs = 0;
    double periodNs = 0;
    std::vector<std::pair<int, uint64_t>> buckets;  // (upper bound µs, count)

    int percentileUs(double q) const {
        uint64_t seen = 0;
        for (const auto& [us, n] : buckets) {
            seen += n;
            if (static_cast<double>(seen) >= q * static_cast<double>(calls)) return us;
        }
        return buckets.empty() ? 0 : buckets.back().first;
    }
    std::string summary() const {
        uint64_t over = 0;
        for (const auto& [us, n] : buckets) {
            if (us - 10 >= periodNs / 4000.0) over += n;
        }
        char text[256];
        std::snprintf(text, sizeof text,
                      "%llu calls, period %.0f us; p50 <= %d us, p99 <= %d us, p99.9 <= %d us, worst %.0f us; "
                      "%llu at or over a quarter of the period",
                      static_cast<unsigned long long>(calls), periodNs / 1000, percentileUs(0.5), percentileUs(0.99),
                      percentileUs(0.999), static_cast<double>(maxNs) / 1000, static_cast<unsigned long long>(over));
        return text;
    }
};

CallbackReport readCallbackReport(const std::string& path) {
    CallbackReport r;
    std::ifstream in(path);
    std::string key;
    in >> key >> r.calls >> key >> r.periodNs >> key >> r.maxNs;
    int us = 0;
    uint64_t n = 0;
    while (in >> us >> n) r.buckets.emplace_back(us, n);
    return r;
}

double soakSeconds() {
    const char* s = std::getenv("ZENDRA_SOAK_SECONDS");
    return s ? std::max(5.0, std::atof(s)) : 120.0;
}

class SoakEndToEnd : public AppTest {};

TEST_F(SoakEndToEnd, RandomPlayForALongTimeKeepsMemoryFlatAndTheProgramAnswering) {
    const double duration = soakSeconds();
    const std::string callbackPath = artifactsDir() + "/soak-callback-times.txt";
    std::remove(callbackPath.c_str());
    ASSERT_NO_FATAL_FAILURE(launch("soak", {{"ZENDRA_CALLBACK_TIMES", callbackPath}}));
    ZendraApp& zendra = app();
    Display& display = *display_;
    const std::string main = zendra.mainWindow();

    // A full bank of sixteen through the Sample Dock (all four pages).
    const char* kit[] = {"kick.wav",       "snare.wav",      "hat.wav",        "clap.wav",
                         "tone-22050.wav", "tone-44100.wav", "tone-11025.wav", "pad-22050.wav"};
    std::vector<std::string> files;
    for (int i = 0; i < 16; ++i) files.push_back(demoKit() + "/" + kit[i % 8]);
    Spot dock;
    ASSERT_NO_FATAL_FAILURE(zendra.loadDock(files, &dock));
    const int doneX = dock.first + tw(6480 + 427), doneY = dock.second + tw(120 + 187);

    // Sample Pad and Sample Properties side by side.
    ASSERT_NO_FATAL_FAILURE(zendra.menuItem(57, 2));
    const auto padAt = zendra.waitFor([](const Screen& s) { return blackArea(s, 200); });
    ASSERT_TRUE(padAt.has_value()) << "no Sample Pad";
    const auto [px, py] = *padAt;
    ASSERT_NO_FATAL_FAILURE(zendra.menuItem(57, 4));
    const Rect pad{px, py, tw(3000), tw(3000)};
    const auto propsAt = zendra.waitFor([&](const Screen& s) { return blackArea(s, 500, kToolArea, pad); });
    ASSERT_TRUE(propsAt.has_value()) << "no Sample Properties";
    const auto [vx, vy] = *propsAt;

    auto padCentre = [&](int i) {
        return std::make_pair(px + tw(120 + (i / 4) * 840 + 360), py + tw(120 + (i % 4) * 840 + 360));
    };
    // Rows of Sample Properties: four groups of four.
    auto rowY = [&](int r) { return vy + tw(660 + (r / 4) * 1620 + (r % 4) * 360 + 150); };
    auto startAll = [&] {
        for (int i = 0; i < 16; ++i) {
            const auto [x, y] = padCentre(i);
            display.click(x, y);
        }
    };
    // Every Loop box starts ticked: all sixteen play on.
    startAll();
    zendra.snapshot("start");

    // Both arrows of the volume, pan and frequency bars.
    const std::array<int, 6> arrowsX = {vx + tw(2460) + 5, vx + tw(4140) - 5, vx + tw(4380) + 5,
                                        vx + tw(6060) - 5, vx + tw(6300) + 5, vx + tw(9180) - 5};
    const std::string keys[] = {"a", "s", "d", "equal", "space", "q", "z", "1", "Return"};

    std::mt19937 rng(7);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    struct Sample {
        double t;
        long kb;
    };
    std::vector<Sample> memory;
    long actions = 0, reloads = 0, answerChecks = 0;
    double slowestAnswer = 0;
    const auto t0 = std::chrono::steady_clock::now();
    auto now = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    double nextCheck = 0;
    while (now() < duration) {
        const int op = pick(100);
        if (op < 45) {
            const auto [x, y] = padCentre(pick(16));
            display.click(x, y);
        } else if (op < 80) {
            display.click(arrowsX[static_cast<size_t>(pick(6))], rowY(pick(16)));
        } else if (op < 97) {
            display.key(keys[pick(9)]);
        } else {
            // File > Load Samples, then Done: the same files again, all restarted.
            zendra.menuItem(18, 1);
            display.click(doneX, doneY);
            sleepSeconds(0.5);
            startAll();
            ++reloads;
        }
        ++actions;
        sleepSeconds(0.02 + 0.001 * pick(60));

        if (now() >= nextCheck) {
            nextCheck = now() + 2.0;
            ASSERT_TRUE(zendra.alive()) << "the program ended after " << actions << " actions: " << zendra.stderrText();
            const auto kb = residentKb(zendra.process().pid());
            ASSERT_TRUE(kb.has_value());
            memory.push_back({now(), *kb});
            // The program answers: its window can be found and it handles a
            // round trip through the window system (a title query).
            const auto a0 = std::chrono::steady_clock::now();
            ASSERT_FALSE(display.windowTitle(main).empty());
            ASSERT_TRUE(display.windowGeometry(main).has_value());
            slowestAnswer =
                std::max(slowestAnswer, std::chrono::duration<double>(std::chrono::steady_clock::now() - a0).count());
            ++answerChecks;
            // A message means a reload failed: answer it and carry on, but count it.
            if (!display.windowsByName(kMessageTitle).empty()) {
                display.key("Return");
                ADD_FAILURE() << "a message came up after " << actions << " actions";
                zendra.snapshot("message");
            }
        }
    }
    zendra.snapshot("end");

    // Memory: after the first quarter (warm-up), the highest reading may
    // exceed the warmed-up one by at most 30 MB.
    ASSERT_GE(memory.size(), 3u);
    long warm = 0, peak = 0;
    for (const Sample& s : memory) {
        if (s.t <= duration / 4)
            warm = s.kb;
        else
            peak = std::max(peak, s.kb);
    }
    if (warm == 0) warm = memory.front().kb;
    std::printf(
        "[   INFO   ] %ld actions (%ld reloads) in %.0f s; VmRSS first %ld kB, warmed %ld kB, peak after %ld kB, "
        "last %ld kB; %ld answer checks, slowest %.3f s\n",
        actions, reloads, duration, memory.front().kb, warm, peak, memory.back().kb, answerChecks, slowestAnswer);
    {
        std::ofstream log(artifactsDir() + "/soak-memory.tsv");
        log << "seconds\tvmrss_kb\n";
        for (const Sample& s : memory) log << s.t << '\t' << s.kb << '\n';
    }
    EXPECT_LE(peak - warm, 30 * 1024) << "memory grew";
    // Each check starts xdotool twice, which alone takes up to a second on a
    // loaded machine; a program that stopped handling events would not answer at all.
    EXPECT_LT(slowestAnswer, 10.0);

    // Still heard: a pad started now reaches the monitor.
    sleepSeconds(0.5);
    MonitorRecording rec(*server_, artifactsDir() + "/soak-monitor.wav");
    ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
    sleepSeconds(0.3);
    for (int i = 0; i < 3; ++i) {
        const auto [x, y] = padCentre(i);
        display.click(x, y);
        sleepSeconds(0.3);
    }
    sleepSeconds(0.5);
    const Stereo s = rec.read();
    ASSERT_GT(s.left.size(), 4800u);
    EXPECT_GT(std::max(peakAbs(s.left), peakAbs(s.right)), 0.005) << "nothing was heard";
    EXPECT_TRUE(zendra.alive());

    // Closing the main window ends the program, which then writes its audio
    // callback timing (ZENDRA_CALLBACK_TIMES): reported, not judged, here.
    ASSERT_TRUE(display.closeWindow(main));
    ASSERT_TRUE(zendra.process().waitExit(20.0).has_value()) << "closing the main window did not end the program";
    const CallbackReport report = readCallbackReport(callbackPath);
    ASSERT_GT(report.calls, 0u) << "no callback timing written to " << callbackPath;
    std::printf("[   INFO   ] audio callbacks: %s\n", report.summary().c_str());
}

}  // namespace
}  // namespace zendra::test
