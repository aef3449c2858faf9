#include "common.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

// Last: its macros (None, Status, Bool...) must not reach the headers above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace zendra::bench {

double msBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

std::array<long long, 8> cpuTicks() {
    std::ifstream in("/proc/stat");
    std::string name;
    std::array<long long, 8> v{};
    in >> name;
    for (auto& x : v) in >> x;
    return v;
}

double stealSeconds() { return static_cast<double>(cpuTicks()[7]) / static_cast<double>(sysconf(_SC_CLK_TCK)); }

CpuTicks::~CpuTicks() {
    stop_ = true;
    thread_.join();
}

std::pair<long long, long long> CpuTicks::between(Clock::time_point from, Clock::time_point to) {
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

void CpuTicks::run() {
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

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

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

Onsets matchOnsets(const std::vector<float>& x, const FrameTime& when, const std::vector<Trigger>& triggers,
                   size_t paths, double slackMs) {
    Onsets o{std::vector<std::vector<double>>(paths), std::vector<int>(paths, 0)};
    std::vector<bool> used(triggers.size(), false);
    for (size_t f = 480; f < x.size(); ++f) {
        if (std::fabs(x[f]) <= 0.01f) continue;
        bool quiet = true;
        for (size_t k = f - 480; k < f && quiet; ++k) quiet = std::fabs(x[k]) < 0.003f;
        if (!quiet) continue;
        const auto t = when(f);
        if (!t) break;
        size_t last = triggers.size();
        for (size_t i = 0; i < triggers.size() && msBetween(*t, triggers[i].at) < slackMs; ++i) last = i;
        if (last < triggers.size() && !used[last]) {
            used[last] = true;
            o.ms[triggers[last].path].push_back(msBetween(triggers[last].at, *t));
            // Each trigger and its onset (steady clock), to lay beside the program's own start trace.
            if (const char* path = std::getenv("ZENDRA_BENCH_ONSETS"); path != nullptr && *path != '\0') {
                if (std::FILE* out = std::fopen(path, "a")) {
                    const auto ns = [](Clock::time_point p) {
                        return static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(p.time_since_epoch()).count());
                    };
                    std::fprintf(out, "%zu %lld %lld\n", triggers[last].path, ns(triggers[last].at), ns(*t));
                    std::fclose(out);
                }
            }
        } else {
            ++o.stray;
        }
        f += 4800;  // past this onset
    }
    for (size_t i = 0; i < triggers.size(); ++i) {
        if (!used[i]) ++o.missed[triggers[i].path];
    }
    return o;
}

void printDelays(const std::string& what, const std::vector<double>& ms, int missed, const char* missedWhat) {
    printStats(what, ms);
    std::printf("  %s: %d; all (ms):", missedWhat, missed);
    for (double v : ms) std::printf(" %.1f", v);
    std::printf("\n");
}

std::string env(const char* name) {
    const char* v = std::getenv(name);
    if (v == nullptr) throw std::runtime_error(std::string(name) + " is not set");
    return v;
}

XWatch::XWatch(const std::string& display) {
    dpy_ = XOpenDisplay(display.c_str());
    if (dpy_ == nullptr) throw std::runtime_error("cannot open " + display);
    root_ = DefaultRootWindow(dpy_);
    XSelectInput(dpy_, root_, SubstructureNotifyMask);
    XSync(dpy_, False);
    xtst_ = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
    if (xtst_ != nullptr) fake_ = reinterpret_cast<decltype(fake_)>(dlsym(xtst_, "XTestFakeKeyEvent"));
}

XWatch::~XWatch() {
    XCloseDisplay(dpy_);
    if (xtst_ != nullptr) dlclose(xtst_);
}

std::optional<std::pair<XWindow, Clock::time_point>> XWatch::waitMapped(const std::string& title, double timeout,
                                                                        bool byClass) {
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

bool XWatch::showsBlackForm(XWindow w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy_, w, &a) || a.width <= 0 || a.height <= 0) return false;
    XImage* img =
        XGetImage(dpy_, w, 0, 0, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height), AllPlanes, ZPixmap);
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

std::optional<Clock::time_point> XWatch::waitBlackForm(XWindow w, double timeout) {
    const auto t0 = Clock::now();
    while (msBetween(t0, Clock::now()) < timeout * 1000) {
        if (showsBlackForm(w)) return Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::nullopt;
}

std::optional<Clock::time_point> XWatch::tap(const std::string& key, XWindow w, double hold) {
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

}  // namespace zendra::bench
