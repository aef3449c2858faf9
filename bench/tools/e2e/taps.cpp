// Key press or MIDI note to sound, through the Tap Pad, on a private
// PulseAudio server.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <SDL.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common.h"
#include "measurements.h"

namespace zendra::bench {

using namespace zendra::test;

namespace {

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

}  // namespace

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

}  // namespace zendra::bench
