// A tap in the Tap Pad, seen from the sound engine: the restart commands one
// key sends for each sample bound to it (Stop, rewind, Play), published in
// one flush after the key event as the program does, then the time until the
// first non-zero output frame at 48 kHz in 128-frame blocks.
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "sound/direct_sound.h"
#include "sound/mixer.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sound_file.h"

namespace {

using namespace zendra;

constexpr int kBlock = 128;

// The demo kit's kick when the kit is at hand, else a kick-like thump
// synthesised here: a falling sine with a 2 ms attack.
std::shared_ptr<SampleData> kickSound() {
    if (const char* kit = std::getenv("ZENDRA_DEMO_KIT")) {
        try {
            return std::make_shared<SampleData>(readSoundFile(std::string(kit) + "/kick.wav"));
        } catch (const SoundError&) {}
    }
    auto d = std::make_shared<SampleData>();
    d->format = SampleFormat::S16;
    d->channels = 1;
    d->rate = 44100;
    const int n = d->rate * 45 / 100;
    d->bytes.resize(2 * static_cast<size_t>(n));
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / d->rate;
        phase += 2.0 * std::numbers::pi * (45.0 + 110.0 * std::exp(-t / 0.04)) / d->rate;
        const double x = std::fmin(1.0, t / 0.002) * std::exp(-t / 0.15) * std::sin(phase);
        const auto s = static_cast<int16_t>(std::lround(0.9 * 32767.0 * x));
        d->bytes[2 * static_cast<size_t>(i)] = static_cast<uint8_t>(s & 0xff);
        d->bytes[2 * static_cast<size_t>(i) + 1] = static_cast<uint8_t>((s >> 8) & 0xff);
    }
    return d;
}

// An offline 48 kHz device with `count` copies of the kick, and the program's
// way of flushing: staged commands are published once, after the event.
struct Rig {
    explicit Rig(int count) : dx(backend), ds(dx.DirectSoundCreate("")) {
        for (int i = 0; i < count; ++i) {
            DSBUFFERDESC desc;
            desc.lFlags = 480;
            WAVEFORMATEX format;
            buffers.push_back(ds->CreateSoundBufferFromData(kickSound(), desc, format));
        }
        Mixer::setFlushPoster([this](std::function<void()> flush) { pending = std::move(flush); });
        ds->engine()->mixer().flush();
    }
    ~Rig() { Mixer::setFlushPoster(nullptr); }

    // What one key event does to the sound: restart every bound sample.
    void tap() {
        for (auto& b : buffers) {
            b->Stop();
            b->SetCurrentPosition(0);
            b->Play(0);
        }
    }
    // The event loop's next turn.
    void endOfEvent() {
        if (pending) {
            auto flush = std::move(pending);
            pending = nullptr;
            flush();
        }
    }

    std::shared_ptr<OfflineBackend> backend = std::make_shared<OfflineBackend>();
    DirectX7 dx;
    std::shared_ptr<DirectSound> ds;
    std::vector<std::shared_ptr<DirectSoundBuffer>> buffers;
    std::function<void()> pending;
};

// The user-interface thread's cost of one tap restarting 1 or 2 samples,
// flush included. The audio side drains the queue now and then, untimed.
void BM_TapCommandPath(benchmark::State& state) {
    Rig rig(static_cast<int>(state.range(0)));
    OutputEngine& engine = *rig.ds->engine();
    std::vector<float> out(2 * kBlock);
    int64_t taps = 0;
    for (auto _ : state) {
        rig.tap();
        rig.endOfEvent();
        if (++taps % 256 == 0) {
            state.PauseTiming();
            engine.render(out.data(), kBlock);
            engine.mixer().collectGarbage();
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(taps);
    state.SetLabel(std::to_string(state.range(0)) + " sample(s) on the key");
}
BENCHMARK(BM_TapCommandPath)->Arg(1)->Arg(2);

// From the commands of a tap to the first non-zero output frame, counted from
// the start of the first block mixed after the key event. A real device adds
// the wait for its next period: at most one block (128 frames, 2.67 ms).
void BM_TapToFirstFrame(benchmark::State& state) {
    Rig rig(1);
    OutputEngine& engine = *rig.ds->engine();
    const double rate = engine.rate();
    std::vector<float> out(2 * kBlock);
    int64_t frames = 0, audible = 0;
    for (auto _ : state) {
        state.PauseTiming();
        rig.buffers[0]->Stop();
        rig.endOfEvent();
        for (int k = 0; k < 4; ++k) engine.render(out.data(), kBlock);  // silent again: the stop's fade has passed
        state.ResumeTiming();

        rig.tap();
        rig.endOfEvent();
        int64_t n = 0, firstNonZero = -1, firstAudible = -1;
        while (firstAudible < 0 && n < 48000) {
            engine.render(out.data(), kBlock);
            for (int i = 0; i < kBlock; ++i) {
                const float v = std::fabs(out[2 * static_cast<size_t>(i)]);
                if (firstNonZero < 0 && v > 0.0f) firstNonZero = n + i;
                if (firstAudible < 0 && v > 0.01f) firstAudible = n + i;  // -40 dBFS
            }
            n += kBlock;
        }
        frames = firstNonZero;
        audible = firstAudible;
    }
    state.counters["first_frame"] = static_cast<double>(frames);
    state.counters["first_frame_ms"] = 1000.0 * static_cast<double>(frames) / rate;
    state.counters["above_m40dB_frame"] = static_cast<double>(audible);
    state.counters["above_m40dB_ms"] = 1000.0 * static_cast<double>(audible) / rate;
    state.counters["worst_wait_ms"] = 1000.0 * static_cast<double>(frames + kBlock) / rate;
}
BENCHMARK(BM_TapToFirstFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
