// Mixing cost and trigger latency of the sound engine, offline.
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

#include "bench_signal.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace {

using namespace zendra;
using bench::zendraBuffer;

std::shared_ptr<DirectSoundBuffer> noiseBuffer(DirectSound& ds, int rate, int channels, double seconds) {
    std::vector<int16_t> pcm(static_cast<size_t>(seconds * rate) * static_cast<size_t>(channels));
    uint32_t x = 12345;
    for (auto& s : pcm) {
        x = x * 1664525u + 1013904223u;
        s = static_cast<int16_t>(x >> 17);
    }
    return zendraBuffer(ds, pcm, rate, channels);
}

// 16 looping voices at pitch ratios 0.25 .. 4.5 of their own rate, 48 kHz stereo
// out in 128-frame blocks. Reported per second of output.
void BM_Mix16VoicesMixedPitch(benchmark::State& state) {
    auto backend = std::make_shared<OfflineBackend>();
    DirectX7 dx(backend);
    auto ds = dx.DirectSoundCreate("");
    std::vector<std::shared_ptr<DirectSoundBuffer>> voices;
    for (int i = 0; i < 16; ++i) {
        auto b = noiseBuffer(*ds, 22050, 1 + (i % 2), 2.0);
        const double ratio = 0.25 + (4.5 - 0.25) * i / 15.0;
        b->SetFrequency(static_cast<int32_t>(22050 * ratio));
        b->SetVolume(-600);
        b->SetPan((i % 3 - 1) * 3333);
        b->Play(1);
        voices.push_back(b);
    }
    OutputEngine& engine = *ds->engine();
    engine.mixer().flush();
    std::vector<float> out(2 * 128);
    for (auto _ : state) {
        for (int block = 0; block < 48000 / 128; ++block) {
            engine.render(out.data(), 128);
            benchmark::DoNotOptimize(out.data());
        }
    }
}
BENCHMARK(BM_Mix16VoicesMixedPitch)->Unit(benchmark::kMillisecond);

// Frames from a restart (Stop, rewind, Play) to the first non-zero output frame.
void BM_PlayToFirstFrame(benchmark::State& state) {
    auto backend = std::make_shared<OfflineBackend>();
    DirectX7 dx(backend);
    auto ds = dx.DirectSoundCreate("");
    auto b = noiseBuffer(*ds, 44100, 1, 0.5);
    OutputEngine& engine = *ds->engine();
    std::vector<float> out(2 * 128);
    int64_t framesToSound = 0;
    for (auto _ : state) {
        b->Stop();
        b->SetCurrentPosition(0);
        b->Play(0);
        engine.mixer().flush();
        int64_t frames = 0;
        for (;;) {
            engine.render(out.data(), 128);
            int first = -1;
            for (int i = 0; i < 128 && first < 0; ++i) {
                if (out[2 * i] != 0.0f) first = i;
            }
            if (first >= 0) {
                frames += first;
                break;
            }
            frames += 128;
        }
        framesToSound = frames;
    }
    state.counters["frames_to_first_sound"] = static_cast<double>(framesToSound);
}
BENCHMARK(BM_PlayToFirstFrame);

}  // namespace
