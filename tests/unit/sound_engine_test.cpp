// The sound interface measured on its rendered output, offline.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "signal_measure.h"
#include "sound_fixtures.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/wav_file.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;

class SoundEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend = std::make_shared<OfflineBackend>();
        dx = std::make_shared<DirectX7>(backend);
        ds = dx->DirectSoundCreate("");
    }

    // Whole periods, so loops are seamless.
    std::shared_ptr<DirectSoundBuffer> sineBuffer(double hz, int rate, double seconds, float amp = 0.5f,
                                                  int flags = 480) {
        return test::sineBuffer(*ds, hz, rate, seconds, amp, flags);
    }

    Stereo render(double seconds) {
        return splitInterleaved(ds->engine()->renderOffline(static_cast<int>(seconds * kRate)), kRate);
    }

    std::shared_ptr<OfflineBackend> backend;
    std::shared_ptr<DirectX7> dx;
    std::shared_ptr<DirectSound> ds;
};

TEST_F(SoundEngineTest, VolumeIsHundredthsOfADecibelOfAttenuation) {
    auto b = sineBuffer(1000, 22050, 1.0);
    b->Play(1);
    const double full = rmsDb(render(0.5).left);
    EXPECT_NEAR(full, 20 * std::log10(0.5 / std::sqrt(2.0)), 0.1);  // a new buffer starts at full volume
    for (int v : {-600, -2500}) {
        b->SetVolume(v);
        render(0.05);  // past the smoothing ramp
        EXPECT_NEAR(rmsDb(render(0.5).left) - full, v / 100.0, 0.1) << v;
    }
    b->SetVolume(-10000);
    render(0.05);
    EXPECT_LT(rmsDb(render(0.2).left), -150.0);
    EXPECT_THROW(b->SetVolume(1), SoundError);
    EXPECT_THROW(b->SetVolume(-10001), SoundError);
}

TEST_F(SoundEngineTest, PanAttenuatesOnlyTheFarChannelAndAddsToVolume) {
    auto b = sineBuffer(1000, 22050, 1.0);
    b->Play(1);
    const double full = rmsDb(render(0.3).left);
    struct Case { int pan, volume; double left, right; };
    const Case cases[] = {{-2173, 0, 0.0, -21.73}, {2173, 0, -21.73, 0.0}, {-9999, 0, 0.0, -99.99},
                          {9999, 0, -99.99, 0.0},  {-2173, -500, -5.0, -26.73}};
    for (const Case& c : cases) {
        b->SetPan(c.pan);
        b->SetVolume(c.volume);
        render(0.05);
        const Stereo s = render(0.5);
        EXPECT_NEAR(rmsDb(s.left) - full, c.left, 0.1) << c.pan << "/" << c.volume;
        EXPECT_NEAR(rmsDb(s.right) - full, c.right, 0.1) << c.pan << "/" << c.volume;
    }
}

TEST_F(SoundEngineTest, FrequencyIsThePlaybackRate) {
    auto b = sineBuffer(441, 22050, 1.0);
    EXPECT_EQ(b->GetFrequency(), 22050);
    b->Play(1);
    EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), 441.0, 441.0 * 0.005);
    b->SetFrequency(44100);
    render(0.01);
    EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), 882.0, 882.0 * 0.005);
    b->SetFrequency(11025);
    render(0.01);
    EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), 220.5, 220.5 * 0.005);
    EXPECT_EQ(b->GetFrequency(), 11025);
    EXPECT_THROW(b->SetFrequency(99), SoundError);
    EXPECT_THROW(b->SetFrequency(100001), SoundError);
    b->SetFrequency(100000);
    b->SetFrequency(100);
}

TEST_F(SoundEngineTest, PlayStatusLoopingAndResume) {
    auto b = sineBuffer(1000, 22050, 0.1);
    EXPECT_EQ(b->GetStatus(), 0);
    b->Play(0);
    EXPECT_EQ(b->GetStatus(), 1);  // before any audio block
    render(0.05);
    EXPECT_EQ(b->GetStatus(), 1);
    b->Play(1);  // only the loop flag changes
    EXPECT_EQ(b->GetStatus(), 5);
    const int32_t before = b->GetCurrentPosition();
    render(0.02);
    EXPECT_GT(b->GetCurrentPosition(), before);  // not restarted

    // Stop keeps the position; Play resumes there.
    b->Stop();
    EXPECT_EQ(b->GetStatus(), 0);
    render(0.01);
    const int32_t stoppedAt = b->GetCurrentPosition();
    render(0.05);
    EXPECT_EQ(b->GetCurrentPosition(), stoppedAt);
    b->Play(0);
    render(0.001);
    EXPECT_NEAR(b->GetCurrentPosition(), stoppedAt + 2 * 22, 4);

    // Played once, it stops at its end by itself.
    render(0.2);
    EXPECT_EQ(b->GetStatus(), 0);
    EXPECT_LT(rmsDb(render(0.05).left), -150.0);
}

TEST_F(SoundEngineTest, RestartInOneEventFadesTheCutSoundInsteadOfClicking) {
    auto b = sineBuffer(1000, 22050, 0.5);
    b->Play(1);
    Stereo before = render(0.1234);  // mid-period: the cut would be a step
    b->Stop();
    b->SetCurrentPosition(0);
    b->Play(0);
    const Stereo after = render(0.05);
    const double slope = 2 * M_PI * 1000.0 / kRate * 0.5;
    std::vector<float> joined(before.left.end() - 8, before.left.end());
    joined.insert(joined.end(), after.left.begin(), after.left.end());
    EXPECT_LT(maxStep(joined), slope * 1.2);
    // Once the old sound has faded, what plays is the sound from its start.
    for (size_t i = 100; i < 200; ++i) {
        const double srcPos = static_cast<double>(i) * 22050 / kRate;
        EXPECT_NEAR(after.left[i], 0.5 * std::sin(2 * M_PI * 1000 * srcPos / 22050), 0.01) << i;
    }
    EXPECT_THROW(b->SetCurrentPosition(-2), SoundError);
    EXPECT_THROW(b->SetCurrentPosition(b->bufferBytes() + 2), SoundError);
}

TEST_F(SoundEngineTest, LoopWrapAndChangesMidNoteDoNotClick) {
    // 1 kHz at 22050 Hz: not a whole number of samples per period, but whole periods in the buffer.
    auto b = sineBuffer(1050, 22050, 0.2);
    b->Play(1);
    Stereo s = render(1.0);
    const double slope = 2 * M_PI * 1050.0 / kRate * 0.5;  // the sine's own largest step
    EXPECT_LT(maxStep(s.left, 10), slope * 1.1);
    // Volume and pitch changes mid-note.
    b->SetVolume(-2500);
    b->SetFrequency(30000);
    s = render(0.1);
    EXPECT_LT(maxStep(s.left), 2 * M_PI * 1050.0 * 30000 / 22050 / kRate * 0.5 * 1.1);
    b->SetVolume(0);
    s = render(0.1);
    EXPECT_LT(maxStep(s.left), 2 * M_PI * 1050.0 * 30000 / 22050 / kRate * 0.5 * 1.1);
}

TEST_F(SoundEngineTest, BuffersMixAndReleaseFreesTheirVoice) {
    auto a = sineBuffer(1000, 22050, 0.5, 0.25f);
    auto b = sineBuffer(1000, 22050, 0.5, 0.25f);
    a->Play(1);
    b->Play(1);
    const double both = rmsDb(render(0.3).left);
    b.reset();  // released while playing
    const double one = rmsDb(render(0.3).left);
    EXPECT_NEAR(both - one, 6.02, 0.1);
}

TEST_F(SoundEngineTest, ASecondDeviceObjectSharesTheOutputAndEarlierBuffersKeepPlaying) {
    auto a = sineBuffer(1000, 22050, 0.5);
    a->Play(1);
    auto ds2 = dx->DirectSoundCreate("");
    ds2->SetCooperativeLevel(0, DSSCL_NORMAL);
    EXPECT_EQ(ds2->engine(), ds->engine());
    EXPECT_EQ(backend->outputsOpened(), 1);
    EXPECT_GT(rmsDb(render(0.2).left), -10.0);
    EXPECT_EQ(a->GetStatus(), 5);
}

TEST_F(SoundEngineTest, MissingControlFlagsRefuseTheControl) {
    auto b = sineBuffer(1000, 22050, 0.1, 0.5f, 0);
    EXPECT_THROW(b->SetVolume(-100), SoundError);
    EXPECT_THROW(b->SetPan(100), SoundError);
    EXPECT_THROW(b->SetFrequency(11025), SoundError);
}

TEST_F(SoundEngineTest, EightAndSixteenBitBuffersSaveBitExact) {
    const auto dir = std::filesystem::temp_directory_path() / ("zendra-engine-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (int bits : {8, 16}) {
        WAVEFORMATEX f = pcmFormat(1, 22050, bits);
        DSBUFFERDESC d;
        d.lBufferBytes = 4410;
        auto b = ds->CreateSoundBuffer(d, f);
        std::vector<uint8_t> bytes(4410);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>((i * 37 + 11) & 0xFF);
        b->WriteBuffer(0, 4410, bytes.data(), 0);
        const std::string path = (dir / ("take" + std::to_string(bits) + ".wav")).string();
        b->SaveToFile(path);
        const SampleData back = readWavFile(path);
        EXPECT_EQ(back.bytes, bytes) << bits;
        EXPECT_EQ(back.rate, 22050);
        EXPECT_EQ(back.channels, 1);
        std::vector<uint8_t> read(4410);
        b->ReadBuffer(0, 4410, read.data(), 0);
        EXPECT_EQ(read, bytes);
        EXPECT_THROW(b->WriteBuffer(4400, 20, bytes.data(), 0), SoundError);
    }
    std::filesystem::remove_all(dir);
}

TEST_F(SoundEngineTest, BadFormatsAndFilesGiveErrorsNamingTheProblem) {
    WAVEFORMATEX f = pcmFormat(3, 22050, 16);
    DSBUFFERDESC d;
    d.lBufferBytes = 600;
    EXPECT_THROW(ds->CreateSoundBuffer(d, f), SoundError);
    DSBUFFERDESC desc;
    WAVEFORMATEX fmt;
    try {
        ds->CreateSoundBufferFromFile("/nonexistent/zendra/missing.wav", desc, fmt);
        FAIL() << "no error";
    } catch (const SoundError& e) {
        EXPECT_EQ(e.code(), DSERR_FILENOTFOUND);
        EXPECT_NE(std::string(e.what()).find("/nonexistent/zendra/missing.wav"), std::string::npos);
    }
}

TEST_F(SoundEngineTest, CaptureFillsItsBufferAndStopsWhenFull) {
    auto enumr = dx->GetDSCaptureEnum();
    ASSERT_EQ(enumr->GetCount(), 1);
    EXPECT_EQ(enumr->GetDescription(1), "Offline Microphone");
    EXPECT_THROW(enumr->GetDescription(2), SoundError);
    auto cap = dx->DirectSoundCaptureCreate("");
    EXPECT_EQ(cap->GetCaps().lFormats & 0x11, 0x11);
    WAVEFORMATEX f = pcmFormat(1, 22050, 8);
    DSCBUFFERDESC d;
    d.lBufferBytes = 1000;
    auto buf = cap->CreateCaptureBuffer(d, f);
    FakeCaptureStream* stream = backend->lastCapture();
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(stream->rate, 22050);
    stream->push(std::vector<uint8_t>(100, 1));  // not started: ignored
    buf->Start(0);
    EXPECT_EQ(buf->GetStatus(), 1);
    stream->push(std::vector<uint8_t>(600, 7));
    DSCURSORS c;
    buf->GetCurrentPosition(c);
    EXPECT_EQ(c.lPlay, 600);
    stream->push(std::vector<uint8_t>(600, 9));
    EXPECT_EQ(buf->GetStatus(), 0);  // full
    buf->GetCurrentPosition(c);
    EXPECT_EQ(c.lPlay, 1000);
    std::vector<uint8_t> out(1000);
    buf->ReadBuffer(0, 1000, out.data(), 0);
    EXPECT_EQ(out[599], 7);
    EXPECT_EQ(out[600], 9);
    EXPECT_EQ(out[999], 9);
    EXPECT_THROW(dx->DirectSoundCaptureCreate("no-such-device"), SoundError);
    backend->devices.clear();
    EXPECT_THROW(dx->DirectSoundCaptureCreate(""), SoundError);
}

TEST_F(SoundEngineTest, NoOutputDeviceIsAnError) {
    auto b2 = std::make_shared<OfflineBackend>();
    b2->failOutput = true;
    DirectX7 dx2(b2);
    EXPECT_THROW(dx2.DirectSoundCreate(""), SoundError);
}

}  // namespace
}  // namespace zendra::test
