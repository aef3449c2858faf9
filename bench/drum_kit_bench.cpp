// What velocity layers, mute groups and envelopes cost the mixer: the same
// voices, data and notes played plainly and as a drum kit, side by side.
#include <benchmark/benchmark.h>
#include <cstring>
#include <vector>

#include "bench_signal.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sample_player.h"

namespace {

using namespace zendra;
using bench::kBlock;

std::shared_ptr<SampleData> sampleOf(const bench::VoiceSpec& v) {
    auto d = std::make_shared<SampleData>();
    d->format = SampleFormat::S16;
    d->channels = v.channels;
    d->rate = bench::kSourceRate;
    d->bytes.resize(v.pcm.size() * 2);
    std::memcpy(d->bytes.data(), v.pcm.data(), d->bytes.size());
    return d;
}

constexpr int kVelocities[3] = {10, 60, 127};

// 16 slots of the mixing-cost workload (bench_signal.h), looping. Plain: one
// layer each, the flat envelope, no mute group. Kit: three layers each (the
// same data, 0 / -6 / -12 dB), an envelope (5 ms attack, 50 ms decay to 0.7,
// 100 ms release on note-off). `groups`: the kit's slots in mute groups of their own.
struct Rig {
    Rig(bool kit, bool groups) {
        const auto work = bench::mixWorkload(16);
        std::vector<SamplePlayer::SlotSounds> slots;
        for (const auto& v : work) {
            SamplePlayer::SlotSounds s;
            auto data = sampleOf(v);
            if (kit)
                s.layers = {{data, 1, 40, -12.0}, {data, 41, 90, -6.0}, {data, 91, 127, 0.0}};
            else
                s.layers = {{data}};
            slots.push_back(std::move(s));
        }
        player.load(std::move(slots));
        for (int i = 0; i < 16; ++i) {
            player.setLoop(i, true);
            player.setGainDb(i, -6.0);
            player.setPan(i, work[static_cast<size_t>(i)].pan);
            player.setRateHz(i, static_cast<int>(bench::kSourceRate * work[static_cast<size_t>(i)].ratio));
            if (kit) player.setEnvelope(i, {5.0f, 50.0f, 0.7f, 100.0f, true});
            if (groups) player.setMuteGroup(i, 1 + i % 8);
        }
        player.flush();
    }
    OfflineBackend backend;
    std::shared_ptr<OutputEngine> engine = std::make_shared<OutputEngine>(backend, "");
    SamplePlayer player{engine};
    std::vector<float> out = std::vector<float>(2 * kBlock);
};

// One second of output, 128-frame blocks, every voice restarted from the
// device path every 100 ms (staggered), its velocity moving through the
// layers. Reported per second of output.
void BM_Mix16Voices(benchmark::State& state) {
    Rig rig(state.range(0) != 0, false);
    int note = 0;
    for (auto _ : state) {
        for (int block = 0; block < bench::kOutRate / kBlock; ++block) {
            if (block % 37 < 16) rig.player.startFromDevice(block % 37, 1.0f, kVelocities[note++ % 3]);
            rig.engine->render(rig.out.data(), kBlock);
            benchmark::DoNotOptimize(rig.out.data());
        }
    }
    state.SetLabel(state.range(0) ? "kit: 3 layers + envelope" : "plain");
}
BENCHMARK(BM_Mix16Voices)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One note per 128-frame block on one slot, the block rendered: plain, a
// retrigger of the same voice; kit, each note another layer than the last
// (its velocity cycles 10, 60, 127), the slot in a mute group, with the flat
// envelope or the kit's (second argument). Reported per note.
void BM_NoteAndBlock(benchmark::State& state) {
    const bool kit = state.range(0) != 0;
    Rig rig(kit, kit);
    if (state.range(1) == 0)
        for (int i = 0; i < 16; ++i) rig.player.setEnvelope(i, Envelope{});
    int note = 0;
    for (auto _ : state) {
        rig.player.startFromDevice(0, 1.0f, kVelocities[note++ % 3]);
        rig.engine->render(rig.out.data(), kBlock);
        benchmark::DoNotOptimize(rig.out.data());
    }
    state.SetLabel(!kit             ? "plain retrigger"
                   : state.range(1) ? "layer switch + group + envelope"
                                    : "layer switch + group");
}
BENCHMARK(BM_NoteAndBlock)->Args({0, 0})->Args({1, 0})->Args({1, 1});

// The device thread's side alone: choosing the layer and queueing the start
// (the audio thread drains the queue every 256 notes, outside the timing).
void BM_DeviceStartCall(benchmark::State& state) {
    const bool kit = state.range(0) != 0;
    Rig rig(kit, kit);
    int note = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.player.startFromDevice(0, 1.0f, kVelocities[note++ % 3]));
        if ((note & 255) == 0) {
            state.PauseTiming();
            rig.engine->render(rig.out.data(), kBlock);
            state.ResumeTiming();
        }
    }
    state.SetLabel(kit ? "3 layers" : "1 layer");
}
BENCHMARK(BM_DeviceStartCall)->Arg(0)->Arg(1);

}  // namespace
