// The sound server killed while the program plays a loop, and started again:
// how long until the "Sound device lost" notice is mapped, and how long after
// the server is back until the loop is heard again. On the private PipeWire
// server (heard at test_out's monitor) or the private JACK server (heard at
// the pretend card's playback ports).
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common.h"
#include "measurements.h"
#include "plain_clients.h"
#include "program.h"

namespace zendra::bench {

using namespace zendra::test;

namespace {

constexpr double kListenSeconds = 5.0;

// The first frame of `x` that sounds, if any.
std::optional<size_t> firstSound(const std::vector<float>& x) {
    for (size_t f = 0; f < x.size(); ++f) {
        if (std::fabs(x[f]) > 0.01f) return f;
    }
    return std::nullopt;
}

// The server started again (it was stopped): when the start command was
// issued and when it returned, and when the loop was heard again, listening
// from as early as a capture could connect (its first frame) for up to
// kListenSeconds.
struct Restart {
    Clock::time_point startAt, backAt;
    std::optional<Clock::time_point> loop, listening;
};
Restart restartAndListen(AudioServer& server) {
    Restart r;
    r.startAt = Clock::now();
    if (server.card() != nullptr) {  // the card's ports come with the server: nothing plays before
        server.restart();
        r.backAt = Clock::now();
        MonitorRecording rec(server, artifactsDir() + "/bench-loss-listen.wav");
        sleepSeconds(kListenSeconds);
        const Stereo s = rec.read();
        r.listening = rec.availableAt(0);
        if (const auto f = firstSound(s.left)) r.loop = rec.availableAt(*f);
        return r;
    }
    std::thread starting([&] {
        server.restart();
        r.backAt = Clock::now();
    });
    std::unique_ptr<PwMonitor> monitor;
    try {
        monitor = std::make_unique<PwMonitor>("test_out", kListenSeconds + 1.0, 10.0);
    } catch (const std::exception&) {  // checked below, once the start has returned
    }
    starting.join();
    if (!monitor) throw std::runtime_error("no capture could connect to the new server");
    for (const auto t0 = Clock::now(); msBetween(t0, Clock::now()) < kListenSeconds * 1000;) {
        sleepSeconds(0.1);
        if (firstSound(monitor->left())) break;
    }
    monitor->stop();
    r.listening = monitor->frameTime(0);
    if (const auto f = firstSound(monitor->left())) r.loop = monitor->frameTime(*f);
    return r;
}

}  // namespace

int serverLoss(int repetitions) {
    AudioServer server;
    const bool jack = server.card() != nullptr;
    if (!jack && server.systemName() != "PipeWire")
        throw std::runtime_error("loss runs on ZENDRA_TEST_AUDIO=pipewire or ZENDRA_TEST_AUDIO=jack");
    server.exportToProcess();
    Display display;
    ZendraApp app(display, server.env(), "bench-loss", server.appArgs());
    std::printf("Zendra: \"%s\"\n", agreeAndListen(app).c_str());
    loopSamples(app, display, {"pad-22050.wav"}, 1);
    XWatch x(display.name());
    sleepSeconds(1.0);
    std::printf("load average before: %s\n", loadAverage().c_str());
    std::vector<double> notice, startTook, heard;
    int missingNotice = 0, unheard = 0;
    for (int i = 0; i < repetitions; ++i) {
        sleepSeconds(1.0);  // the loop plays on
        const auto killedAt = Clock::now();
        server.kill();
        // Only a notice mapped after this kill counts.
        std::optional<std::pair<XWindow, Clock::time_point>> mapped;
        do mapped = x.waitMapped("Sound device lost", 10.0);
        while (mapped && mapped->second < killedAt);
        if (mapped) {
            notice.push_back(msBetween(killedAt, mapped->second));
            sleepSeconds(0.3);
            display.key("Return", std::to_string(mapped->first));
            display.waitWindowGone("^Sound device lost$", 5.0);
        } else {
            ++missingNotice;
        }
        server.stop();  // what is left of it
        sleepSeconds(1.0);
        const Restart r = restartAndListen(server);
        startTook.push_back(msBetween(r.startAt, r.backAt));
        std::printf("%d: notice %s; start command took %.0f ms; ", i + 1,
                    mapped
                        ? (std::to_string(static_cast<int>(std::lround(notice.back()))) + " ms after the kill").c_str()
                        : "never",
                    startTook.back());
        if (r.loop) {
            heard.push_back(msBetween(r.startAt, *r.loop));
            const double from = r.listening ? msBetween(r.startAt, *r.listening) : -1.0;
            std::printf("loop heard %.0f ms after the start command (listening from %.0f ms%s)\n", heard.back(), from,
                        heard.back() - from < 1.0 ? ": already playing, an upper bound" : "");
        } else {
            ++unheard;
            std::printf("loop not heard within %.0f s\n", kListenSeconds);
        }
        std::fflush(stdout);
        if (display.windowsByName("^Sound device lost$").size() > 0)
            std::printf("   a notice showing after the return\n");
        if (!app.alive()) {
            throw std::runtime_error("the program ended, status " +
                                     std::to_string(app.process().waitExit(1.0).value_or(-1)) + ":\n" +
                                     app.stderrText());
        }
    }
    std::printf("load average after: %s\n", loadAverage().c_str());
    printDelays("kill -> \"Sound device lost\" mapped", notice, missingNotice, "no notice");
    printDelays("server start command -> loop heard", heard, unheard, "not heard");
    printStats("the start command itself", startTook);
    app.terminate();
    return missingNotice == 0 && unheard == 0 ? 0 : 1;
}

}  // namespace zendra::bench
