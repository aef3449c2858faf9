// Sound quality figures, reported as counters (one iteration each, not
// timings): the alias/image level of Zendra's resampler and of plain linear
// interpolation at each pitch ratio the Keyboard reaches, and the largest
// sample step after a mid-note change against the step the signal's own slope
// allows.
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "bench_signal.h"

namespace {

using namespace zendra;
using namespace zendra::bench;

void BM_Aliasing_Zendra(benchmark::State& state) {
    const double ratio = static_cast<double>(state.range(0)) / 100.0;
    AliasFigure fig;
    for (auto _ : state) fig = aliasFigure(zendraRenderSine, ratio);
    state.counters["worst_db"] = fig.worstDb;
    state.counters["at_tone_hz"] = fig.worstTone;
    state.counters["worst_db_to_0.2fs"] = fig.worstLowDb;
    state.SetLabel("Zendra windowed sinc");
}

void BM_Aliasing_Linear(benchmark::State& state) {
    const double ratio = static_cast<double>(state.range(0)) / 100.0;
    AliasFigure fig;
    for (auto _ : state) fig = aliasFigure(linearRenderSine, ratio);
    state.counters["worst_db"] = fig.worstDb;
    state.counters["at_tone_hz"] = fig.worstTone;
    state.counters["worst_db_to_0.2fs"] = fig.worstLowDb;
    state.SetLabel("linear interpolation (baseline)");
}

void ratioArgs(benchmark::internal::Benchmark* b) {
    for (double ratio : qualityRatios()) b->Arg(static_cast<int64_t>(std::lround(ratio * 100)));
}
BENCHMARK(BM_Aliasing_Zendra)->Apply(ratioArgs)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Aliasing_Linear)->Apply(ratioArgs)->Iterations(1)->Unit(benchmark::kMillisecond);

// Every pitch ratio from 0.25 to 4.5 in steps of 0.01 (each kernel table and
// tap count is reached): the worst alias/image level over all of them.
void BM_AliasingSweep_Zendra(benchmark::State& state) {
    double worst = -1000, atRatio = 0;
    for (auto _ : state) {
        for (int r = 25; r <= 450; ++r) {
            const AliasFigure fig = aliasFigure(zendraRenderSine, r / 100.0);
            if (fig.worstDb > worst) {
                worst = fig.worstDb;
                atRatio = r / 100.0;
            }
        }
    }
    state.counters["worst_db"] = worst;
    state.counters["at_ratio"] = atRatio;
    state.SetLabel("Zendra windowed sinc, ratios 0.25-4.5");
}
BENCHMARK(BM_AliasingSweep_Zendra)->Iterations(1)->Unit(benchmark::kMillisecond);

// A mid-note change and what it does to the waveform.
enum Change { Volume = 0, Pitch = 1, Cut = 2, Restart = 3, InstantVolume = 4 };

const char* changeName(int c) {
    switch (c) {
    case Volume: return "volume 0 dB -> -20 dB (SetVolume)";
    case Pitch: return "pitch x1 -> x2 (SetFrequency)";
    case Cut: return "Stop mid-note";
    case Restart: return "restart mid-note (Stop, rewind, Play); bound: both sounds' slopes";
    case InstantVolume: return "baseline: the same volume change applied instantly";
    }
    return "";
}

// Amplitude of a steady sine from its RMS over whole cycles.
double amplitude(const std::vector<float>& x, size_t a, size_t b) {
    double e = 0;
    for (size_t i = a; i < b; ++i) e += double(x[i]) * x[i];
    return std::sqrt(2 * e / static_cast<double>(b - a));
}

// A looping 1 kHz sine (22050 Hz source, played at its own rate) changed at
// several points of its cycle. Reported: the largest step |y[i] - y[i-1]|
// from the change on, over the largest step the sine itself takes before or
// after the change (amplitude x 2 pi f / 48000). At most 1 means no click.
void BM_ClickOnChange(benchmark::State& state) {
    const int change = static_cast<int>(state.range(0));
    const double f = 1000.0;
    const auto pcm = sinePcm(f, kSourceRate, 1.0);  // exactly 1000 cycles: loops seamlessly
    double worstRatio = 0, worstStep = 0;
    for (auto _ : state) {
        for (int offset = 0; offset < 48; offset += 3) {  // 16 points of the 48-frame cycle
            auto backend = std::make_shared<OfflineBackend>();
            DirectX7 dx(backend);
            auto ds = dx.DirectSoundCreate("");
            auto b = zendraBuffer(*ds, pcm, kSourceRate, 1);
            b->Play(1);
            const int before = 4800 + offset;
            std::vector<float> y;
            for (float v : ds->engine()->renderOffline(before)) y.push_back(v);
            double fAfter = f, gainAfter = 1.0;
            switch (change) {
            case Volume:
            case InstantVolume:
                b->SetVolume(-2000);
                gainAfter = 0.1;
                break;
            case Pitch:
                b->SetFrequency(2 * kSourceRate);
                fAfter = 2 * f;
                break;
            case Cut:
                b->Stop();
                gainAfter = 0.0;
                break;
            case Restart:
                b->Stop();
                b->SetCurrentPosition(0);
                b->Play(1);
                break;
            }
            for (float v : ds->engine()->renderOffline(4800)) y.push_back(v);
            std::vector<float> left(y.size() / 2);
            for (size_t i = 0; i < left.size(); ++i) left[i] = y[2 * i];
            if (change == InstantVolume) {  // what a mixer without gain ramps does
                left = zendraRenderSine(pcm, 1.0, before + 4800);
                for (size_t i = static_cast<size_t>(before); i < left.size(); ++i) left[i] *= 0.1f;
            }
            const size_t at = static_cast<size_t>(before);
            const double ampBefore = amplitude(left, at - 2400, at);
            const double ampAfter = gainAfter > 0 ? amplitude(left, at + 2400, at + 4800) : 0.0;
            double allowed = std::max(ampBefore * 2 * std::numbers::pi * f / kOutRate,
                                      ampAfter * 2 * std::numbers::pi * fAfter / kOutRate);
            // A restart sounds the old note's fading tail and the new onset
            // together for 64 frames: their slopes add.
            if (change == Restart) allowed *= 2;
            double step = 0;
            for (size_t i = at; i < at + 2400; ++i) step = std::max(step, double(std::fabs(left[i] - left[i - 1])));
            if (step / allowed > worstRatio) {
                worstRatio = step / allowed;
                worstStep = step;
            }
        }
    }
    state.counters["max_step"] = worstStep;
    state.counters["step_over_slope"] = worstRatio;
    state.SetLabel(changeName(change));
}
BENCHMARK(BM_ClickOnChange)->DenseRange(0, 4)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
