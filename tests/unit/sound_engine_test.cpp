// The sound interface measured on its rendered output, offline.
#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>
#include <utility>

#include "signal_measure.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound/sound_file.h"
#include "sound_fixtures.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;

class SoundEngineTest : public ::testing::Test {
protected:
    std::shared_ptr<DirectSoundBuffer> sine(double hz, double seconds, float amp = 0.5f, int flags = 480) {
        return sineBuffer(*ds, hz, 22050, seconds, amp, flags);
    }
    Stereo render(double seconds) {
        return splitInterleaved(ds->engine()->renderOffline(static_cast<int>(seconds * kRate)), kRate);
    }
    std::shared_ptr<OfflineBackend> backend = std::make_shared<OfflineBackend>();
    std::shared_ptr<DirectX7> dx = std::make_shared<DirectX7>(backend);
    std::shared_ptr<DirectSound> ds = dx->DirectSoundCreate("");
};

TEST_F(SoundEngineTest, VolumeAndPanAreHundredthsOfADecibelOfAttenuationAndFrequencyIsThePlaybackRate) {
    auto b = sine(441, 1.0);
    b->Play(1);
    const double full = rmsDb(render(0.3).left);
    EXPECT_NEAR(full, 20 * std::log10(0.5 / std::sqrt(2.0)), 0.1);  // a new buffer starts at full volume
    // Pan attenuates only the far channel, on top of the volume; the last row is silence.
    const double cases[][4] = {{-600, 0, -6.0, -6.0}, {-500, -2173, -5.0, -26.73}, {-10000, 0, -150, -150}};
    for (const auto& [volume, pan, left, right] : cases) {
        b->SetVolume(static_cast<int32_t>(volume));
        b->SetPan(static_cast<int32_t>(pan));
        render(0.05);  // past the smoothing ramp
        const Stereo s = render(0.3);
        EXPECT_NEAR(std::max(rmsDb(s.left) - full, -150.0), left, 0.1) << volume << "/" << pan;
        EXPECT_NEAR(std::max(rmsDb(s.right) - full, -150.0), right, 0.1) << volume << "/" << pan;
    }
    b->SetVolume(0);  // the last row left the pan centred
    EXPECT_EQ(b->GetFrequency(), 22050);
    for (int hz : {44100, 11025, 0}) {  // 0: back to the buffer's own rate
        b->SetFrequency(hz);
        render(0.01);
        const double want = 441.0 * (hz ? hz : 22050) / 22050;
        EXPECT_NEAR(frequencyHz(render(0.5).left, kRate), want, want * 0.005) << hz;
        EXPECT_EQ(b->GetFrequency(), hz ? hz : 22050);
    }
    EXPECT_NO_THROW((b->SetFrequency(100000), b->SetFrequency(100)));  // the limits themselves
}

TEST_F(SoundEngineTest, PlayStopResumeAndLooping) {
    auto b = sine(1000, 0.1);
    EXPECT_EQ(b->GetStatus(), 0);
    b->Play(0);
    EXPECT_EQ(b->GetStatus(), 1);  // before any audio block
    render(0.05);
    b->Play(1);  // only the loop flag changes
    EXPECT_EQ(b->GetStatus(), 5);
    const int32_t before = b->GetCurrentPosition();
    render(0.0202);
    EXPECT_GT(b->GetCurrentPosition(), before);  // not restarted
    // Stop keeps the position; Play resumes there, looping on past the end.
    b->Stop();
    EXPECT_EQ(b->GetStatus(), 0);
    render(0.01);
    const int32_t stoppedAt = b->GetCurrentPosition();
    render(0.05);
    EXPECT_EQ(b->GetCurrentPosition(), stoppedAt);
    b->Play(1);
    std::vector<float> resumed = render(0.001).left;  // fades in from silence instead of clicking
    resumed.insert(resumed.begin(), 0.0f);
    EXPECT_LT(maxStep(resumed), 2 * M_PI * 1000.0 / kRate * 0.5 * 1.2);
    EXPECT_NEAR(b->GetCurrentPosition(), stoppedAt + 2 * 22, 4);
}

TEST_F(SoundEngineTest, RestartInOneEventFadesTheCutSoundInsteadOfClicking) {
    auto b = sine(1000, 0.5);
    b->Play(1);
    const Stereo before = render(0.1234);  // mid-period: the cut would be a step
    b->Stop();
    b->SetCurrentPosition(0);
    b->Play(0);
    const Stereo after = render(0.05);
    std::vector<float> joined(before.left.end() - 8, before.left.end());
    joined.insert(joined.end(), after.left.begin(), after.left.end());
    EXPECT_LT(maxStep(joined), 2 * M_PI * 1000.0 / kRate * 0.5 * 1.2);
    // Once the old sound has faded, what plays is the sound from its start.
    for (size_t i = 100; i < 200; ++i)
        EXPECT_NEAR(after.left[i], 0.5 * std::sin(2 * M_PI * 1000 * static_cast<double>(i) / kRate), 0.01) << i;
}

TEST_F(SoundEngineTest, LoopWrapAndVolumeChangesMidNoteDoNotClick) {
    // Not a whole number of samples per period, but whole periods in the buffer.
    auto b = sine(1050, 0.2);
    b->Play(1);
    // Mid-period: a jump in level would be a step. Each change glides from the block it lands in.
    std::vector<float> out = render(0.4321).left;
    for (int volume : {-2500, 0}) {
        b->SetVolume(volume);
        const std::vector<float> more = render(0.05).left;
        out.insert(out.end(), more.begin(), more.end());
    }
    EXPECT_LT(maxStep(out, 10), 2 * M_PI * 1050.0 / kRate * 0.5 * 1.1);  // the sine's own largest step
}

TEST_F(SoundEngineTest, DeviceObjectsShareTheOutputBuffersMixAndReleaseStopsOne) {
    auto a = sine(1000, 0.5, 0.25f);
    a->Play(1);
    auto ds2 = dx->DirectSoundCreate("");
    ds2->SetCooperativeLevel(0, DSSCL_NORMAL);
    EXPECT_EQ(ds2->engine(), ds->engine());
    EXPECT_EQ(backend->outputsOpened(), 1);
    auto b = sineBuffer(*ds2, 1000, 22050, 0.5, 0.25f);
    b->Play(1);
    const double both = rmsDb(render(0.3).left);
    b.reset();  // released while playing
    EXPECT_NEAR(both - rmsDb(render(0.3).left), 6.02, 0.1);
    EXPECT_EQ(a->GetStatus(), 5);
}

// More commands than the queue to the audio thread holds still all arrive,
// without waiting for another command.
TEST_F(SoundEngineTest, ABacklogBeyondTheQueueReachesTheAudioThread) {
    std::vector<std::function<void()>> posted;
    Mixer::setFlushPoster([&](std::function<void()> f) { posted.push_back(std::move(f)); });
    auto b = sine(441, 1.0);
    for (int i = 0; i < 20000; ++i) b->SetVolume(-(i % 2000));
    b->SetVolume(0);
    b->Play(1);
    std::vector<float> out(2 * 1024);
    for (int block = 0; block < 8; ++block, ds->engine()->render(out.data(), 1024))
        for (auto run = std::exchange(posted, {}); auto& f : run) f();
    Mixer::setFlushPoster(nullptr);
    EXPECT_EQ(b->GetStatus(), 5);
    EXPECT_NEAR(rmsDb(splitInterleaved(out, kRate).left), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.2);
    // Offline rendering publishes a backlog too.
    for (int i = 0; i < 20000; ++i) b->SetVolume(-(i % 2000));
    b->Stop();
    render(0.5);
    EXPECT_EQ(b->GetStatus(), 0);
    EXPECT_LT(rmsDb(render(0.1).left), -150.0);
}

TEST_F(SoundEngineTest, WrittenBytesReadBackAndSaveBitExact) {
    const std::string path = testing::TempDir() + "zendra-take-" + std::to_string(::getpid()) + ".wav";
    std::vector<uint8_t> bytes(4410), read(4410);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    for (int bits : {8, 16}) {
        WAVEFORMATEX f = pcmFormat(1, 22050, bits);
        DSBUFFERDESC d{0, 4410};
        auto b = ds->CreateSoundBuffer(d, f);
        b->WriteBuffer(0, 4410, bytes.data(), 0);
        b->ReadBuffer(0, 4410, read.data(), 0);
        EXPECT_EQ(read, bytes);
        b->SaveToFile(path);
        const SampleData back = readSoundFile(path);
        const auto format = bits == 8 ? SampleFormat::U8 : SampleFormat::S16;
        EXPECT_TRUE(std::tie(back.format, back.bytes, back.rate, back.channels) == std::tuple(format, bytes, 22050, 1));
    }
    std::filesystem::remove(path);
}

TEST_F(SoundEngineTest, WrongRequestsAreRefusedWithTheirCodeAndReason) {
    auto b = sine(1000, 0.1);
    auto bare = sine(1000, 0.1, 0.5f, 0);
    DSBUFFERDESC d{0, 600};
    WAVEFORMATEX f = pcmFormat(3, 22050, 16);
    const std::pair<std::function<void()>, const char*> invalid[] = {
        {[&] { b->SetVolume(1); }, "The volume 1 is outside -10000..0."},
        {[&] { b->SetVolume(-10001); }, "-10001"},
        {[&] { b->SetPan(10001); }, "The pan 10001 is outside -10000..10000."},
        {[&] { b->SetPan(-10001); }, "-10001"},
        {[&] { b->SetFrequency(99); }, "99 Hz is outside 100..100000 Hz."},
        {[&] { b->SetFrequency(100001); }, "100001"},
        {[&] { b->SetCurrentPosition(-2); }, "position -2 lies outside the buffer."},
        {[&] { b->SetCurrentPosition(4412); }, "4412"},
        {[&] { b->WriteBuffer(4400, 20, &f, 0); }, "Writing a sound buffer: the range lies outside the buffer."}};
    const std::tuple<std::function<void()>, uint32_t, const char*> other[] = {
        {[&] { bare->SetVolume(-100); }, DSERR_CONTROLUNAVAIL, "This sound buffer has no volume control."},
        {[&] { bare->SetPan(100); }, DSERR_CONTROLUNAVAIL, "no pan control"},
        {[&] { bare->SetFrequency(11025); }, DSERR_CONTROLUNAVAIL, "no frequency control"},
        {[&] { ds->CreateSoundBuffer(d, f); }, DSERR_BADFORMAT, "only mono or stereo sound is supported"},
        {[&] { ds->CreateSoundBufferFromFile("/no/such.wav", d, f); }, DSERR_FILENOTFOUND, "\"/no/such.wav\""},
        {[&] { dx->DirectSoundCaptureCreate("mic"); }, DSERR_NODRIVER, "The capture device \"mic\" is not available."},
        {[&] { backend->failOutput = true, dx->DirectSoundCreate("other"); }, DSERR_NODRIVER, "No sound output device"},
        {[&] { backend->devices.clear(), dx->DirectSoundCaptureCreate(""); }, DSERR_NODRIVER,
         "There is no capture device."}};
    auto expectRefused = [](const std::function<void()>& request, uint32_t code, const std::string& reason) {
        try {
            request();
            ADD_FAILURE() << "accepted: " << reason;
        } catch (const SoundError& e) {
            EXPECT_EQ(e.code(), code) << e.what();
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    };
    for (const auto& [request, reason] : invalid) expectRefused(request, DSERR_INVALIDPARAM, reason);
    for (const auto& [request, code, reason] : other) expectRefused(request, code, reason);
}

TEST_F(SoundEngineTest, CaptureFillsItsBufferAndStopsWhenFull) {
    auto devices = dx->GetDSCaptureEnum();
    EXPECT_TRUE(devices->GetCount() == 1 && devices->GetDescription(1) == "Offline Microphone");
    EXPECT_THROW(devices->GetDescription(2), SoundError);
    auto cap = dx->DirectSoundCaptureCreate("");
    EXPECT_EQ(cap->GetCaps().lFormats & 0x11, 0x11);
    WAVEFORMATEX f = pcmFormat(1, 22050, 8);
    DSCBUFFERDESC d{0, 1000, 0, {}};
    auto buf = cap->CreateCaptureBuffer(d, f);
    FakeCaptureStream* stream = backend->lastCapture();
    ASSERT_TRUE(stream != nullptr && stream->rate == 22050);
    stream->push(std::vector<uint8_t>(100, 1));  // not started: ignored
    buf->Start(0);
    EXPECT_EQ(buf->GetStatus(), 1);
    DSCURSORS c;
    for (const auto& [value, position, status] : {std::tuple{7, 600, 1}, std::tuple{9, 1000, 0}}) {
        stream->push(std::vector<uint8_t>(600, static_cast<uint8_t>(value)));
        buf->GetCurrentPosition(c);
        EXPECT_EQ(c.lPlay, position);
        EXPECT_EQ(buf->GetStatus(), status);  // stopped when full
    }
    std::vector<uint8_t> out(1000), want(600, 7);
    want.resize(1000, 9);
    buf->ReadBuffer(0, 1000, out.data(), 0);
    EXPECT_EQ(out, want);
}

}  // namespace
}  // namespace zendra::test
