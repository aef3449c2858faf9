// Sources and measurements shared by the mixing-cost and sound-quality
// benchmarks: the same 16 voices for every mixer, test sines, a plain linear
// interpolator as the quality baseline, and the alias/image level of a
// resampled sine.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace zendra::bench {

constexpr int kOutRate = 48000;
constexpr int kBlock = 128;
constexpr int kSourceRate = 22050;

// One voice of the mixing-cost workload: 2 s of 16-bit noise at 22050 Hz,
// looping, played at `ratio` times its own rate.
struct VoiceSpec {
    int channels = 1;
    double ratio = 1.0;
    float gain = 0.5f;         // -6 dB
    float pan = 0.0f;          // -1 left .. 1 right
    std::vector<int16_t> pcm;  // interleaved
};

// Voice i of n: mono and stereo alternate, ratios spread evenly over
// 0.25 .. 4.5, pans left / centre / right.
inline std::vector<VoiceSpec> mixWorkload(int n) {
    std::vector<VoiceSpec> v(static_cast<size_t>(n));
    uint32_t x = 12345;
    for (int i = 0; i < n; ++i) {
        VoiceSpec& s = v[static_cast<size_t>(i)];
        s.channels = 1 + (i % 2);
        s.ratio = n > 1 ? 0.25 + (4.5 - 0.25) * (i % 16) / 15.0 : 1.0;
        s.pan = static_cast<float>(i % 3 - 1) / 3.0f;
        s.pcm.resize(static_cast<size_t>(2 * kSourceRate * s.channels));
        for (auto& p : s.pcm) {
            x = x * 1664525u + 1013904223u;
            p = static_cast<int16_t>(static_cast<int32_t>(x >> 16) - 32768);
        }
    }
    return v;
}

inline WAVEFORMATEX pcm16Format(int rate, int channels) {
    WAVEFORMATEX f;
    f.nFormatTag = 1;
    f.nChannels = static_cast<int16_t>(channels);
    f.lSamplesPerSec = rate;
    f.nBitsPerSample = 16;
    f.nBlockAlign = static_cast<int16_t>(2 * channels);
    f.lAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

inline std::shared_ptr<DirectSoundBuffer> zendraBuffer(DirectSound& ds, const std::vector<int16_t>& pcm, int rate,
                                                       int channels) {
    WAVEFORMATEX f = pcm16Format(rate, channels);
    DSBUFFERDESC d;
    d.lFlags = 480;
    d.lBufferBytes = static_cast<int32_t>(pcm.size() * 2);
    auto b = ds.CreateSoundBuffer(d, f);
    b->WriteBuffer(0, d.lBufferBytes, pcm.data(), 0);
    return b;
}

// Hundredths of a dB for a linear gain, as SetVolume takes it.
inline int32_t hundredthsDb(float gain) { return static_cast<int32_t>(std::lround(2000.0 * std::log10(gain))); }

// A sine of `hz` at `rate`, 16-bit, amplitude 32000 (as the engine's own
// resampler test uses).
inline std::vector<int16_t> sinePcm(double hz, int rate, double seconds) {
    std::vector<int16_t> pcm(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<int16_t>(
            std::lround(32000.0 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / rate)));
    }
    return pcm;
}

// Least-squares fit of a sine of `hz` (at the output rate) to y: the fitted
// sine's energy and the residual's.
struct SineFit {
    double fitted = 0, residual = 0;
};

inline SineFit fitSine(const std::vector<float>& y, double hz) {
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0, yy = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        const double w = 2 * std::numbers::pi * hz * static_cast<double>(i) / kOutRate;
        const double s = std::sin(w), c = std::cos(w);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += y[i] * s;
        yc += y[i] * c;
        yy += double(y[i]) * y[i];
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    const double fitted = a * ys + b * yc;  // energy the sine explains
    return {fitted, std::max(yy - fitted, 0.0)};
}

// RMS of what is not the resampled sine. A mixer may run the sine a hair off
// its nominal frequency (OpenAL Soft quantises the pitch step to 1/4096 of a
// source frame: up to ~2.5 Hz off here), which is not an alias: the frequency
// is refined to the best fit first.
inline double residualRms(const std::vector<float>& y, double hz) {
    const double n = static_cast<double>(y.size());
    if (hz >= kOutRate / 2.0) {  // nothing of it belongs in the output
        double e = 0;
        for (float v : y) e += double(v) * v;
        return std::sqrt(e / n);
    }
    // Coarse scan of +-3 Hz (inside the 10 Hz main lobe of 4800 frames), then
    // golden section on the fitted energy.
    double best = hz, bestE = -1;
    for (int k = -30; k <= 30; ++k) {
        const double e = fitSine(y, hz + 0.1 * k).fitted;
        if (e > bestE) {
            bestE = e;
            best = hz + 0.1 * k;
        }
    }
    double lo = best - 0.1, hi = best + 0.1;
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int it = 0; it < 40; ++it) {  // golden section on the fitted energy
        const double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
        if (fitSine(y, m1).fitted > fitSine(y, m2).fitted)
            hi = m2;
        else
            lo = m1;
    }
    return std::sqrt(fitSine(y, (lo + hi) / 2).residual / n);
}

// The grid of the aliasing figure: pitch ratios the Keyboard reaches and test
// tones as fractions of the source rate.
inline const std::vector<double>& qualityRatios() {
    static const std::vector<double> r{0.25, 0.5, 0.9, 1.0, 1.37, 2.0, 3.0, 4.5};
    return r;
}
inline const std::vector<double>& qualityTones() {
    static const std::vector<double> t{0.02, 0.1, 0.2, 0.3, 0.39};
    return t;
}

// Renders a 22050 Hz sine played at `ratio` to the left output channel:
// `frames` frames at 48 kHz. The measured stretch skips the first 1000 frames
// (the onset) and spans 4800 frames.
using SineRenderer = std::function<std::vector<float>(const std::vector<int16_t>& pcm, double ratio, int frames)>;

struct AliasFigure {
    double worstDb = -300;  // over every tone
    double worstTone = 0;
    double worstLowDb = -300;  // over the tones up to 0.2 x the source rate
};

// Unwanted output (everything but the resampled sine) in dB relative to the
// sine as this renderer passes it: the reference amplitude is what a 0.02 x
// source-rate tone at ratio 1 comes out at, so pan laws and gains cancel.
inline AliasFigure aliasFigure(const SineRenderer& render, double ratio) {
    constexpr int kFrames = kOutRate / 8 + 2000;
    auto steady = [](const std::vector<float>& out) {
        return std::vector<float>(out.begin() + 1000, out.begin() + 1000 + kOutRate / 10);
    };
    const double refHz = 0.02 * kSourceRate;
    const auto ref = steady(render(sinePcm(refHz, kSourceRate, 1.0), 1.0, kFrames));
    double refRms = 0;
    for (float v : ref) refRms += double(v) * v;
    refRms = std::sqrt(refRms / static_cast<double>(ref.size()));
    AliasFigure fig;
    // The rate a voice is given is a whole number of Hz.
    ratio = std::round(kSourceRate * ratio) / kSourceRate;
    for (double rel : qualityTones()) {
        const double f = rel * kSourceRate;
        const auto y = steady(render(sinePcm(f, kSourceRate, 1.0), ratio, kFrames));
        const double db = 20 * std::log10(std::max(residualRms(y, f * ratio), 1e-12) / refRms);
        if (rel <= 0.2) fig.worstLowDb = std::max(fig.worstLowDb, db);
        if (db > fig.worstDb) {
            fig.worstDb = db;
            fig.worstTone = f;
        }
    }
    return fig;
}

// Zendra's mixer on an offline 48 kHz device, one voice, left channel.
inline std::vector<float> zendraRenderSine(const std::vector<int16_t>& pcm, double ratio, int frames) {
    auto backend = std::make_shared<OfflineBackend>();
    DirectX7 dx(backend);
    auto ds = dx.DirectSoundCreate("");
    auto b = zendraBuffer(*ds, pcm, kSourceRate, 1);
    b->SetFrequency(static_cast<int32_t>(std::lround(kSourceRate * ratio)));
    b->Play(0);
    const auto out = ds->engine()->renderOffline(frames);
    std::vector<float> left(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) left[static_cast<size_t>(i)] = out[2 * static_cast<size_t>(i)];
    return left;
}

// The baseline: straight-line interpolation between neighbouring samples.
inline std::vector<float> linearRenderSine(const std::vector<int16_t>& pcm, double ratio, int frames) {
    const double step = kSourceRate * ratio / kOutRate;
    std::vector<float> out(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double p = i * step;
        const auto k = static_cast<size_t>(p);
        const float t = static_cast<float>(p - static_cast<double>(k));
        const float a = k < pcm.size() ? pcm[k] / 32768.0f : 0.0f;
        const float b = k + 1 < pcm.size() ? pcm[k + 1] / 32768.0f : 0.0f;
        out[static_cast<size_t>(i)] = a + t * (b - a);
    }
    return out;
}

}  // namespace zendra::bench
