// Pitch changes must not add aliases or images, nor dull the audible band.
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "signal_measure.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sinc_dot.h"
#include "sound/sinc_kernel.h"
#include "sound_fixtures.h"

namespace zendra::test {
namespace {

constexpr int kOut = 48000;

// Of a sine at 0.32000 of full scale at 22050 Hz played at `ratio` times its
// rate: the level of the fitted output sine and of what is left over, in dB
// of a full-scale sine. Above the output's Nyquist, all of it is left over
// (in dB of full scale).
std::pair<double, double> sineAndRestDb(DirectSound& ds, double hz, double ratio) {
    auto tone = sineBuffer(ds, hz, 22050, 1.0, 32000.0f / 32767.0f);
    tone->SetFrequency(static_cast<int32_t>(22050 * ratio));
    tone->Play(0);
    const auto out = splitInterleaved(ds.engine()->renderOffline(kOut / 8 + 2000), kOut).left;
    const std::vector<float> y(out.begin() + 1000, out.begin() + 1000 + kOut / 10);  // past the onset
    const double full = 20 * std::log10(32768.0 / 32000.0 * std::sqrt(2.0));
    const double w = 2 * M_PI * hz * static_cast<int32_t>(22050 * ratio) / 22050 / kOut;
    if (w >= M_PI) return {-300, rmsDb(y) + 20 * std::log10(32768.0 / 32000.0)};
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0, yy = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        const double s = std::sin(w * static_cast<double>(i)), c = std::cos(w * static_cast<double>(i));
        ss += s * s, sc += s * c, cc += c * c, ys += y[i] * s, yc += y[i] * c, yy += y[i] * y[i];
    }
    const double det = ss * cc - sc * sc, a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    const double restEnergy = std::max(yy - a * ys - b * yc, 1e-30);  // what the least-squares sine leaves
    return {20 * std::log10(std::hypot(a, b) / std::sqrt(2.0)) + full,
            10 * std::log10(restEnergy / static_cast<double>(y.size())) + full};
}

TEST(ResamplerQuality, AliasesStay85dBDownAtEveryPitchAndThePassbandIsFlat) {
    auto backend = std::make_shared<OfflineBackend>();
    auto ds = DirectX7(backend).DirectSoundCreate("");
    std::vector<double> ratios{0.25, 0.5, 0.9};
    for (int step = 50; step <= 225; ++step) ratios.push_back(step / 50.0);  // reaches every widened kernel
    for (double ratio : ratios) {
        for (double rel : {0.02, 0.2, 0.3, 0.35, 0.39}) {
            const auto [sine, rest] = sineAndRestDb(*ds, rel * 22050, ratio);
            EXPECT_LT(rest, -85.0) << "ratio " << ratio << " at " << rel * 22050 << " Hz";
            // Played at its own rate, the band up to 0.35 of the rate loses under 1 dB.
            if (ratio == 1.0 && rel <= 0.35) {
                EXPECT_NEAR(sine, 0.0, 1.0) << rel << " of the rate";
            }
        }
    }
}

// The AVX2 inner loop, where this CPU runs it, gives what the portable one
// gives: same taps, same phases, only the sums' order differs.
TEST(ResamplerQuality, WideAndPortableInnerLoopsAgree) {
    const SincDotFn wide = sincDotWide();
    if (wide == nullptr) GTEST_SKIP() << "no AVX2/FMA on this CPU";
    std::vector<float> in(2 * 4096), a(600), b(600);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
    for (const SincTable& t : SincKernels::instance().tables()) {
        for (bool stereo : {false, true}) {
            SincRun r{t.coeffs.data(), t.taps, t.phases, in.data(),     stereo ? in.data() + 4096 : nullptr, 0.37,
                      t.scale * 0.977, 300,    a.data(), a.data() + 300};
            sincDotPortable()(r);
            r.outL = b.data();
            r.outR = b.data() + 300;
            wide(r);
            for (int i = 0; i < (stereo ? 600 : 300); ++i) ASSERT_NEAR(a[i], b[i], 1e-5f) << t.scale << " " << i;
        }
    }
}

}  // namespace
}  // namespace zendra::test
