// Dropouts: holes in what the program plays against a plain client's, both
// cores kept busy.
#include <SDL.h>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "common.h"
#include "measurements.h"
#include "plain_clients.h"
#include "program.h"

namespace zendra::bench {

using namespace zendra::test;

namespace {

// Holes in a recording of a null sink's monitor (raw s16le stereo): runs of
// at least minFrames frames of exact silence, which a server writes where a
// stream ran dry. The first and last seconds are left out.
struct Holes {
    long count = 0, secondHalf = 0;
    double longestMs = 0, totalMs = 0, seconds = 0;
    std::vector<std::pair<double, double>> long10;  // holes of 10 ms or more: start (s into the recording), ms
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
                if (run >= static_cast<size_t>(minFrames) && frame - run > static_cast<size_t>(rate))
                    runs.emplace_back(frame, run);
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
        if (ms >= 10.0) h.long10.emplace_back(static_cast<double>(end - r) / rate, ms);
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

}  // namespace

int dropouts(double seconds) {
    const bool realtime = std::getenv("ZENDRA_NO_REALTIME") == nullptr;
    AudioServer server;
    const bool pipewire = server.systemName() == "PipeWire";
    Display display;
    // The plain client plays into a null sink of its own.
    auto loaded = server.pactl({"load-module", "module-null-sink", "sink_name=plain_out", "rate=48000", "channels=2"});
    if (loaded.exitCode != 0) throw std::runtime_error("no second null sink: " + loaded.err);
    const std::string times = artifactsDir() + "/bench-dropouts-callback-times.txt";
    std::remove(times.c_str());
    EnvVars appEnv = server.env() + EnvVars{{"ZENDRA_CALLBACK_TIMES", times}};
    if (!realtime) appEnv = appEnv + EnvVars{{"ZENDRA_NO_REALTIME", "1"}};
    ZendraApp app(display, appEnv, "bench-dropouts", server.appArgs());
    std::printf("Zendra: \"%s\"\n", agreeAndListen(app).c_str());
    // Sixteen samples of the demo kit, every one looping from the Sample Pad.
    const std::vector<std::string> kit = {"tone-22050.wav", "pad-22050.wav", "tone-44100.wav", "tone-11025.wav",
                                          "kick.wav",       "snare.wav",     "hat.wav",        "clap.wav"};
    std::vector<std::string> files = kit;
    files.insert(files.end(), kit.begin(), kit.end());
    loopSamples(app, display, files, 16);
    app.snapshot("playing");

    // On PipeWire a plain pw_stream client at the same quantum, elsewhere a
    // plain SDL client at the same buffer size.
    server.exportToProcess();
    std::unique_ptr<PwPlayer> pwTone;
    std::unique_ptr<PlainTone> sdlTone;
    if (pipewire) {
        pwTone = std::make_unique<PwPlayer>(PwPlayer::Sound::Tone, "plain_out");
        std::printf("plain client: pw_stream, node latency %d/%d, realtime data thread\n", PwStream::quantum(),
                    PwStream::kRate);
    } else {
        setenv("PULSE_SINK", "plain_out", 1);
        SDL_SetHint("SDL_AUDIODRIVER", "pulseaudio");
        if (SDL_Init(SDL_INIT_AUDIO) != 0) throw std::runtime_error(SDL_GetError());
        sdlTone = std::make_unique<PlainTone>();
        std::printf("plain client: SDL (pulseaudio), %d-frame buffer, SDL's own thread\n", sdlTone->frames());
    }
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
        bool stepSeen = false;
        while (msBetween(t0, Clock::now()) < seconds * 1000) {
            sleepSeconds(1.0);
            const double el = msBetween(t0, Clock::now()) / 1000;
            if (!stepSeen && app.stderrText().find("dropping out") != std::string::npos) {
                stepSeen = true;
                std::printf("%5.1f s: the program said it stepped its buffer (within the second before)\n", el);
            }
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
    std::printf("load average at end: %s; CPU time stolen by the hypervisor meanwhile: %.2f s\n", loadAverage().c_str(),
                stealSeconds() - stealFrom);
    for (pid_t pid : burners) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pwTone.reset();
    if (sdlTone) {
        sdlTone.reset();
        SDL_Quit();
    }
    if (!display.closeWindow(app.mainWindow()) || !app.process().waitExit(20.0))
        throw std::runtime_error("the program did not end:\n" + app.stderrText());

    std::printf("Zendra audio thread (requested %s): %s\n", realtime ? "realtime" : "nothing",
                app.stderrText().c_str());
    std::ifstream report(times);
    std::string line;
    std::printf("callback report:");
    while (std::getline(report, line)) {
        if (line.rfind("calls", 0) == 0 || line.rfind("period_ns", 0) == 0 || line.rfind("max_ns", 0) == 0 ||
            line.rfind("audio_thread", 0) == 0 || line.rfind("max_cpu_ns", 0) == 0 ||
            line.rfind("max_switches", 0) == 0 || line.rfind("max_frames", 0) == 0 || line.rfind("late ", 0) == 0 ||
            line.rfind("buffer_frames", 0) == 0) {
            std::printf("  %s", line.c_str());
        }
        if (line.rfind("max_at_ns ", 0) == 0) {
            const Clock::time_point at{std::chrono::nanoseconds(std::stoll(line.substr(10)))};
            std::printf("  longest callback at %.1f s of the recording (which ran %.1f s)",
                        msBetween(recordFrom, at) / 1000, msBetween(recordFrom, recordTo) / 1000);
            const auto [irq, steal] =
                ticks.between(at - std::chrono::milliseconds(20), at + std::chrono::milliseconds(40));
            std::printf("  around it (20 ms samples, both CPUs): %lld interrupt and %lld stolen ticks of 10 ms", irq,
                        steal);
        }
    }
    std::printf("\n");
    for (const auto& [who, path] : {std::pair{"Zendra", zendraRaw}, std::pair{"plain client", plainRaw}}) {
        const Holes h = countHoles(path, 48000, 24);
        std::printf("%-12s %.0f s recorded: %ld holes of 0.5 ms or more (%ld in the second half), longest %.1f ms, "
                    "%.1f ms in all\n",
                    who, h.seconds, h.count, h.secondHalf, h.longestMs, h.totalMs);
        for (const auto& [at, ms] : h.long10) std::printf("  a hole of %.1f ms at %.2f s\n", ms, at);
        std::remove(path.c_str());
    }
    return 0;
}

}  // namespace zendra::bench
