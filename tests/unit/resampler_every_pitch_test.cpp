// Between the listed Keyboard pitches too: at every pitch ratio from 1 to 4.5
// (0.02 apart, so each widened kernel is reached) the two highest test tones
// leave aliases and images at least 85 dB below a full-scale sine.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace zendra {
namespace {

// Mean power, relative to a full-scale sine, of what is left of y once the
// best-fitting sine at hz is taken out (all of y when hz is past Nyquist).
double residualDb(const std::vector<float>& y, double hz, double rate) {
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0, e = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        const double s = std::sin(2 * M_PI * hz * i / rate), c = std::cos(2 * M_PI * hz * i / rate);
        ss += s * s, sc += s * c, cc += c * c, ys += y[i] * s, yc += y[i] * c;
    }
    const bool pastNyquist = hz >= rate / 2;
    const double det = ss * cc - sc * sc;
    const double a = pastNyquist ? 0 : (ys * cc - yc * sc) / det, b = pastNyquist ? 0 : (yc * ss - ys * sc) / det;
    for (size_t i = 0; i < y.size(); ++i) {
        const double r = y[i] - a * std::sin(2 * M_PI * hz * i / rate) - b * std::cos(2 * M_PI * hz * i / rate);
        e += r * r;
    }
    return 10 * std::log10(2 * e / static_cast<double>(y.size()));
}

TEST(ResamplerEveryPitch, AliasesStay85dBDownBetweenTheListedPitches) {
    DirectX7 dx(std::make_shared<OfflineBackend>());
    auto ds = dx.DirectSoundCreate("");
    const int src = 22050;
    WAVEFORMATEX f;
    f.nFormatTag = 1, f.nChannels = 1, f.lSamplesPerSec = src, f.nBitsPerSample = 16, f.nBlockAlign = 2;
    f.lAvgBytesPerSec = 2 * src;
    for (int step = 50; step <= 225; ++step) {
        const double ratio = step / 50.0;
        for (double rel : {0.3, 0.39}) {
            std::vector<int16_t> pcm(src);
            for (int i = 0; i < src; ++i) pcm[i] = static_cast<int16_t>(std::lround(32000 * std::sin(2 * M_PI * rel * i)));
            DSBUFFERDESC d;
            d.lFlags = DSBCAPS_CTRLFREQUENCY;
            d.lBufferBytes = 2 * src;
            auto b = ds->CreateSoundBuffer(d, f);
            b->WriteBuffer(0, d.lBufferBytes, pcm.data(), 0);
            const auto rate = static_cast<int32_t>(std::lround(src * ratio));
            b->SetFrequency(rate);
            b->Play(0);
            const std::vector<float> out = ds->engine()->renderOffline(3000 + 4800);
            std::vector<float> left(4800);
            for (size_t i = 0; i < left.size(); ++i) left[i] = out[2 * (3000 + i)];
            const double db = residualDb(left, rel * rate, 48000) - 20 * std::log10(32000.0 / 32768.0);
            EXPECT_LT(db, -85.0) << "ratio " << ratio << ", tone at " << rel << " of the source rate";
            b->Stop();
        }
    }
}

}  // namespace
}  // namespace zendra
