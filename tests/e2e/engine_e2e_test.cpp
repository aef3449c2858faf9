// The sound engine on a real audio server: what it plays is recorded from the
// server's monitor and measured (level, pitch, pan, timing of repeated taps),
// and capture reads the server's steady test tone.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e_env.h"
#include "e2e_measure.h"
#include "sound_fixtures.h"
#include "sound/direct_sound.h"
#include "sound/ds_types.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;  // of the recording

// Steady tones are measured with medians over whole cycles and 20 ms windows:
// on a loaded machine the server may drop a few milliseconds now and then,
// which must not count as a wrong level or pitch.
constexpr size_t kLevelWindow = kRate / 50;

double pitchOf(const std::vector<float>& x, size_t begin, size_t end) { return cycleFrequencyHz(x, kRate, begin, end); }
double levelOf(const std::vector<float>& x, size_t begin, size_t end) { return medianRmsDb(x, kLevelWindow, begin, end); }

// Windows whose level strays from the median by more than 0.5 dB: dropouts.
int disturbedWindows(const std::vector<float>& x, size_t begin, size_t end) {
    const double median = levelOf(x, begin, end);
    int n = 0;
    for (size_t at = begin; at + kLevelWindow <= end; at += kLevelWindow)
        n += std::fabs(rmsDb(x, at, at + kLevelWindow) - median) > 0.5 ? 1 : 0;
    return n;
}

size_t seconds(double s) { return static_cast<size_t>(s * kRate); }

class EngineOnDevice : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string missing = missingPrograms({"pulseaudio", "pactl", "pacat", "parecord"});
        if (!missing.empty()) {
            skipReason_ = new std::string("missing programs: " + missing);
            return;
        }
        try {
            server_ = new AudioServer();
            // The engine reads these when it first opens the audio system.
            server_->exportToProcess();
            setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
            dx_ = new std::shared_ptr<DirectX7>(std::make_shared<DirectX7>());
            ds_ = new std::shared_ptr<DirectSound>((*dx_)->DirectSoundCreate(""));
        } catch (const std::exception& e) {
            setupError_ = new std::string(e.what());
        }
    }

    static void TearDownTestSuite() {
        delete ds_;  // closes the device before its server goes
        delete dx_;
        delete server_;
        delete skipReason_;
        delete setupError_;
        setupError_ = nullptr;
        ds_ = nullptr;
        dx_ = nullptr;
        server_ = nullptr;
        skipReason_ = nullptr;
    }

    void SetUp() override {
        if (skipReason_ != nullptr) GTEST_SKIP() << *skipReason_;
        ASSERT_EQ(setupError_, nullptr) << *setupError_;
        ASSERT_NE(ds_, nullptr);
    }

    // A mono 16-bit buffer holding `cycles` whole periods of a sine, so that
    // looping it is seamless.
    static std::shared_ptr<DirectSoundBuffer> sineBuffer(double hz, int rate, int cycles, float amplitude) {
        const int frames = static_cast<int>(std::lround(cycles * rate / hz));
        std::vector<int16_t> pcm(static_cast<size_t>(frames));
        for (int i = 0; i < frames; ++i)
            pcm[static_cast<size_t>(i)] = static_cast<int16_t>(
                std::lround(amplitude * 32767.0 * std::sin(2.0 * std::numbers::pi * hz * i / rate)));
        return pcmBuffer(**ds_, pcm, rate);
    }

    // Records the monitor while `buf` loops for 0.8 s, `change` is applied,
    // and it loops 0.8 s more before it stops.
    template <class Change>
    static void loopWithChange(DirectSoundBuffer& buf, Change change, Stereo* recorded) {
        MonitorRecording rec(*server_, recordingPath());
        ASSERT_TRUE(rec.waitStarted());
        buf.Play(DSBPLAY_LOOPING);
        sleepSeconds(0.8);
        change();
        sleepSeconds(0.8);
        buf.Stop();
        sleepSeconds(0.2);
        *recorded = rec.read();
    }

    static std::string recordingPath() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        return artifactsDir() + "/engine-" + info->name() + ".wav";
    }

    static AudioServer* server_;
    static std::shared_ptr<DirectX7>* dx_;
    static std::shared_ptr<DirectSound>* ds_;
    static std::string* skipReason_;
    static std::string* setupError_;
};

AudioServer* EngineOnDevice::server_ = nullptr;
std::shared_ptr<DirectX7>* EngineOnDevice::dx_ = nullptr;
std::shared_ptr<DirectSound>* EngineOnDevice::ds_ = nullptr;
std::string* EngineOnDevice::skipReason_ = nullptr;
std::string* EngineOnDevice::setupError_ = nullptr;

TEST_F(EngineOnDevice, LoopingSineArrivesAtItsLevelAndPitchAndStops) {
    auto buf = sineBuffer(1000.0, 22050, 1000, 0.5f);  // exactly 1 s
    buf->SetVolume(-600);
    buf->SetPan(0);

    MonitorRecording rec(*server_, recordingPath());
    ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
    buf->Play(DSBPLAY_LOOPING);
    EXPECT_EQ(buf->GetStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    sleepSeconds(1.5);  // longer than the buffer: the loop must wrap
    buf->Stop();
    EXPECT_EQ(buf->GetStatus(), 0);
    sleepSeconds(0.4);
    const Stereo s = rec.read();
    std::cout << "recording: " << rec.path() << "\n";

    const size_t onset = firstAbove(s.left, 0.05f);
    ASSERT_NE(onset, SIZE_MAX) << "nothing was heard";
    const size_t end = lastAbove(s.left, 0.05f);
    const double heard = static_cast<double>(end - onset) / kRate;
    EXPECT_NEAR(heard, 1.5, 0.1) << "sounding time";

    // Steady part, across the loop point.
    const size_t b = onset + seconds(0.2), e = onset + seconds(1.3);
    ASSERT_LT(e, s.left.size());
    const double expectedDb = 20.0 * std::log10(0.5 / std::sqrt(2.0)) - 6.0;
    const double left = levelOf(s.left, b, e), right = levelOf(s.right, b, e);
    const double pitch = pitchOf(s.left, b, e);
    std::cout << std::setprecision(6) << "level L " << left << " dBFS, R " << right << " dBFS (expected " << expectedDb << "), pitch " << pitch
              << " Hz, heard " << heard << " s, windows with dropouts " << disturbedWindows(s.left, b, e) << " of "
              << (e - b) / kLevelWindow << "\n";
    EXPECT_NEAR(left, expectedDb, 0.5);
    EXPECT_NEAR(right, expectedDb, 0.5);
    EXPECT_NEAR(pitch, 1000.0, 5.0);

    // Silence after Stop.
    EXPECT_LT(rmsDb(s.left, end + seconds(0.05)), -80.0);
    EXPECT_LT(rmsDb(s.right, end + seconds(0.05)), -80.0);
}

TEST_F(EngineOnDevice, SetFrequencyChangesPitchWhilePlaying) {
    auto buf = sineBuffer(1000.0, 22050, 1000, 0.5f);
    buf->SetVolume(-600);

    Stereo s;
    ASSERT_NO_FATAL_FAILURE(loopWithChange(*buf, [&] {
        buf->SetFrequency(44100);
        EXPECT_EQ(buf->GetFrequency(), 44100);
    }, &s));

    const size_t onset = firstAbove(s.left, 0.05f);
    ASSERT_NE(onset, SIZE_MAX);
    const size_t end = lastAbove(s.left, 0.05f);
    ASSERT_GT(end, onset + seconds(1.4));
    const double before = pitchOf(s.left, onset + seconds(0.1), onset + seconds(0.6));
    const double after = pitchOf(s.left, end - seconds(0.6), end - seconds(0.1));
    const double levelBefore = levelOf(s.left, onset + seconds(0.1), onset + seconds(0.6));
    const double levelAfter = levelOf(s.left, end - seconds(0.6), end - seconds(0.1));
    std::cout << std::setprecision(6) << "pitch " << before << " Hz then " << after << " Hz; level " << levelBefore << " then " << levelAfter
              << " dBFS\n";
    EXPECT_NEAR(before, 1000.0, 5.0);
    EXPECT_NEAR(after, 2000.0, 10.0);
    EXPECT_NEAR(levelAfter, levelBefore, 0.5);
}

TEST_F(EngineOnDevice, PanAttenuatesOnlyTheOppositeChannel) {
    auto buf = sineBuffer(1000.0, 22050, 1000, 0.5f);
    buf->SetVolume(0);
    buf->SetPan(-2173);

    Stereo s;
    ASSERT_NO_FATAL_FAILURE(loopWithChange(*buf, [&] { buf->SetPan(2173); }, &s));

    const size_t onset = firstAbove(s.left, 0.05f);
    ASSERT_NE(onset, SIZE_MAX);
    const size_t end = lastAbove(s.right, 0.05f);
    ASSERT_GT(end, onset + seconds(1.4));
    const double full = 20.0 * std::log10(0.5 / std::sqrt(2.0));

    const size_t b1 = onset + seconds(0.1), e1 = onset + seconds(0.6);
    const double l1 = levelOf(s.left, b1, e1), r1 = levelOf(s.right, b1, e1);
    const size_t b2 = end - seconds(0.6), e2 = end - seconds(0.1);
    const double l2 = levelOf(s.left, b2, e2), r2 = levelOf(s.right, b2, e2);
    std::cout << "pan -2173: L " << l1 << " R " << r1 << " (diff " << r1 - l1 << ") dB; pan +2173: L " << l2 << " R "
              << r2 << " (diff " << l2 - r2 << ") dB\n";
    EXPECT_NEAR(l1, full, 0.5);
    EXPECT_NEAR(r1 - l1, -21.73, 0.5);
    EXPECT_NEAR(r2, full, 0.5);
    EXPECT_NEAR(l2 - r2, -21.73, 0.5);
}

TEST_F(EngineOnDevice, RepeatedTapsSoundAsFarApartAsTheyWerePlayed) {
    // A 40 ms one-shot played five times at uneven gaps; the spacing of the
    // recorded onsets must match the spacing of the Play() calls.
    auto buf = sineBuffer(1000.0, 48000, 40, 0.5f);
    constexpr int kTaps = 5;
    std::vector<std::chrono::steady_clock::time_point> played;
    std::optional<MonitorRecording> rec;
    Stereo s;
    std::vector<std::pair<size_t, size_t>> taps;
    // A stall of the loaded machine that cuts a tap in two (or runs two
    // together) shows in the recording; only then is the run repeated, and
    // the last run is judged in full.
    auto cutByDropout = [&] {
        if (taps.size() != static_cast<size_t>(kTaps)) return true;
        for (const auto& [b, e] : taps) {
            const double length = static_cast<double>(e - b) / kRate;
            if (length <= 0.035 || length >= 0.080) return true;
        }
        return false;
    };
    for (int attempt = 1; attempt <= 3; ++attempt) {
        played.clear();
        rec.reset();
        rec.emplace(*server_, recordingPath());
        ASSERT_TRUE(rec->waitStarted());
        for (int i = 0; i < kTaps; ++i) {
            buf->Stop();
            buf->SetCurrentPosition(0);
            buf->Play(DSBPLAY_DEFAULT);
            played.push_back(std::chrono::steady_clock::now());
            sleepSeconds(0.2 + 0.05 * i);
            EXPECT_EQ(buf->GetStatus(), 0) << "a one-shot must have ended";
        }
        sleepSeconds(0.2);
        s = rec->read();
        taps = onsets(s.left, kRate, 0.05f, 0.03);
        if (!cutByDropout()) break;
        std::cout << "attempt " << attempt << ": " << taps.size() << " sounding stretches, a tap cut by a dropout\n";
    }

    ASSERT_EQ(taps.size(), static_cast<size_t>(kTaps));
    double worst = 0.0;
    std::vector<double> latencies;
    for (size_t i = 0; i < taps.size(); ++i) {
        const double length = static_cast<double>(taps[i].second - taps[i].first) / kRate;
        // Played once (a dropout inside may lengthen it a little), not looped.
        EXPECT_GT(length, 0.035) << "tap " << i;
        EXPECT_LT(length, 0.080) << "tap " << i;
        if (const auto at = rec->availableAt(taps[i].first))
            latencies.push_back(std::chrono::duration<double, std::milli>(*at - played[i]).count());
        if (i == 0) continue;
        const double heard = static_cast<double>(taps[i].first - taps[0].first) / kRate;
        const double asked = std::chrono::duration<double>(played[i] - played[0]).count();
        worst = std::max(worst, std::fabs(heard - asked));
        EXPECT_NEAR(heard, asked, 0.015) << "tap " << i;
    }
    // Play() to the recorder having the onset: an upper bound on the latency.
    std::cout << "largest deviation of tap spacing: " << worst * 1000.0 << " ms; Play() to recorded onset:";
    for (double l : latencies) std::cout << " " << l;
    std::cout << " ms\n";
}

TEST_F(EngineOnDevice, CaptureRecordsTheDefaultSource) {
    // The default source carries the server's steady 440 Hz tone.
    auto capture = (*dx_)->DirectSoundCaptureCreate("");
    WAVEFORMATEX f;
    f.nFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.lSamplesPerSec = 22050;
    f.nBitsPerSample = 16;
    f.nBlockAlign = 2;
    f.lAvgBytesPerSec = 44100;
    DSCBUFFERDESC d;
    d.lBufferBytes = 22050 * 2;  // 1 s
    d.fxFormat = f;
    auto cb = capture->CreateCaptureBuffer(d, f);
    cb->Start(DSCBSTART_DEFAULT);
    EXPECT_EQ(cb->GetStatus(), DSCBSTATUS_CAPTURING);
    const auto t0 = std::chrono::steady_clock::now();
    while (cb->GetStatus() != 0 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(5))
        sleepSeconds(0.02);
    ASSERT_EQ(cb->GetStatus(), 0) << "a one-shot capture must end when its buffer is full";
    DSCURSORS cur;
    cb->GetCurrentPosition(cur);
    EXPECT_EQ(cur.lPlay, d.lBufferBytes);

    std::vector<int16_t> pcm(22050);
    cb->ReadBuffer(0, d.lBufferBytes, pcm.data(), 0);
    std::vector<float> x(pcm.size());
    std::transform(pcm.begin(), pcm.end(), x.begin(), [](int16_t v) { return static_cast<float>(v) / 32768.0f; });
    // Skip the stream's start-up.
    const double pitch = frequencyHz(x, 22050, 2205);
    const double level = rmsDb(x, 2205);
    std::cout << "captured pitch " << pitch << " Hz at " << level << " dBFS\n";
    EXPECT_NEAR(pitch, 440.0, 2.2);
    EXPECT_GT(level, -40.0);
}

}  // namespace
}  // namespace zendra::test
