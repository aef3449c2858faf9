// Key press or MIDI note to sound, through the Tap Pad, on a private
// PulseAudio server.
#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <random>
#include <rtmidi/RtMidi.h>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "common.h"
#include "jack_card.h"
#include "measurements.h"
#include "program.h"

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
        return it->second - std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(static_cast<double>(it->first - 1 - frame) / 48000.0));
    }
    bool realtime() const { return realtime_.load(); }
    // Block ends and arrival times, for a look at how the capture was delivered.
    void saveBlocks(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::ofstream out(path);
        out << "end_frame,arrival_s\n";
        for (const auto& [end, at] : blocks_)
            out << end << "," << std::chrono::duration<double>(at.time_since_epoch()).count() << "\n";
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
    AudioServer server;
    Display display;
    // MIDI: a private JACK server carrying notes from an output here; the
    // program opens the first input it finds, this one.
    std::optional<Child> jack;
    std::unique_ptr<RtMidiOut> out;
    EnvVars midiEnv;
    if (midi) {
        const std::string name = freeJackServerName("zendra-bench");
        jack.emplace(std::vector<std::string>{"jackd", "-n", name, "-d", "dummy", "-r", "48000", "-p", "128"},
                     EnvVars{{"JACK_NO_AUDIO_RESERVATION", "1"}});
        for (int i = 0; i < 50 && run({"jack_lsp", "-s", name}).exitCode != 0; ++i) sleepSeconds(0.1);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "zendra-bench");
        out->openVirtualPort("out");
        midiEnv = {{"JACK_DEFAULT_SERVER", name}};
    }
    ZendraApp app(display, server.env() + midiEnv, midi ? "bench-midi" : "bench-taps", server.appArgs());
    std::printf("Zendra: \"%s\"\n", agreeAndListen(app).c_str());
    prepareTapPad(app, display);
    XTestKeyboard keyboard(display.name());
    // A key press through XTEST, or note 36 (sample 1) at full velocity.
    auto hit = [&]() -> Clock::time_point {
        if (!midi) {
            const auto at = keyboard.tap("k");
            if (!at) throw std::runtime_error("XTEST");
            return *at;
        }
        const std::vector<unsigned char> on{0x90, 36, 127}, off{0x80, 36, 0};
        const auto at = Clock::now();
        out->sendMessage(&on);
        out->sendMessage(&off);
        return at;
    };

    // The monitor of what the program plays, captured here.
    if (server.pactl({"set-default-source", "test_out.monitor"}).exitCode != 0)
        throw std::runtime_error("set-default-source");
    server.exportToProcess();
    SDL_SetHint("SDL_AUDIODRIVER", "pulseaudio");
    if (SDL_Init(SDL_INIT_AUDIO) != 0) throw std::runtime_error(SDL_GetError());
    Onsets heard;
    {
        MonitorCapture cap;
        const auto captureStart = Clock::now();
        sleepSeconds(1.0);
        std::printf("load average before the taps: %s\n", loadAverage().c_str());
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> jitter(0.0, 0.05);
        for (int i = 0; i < 3; ++i) {  // warm-up taps, not counted
            hit();
            sleepSeconds(0.6);
        }
        std::vector<Trigger> pressed;
        for (int i = 0; i < count; ++i) {
            pressed.push_back({hit(), 0});
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
        heard = matchOnsets(
            l, [&](size_t f) { return cap.frameTime(f); }, pressed, 1);
    }
    SDL_Quit();
    app.terminate();
    printDelays(midi ? "MIDI note sent -> onset at the monitor" : "key press -> onset at the monitor", heard.ms[0],
                heard.missed[0]);
    out.reset();
    if (jack) jack->stop();
    return heard.missed[0] == 0 ? 0 : 1;
}

}  // namespace zendra::bench
