// The audio callback's duration on the real device: 16 voices through the
// engine, CPU burners alongside.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "../../bench_signal.h"
#include "common.h"
#include "e2e_env.h"
#include "measurements.h"
#include "sound/direct_sound.h"
#include "sound/output_engine.h"

namespace zendra::bench {

using namespace zendra::test;

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
    std::printf("load average at end: %s; CPU time stolen by the hypervisor meanwhile: %.2f s\n", loadAverage().c_str(),
                stealSeconds() - stealFrom);
    std::printf("device: %d Hz, %d-frame buffer, period %.1f us; 25 %% of it: %.1f us\n", ds->engine()->rate(),
                ds->engine()->bufferFrames(), t.periodNanos / 1e3, t.periodNanos / 4e3);
    std::printf("callbacks: %llu over %.0f s; worst %.1f us (%.1f %% of the period)\n",
                static_cast<unsigned long long>(t.calls), seconds, t.maxNanos / 1e3,
                100.0 * t.maxNanos / t.periodNanos);
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
        if (t.counts[i] > 0)
            std::printf("  %4d-%4d us: %llu\n", 10 * i, 10 * (i + 1), static_cast<unsigned long long>(t.counts[i]));
    }
    std::printf("device lost: %s\n", ds->engine()->lost() ? "yes" : "no");
    std::printf("audio thread: %s\n", ds->engine()->scheduling().describe().c_str());
    return 0;
}

}  // namespace zendra::bench
