// Pitch changes must not add aliases or images: the output of a resampled
// sine, less the fitted sine itself, stays far below the signal.
#include <gtest/gtest.h>

#include <cmath>

#include "signal_measure.h"
#include "sound_fixtures.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sinc_dot.h"
#include "sound/sinc_kernel.h"

namespace zendra::test {
namespace {

constexpr int kOut = 48000;

// Level in dB, relative to the input sine, of whatever is not the expected sine.
double unwantedDb(const std::vector<float>& y, double hz) {
    if (hz >= kOut / 2.0) return rmsDb(y) - rmsDb(std::vector<float>{1.0f, -1.0f});  // all of it is unwanted
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (size_t i = 0; i < y.size(); ++i) {
        const double w = 2 * M_PI * hz * static_cast<double>(i) / kOut;
        const double s = std::sin(w), c = std::cos(w);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        ys += y[i] * s;
        yc += y[i] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    std::vector<float> residual(y.size());
    for (size_t i = 0; i < y.size(); ++i) {
        const double w = 2 * M_PI * hz * static_cast<double>(i) / kOut;
        residual[i] = static_cast<float>(y[i] - a * std::sin(w) - b * std::cos(w));
    }
    // Relative to a full-scale sine's RMS.
    return rmsDb(residual) - 20 * std::log10(1 / std::sqrt(2.0));
}

TEST(ResamplerQuality, AliasesAndImagesStay70dBDownAtEveryKeyboardPitch) {
    auto backend = std::make_shared<OfflineBackend>();
    DirectX7 dx(backend);
    auto ds = dx.DirectSoundCreate("");
    const int src = 22050;
    double worst = -300;
    for (double ratio : {0.25, 0.5, 0.9, 1.0, 1.37, 2.0, 3.0, 4.5}) {
        for (double rel : {0.02, 0.1, 0.2, 0.3, 0.39}) {
            const double f = rel * src;
            const auto x = sine(f, src, 1.0, 1.0f);
            std::vector<int16_t> pcm(x.size());
            for (size_t i = 0; i < x.size(); ++i) pcm[i] = static_cast<int16_t>(std::lround(x[i] * 32000.0f));
            auto b = pcmBuffer(*ds, pcm, src);
            const auto rate = static_cast<int32_t>(src * ratio);
            b->SetFrequency(rate);
            b->Play(0);
            auto out = splitInterleaved(ds->engine()->renderOffline(kOut / 8 + 2000), kOut).left;
            // Skip the start (the sound's own onset), measure a steady stretch.
            std::vector<float> steady(out.begin() + 1000, out.begin() + 1000 + kOut / 10);
            const double outHz = f * rate / src;
            const double unwanted = unwantedDb(steady, outHz) + 20 * std::log10(32767.0 / 32000.0);
            EXPECT_LT(unwanted, -70.0) << "ratio " << ratio << " at " << f << " Hz";
            worst = std::max(worst, unwanted);
            b->Stop();
        }
    }
    RecordProperty("worst_unwanted_db", std::to_string(worst));
    std::printf("worst aliasing/imaging: %.1f dB\n", worst);
}

// The AVX2 build of the inner loop, where this CPU runs it, must give what
// the portable one gives: same taps, same phases, only the sums' order differs.
TEST(ResamplerQuality, WideAndPortableInnerLoopsAgree) {
    const SincDotFn wide = sincDotWide();
    if (wide == nullptr) GTEST_SKIP() << "no AVX2/FMA on this CPU";
    std::vector<float> left(4096), right(4096);
    for (size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
        right[i] = static_cast<float>(std::cos(0.31 * static_cast<double>(i)) * 0.5);
    }
    for (const SincTable& t : SincKernels::instance().tables()) {
        for (bool stereo : {false, true}) {
            std::vector<float> aL(300), aR(300), bL(300), bR(300);
            SincRun r;
            r.coeffs = t.coeffs.data();
            r.taps = t.taps;
            r.phases = t.phases;
            r.left = left.data();
            r.right = stereo ? right.data() : nullptr;
            r.pos = 0.37;
            r.step = t.scale * 0.977;
            r.frames = 300;
            r.outL = aL.data();
            r.outR = aR.data();
            sincDotPortable()(r);
            r.outL = bL.data();
            r.outR = bR.data();
            wide(r);
            for (int i = 0; i < r.frames; ++i) {
                ASSERT_NEAR(aL[i], bL[i], 1e-5f) << "scale " << t.scale << " frame " << i;
                if (stereo) {
                    ASSERT_NEAR(aR[i], bR[i], 1e-5f) << "scale " << t.scale << " frame " << i;
                }
            }
        }
    }
}

// The kernel keeps the audible band: a tone at 0.35 of the source's rate,
// played at its own rate, loses under 1 dB (the filter's passband is flat there).
TEST(ResamplerQuality, PassbandIsFlatToThirtyFivePercentOfTheSourceRate) {
    auto backend = std::make_shared<OfflineBackend>();
    DirectX7 dx(backend);
    auto ds = dx.DirectSoundCreate("");
    const int src = 22050;
    for (double rel : {0.05, 0.2, 0.35}) {
        const auto x = sine(rel * src, src, 0.5, 1.0f);
        std::vector<int16_t> pcm(x.size());
        for (size_t i = 0; i < x.size(); ++i) pcm[i] = static_cast<int16_t>(std::lround(x[i] * 32000.0f));
        auto b = pcmBuffer(*ds, pcm, src);
        b->Play(0);
        auto out = splitInterleaved(ds->engine()->renderOffline(kOut / 4), kOut).left;
        std::vector<float> steady(out.begin() + 1000, out.begin() + 1000 + kOut / 10);
        const double db = rmsDb(steady) - 20 * std::log10(32000.0 / 32768.0 / std::sqrt(2.0));
        EXPECT_NEAR(db, 0.0, 1.0) << rel << " of the source rate";
        b->Stop();
    }
}

}  // namespace
}  // namespace zendra::test
