// What the end-to-end measurements share: clocks and statistics, onsets
// matched to what triggered them, the machine's load and stolen time, and a
// direct connection to the X server.
#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct _XDisplay;  // Xlib's Display

namespace zendra::bench {

using Clock = std::chrono::steady_clock;
using XWindow = unsigned long;  // Xlib's Window

double msBetween(Clock::time_point a, Clock::time_point b);

// The value of an environment variable; throws if it is not set.
std::string env(const char* name);

// /proc/loadavg's three figures.
std::string loadAverage();

// The first fields of /proc/stat's "cpu" line (every CPU together), in ticks:
// user, nice, system, idle, iowait, irq, softirq, steal.
std::array<long long, 8> cpuTicks();
// CPU time taken by the hypervisor from this virtual machine so far (seconds).
double stealSeconds();

// Every CPU's interrupt and stolen time (/proc/stat ticks), sampled every
// 20 ms on a thread of its own, so a long callback can be set against them.
class CpuTicks {
public:
    CpuTicks() : thread_([this] { run(); }) {}
    ~CpuTicks();
    // Interrupt and stolen ticks across all CPUs between `from` and `to`.
    std::pair<long long, long long> between(Clock::time_point from, Clock::time_point to);

private:
    struct Sample {
        Clock::time_point at;
        long long irq = 0, steal = 0;
    };
    void run();
    std::mutex mutex_;
    std::vector<Sample> samples_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Stats {
    double median = 0, worst = 0, best = 0, p90 = 0;
};
Stats stats(std::vector<double> v);
void printStats(const std::string& what, const std::vector<double>& v);

// What a measurement triggered: when, and on which of its paths.
struct Trigger {
    Clock::time_point at;
    size_t path = 0;
};
// When a recorded frame was played, where known.
using FrameTime = std::function<std::optional<Clock::time_point>(size_t frame)>;
// Onsets in a recording (a frame above -40 dBFS after 10 ms below -50 dBFS),
// each matched to the last trigger before it, or less than `slackMs` after
// it (an onset dated by the start of its cycle can precede a trigger that
// came before the client ran in that cycle, and a key's moment, taken when
// the X server has confirmed it, can follow the program's handling of it):
// per path, the delay of each trigger that has one (ms), and how many were
// left without; onsets whose trigger already had one (a sound later than
// the next trigger, or a sound's own tail) are counted apart.
struct Onsets {
    std::vector<std::vector<double>> ms;
    std::vector<int> missed;
    int stray = 0;
};
Onsets matchOnsets(const std::vector<float>& x, const FrameTime& when, const std::vector<Trigger>& triggers,
                   size_t paths, double slackMs = 0.0);
// Median, worst and every value, and how many had none (`missedWhat`).
void printDelays(const std::string& what, const std::vector<double>& ms, int missed,
                 const char* missedWhat = "without an onset");

// A direct connection to the X server: map notifications of top-level
// windows as they happen, pixels, and key presses through XTEST (loaded at
// run time; only the runtime library is needed).
class XWatch {
public:
    explicit XWatch(const std::string& display);
    ~XWatch();
    XWatch(const XWatch&) = delete;
    XWatch& operator=(const XWatch&) = delete;

    // Waits for a top-level window titled `title` (or, with byClass, of the
    // WM_CLASS instance `title`) to be mapped; returns it with the moment its
    // map notification arrived.
    std::optional<std::pair<XWindow, Clock::time_point>> waitMapped(const std::string& title, double timeout,
                                                                    bool byClass = false);
    // Whether the window shows a black client area (a run of 100 black
    // pixels) among mostly painted, non-black pixels.
    bool showsBlackForm(XWindow w);
    std::optional<Clock::time_point> waitBlackForm(XWindow w, double timeout);
    // Press and release of a key (X keysym name) to window `w` (focused
    // first, if given); returns when the server had the press.
    std::optional<Clock::time_point> tap(const std::string& key, XWindow w = 0, double hold = 0.03);

private:
    ::_XDisplay* dpy_ = nullptr;
    XWindow root_ = 0;
    void* xtst_ = nullptr;
    int (*fake_)(::_XDisplay*, unsigned, int, unsigned long) = nullptr;
};

}  // namespace zendra::bench
