// Valid but hostile sound files through the sound engine: each one plays as
// its content says, or is refused with a message that names the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "signal_measure.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace fs = std::filesystem;

namespace zendra::test {
namespace {

constexpr int kRate = 48000;

std::string le(uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}

// The 44-byte header of a plain PCM WAV file.
std::string pcmHeader(int channels, uint32_t rate, int bits, uint32_t dataBytes) {
    const int align = channels * bits / 8;
    return "RIFF" + le(36 + dataBytes, 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) +
           le(rate * align, 4) + le(align, 2) + le(bits, 2) + "data" + le(dataBytes, 4);
}

std::vector<int16_t> toneS16(double hz, int rate, double seconds, int channels, float amp) {
    const auto s = sine(hz, rate, seconds, amp);
    std::vector<int16_t> out;
    for (float v : s)
        for (int c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(std::lround(v * 32767.0f)));
    return out;
}

bool isFinite(const std::vector<float>& x) {
    for (float v : x)
        if (!std::isfinite(v)) return false;
    return true;
}

class HostileFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zendra-hostile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        backend = std::make_shared<OfflineBackend>();
        dx = std::make_shared<DirectX7>(backend);
        ds = dx->DirectSoundCreate("");
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dir, ec))
            if (e.is_directory(ec)) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

    std::shared_ptr<DirectSoundBuffer> load(const fs::path& p) {
        DSBUFFERDESC desc;
        desc.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
        return ds->CreateSoundBufferFromFile(p.string(), desc, format);
    }

    // Loading must fail with a message that names the file and gives the reason.
    void expectRefused(const fs::path& p, const std::string& reason) {
        SCOPED_TRACE(p.string());
        try {
            load(p);
            ADD_FAILURE() << "loaded without error";
        } catch (const SoundError& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find("\"" + p.string() + "\""), std::string::npos) << what;
            EXPECT_NE(what.find(reason), std::string::npos) << what;
        }
    }

    void writeS16(const fs::path& p, int channels, int rate, const std::vector<int16_t>& pcm) {
        const uint32_t bytes = static_cast<uint32_t>(pcm.size() * 2);
        std::ofstream f(p, std::ios::binary);
        f << pcmHeader(channels, static_cast<uint32_t>(rate), 16, bytes);
        f.write(reinterpret_cast<const char*>(pcm.data()), bytes);
    }

    Stereo render(double seconds) {
        const auto x = ds->engine()->renderOffline(static_cast<int>(seconds * kRate));
        EXPECT_TRUE(isFinite(x));
        return splitInterleaved(x, kRate);
    }

    fs::path dir;
    std::shared_ptr<OfflineBackend> backend;
    std::shared_ptr<DirectX7> dx;
    std::shared_ptr<DirectSound> ds;
    WAVEFORMATEX format;
};

TEST_F(HostileFiles, NoSoundAtAllIsRefusedByName) {
    std::ofstream(dir / "zero data.wav", std::ios::binary) << pcmHeader(1, 22050, 16, 0);
    // A single byte of a two-byte frame is no frame either.
    std::ofstream(dir / "half frame.wav", std::ios::binary) << pcmHeader(1, 22050, 16, 1) << 'x' << '\0';
    expectRefused(dir / "zero data.wav", "no sound");
    expectRefused(dir / "half frame.wav", "no sound");
}

TEST_F(HostileFiles, OneFrameSoundsOnceOrLoopsAsASteadyLevel) {
    writeS16(dir / "one.wav", 1, 22050, {16384});
    auto b = load(dir / "one.wav");
    EXPECT_EQ(b->bufferBytes(), 2);

    b->Play(0);
    const Stereo once = render(0.1);
    EXPECT_GT(peakAbs(once.left), 0.05);
    EXPECT_LT(peakAbs(once.left), 1.0);
    EXPECT_LT(peakAbs(once.left, 480), 1e-6);  // over within 10 ms
    EXPECT_EQ(b->GetStatus(), 0);

    // Looped, one frame is a constant; at the highest and lowest rates too.
    for (int hz : {22050, 100000, 100}) {
        b->SetFrequency(hz);
        b->Play(1);
        const Stereo loop = render(0.3);
        EXPECT_EQ(b->GetStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING) << hz;
        EXPECT_NEAR(loop.left[loop.left.size() - 1], 0.5, 0.01) << hz;
        EXPECT_LT(peakAbs(loop.left), 1.0) << hz;
        b->Stop();
        render(0.01);
        EXPECT_LT(peakAbs(render(0.05).left), 1e-6) << hz;
    }
}

// Ten minutes of 16-bit stereo at 192 kHz: 460.8 MB of sound. The file is
// sparse (silent) except for a 1 kHz second at the start and a 3 kHz second
// at the end, so only the decoded buffer costs memory.
TEST_F(HostileFiles, TenMinutesAt192kHzLoadsWhole) {
    constexpr int kHi = 192000;
    constexpr uint32_t kBytes = 600u * kHi * 4;
    const fs::path p = dir / "long 192k.wav";
    {
        const std::string head = pcmHeader(2, kHi, 16, kBytes);
        const auto start = toneS16(1000, kHi, 1.0, 2, 0.5f);
        const auto end = toneS16(3000, kHi, 1.0, 2, 0.5f);
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
        ASSERT_EQ(::pwrite(fd, start.data(), start.size() * 2, 44), static_cast<ssize_t>(start.size() * 2));
        const off_t endAt = 44 + kBytes - static_cast<off_t>(end.size() * 2);
        ASSERT_EQ(::pwrite(fd, end.data(), end.size() * 2, endAt), static_cast<ssize_t>(end.size() * 2));
        ASSERT_EQ(::ftruncate(fd, 44 + kBytes), 0);
        ::close(fd);
    }
    const auto t0 = std::chrono::steady_clock::now();
    auto b = load(p);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("[   INFO   ] 460.8 MB file read in %.2f s\n", secs);
    EXPECT_EQ(b->bufferBytes(), static_cast<int32_t>(kBytes));
    EXPECT_EQ(format.lSamplesPerSec, kHi);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nBitsPerSample, 16);

    b->Play(0);
    Stereo s = render(0.5);
    EXPECT_NEAR(frequencyHz(s.left, kRate, 2400), 1000.0, 2.0);
    EXPECT_NEAR(rmsDb(s.right, 2400), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.2);

    // Half a second before the end: the last tone, then the end of the sound.
    b->SetCurrentPosition(static_cast<int32_t>(kBytes - kHi * 4 / 2));
    s = render(0.4);
    EXPECT_NEAR(frequencyHz(s.left, kRate, 2400), 3000.0, 5.0);
    render(0.2);
    EXPECT_EQ(b->GetStatus(), 0);
    EXPECT_LT(peakAbs(render(0.1).left), 1e-6);

    // Looping wraps from the very end to the start over all 460 MB.
    b->SetCurrentPosition(static_cast<int32_t>(kBytes - kHi * 4 / 10));
    b->Play(1);
    render(0.2);
    s = render(0.3);
    EXPECT_NEAR(frequencyHz(s.left, kRate), 1000.0, 2.0);
}

TEST_F(HostileFiles, EightChannelsMixDownByTheirPlaces) {
    const int frames = 48000 / 2;
    const int map[8] = {SF_CHANNEL_MAP_LEFT,      SF_CHANNEL_MAP_RIGHT,      SF_CHANNEL_MAP_CENTER,
                        SF_CHANNEL_MAP_LFE,       SF_CHANNEL_MAP_REAR_LEFT,  SF_CHANNEL_MAP_REAR_RIGHT,
                        SF_CHANNEL_MAP_SIDE_LEFT, SF_CHANNEL_MAP_SIDE_RIGHT};
    const auto left = sine(1000, 48000, 0.5, 0.3f);
    const auto centre = sine(2000, 48000, 0.5, 0.3f);
    std::vector<float> pcm(static_cast<size_t>(frames) * 8, 0.0f);
    for (int f = 0; f < frames; ++f) {
        pcm[static_cast<size_t>(f) * 8 + 0] = left[static_cast<size_t>(f)];
        pcm[static_cast<size_t>(f) * 8 + 2] = centre[static_cast<size_t>(f)];
    }
    SF_INFO info{};
    info.format = SF_FORMAT_WAVEX | SF_FORMAT_PCM_24;
    info.channels = 8;
    info.samplerate = 48000;
    const fs::path p = dir / "surround.wav";
    SNDFILE* sf = sf_open(p.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr);
    ASSERT_EQ(sf_command(sf, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(map), sizeof map), SF_TRUE);
    ASSERT_EQ(sf_writef_float(sf, pcm.data(), frames), frames);
    sf_close(sf);

    auto b = load(p);
    EXPECT_EQ(format.nChannels, 2);
    b->Play(0);
    const Stereo s = render(0.4);
    // Right hears only the centre, 3 dB down; left hears both.
    EXPECT_NEAR(frequencyHz(s.right, kRate, 2400), 2000.0, 2.0);
    EXPECT_NEAR(rmsDb(s.right, 2400), 20 * std::log10(0.3 * 0.70710678 / std::sqrt(2.0)), 0.2);
    EXPECT_GT(rmsDb(s.left, 2400), rmsDb(s.right, 2400) + 1.0);
}

// A float file may hold values no sound has: NaN, infinities, 1e30. It is
// refused by name or plays with every output sample finite and in range.
TEST_F(HostileFiles, FloatFileWithNonFiniteValuesNeverReachesTheOutput) {
    auto pcm = sine(1000, 48000, 0.5, 0.5f);
    const float wild[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                          -std::numeric_limits<float>::infinity(), 1e30f, -1e30f, 1e-42f};
    for (size_t i = 0; i < 6; ++i) pcm[2400 + 1000 * i] = wild[i];
    SF_INFO info{};
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    info.channels = 1;
    info.samplerate = 48000;
    const fs::path p = dir / "wild.wav";
    SNDFILE* sf = sf_open(p.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr);
    ASSERT_EQ(sf_writef_float(sf, pcm.data(), static_cast<sf_count_t>(pcm.size())),
              static_cast<sf_count_t>(pcm.size()));
    sf_close(sf);

    std::shared_ptr<DirectSoundBuffer> b;
    try {
        b = load(p);
    } catch (const SoundError& e) {
        EXPECT_NE(std::string(e.what()).find(p.string()), std::string::npos) << e.what();
        return;
    }
    b->Play(1);
    const auto x = ds->engine()->renderOffline(kRate);
    size_t bad = 0;
    float peak = 0;
    for (float v : x) {
        if (!std::isfinite(v)) ++bad;
        else peak = std::max(peak, std::fabs(v));
    }
    EXPECT_EQ(bad, 0u) << "non-finite output samples";
    EXPECT_LE(peak, 2.0f);
    // And the voice recovers: the tone after the wild stretch is intact.
    b->SetCurrentPosition(4 * 10000);
    const Stereo s = render(0.2);
    EXPECT_NEAR(frequencyHz(s.left, kRate, 2400), 1000.0, 2.0);
}

TEST_F(HostileFiles, OddNamesLoadAndAreQuotedExactlyWhenBroken) {
    const std::string names[] = {"my kick.wav", "say \"hi\" it's.wav", "Größe — 日本語 ü.wav", "$HOME `x` \\ ;.wav",
                                 " leading and trailing .wav"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        writeS16(dir / name, 1, 22050, toneS16(440, 22050, 0.3, 1, 0.5f));
        auto b = load(dir / name);
        b->Play(0);
        EXPECT_NEAR(frequencyHz(render(0.2).left, kRate, 1200), 440.0, 1.0);
        b->Stop();

        std::ofstream(dir / ("broken " + name), std::ios::binary) << "not a sound";
        expectRefused(dir / ("broken " + name), "not a sound file");
    }
}

TEST_F(HostileFiles, ReadOnlyFolderLoads) {
    fs::create_directory(dir / "locked");
    writeS16(dir / "locked" / "tone.wav", 2, 44100, toneS16(440, 44100, 0.3, 2, 0.5f));
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec);
    auto b = load(dir / "locked" / "tone.wav");
    b->Play(0);
    EXPECT_NEAR(frequencyHz(render(0.2).left, kRate, 1200), 440.0, 1.0);
}

TEST_F(HostileFiles, DevicesPipesAndLinkLoopsAreRefusedAtOnce) {
    ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0644), 0);
    fs::create_symlink(dir / "loop-b.wav", dir / "loop-a.wav");
    fs::create_symlink(dir / "loop-a.wav", dir / "loop-b.wav");
    const auto t0 = std::chrono::steady_clock::now();
    // A pipe with no writer would block a reader forever.
    expectRefused(dir / "pipe.wav", "not a regular file");
    expectRefused("/dev/zero", "not a regular file");
    expectRefused("/dev/urandom", "not a regular file");
    expectRefused(dir / "loop-a.wav", "Cannot load");
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 2.0);

    // A link to a good file is the file.
    writeS16(dir / "real.wav", 1, 22050, toneS16(440, 22050, 0.3, 1, 0.5f));
    fs::create_symlink(dir / "real.wav", dir / "link.wav");
    EXPECT_EQ(load(dir / "link.wav")->bufferBytes(), static_cast<int32_t>(fs::file_size(dir / "real.wav") - 44));
}

}  // namespace
}  // namespace zendra::test
