// Capture from a system that delivers only its own format (JACK's 48 kHz
// float) reaches a take at the rate, channels and depth it asked for,
// band-limited: what the lower rate cannot hold is filtered out, not folded
// back into the take as another pitch.
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

#include "signal_measure.h"
#include "sound/capture_converter.h"

namespace zendra::test {
namespace {

struct Take : CaptureSink {
    std::vector<uint8_t> bytes;
    void deliver(const uint8_t* b, size_t n) noexcept override { bytes.insert(bytes.end(), b, b + n); }
};

// The take's first channel as floats.
std::vector<float> decode(const std::vector<uint8_t>& b, int channels, int bits) {
    std::vector<float> x;
    const size_t frameBytes = static_cast<size_t>(channels) * (bits / 8);
    for (size_t i = 0; i + frameBytes <= b.size(); i += frameBytes) {
        x.push_back(bits == 8 ? (b[i] - 128) / 128.0f
                              : static_cast<float>(static_cast<int16_t>(b[i] | (b[i + 1] << 8))) / 32768.0f);
    }
    return x;
}

Take convert(const std::vector<float>& in, int outRate, int channels, int bits, int chunk) {
    CaptureConverter c(48000, outRate, channels, bits);
    Take t;
    for (size_t at = 0; at < in.size(); at += static_cast<size_t>(chunk))
        c.push(in.data() + at, static_cast<int>(std::min<size_t>(chunk, in.size() - at)), t);
    return t;
}

TEST(CaptureConverter, KeepsPitchAndLevelAtEveryRateAndDepthAskedFor) {
    const std::vector<float> tone = sine(1000.0, 48000, 1.0, 0.5f);
    for (const int rate : {11025, 22050, 44100}) {
        for (const int bits : {8, 16}) {
            for (const int channels : {1, 2}) {
                const Take t = convert(tone, rate, channels, bits, 128);
                const std::vector<float> x = decode(t.bytes, channels, bits);
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << bits << " bits, " << channels << " ch");
                EXPECT_NEAR(static_cast<double>(x.size()), rate, rate * 0.01);  // a second's worth
                EXPECT_NEAR(frequencyHz(x, rate, x.size() / 4, x.size()), 1000.0, 2.0);
                EXPECT_NEAR(rmsDb(x, x.size() / 4, x.size()), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.3);
                if (channels == 2) {
                    const size_t step = static_cast<size_t>(bits / 8);
                    for (size_t i = 0; i + 2 * step <= t.bytes.size(); i += 2 * step)
                        ASSERT_EQ(t.bytes[i], t.bytes[i + step]) << "the channels differ at byte " << i;
                }
            }
        }
    }
}

TEST(CaptureConverter, FiltersWhatTheLowerRateCannotHold) {
    // 6 kHz fits in 22050 Hz; 15 kHz does not, and would fold back to 7050 Hz.
    const std::vector<float> high = sine(15000.0, 48000, 1.0, 0.5f);
    const std::vector<float> x = decode(convert(high, 22050, 1, 16, 128).bytes, 1, 16);
    EXPECT_LT(rmsDb(x, x.size() / 4, x.size()), -60.0);
    const std::vector<float> fits = sine(6000.0, 48000, 1.0, 0.5f);
    const std::vector<float> y = decode(convert(fits, 22050, 1, 16, 128).bytes, 1, 16);
    EXPECT_NEAR(rmsDb(y, y.size() / 4, y.size()), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.5);
}

TEST(CaptureConverter, TheTakeDoesNotDependOnHowTheDeviceSplitsItsFrames) {
    const std::vector<float> tone = sine(440.0, 48000, 0.5, 0.7f);
    const Take whole = convert(tone, 11025, 1, 8, 4096);
    for (const int chunk : {1, 64, 1000, 2048}) {
        const Take t = convert(tone, 11025, 1, 8, chunk);
        EXPECT_EQ(t.bytes, whole.bytes) << "delivered " << chunk << " frames at a time";
    }
}

}  // namespace
}  // namespace zendra::test
