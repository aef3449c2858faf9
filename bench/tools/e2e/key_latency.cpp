// Key press to sound, the program beside a plain client of the same server,
// interleaved in one run: on the private PipeWire server the program through
// PipeWire's own API and through SDL (its PulseAudio layer), each in its own
// instance on its own display, and a plain pw_stream client, all measured at
// test_out's monitor by a capture dated with the graph's clock; on the
// private JACK server the program and a plain JACK client, measured at the
// pretend sound card's playback ports.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common.h"
#include "measurements.h"
#include "plain_clients.h"
#include "program.h"

namespace zendra::bench {

using namespace zendra::test;

namespace {

constexpr int kRoundsPerTake = 10;

struct Path {
    std::string name;
    std::function<Clock::time_point()> trigger;
};

// One instance of the program, on a display of its own, with the Tap Pad
// ready for "k".
struct Instance {
    Instance(const AudioServer& server, const std::vector<std::string>& args, const std::string& label)
        : app(display, server.env(), label, args) {
        said = agreeAndListen(app);
        prepareTapPad(app, display);
        if (!keyboard.ok()) throw std::runtime_error("no XTEST on " + display.name());
    }
    Display display;
    ZendraApp app;
    XTestKeyboard keyboard{display.name()};
    std::string said;
};

}  // namespace

int keyLatency(int count) {
    AudioServer server;
    const bool jack = server.card() != nullptr;
    if (!jack && server.systemName() != "PipeWire")
        throw std::runtime_error("keys runs on ZENDRA_TEST_AUDIO=pipewire or ZENDRA_TEST_AUDIO=jack");
    server.exportToProcess();
    std::vector<std::unique_ptr<Instance>> apps;
    std::vector<Path> paths;
    auto addProgram = [&](const std::string& name, const std::vector<std::string>& args, const std::string& label) {
        apps.push_back(std::make_unique<Instance>(server, args, label));
        Instance* in = apps.back().get();
        std::printf("%s: \"%s\"\n", name.c_str(), in->said.c_str());
        paths.push_back({name, [in] {
                             const auto at = in->keyboard.tap("k");
                             if (!at) throw std::runtime_error("XTEST");
                             return *at;
                         }});
    };
    std::unique_ptr<PwPlayer> pwClick;
    std::unique_ptr<JackClicker> jackClick;
    if (jack) {
        addProgram("Zendra, JACK (--audio=jack)", server.appArgs(), "bench-keys-jack");
        jackClick = std::make_unique<JackClicker>();
        paths.push_back({"plain JACK client", [&] { return jackClick->click(); }});
    } else {
        addProgram("Zendra, PipeWire's own API (default)", {}, "bench-keys-pipewire");
        addProgram("Zendra, SDL through pipewire-pulse (--audio=sdl)", {"--audio=sdl"}, "bench-keys-sdl");
        pwClick = std::make_unique<PwPlayer>(PwPlayer::Sound::Click);
        paths.push_back({"plain pw_stream client, 128/48000", [&] { return pwClick->click(); }});
    }
    for (int i = 0; i < 2; ++i) {  // warm-up, not counted
        for (auto& p : paths) {
            p.trigger();
            sleepSeconds(0.6);
        }
    }

    std::printf("load average before: %s\n", loadAverage().c_str());
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(0.0, 0.05);
    std::vector<size_t> order(paths.size());
    Onsets all{std::vector<std::vector<double>>(paths.size()), std::vector<int>(paths.size(), 0)};
    for (int done = 0; done < count;) {
        const int rounds = std::min(kRoundsPerTake, count - done);
        std::vector<Trigger> triggers;
        auto play = [&] {
            sleepSeconds(0.3);
            for (int r = 0; r < rounds; ++r) {
                for (size_t i = 0; i < order.size(); ++i) order[i] = i;
                std::shuffle(order.begin(), order.end(), rng);  // no path always follows another
                for (size_t p : order) {
                    triggers.push_back({paths[p].trigger(), p});
                    sleepSeconds(0.55 + jitter(rng));  // the kick (0.45 s) ends before the next
                }
            }
            sleepSeconds(0.3);
        };
        Onsets take;
        const double slackMs = 1000.0 * PwStream::kQuantum / PwStream::kRate;  // JACK's period is the same
        if (jack) {
            MonitorRecording rec(server, artifactsDir() + "/bench-keys-take.wav");
            play();
            const Stereo s = rec.read();
            take = matchOnsets(
                s.left, [&](size_t f) { return rec.availableAt(f); }, triggers, paths.size(), slackMs);
        } else {
            PwMonitor monitor("test_out", rounds * paths.size() * 0.7 + 3.0);
            if (!monitor.waitFrames(PwStream::kRate / 10, 5.0))
                throw std::runtime_error("the monitor capture did not start");
            play();
            monitor.stop();
            take = matchOnsets(
                monitor.left(), [&](size_t f) { return monitor.frameTime(f); }, triggers, paths.size(), slackMs);
        }
        for (size_t p = 0; p < paths.size(); ++p) {
            all.ms[p].insert(all.ms[p].end(), take.ms[p].begin(), take.ms[p].end());
            all.missed[p] += take.missed[p];
        }
        all.stray += take.stray;
        done += rounds;
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    std::printf("key press (XTEST, when the X server confirmed it) or the plain client's trigger -> onset %s, %d each;"
                " below zero: the program had the key before the X server's answer came back%s\n",
                jack ? "at the card's playback ports (when the card ran in the cycle that had them)"
                     : "at test_out (the start of the cycle it took the frame: the monitor's capture less one quantum)",
                count, jack ? "" : ", or a trigger came after its cycle began but before the client ran in it");
    int missed = 0;
    for (size_t p = 0; p < paths.size(); ++p) {
        printDelays(paths[p].name, all.ms[p], all.missed[p]);
        missed += all.missed[p];
    }
    std::printf("onsets left over, their trigger already matched (a sound later than the next trigger, or a "
                "sound's own tail): %d\n",
                all.stray);
    const double plain = stats(all.ms.back()).median;
    if (plain > 0)
        std::printf("%s median / plain client's median: %.2f\n", paths[0].name.c_str(),
                    stats(all.ms[0]).median / plain);
    for (auto& in : apps) in->app.terminate();
    return missed == 0 ? 0 : 1;
}

}  // namespace zendra::bench
