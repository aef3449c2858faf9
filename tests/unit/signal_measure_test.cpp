// The measuring tools the other tests rely on, checked on generated signals.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "signal_measure.h"

namespace zendra::test {
namespace {

// Deterministic uniform noise in [-amplitude, amplitude].
std::vector<float> withNoise(std::vector<float> x, float amplitude, float offset = 0.0f) {
    uint32_t state = 12345;
    for (float& v : x) {
        state = state * 1664525u + 1013904223u;
        const float u = static_cast<float>(state >> 8) / static_cast<float>(1u << 24);  // [0, 1)
        v += offset + amplitude * (2.0f * u - 1.0f);
    }
    return x;
}

std::vector<float> silence(int rate, double seconds) {
    return std::vector<float>(static_cast<size_t>(std::llround(seconds * rate)), 0.0f);
}

void append(std::vector<float>& to, const std::vector<float>& x) { to.insert(to.end(), x.begin(), x.end()); }

TEST(SignalMeasure, FrequencyOfCleanSinesIsWithinFiveHundredthsOfAPercent) {
    struct Case {
        double hz;
        int rate;
    };
    for (const Case c : {Case{440.0, 22050}, Case{1000.0, 48000}, Case{3001.7, 44100}, Case{97.3, 48000},
                         Case{261.63, 11025}}) {
        const auto x = sine(c.hz, c.rate, 0.3, 0.5f);
        EXPECT_NEAR(frequencyHz(x, c.rate), c.hz, c.hz * 0.0005) << c.hz << " Hz at " << c.rate;
    }
}

TEST(SignalMeasure, FrequencyIgnoresDcOffsetAndSmallNoise) {
    // A slow sine makes noise cross zero many times near each true crossing.
    const auto slow = withNoise(sine(50.0, 48000, 0.5, 0.5f), 0.05f, 0.3f);
    EXPECT_NEAR(frequencyHz(slow, 48000), 50.0, 50.0 * 0.005);
    const auto fast = withNoise(sine(1000.0, 48000, 0.3, 0.5f), 0.01f, -0.2f);
    EXPECT_NEAR(frequencyHz(fast, 48000), 1000.0, 1000.0 * 0.0005);
}

TEST(SignalMeasure, CyclePitchAndMedianLevelSurviveDropouts) {
    // Every 100 ms, 3 ms of a 1 kHz tone are lost: once as silence, once
    // skipped outright (the tone resumes at a different phase).
    const auto clean = sine(1000.0, 48000, 1.0, 0.5f);
    std::vector<float> silenced = clean, skipped;
    for (size_t at = 2400; at + 144 < silenced.size(); at += 4800)
        std::fill(silenced.begin() + static_cast<long>(at), silenced.begin() + static_cast<long>(at + 144), 0.0f);
    for (size_t i = 0; i < clean.size(); ++i) {
        if (i % 4800 < 4800 - 144) skipped.push_back(clean[i]);
    }
    for (const auto* x : {&silenced, &skipped}) {
        EXPECT_NEAR(cycleFrequencyHz(*x, 48000), 1000.0, 0.5);
        // 960 samples: whole cycles, so an untouched window measures exactly.
        EXPECT_NEAR(medianRmsDb(*x, 960), -9.0309, 0.01);
    }
    // The whole-span measures see the damage; that is what the others avoid.
    EXPECT_GT(std::fabs(frequencyHz(silenced, 48000) - 1000.0), 5.0);
    EXPECT_LT(rmsDb(silenced), -9.1);
    EXPECT_NEAR(cycleFrequencyHz(clean, 48000, 0, 24000), 1000.0, 0.5);
    EXPECT_NEAR(cycleFrequencyHz(sine(440.0, 22050, 0.5, 0.5f), 22050), 440.0, 0.22);
    EXPECT_EQ(cycleFrequencyHz(silence(48000, 0.1), 48000), 0.0);
    // A range shorter than one window is measured whole.
    EXPECT_NEAR(medianRmsDb(clean, 960, 0, 480), -9.0309, 0.01);
}

TEST(SignalMeasure, RmsAndPeakLevels) {
    EXPECT_NEAR(rmsDb(sine(1000.0, 48000, 1.0, 1.0f)), -3.0103, 0.001);
    EXPECT_NEAR(rmsDb(sine(1000.0, 48000, 1.0, 0.5f)), -9.0309, 0.001);
    EXPECT_NEAR(rmsDb(std::vector<float>(100, -0.1f)), -20.0, 1e-4);
    EXPECT_EQ(rmsDb(silence(48000, 0.1)), -200.0);
    EXPECT_EQ(rmsDb({}), -200.0);

    auto x = silence(48000, 0.5);
    append(x, std::vector<float>(24000, 0.5f));
    EXPECT_EQ(rmsDb(x, 0, 24000), -200.0);
    EXPECT_NEAR(rmsDb(x, 24000), -6.0206, 1e-3);
    EXPECT_NEAR(rmsDb(x), -9.0309, 1e-3);  // half the power of the loud half
    EXPECT_EQ(peakAbs(x, 0, 24000), 0.0);
    EXPECT_FLOAT_EQ(peakAbs(x), 0.5f);
    EXPECT_NEAR(peakAbs(sine(1000.0, 48000, 0.1, 0.7f)), 0.7, 1e-4);
    EXPECT_EQ(peakAbs(x, 30000, 10), 0.0);  // empty range
}

TEST(SignalMeasure, FirstAboveAndOnsetsFindTaps) {
    const int rate = 48000;
    auto x = silence(rate, 0.1);
    append(x, sine(500.0, rate, 0.05, 0.5f));
    append(x, silence(rate, 0.2));
    append(x, sine(500.0, rate, 0.05, 0.5f));
    append(x, silence(rate, 0.1));

    const size_t first = firstAbove(x, 0.1f);
    ASSERT_NE(first, SIZE_MAX);
    EXPECT_GE(first, 4800u);
    EXPECT_LT(first, 4800u + 10);  // 0.1 is passed within the first few samples of the sine
    EXPECT_EQ(firstAbove(x, 0.1f, 4800u + 2400), first + 2400 + 9600);  // the second tap, same phase
    EXPECT_EQ(firstAbove(x, 0.6f), SIZE_MAX);

    // Gaps within a tap (zero crossings) are merged; the 0.2 s silence is not.
    const auto taps = onsets(x, rate, 0.1f, 0.02);
    ASSERT_EQ(taps.size(), 2u);
    EXPECT_NEAR(static_cast<double>(taps[0].first), 4800.0, 10.0);
    EXPECT_NEAR(static_cast<double>(taps[0].second), 4800.0 + 2400.0, 20.0);
    EXPECT_NEAR(static_cast<double>(taps[1].first), 4800.0 + 2400.0 + 9600.0, 10.0);
    EXPECT_NEAR(static_cast<double>(taps[1].second), 4800.0 + 2 * 2400.0 + 9600.0, 20.0);

    // A longer minimum gap joins both taps into one segment.
    const auto joined = onsets(x, rate, 0.1f, 0.3);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].first, taps[0].first);
    EXPECT_EQ(joined[0].second, taps[1].second);

    EXPECT_TRUE(onsets(silence(rate, 0.5), rate, 0.01f, 0.02).empty());
}

}  // namespace
}  // namespace zendra::test
