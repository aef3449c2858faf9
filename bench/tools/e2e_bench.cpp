// Measurements of the real program that take too long for the test suite,
// each on a private Xvfb display and a private PulseAudio server:
//
//   zendra_e2e_bench startup RUNS      launch to window shown, Zendra vs a bare
//                                      Qt MDI window (BARE_MDI_BIN), interleaved
//   zendra_e2e_bench taps COUNT        key press to the note's onset at the
//                                      null sink's monitor, through the Tap Pad
//   zendra_e2e_bench midi COUNT        MIDI note sent (over a private JACK
//                                      server) to the note's onset at the
//                                      null sink's monitor (note 36: sample 1)
//   zendra_e2e_bench callback SECONDS  the audio callback's duration on the
//                                      real device, 16 voices, a CPU burner
//   zendra_e2e_bench dropouts SECONDS  holes in what the program plays (16
//                                      looping samples) against a plain SDL
//                                      client at the same buffer size, both
//                                      cores kept busy by two processes
//
// ZENDRA_BIN and ZENDRA_DEMO_KIT as for the end-to-end tests.
#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../bench_signal.h"
#include "e2e_env.h"
#include "sound/direct_sound.h"
#include "sound/output_engine.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using namespace zendra;
using namespace zendra::test;
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// CPU time taken by the hypervisor from this virtual machine so far (seconds).
// The first fields of /proc/stat's "cpu" line (every CPU together), in ticks:
// user, nice, system, idle, iowait, irq, softirq, steal.
std::array<long long, 8> cpuTicks() {
    std::ifstream in("/proc/stat");
    std::string name;
    std::array<long long, 8> v{};
    in >> name;
    for (auto& x : v) in >> x;
    return v;
}

double stealSeconds() { return static_cast<double>(cpuTicks()[7]) / static_cast<double>(sysconf(_SC_CLK_TCK)); }

// Every CPU's interrupt and stolen time (/proc/stat ticks), sampled every
// 20 ms on a thread of its own, so a long callback can be set against them.
class CpuTicks {
public:
    CpuTicks() : thread_([this] { run(); }) {}
    ~CpuTicks() {
        stop_ = true;
        thread_.join();
    }
    // Interrupt and stolen ticks across all CPUs between `from` and `to`.
    std::pair<long long, long long> between(Clock::time_point from, Clock::time_point to) {
        std::lock_guard<std::mutex> lock(mutex_);
        const Sample* a = nullptr;
        const Sample* b = nullptr;
        for (const auto& s : samples_) {
            if (s.at <= from) a = &s;
            if (b == nullptr && s.at >= to) b = &s;
        }
        if (a == nullptr || b == nullptr) return {-1, -1};
        return {b->irq - a->irq, b->steal - a->steal};
    }

private:
    struct Sample {
        Clock::time_point at;
        long long irq = 0, steal = 0;
    };
    void run() {
        while (!stop_) {
            Sample s{Clock::now()};
            const auto v = cpuTicks();
            s.irq = v[5] + v[6];
            s.steal = v[7];
            {
                std::lock_guard<std::mutex> lock(mutex_);
                samples_.push_back(s);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::mutex mutex_;
    std::vector<Sample> samples_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

struct Stats {
    double median = 0, worst = 0, best = 0, p90 = 0;
};
Stats stats(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.median = v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    s.worst = v.back();
    s.best = v.front();
    s.p90 = v[std::min(v.size() - 1, static_cast<size_t>(std::ceil(0.9 * static_cast<double>(v.size()))) - 1)];
    return s;
}
void printStats(const std::string& what, const std::vector<double>& v) {
    const Stats s = stats(v);
    std::printf("%-44s n=%zu  median %.1f ms  p90 %.1f ms  worst %.1f ms  best %.1f ms\n", what.c_str(), v.size(),
                s.median, s.p90, s.worst, s.best);
}

// A direct connection to the X server: map notifications of top-level
// windows as they happen, pixels, and key presses through XTEST (loaded at
// run time; only the runtime library is needed).
class XWatch {
public:
    explicit XWatch(const std::string& display) {
        dpy_ = XOpenDisplay(display.c_str());
        if (dpy_ == nullptr) throw std::runtime_error("cannot open " + display);
        root_ = DefaultRootWindow(dpy_);
        XSelectInput(dpy_, root_, SubstructureNotifyMask);
        XSync(dpy_, False);
        xtst_ = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
        if (xtst_ != nullptr) fake_ = reinterpret_cast<decltype(fake_)>(dlsym(xtst_, "XTestFakeKeyEvent"));
    }
    ~XWatch() {
        XCloseDisplay(dpy_);
        if (xtst_ != nullptr) dlclose(xtst_);
    }

    // Waits for a top-level window titled `title` (or, with byClass, of the
    // WM_CLASS instance `title`) to be mapped; returns it with the moment its
    // map notification arrived.
    std::optional<std::pair<Window, Clock::time_point>> waitMapped(const std::string& title, double timeout,
                                                                   bool byClass = false) {
        const auto t0 = Clock::now();
        while (msBetween(t0, Clock::now()) < timeout * 1000) {
            while (XPending(dpy_) > 0) {
                XEvent e;
                XNextEvent(dpy_, &e);
                if (e.type != MapNotify) continue;
                const auto at = Clock::now();
                if (byClass) {
                    XClassHint hint{};
                    if (XGetClassHint(dpy_, e.xmap.window, &hint)) {
                        const bool match = hint.res_name != nullptr && title == hint.res_name;
                        if (hint.res_name != nullptr) XFree(hint.res_name);
                        if (hint.res_class != nullptr) XFree(hint.res_class);
                        if (match) return std::make_pair(e.xmap.window, at);
                    }
                    continue;
                }
                char* name = nullptr;
                if (XFetchName(dpy_, e.xmap.window, &name) && name != nullptr) {
                    const std::string n = name;
                    XFree(name);
                    if (n == title) return std::make_pair(e.xmap.window, at);
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return std::nullopt;
    }

    // Whether the window shows a black client area (a run of 100 black
    // pixels) among mostly painted, non-black pixels.
    bool showsBlackForm(Window w) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(dpy_, w, &a) || a.width <= 0 || a.height <= 0) return false;
        XImage* img = XGetImage(dpy_, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height),
                                AllPlanes, ZPixmap);
        if (img == nullptr) return false;
        bool run100 = false;
        size_t nonBlack = 0;
        for (int y = 0; y < a.height; y += 1) {
            int run = 0;
            for (int x = 0; x < a.width; ++x) {
                const unsigned long px = XGetPixel(img, x, y) & 0xffffff;
                if (px == 0) {
                    if (++run >= 100 && y > 20) run100 = true;
                } else {
                    run = 0;
                    ++nonBlack;
                }
            }
        }
        XDestroyImage(img);
        return run100 && nonBlack * 10 > static_cast<size_t>(a.width) * a.height;
    }

    std::optional<Clock::time_point> waitBlackForm(Window w, double timeout) {
        const auto t0 = Clock::now();
        while (msBetween(t0, Clock::now()) < timeout * 1000) {
            if (showsBlackForm(w)) return Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return std::nullopt;
    }

    // Press and release of a key (X keysym name) to window `w` (focused
    // first, if given); returns when the server had the press.
    std::optional<Clock::time_point> tap(const std::string& key, Window w = 0, double hold = 0.03) {
        if (fake_ == nullptr) return std::nullopt;
        if (w != 0) {
            XSetInputFocus(dpy_, w, RevertToParent, CurrentTime);
            XSync(dpy_, False);
        }
        const KeyCode code = XKeysymToKeycode(dpy_, XStringToKeysym(key.c_str()));
        if (code == 0) return std::nullopt;
        fake_(dpy_, code, True, 0);
        XSync(dpy_, False);
        const auto at = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(hold));
        fake_(dpy_, code, False, 0);
        XSync(dpy_, False);
        return at;
    }

private:
    ::Display* dpy_ = nullptr;
    Window root_ = 0;
    void* xtst_ = nullptr;
    int (*fake_)(::Display*, unsigned, Bool, unsigned long) = nullptr;
};

std::string env(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr) throw std::runtime_error(std::string(name) + " is not set");
    return v;
}

// ------------------------------------------------------------------ startup

int startup(int runs) {
    const std::string zendraBin = env("ZENDRA_BIN"), bareBin = env("BARE_MDI_BIN");
    AudioServer server;
    zendra::test::Display display;
    XWatch x(display.name());
    const EnvVars appEnv = server.env() + display.env() + EnvVars{{"SDL_AUDIODRIVER", "pulseaudio"}};
    std::vector<double> bare, bareShown, splash, agreeToMain, agreeToDock, total;
    std::printf("load average before: %s\n", loadAverage().c_str());
    for (int i = 0; i < runs + 1; ++i) {  // the first round warms the caches and is not counted
        auto runBare = [&] {
            const auto t0 = Clock::now();
            AppProcess app(bareBin, {}, appEnv, "bench-bare-mdi");
            const auto mapped = x.waitMapped("Bare MDI", 20);
            const auto shown = mapped ? x.waitBlackForm(mapped->first, 10) : std::nullopt;
            if (!mapped || !shown) throw std::runtime_error("the bare MDI window did not show");
            if (i > 0) {
                bare.push_back(msBetween(t0, mapped->second));
                bareShown.push_back(msBetween(t0, *shown));
            }
            app.terminate();
        };
        auto runZendra = [&] {
            const auto t0 = Clock::now();
            AppProcess app(zendraBin, {}, appEnv, "bench-zendra-startup");
            const auto disclaimer = x.waitMapped("zendra", 20, true);  // untitled; the first window shown
            if (!disclaimer) throw std::runtime_error("no disclaimer: " + app.stderrText());
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a reader's pause, not counted
            // Released at once: the program acts on the press, and the map
            // notifications are only read (and timed) once the tap returns.
            // STARTUP_HOLD_MS=30 measures as the tool first did.
            const char* hold = std::getenv("STARTUP_HOLD_MS");
            const auto agreed = x.tap("Return", disclaimer->first, hold != nullptr ? std::atof(hold) / 1000 : 0.0);
            if (!agreed) throw std::runtime_error("no XTEST");
            const auto mainWin = x.waitMapped("Zendra.", 20);
            const auto dock = mainWin ? x.waitBlackForm(mainWin->first, 10) : std::nullopt;
            if (!mainWin || !dock) throw std::runtime_error("no main window with the Sample Dock: " + app.stderrText());
            if (i > 0) {
                splash.push_back(msBetween(t0, disclaimer->second));
                agreeToMain.push_back(msBetween(*agreed, mainWin->second));
                agreeToDock.push_back(msBetween(*agreed, *dock));
                total.push_back(splash.back() + agreeToDock.back());
            }
            app.terminate();
        };
        // Either goes first in turn, so neither always follows the other's exit.
        if (i % 2 == 0) {
            runBare();
            runZendra();
        } else {
            runZendra();
            runBare();
        }
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    printStats("bare MDI: launch -> window mapped", bare);
    printStats("bare MDI: launch -> child window painted", bareShown);
    printStats("Zendra: launch -> disclaimer mapped", splash);
    printStats("Zendra: I Agree -> main window mapped", agreeToMain);
    printStats("Zendra: I Agree -> Sample Dock painted", agreeToDock);
    printStats("Zendra: disclaimer + Sample Dock (sum)", total);
    std::printf("ratio of medians, disclaimer / bare mapped: %.2f\n", stats(splash).median / stats(bare).median);
    std::printf("ratio of medians, (disclaimer + dock) / bare painted: %.2f\n",
                stats(total).median / stats(bareShown).median);
    return 0;
}

// --------------------------------------------------------------------- taps

// What the monitor of test_out carries, captured in this process in
// 128-frame blocks, each dated when it arrived.
class MonitorCapture {
public:
    MonitorCapture() {
        frames_.reserve(48000 * 2 * 200);
        blocks_.reserve(48000 * 200 / 64);
        SDL_AudioSpec want{}, have{};
        want.freq = 48000;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = 128;
        want.callback = [](void* self, Uint8* bytes, int len) {
            static_cast<MonitorCapture*>(self)->deliver(reinterpret_cast<const float*>(bytes), len / 8);
        };
        want.userdata = this;
        id_ = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
        if (id_ == 0) throw std::runtime_error(std::string("capture: ") + SDL_GetError());
        std::printf("monitor capture: %d Hz, %d-frame blocks\n", have.freq, have.samples);
        SDL_PauseAudioDevice(id_, 0);
    }
    ~MonitorCapture() { SDL_CloseAudioDevice(id_); }

    void stop() { SDL_PauseAudioDevice(id_, 1); }
    // The left channel so far, and for each block its end frame and arrival.
    std::vector<float> left() {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<float> l(frames_.size() / 2);
        for (size_t i = 0; i < l.size(); ++i) l[i] = frames_[2 * i];
        return l;
    }
    // When the block holding `frame` arrived, less the frames after it in
    // that block: an upper bound on when the frame reached the monitor (it
    // includes the capture path's own delay).
    std::optional<Clock::time_point> frameTime(size_t frame) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = std::upper_bound(blocks_.begin(), blocks_.end(), frame,
                                         [](size_t f, const auto& b) { return f < b.first; });
        if (it == blocks_.end()) return std::nullopt;
        return it->second - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                                static_cast<double>(it->first - 1 - frame) / 48000.0));
    }
    bool realtime() const { return realtime_.load(); }
    // Block ends and arrival times, for a look at how the capture was delivered.
    void saveBlocks(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::ofstream out(path);
        out << "end_frame,arrival_s\n";
        for (const auto& [end, at] : blocks_) out << end << "," << std::chrono::duration<double>(at.time_since_epoch()).count() << "\n";
    }

private:
    void deliver(const float* f, int frames) {
        const auto at = Clock::now();
        if (!triedRealtime_) {
            // The measuring side must not be the one starved on a busy machine.
            triedRealtime_ = true;
            sched_param p{};
            p.sched_priority = 20;
            realtime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        frames_.insert(frames_.end(), f, f + 2 * frames);
        blocks_.emplace_back(frames_.size() / 2, at);
    }

    SDL_AudioDeviceID id_ = 0;
    std::mutex mutex_;
    std::vector<float> frames_;
    std::vector<std::pair<size_t, Clock::time_point>> blocks_;
    std::atomic<bool> realtime_{false};
    bool triedRealtime_ = false;
};

// A length in twips as the program lays it out (96 dpi under Xvfb).
int tw(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

// The top-left corner of the one tool window showing: the first run of 100
// black pixels in a screenshot of the main window's area.
std::optional<std::pair<int, int>> blackFormOrigin(const zendra::test::Display& display, const std::string& path) {
    if (!display.screenshot(path)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    in >> magic >> w >> h >> maxval;
    in.get();
    if (magic != "P6" || w <= 0 || h <= 0 || maxval <= 0 || maxval > 65535) return std::nullopt;
    const size_t bpv = maxval > 255 ? 2 : 1;
    std::vector<unsigned char> raw(static_cast<size_t>(w) * h * 3 * bpv);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (!in) return std::nullopt;
    const int maxX = std::min(w, 1024), maxY = std::min(h, 768);
    for (int y = 20; y < maxY; ++y) {
        int run = 0;
        for (int xx = 0; xx < maxX; ++xx) {
            const size_t i = ((static_cast<size_t>(y) * w + xx) * 3) * bpv;
            run = (raw[i] == 0 && raw[i + bpv] == 0 && raw[i + 2 * bpv] == 0) ? run + 1 : 0;
            if (run == 100) return std::make_pair(xx - 99, y);
        }
    }
    return std::nullopt;
}

// Polls for up to 8 s until a tool window shows somewhere other than `before`.
std::optional<std::pair<int, int>> waitNewForm(const zendra::test::Display& display, const std::string& shot,
                                               std::optional<std::pair<int, int>> before) {
    const auto t0 = Clock::now();
    do {
        const auto at = blackFormOrigin(display, shot);
        if (at && at != before) return at;
        sleepSeconds(0.2);
    } while (msBetween(t0, Clock::now()) < 8000);
    return std::nullopt;
}

int taps(int count, bool midi) {
    const std::string bin = env("ZENDRA_BIN"), kit = env("ZENDRA_DEMO_KIT");
    AudioServer server;
    zendra::test::Display display;
    XWatch x(display.name());
    // MIDI: a private JACK server carrying notes from an output here; the
    // program opens the first input it finds, this one.
    std::optional<Child> jack;
    std::unique_ptr<RtMidiOut> out;
    EnvVars midiEnv;
    if (midi) {
        const std::string name = "zendra-bench-" + std::to_string(getpid());
        jack.emplace(std::vector<std::string>{"jackd", "-n", name, "-d", "dummy", "-r", "48000", "-p", "128"},
                     EnvVars{{"JACK_NO_AUDIO_RESERVATION", "1"}});
        for (int i = 0; i < 50 && run({"jack_lsp", "-s", name}).exitCode != 0; ++i) sleepSeconds(0.1);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "zendra-bench");
        out->openVirtualPort("out");
        midiEnv = {{"JACK_DEFAULT_SERVER", name}};
    }
    AppProcess app(bin, {}, server.env() + display.env() + EnvVars{{"SDL_AUDIODRIVER", "pulseaudio"}} + midiEnv,
                   midi ? "bench-midi" : "bench-taps");
    const std::string shot = artifactsDir() + "/bench-taps-screen.ppm";
    auto check = [&](bool ok, const std::string& what) {
        if (!ok) throw std::runtime_error(what + "\n" + app.stderrText());
    };
    auto waitForm = [&](std::optional<std::pair<int, int>> before) { return waitNewForm(display, shot, before); };
    auto menuItem = [&](int menuX, int n) {
        check(display.click(menuX, 8), "menu click");
        sleepSeconds(0.6);
        std::string keys;
        for (int k = 0; k < n; ++k) keys += "Down ";
        check(display.key(keys + "Return"), "menu keys");
        sleepSeconds(0.4);
    };
    auto answerWindow = [&](const std::string& title, const std::string& text) {
        const auto wid = display.findWindow(title, 5.0);
        check(wid.has_value(), "no window " + title);
        display.focus(*wid);
        display.type(text);
        display.key("Return");
        if (!display.waitWindowGone(title, 2.0)) display.key("Return");
        check(display.waitWindowGone(title, 8.0), title + " did not close");
        sleepSeconds(0.2);
    };

    // Disclaimer, then the kick in the Sample Dock, bound to "k", one-shot,
    // and the Tap Pad open (as the Tap Pad's end-to-end test does).
    const auto splash = display.findWindowByClass("^zendra$", 10.0);  // untitled, the first window shown
    check(splash.has_value(), "no disclaimer");
    display.key("Return", *splash);
    check(display.findWindow("^Zendra\\.$", 10.0).has_value(), "no main window");
    sleepSeconds(0.5);
    const auto dock = waitForm({});
    check(dock.has_value(), "no Sample Dock");
    check(display.click(dock->first + tw(480 + 240 + 427), dock->second + tw(840 + 240 + 247)), "Sample 1");
    answerWindow("^Open$", kit + "/kick.wav");
    check(display.click(dock->first + tw(6480 + 427), dock->second + tw(120 + 187)), "Done");
    auto keys = dock;
    if (!midi) {
        menuItem(20, 4);  // File: Key Associations
        keys = waitForm(dock);
        check(keys.has_value(), "no Key Associations");
        check(display.click(keys->first + tw(360 + 300), keys->second + tw(840 + 187)), "1 =");
        answerWindow("^Key Associations$", "k");
        check(display.click(keys->first + tw(5400 + 487), keys->second + tw(3060 + 187)), "Done");
    }
    menuItem(57, 4);
    const auto props = waitForm(keys);
    check(props.has_value(), "no Sample Properties");
    check(display.click(props->first + tw(1800 + 150), props->second + tw(660 + 150)), "Loop");
    if (!midi) menuItem(57, 3);
    // A key press through XTEST, or note 36 (sample 1) at full velocity.
    auto hit = [&]() -> std::optional<Clock::time_point> {
        if (!midi) return x.tap("k");
        const std::vector<unsigned char> on{0x90, 36, 127}, off{0x80, 36, 0};
        const auto at = Clock::now();
        out->sendMessage(&on);
        out->sendMessage(&off);
        return at;
    };

    // The monitor of what the program plays, captured here.
    check(server.pactl({"set-default-source", "test_out.monitor"}).exitCode == 0, "set-default-source");
    server.exportToProcess();
    SDL_SetHint("SDL_AUDIODRIVER", "pulseaudio");
    check(SDL_Init(SDL_INIT_AUDIO) == 0, SDL_GetError());
    std::vector<double> ms;
    int missed = 0;
    {
        MonitorCapture cap;
        const auto captureStart = Clock::now();
        sleepSeconds(1.0);
        std::printf("load average before the taps: %s\n", loadAverage().c_str());
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> jitter(0.0, 0.05);
        for (int i = 0; i < 3; ++i) {  // warm-up taps, not counted
            check(hit().has_value(), "XTEST");
            sleepSeconds(0.6);
        }
        std::vector<Clock::time_point> pressed;
        for (int i = 0; i < count; ++i) {
            const auto at = hit();
            check(at.has_value(), "XTEST");
            pressed.push_back(*at);
            sleepSeconds(0.55 + jitter(rng));  // the kick (0.45 s) ends before the next tap
        }
        sleepSeconds(0.5);
        cap.stop();
        std::printf("load average after the taps: %s\n", loadAverage().c_str());
        cap.saveBlocks(artifactsDir() + "/bench-taps-blocks.csv");
        const auto l = cap.left();
        const double wall = std::chrono::duration<double>(Clock::now() - captureStart).count();
        std::printf("monitor capture: %zu frames in %.1f s (%s)\n", l.size(), wall,
                    cap.realtime() ? "capture thread SCHED_FIFO" : "capture thread not realtime");
        // Onsets: a frame above -40 dBFS after 10 ms below -50 dBFS. Each is
        // the sound of the last key pressed before it arrived.
        std::vector<bool> used(pressed.size(), false);
        for (size_t f = 480; f < l.size(); ++f) {
            if (std::fabs(l[f]) <= 0.01f) continue;
            bool quiet = true;
            for (size_t k = f - 480; k < f && quiet; ++k) quiet = std::fabs(l[k]) < 0.003f;
            if (!quiet) continue;
            const auto t = cap.frameTime(f);
            if (!t) break;
            size_t tap = pressed.size();
            for (size_t i = 0; i < pressed.size() && pressed[i] < *t; ++i) tap = i;
            if (tap < pressed.size() && !used[tap]) {
                used[tap] = true;
                ms.push_back(msBetween(pressed[tap], *t));
            }
            f += 4800;  // past this onset
        }
        missed = static_cast<int>(std::count(used.begin(), used.end(), false));
    }
    SDL_Quit();
    app.terminate();
    std::printf("taps: %d, onsets matched to a tap: %zu, taps without an onset: %d\n", count, ms.size(), missed);
    printStats(midi ? "MIDI note sent -> onset at the monitor" : "key press -> onset at the monitor", ms);
    std::printf("all (ms):");
    for (double v : ms) std::printf(" %.1f", v);
    std::printf("\n");
    out.reset();
    if (jack) jack->stop();
    return missed == 0 ? 0 : 1;
}

// ----------------------------------------------------------------- callback

int callback(double seconds, int burners) {
    AudioServer server;
    server.exportToProcess();
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    DirectX7 dx(systemAudioBackend());
    auto ds = dx.DirectSoundCreate("");
    std::vector<std::shared_ptr<DirectSoundBuffer>> voices;
    for (const auto& v : zendra::bench::mixWorkload(16)) {
        auto b = zendra::bench::zendraBuffer(*ds, v.pcm, zendra::bench::kSourceRate, v.channels);
        b->SetFrequency(static_cast<int32_t>(std::lround(zendra::bench::kSourceRate * v.ratio)));
        b->SetVolume(zendra::bench::hundredthsDb(v.gain));
        b->SetPan(static_cast<int32_t>(std::lround(v.pan * 10000.0f)));
        b->Play(1);
        voices.push_back(b);
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> burn;
    for (int i = 0; i < burners; ++i) {
        burn.emplace_back([&stop] {
            volatile double acc = 1.0;
            while (!stop.load(std::memory_order_relaxed)) {
                for (int k = 0; k < 100000; ++k) acc = std::sqrt(acc * 1.0000001 + 1.0);
            }
        });
    }
    // The user-interface side stays busy too: volume and pitch changes to
    // every voice 50 times a second.
    const auto t0 = Clock::now();
    std::printf("load average at start: %s\n", loadAverage().c_str());
    const double stealFrom = stealSeconds();
    int tick = 0;
    double nextReport = 60;
    while (msBetween(t0, Clock::now()) < seconds * 1000) {
        for (size_t i = 0; i < voices.size(); ++i) {
            voices[i]->SetVolume(-600 - 10 * ((tick + static_cast<int>(i)) % 20));
            const double r = 0.25 + (4.5 - 0.25) * static_cast<double>(i) / 15.0;
            voices[i]->SetFrequency(static_cast<int32_t>(std::lround(22050 * r * (1.0 - 0.001 * (tick % 10)))));
        }
        ++tick;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double el = msBetween(t0, Clock::now()) / 1000;
        if (el >= nextReport) {
            const CallbackTimes t = ds->engine()->callbackTimes();
            std::printf("%5.0f s: %llu callbacks, worst %.1f us, load %s\n", el,
                        static_cast<unsigned long long>(t.calls), t.maxNanos / 1e3, loadAverage().c_str());
            std::fflush(stdout);
            nextReport += 60;
        }
    }
    const CallbackTimes t = ds->engine()->callbackTimes();
    stop = true;
    for (auto& th : burn) th.join();
    std::printf("load average at end: %s; CPU time stolen by the hypervisor meanwhile: %.2f s\n",
                loadAverage().c_str(), stealSeconds() - stealFrom);
    std::printf("device: %d Hz, %d-frame buffer, period %.1f us; 25 %% of it: %.1f us\n", ds->engine()->rate(),
                ds->engine()->bufferFrames(), t.periodNanos / 1e3, t.periodNanos / 4e3);
    std::printf("callbacks: %llu over %.0f s; worst %.1f us (%.1f %% of the period)\n",
                static_cast<unsigned long long>(t.calls), seconds, t.maxNanos / 1e3, 100.0 * t.maxNanos / t.periodNanos);
    auto percentile = [&](double p) {
        const double want = p * static_cast<double>(t.calls);
        double seen = 0;
        for (int i = 0; i < CallbackTimes::kBuckets; ++i) {
            seen += static_cast<double>(t.counts[i]);
            if (seen >= want) return 10.0 * (i + 1);
        }
        return 10.0 * CallbackTimes::kBuckets;
    };
    for (double p : {0.5, 0.9, 0.99, 0.999, 0.9999}) {
        std::printf("  p%-7g <= %.0f us\n", p * 100, percentile(p));
    }
    uint64_t over = 0;
    for (int i = 0; i < CallbackTimes::kBuckets; ++i) {
        if (10e3 * i >= t.periodNanos / 4) over += t.counts[i];
    }
    std::printf("callbacks in buckets at or above 25 %% of the period: %llu\n", static_cast<unsigned long long>(over));
    std::printf("histogram (10 us buckets, non-empty):\n");
    for (int i = 0; i < CallbackTimes::kBuckets; ++i) {
        if (t.counts[i] > 0) std::printf("  %4d-%4d us: %llu\n", 10 * i, 10 * (i + 1), static_cast<unsigned long long>(t.counts[i]));
    }
    std::printf("device lost: %s\n", ds->engine()->lost() ? "yes" : "no");
    std::printf("audio thread: %s\n", ds->engine()->scheduling().describe().c_str());
    return 0;
}


// ----------------------------------------------------------------- dropouts

// Holes in a recording of a null sink's monitor (raw s16le stereo): runs of
// at least minFrames frames of exact silence, which a server writes where a
// stream ran dry. The first and last seconds are left out.
struct Holes {
    long count = 0, secondHalf = 0;
    double longestMs = 0, totalMs = 0, seconds = 0;
};
Holes countHoles(const std::string& path, int rate, int minFrames) {
    Holes h;
    std::ifstream in(path, std::ios::binary);
    std::vector<int16_t> buf(2 * 4096);
    size_t frame = 0, run = 0;
    std::vector<std::pair<size_t, size_t>> runs;  // where each ended, and its length
    while (in) {
        in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size() * 2));
        const size_t n = static_cast<size_t>(in.gcount()) / 4;
        for (size_t i = 0; i < n; ++i, ++frame) {
            if (buf[2 * i] == 0 && buf[2 * i + 1] == 0) {
                ++run;
            } else {
                if (run >= static_cast<size_t>(minFrames) && frame - run > static_cast<size_t>(rate)) runs.emplace_back(frame, run);
                run = 0;
            }
        }
    }
    h.seconds = static_cast<double>(frame) / rate;
    // A hole ending in the last second is the end of the recording.
    for (const auto& [end, r] : runs) {
        const double ms = 1000.0 * static_cast<double>(r) / rate;
        ++h.count;
        if (end > frame / 2) ++h.secondHalf;
        h.totalMs += ms;
        h.longestMs = std::max(h.longestMs, ms);
    }
    return h;
}

// A plain low-latency client: SDL's defaults (no realtime request), the same
// 128-frame buffer, a steady sine.
class PlainTone {
public:
    PlainTone() {
        SDL_AudioSpec want{}, have{};
        want.freq = 48000;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = 128;
        want.callback = [](void* self, Uint8* stream, int len) {
            static_cast<PlainTone*>(self)->fill(reinterpret_cast<float*>(stream), len / 8);
        };
        want.userdata = this;
        id_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (id_ == 0) throw std::runtime_error(std::string("plain client: ") + SDL_GetError());
        frames_ = have.samples;
        SDL_PauseAudioDevice(id_, 0);
    }
    ~PlainTone() { SDL_CloseAudioDevice(id_); }
    int frames() const { return frames_; }

private:
    void fill(float* out, int frames) {
        for (int i = 0; i < frames; ++i) {
            const float v = 0.25f * static_cast<float>(std::sin(phase_));
            phase_ += 2 * M_PI * 440.0 / 48000.0;
            if (phase_ > 2 * M_PI) phase_ -= 2 * M_PI;
            out[2 * i] = out[2 * i + 1] = v;
        }
    }
    SDL_AudioDeviceID id_ = 0;
    int frames_ = 0;
    double phase_ = 0;
};

int dropouts(double seconds) {
    const std::string bin = env("ZENDRA_BIN"), kit = env("ZENDRA_DEMO_KIT");
    const bool realtime = std::getenv("ZENDRA_NO_REALTIME") == nullptr;
    AudioServer server;
    zendra::test::Display display;
    // The plain client plays into a null sink of its own.
    auto loaded = server.pactl({"load-module", "module-null-sink", "sink_name=plain_out", "rate=48000", "channels=2"});
    if (loaded.exitCode != 0) throw std::runtime_error("no second null sink: " + loaded.err);
    const std::string times = artifactsDir() + "/bench-dropouts-callback-times.txt";
    std::remove(times.c_str());
    EnvVars appEnv = server.env() + display.env() +
                     EnvVars{{"SDL_AUDIODRIVER", "pulseaudio"}, {"ZENDRA_CALLBACK_TIMES", times}};
    if (!realtime) appEnv = appEnv + EnvVars{{"ZENDRA_NO_REALTIME", "1"}};
    AppProcess app(bin, {}, appEnv, "bench-dropouts");
    const std::string shot = artifactsDir() + "/bench-dropouts-screen.ppm";
    auto check = [&](bool ok, const std::string& what) {
        if (!ok) throw std::runtime_error(what + "\n" + app.stderrText());
    };
    auto waitForm = [&](std::optional<std::pair<int, int>> before) { return waitNewForm(display, shot, before); };

    // Sixteen samples of the demo kit through the Sample Dock's four pages,
    // then the Sample Pad: a click on each pad starts it looping.
    const auto splash = display.findWindowByClass("^zendra$", 10.0);  // untitled, the first window shown
    check(splash.has_value(), "no disclaimer");
    display.key("Return", *splash);
    const auto main = display.findWindow("^Zendra\\.$", 10.0);
    check(main.has_value(), "no main window");
    sleepSeconds(0.5);
    const auto dock = waitForm({});
    check(dock.has_value(), "no Sample Dock");
    const auto [dx, dy] = *dock;
    for (int k = 0; k < 3; ++k) {  // "# Of Samples" up to sixteen
        check(display.click(dx + tw(480 + 6855) - 8, dy + tw(600 + 127)), "# Of Samples");
        sleepSeconds(0.2);
    }
    const char* files[] = {"tone-22050.wav", "pad-22050.wav", "tone-44100.wav", "tone-11025.wav",
                           "kick.wav",       "snare.wav",     "hat.wav",        "clap.wav"};
    for (int i = 0; i < 16; ++i) {
        if (i > 0 && i % 4 == 0) {
            check(display.click(dx + tw(120 + 127), dy + tw(960 + 2535) - 8), "next page");
            sleepSeconds(0.3);
        }
        const int bx = dx + tw(480 + 240 + 427), by = dy + tw(840 + 240 + (i % 4) * 600 + 247);
        check(display.click(bx, by), "Sample button");
        if (!display.findWindow("^Open$", 10.0)) check(display.click(bx, by), "Sample button");
        const auto open = display.findWindow("^Open$", 10.0);
        check(open.has_value(), "no file dialog");
        display.focus(*open);
        display.type(kit + "/" + files[i % 8]);
        display.key("Return");
        check(display.waitWindowGone("^Open$", 8.0), "the file dialog did not close");
        sleepSeconds(0.2);
    }
    check(display.click(dx + tw(6480 + 427), dy + tw(120 + 187)), "Done");
    sleepSeconds(0.5);
    check(display.click(57, 8), "Tools menu");
    sleepSeconds(0.6);
    check(display.key("Down Down Return"), "Sample Pad");
    const auto pad = waitForm(dock);
    check(pad.has_value(), "no Sample Pad");
    for (int i = 0; i < 16; ++i) {
        display.click(pad->first + tw(120 + (i / 4) * 840 + 360), pad->second + tw(120 + (i % 4) * 840 + 360));
    }
    display.screenshot(artifactsDir() + "/bench-dropouts-playing.png");

    setenv("PULSE_SINK", "plain_out", 1);
    server.exportToProcess();
    SDL_SetHint("SDL_AUDIODRIVER", "pulseaudio");
    check(SDL_Init(SDL_INIT_AUDIO) == 0, SDL_GetError());
    auto plain = std::make_unique<PlainTone>();
    sleepSeconds(2.0);  // both sinks at low latency before recording

    // Two processes keeping both cores busy, at normal priority.
    std::vector<pid_t> burners;
    for (int i = 0; i < 2; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile double acc = 1.0;
            for (;;) acc = std::sqrt(acc * 1.0000001 + 1.0);
        }
        burners.push_back(pid);
    }
    auto record = [&](const std::string& source, const std::string& path) {
        return Child({"parecord", "--raw", "--format=s16le", "--rate=48000", "--channels=2", "--latency-msec=100",
                      "--device=" + source},
                     server.env(), path);
    };
    const std::string zendraRaw = artifactsDir() + "/bench-dropouts-zendra.raw";
    const std::string plainRaw = artifactsDir() + "/bench-dropouts-plain.raw";
    std::printf("load average at start: %s\n", loadAverage().c_str());
    const double stealFrom = stealSeconds();
    std::fflush(stdout);
    Clock::time_point recordFrom, recordTo;
    CpuTicks ticks;
    {
        recordFrom = Clock::now();
        Child recZendra = record("test_out.monitor", zendraRaw);
        Child recPlain = record("plain_out.monitor", plainRaw);
        const auto t0 = Clock::now();
        double nextReport = 60;
        while (msBetween(t0, Clock::now()) < seconds * 1000) {
            sleepSeconds(1.0);
            const double el = msBetween(t0, Clock::now()) / 1000;
            if (el >= nextReport) {
                std::printf("%5.0f s: load %s\n", el, loadAverage().c_str());
                std::fflush(stdout);
                nextReport += 60;
            }
        }
        recZendra.stop(SIGINT);
        recPlain.stop(SIGINT);
        recordTo = Clock::now();
    }
    std::printf("load average at end: %s; CPU time stolen by the hypervisor meanwhile: %.2f s\n",
                loadAverage().c_str(), stealSeconds() - stealFrom);
    for (pid_t pid : burners) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    plain.reset();
    SDL_Quit();
    check(display.closeWindow(*main), "closing the main window");
    check(app.waitExit(20.0).has_value(), "the program did not end");

    std::printf("Zendra audio thread (requested %s): %s\n", realtime ? "realtime" : "nothing",
                app.stderrText().c_str());
    std::ifstream report(times);
    std::string line;
    std::printf("callback report:");
    while (std::getline(report, line)) {
        if (line.rfind("calls", 0) == 0 || line.rfind("period_ns", 0) == 0 || line.rfind("max_ns", 0) == 0 ||
            line.rfind("audio_thread", 0) == 0 || line.rfind("max_cpu_ns", 0) == 0 || line.rfind("max_switches", 0) == 0 || line.rfind("late ", 0) == 0 ||
            line.rfind("buffer_frames", 0) == 0) {
            std::printf("  %s", line.c_str());
        }
        if (line.rfind("max_at_ns ", 0) == 0) {
            const Clock::time_point at{std::chrono::nanoseconds(std::stoll(line.substr(10)))};
            std::printf("  longest callback at %.1f s of the recording (which ran %.1f s)",
                        msBetween(recordFrom, at) / 1000, msBetween(recordFrom, recordTo) / 1000);
            const auto [irq, steal] = ticks.between(at - std::chrono::milliseconds(20), at + std::chrono::milliseconds(40));
            std::printf("  around it (20 ms samples, both CPUs): %lld interrupt and %lld stolen ticks of 10 ms", irq, steal);
        }
    }
    std::printf("\n");
    for (const auto& [who, path] : {std::pair{"Zendra", zendraRaw}, std::pair{"plain client", plainRaw}}) {
        const Holes h = countHoles(path, 48000, 24);
        std::printf("%-12s %.0f s recorded: %ld holes of 0.5 ms or more (%ld in the second half), longest %.1f ms, "
                    "%.1f ms in all\n",
                    who, h.seconds, h.count, h.secondHalf, h.longestMs, h.totalMs);
        std::remove(path.c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: %s startup RUNS | taps COUNT | midi COUNT | callback SECONDS [BURNERS] | dropouts SECONDS\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    try {
        if (mode == "startup") return startup(std::atoi(argv[2]));
        if (mode == "taps") return taps(std::atoi(argv[2]), false);
        if (mode == "midi") return taps(std::atoi(argv[2]), true);
        if (mode == "dropouts") return dropouts(std::atof(argv[2]));
        if (mode == "callback") return callback(std::atof(argv[2]), argc > 3 ? std::atoi(argv[3]) : 1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
