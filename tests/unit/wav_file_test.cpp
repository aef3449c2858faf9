#include "sound/wav_file.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace zendra;

namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// Writes interleaved samples through libsndfile in any format it offers.
void writeSndfile(const fs::path& p, int format, int channels, int rate, const std::vector<double>& samples,
                  const std::vector<int>& channelMap = {}, bool normalised = true) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    SNDFILE* sf = sf_open(p.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
    if (!channelMap.empty()) {
        ASSERT_EQ(sf_command(sf, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(channelMap.data()),
                             static_cast<int>(channelMap.size() * sizeof(int))),
                  SF_TRUE);
    }
    sf_command(sf, SFC_SET_NORM_DOUBLE, nullptr, normalised ? SF_TRUE : SF_FALSE);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    EXPECT_EQ(sf_writef_double(sf, samples.data(), frames), frames);
    sf_close(sf);
}

std::string le(uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}

// A hand-made RIFF WAVE file; dataSize is what the header claims, not what follows.
std::string rawWav(int tag, int channels, uint32_t rate, int bits, uint32_t dataSize, size_t dataPresent) {
    const int align = channels * bits / 8;
    std::string fmt = le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) + le(align, 2) + le(bits, 2);
    return "RIFF" + le(36 + dataSize, 4) + "WAVEfmt " + le(16, 4) + fmt + "data" + le(dataSize, 4) +
           std::string(dataPresent, '\x10');
}

void expectValues(const std::vector<double>& got, const std::vector<double>& want, double tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tolerance) << "sample " << i;
}

std::vector<double> channelOf(const SampleData& d, int ch) {
    std::vector<double> out;
    for (size_t f = 0; f < d.frames(); ++f) {
        const uint8_t* p = d.bytes.data() + f * d.blockAlign() + ch * bytesPerSample(d.format);
        if (d.format == SampleFormat::U8) {
            out.push_back((p[0] - 128) / 128.0);
        } else if (d.format == SampleFormat::S16) {
            int16_t s;
            std::memcpy(&s, p, 2);
            out.push_back(s / 32768.0);
        } else {
            float v;
            std::memcpy(&v, p, 4);
            out.push_back(v);
        }
    }
    return out;
}

class WavTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/zendra-wav-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    std::vector<std::string> entries(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        return names;
    }
    // Loading must fail with this code and a message naming the file and the reason.
    void expectLoadError(const fs::path& p, uint32_t code, const std::string& reason) {
        SCOPED_TRACE(p.string());
        try {
            readWavFile(p.string());
            ADD_FAILURE() << "loaded without error";
        } catch (const SoundError& e) {
            EXPECT_EQ(e.code(), code) << e.what();
            EXPECT_NE(std::string(e.what()).find("\"" + p.string() + "\""), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    }
    fs::path dir;
};

using WavRoundTrip = WavTest;
using WavRead = WavTest;
using WavMalformed = WavTest;
using WavWrite = WavTest;
using WavMemory = WavTest;

TEST_F(WavRoundTrip, KeepsBytesChannelsAndRate) {
    struct Case { SampleFormat format; int channels; int rate; int sfFormat; };
    const Case cases[] = {{SampleFormat::U8, 1, 11025, SF_FORMAT_PCM_U8},  {SampleFormat::U8, 2, 22050, SF_FORMAT_PCM_U8},
                          {SampleFormat::S16, 1, 44100, SF_FORMAT_PCM_16}, {SampleFormat::S16, 2, 8000, SF_FORMAT_PCM_16},
                          {SampleFormat::F32, 1, 96000, SF_FORMAT_FLOAT},  {SampleFormat::F32, 2, 22050, SF_FORMAT_FLOAT}};
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        SampleData in;
        in.format = c.format;
        in.channels = c.channels;
        in.rate = c.rate;
        if (c.format == SampleFormat::F32) {
            std::uniform_real_distribution<float> dist(-1.5f, 1.5f);  // beyond ±1 must survive too
            for (int i = 0; i < 1001 * c.channels; ++i) {
                const float v = dist(rng);
                in.bytes.insert(in.bytes.end(), reinterpret_cast<const uint8_t*>(&v),
                                reinterpret_cast<const uint8_t*>(&v) + 4);
            }
        } else {
            in.bytes.resize(1001 * static_cast<size_t>(in.blockAlign()));
            for (uint8_t& b : in.bytes) b = static_cast<uint8_t>(rng());
        }
        const fs::path p = dir / "rt.wav";
        writeWavFile(p.string(), in);

        SF_INFO info{};  // an independent reader agrees on the format
        SNDFILE* sf = sf_open(p.c_str(), SFM_READ, &info);
        ASSERT_NE(sf, nullptr);
        sf_close(sf);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | c.sfFormat);
        EXPECT_EQ(info.frames, 1001);

        const SampleData out = readWavFile(p.string());
        EXPECT_EQ(out.format, c.format);
        EXPECT_EQ(out.channels, c.channels);
        EXPECT_EQ(out.rate, c.rate);
        EXPECT_TRUE(out.bytes == in.bytes) << "format " << int(c.format) << ", " << c.channels << " channels";
    }
    EXPECT_EQ(entries(dir), std::vector<std::string>{"rt.wav"});  // no temporary files left
}

TEST_F(WavRead, HighResolutionAndOtherContainersBecomeFloat) {
    const std::vector<double> values = {0.5, -0.25, 0.125, -1.0, 0.75, 0.0};  // exact at every depth
    for (int major : {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_RF64, SF_FORMAT_W64}) {
        for (int sub : {SF_FORMAT_PCM_24, SF_FORMAT_PCM_32, SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
            SCOPED_TRACE(testing::Message() << std::hex << (major | sub));
            const fs::path p = dir / "hi.wav";
            writeSndfile(p, major | sub, 2, 48000, values);
            const SampleData d = readWavFile(p.string());
            EXPECT_EQ(d.format, SampleFormat::F32);
            EXPECT_EQ(d.channels, 2);
            EXPECT_EQ(d.rate, 48000);
            expectValues(channelOf(d, 0), {0.5, 0.125, 0.75}, 1e-6);
            expectValues(channelOf(d, 1), {-0.25, -1.0, 0.0}, 1e-6);
        }
    }
}

TEST_F(WavRead, SixteenAndEightBitStayExactInEveryContainer) {
    for (int major : {+SF_FORMAT_WAVEX, +SF_FORMAT_RF64, +SF_FORMAT_W64, SF_FORMAT_WAV | SF_ENDIAN_BIG}) {
        SCOPED_TRACE(testing::Message() << std::hex << major);
        const fs::path p = dir / "pcm.wav";
        writeSndfile(p, major | SF_FORMAT_PCM_16, 1, 22050, {16384, -8193, -32768, 32767}, {}, false);
        SampleData d = readWavFile(p.string());
        ASSERT_EQ(d.format, SampleFormat::S16);
        std::vector<int16_t> values(d.frames());
        std::memcpy(values.data(), d.bytes.data(), d.bytes.size());
        EXPECT_EQ(values, (std::vector<int16_t>{16384, -8193, -32768, 32767}));

        if ((major & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) continue;  // RIFX has no 8-bit form
        writeSndfile(p, major | SF_FORMAT_PCM_U8, 1, 22050, {64, -33, -128, 127}, {}, false);
        d = readWavFile(p.string());
        ASSERT_EQ(d.format, SampleFormat::U8);
        EXPECT_EQ(d.bytes, (std::vector<uint8_t>{192, 95, 0, 255}));
    }
}

TEST_F(WavRead, MixesMoreThanTwoChannelsDownToStereo) {
    const double g = 0.70710678;
    const fs::path p = dir / "multi.wav";
    // Plain WAV, no channel map: the first two channels are left and right.
    writeSndfile(p, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3, 44100, {0.5, -0.5, 0.25, 0.0, 0.0, -0.5});
    SampleData d = readWavFile(p.string());
    ASSERT_EQ(d.format, SampleFormat::F32);
    ASSERT_EQ(d.channels, 2);
    ASSERT_EQ(d.frames(), 2u);
    std::vector<double> l = channelOf(d, 0), r = channelOf(d, 1);
    EXPECT_NEAR(l[0], 0.5 + g * 0.25, 1e-6);
    EXPECT_NEAR(r[0], -0.5 + g * 0.25, 1e-6);
    EXPECT_NEAR(l[1], -g * 0.5, 1e-6);
    EXPECT_NEAR(r[1], -g * 0.5, 1e-6);

    // Extensible 16-bit whose first channel is front right and which has no front left:
    // the channel mask decides, and the result is float.
    writeSndfile(p, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 4, 44100, {0.25, 0.5, -0.5, 0.125},
                 {SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE, SF_CHANNEL_MAP_REAR_CENTER});
    d = readWavFile(p.string());
    ASSERT_EQ(d.format, SampleFormat::F32);
    ASSERT_EQ(d.channels, 2);
    l = channelOf(d, 0);
    r = channelOf(d, 1);
    EXPECT_NEAR(l[0], g * (0.5 - 0.5 + 0.125), 1e-4);
    EXPECT_NEAR(r[0], 0.25 + g * (0.5 - 0.5 + 0.125), 1e-4);
}

TEST_F(WavMalformed, EachFailureHasItsOwnCodeAndReason) {
    struct Case { std::string name; uint32_t code; std::string reason; };
    std::vector<Case> cases = {
        {"missing.wav", DSERR_FILENOTFOUND, "does not exist"},
        {"folder.wav", DSERR_FILENOTFOUND, "is a folder"},
        {"empty.wav", DSERR_BADFORMAT, "is empty"},
        {"text.wav", DSERR_BADFORMAT, "not a sound file"},
        {"aiff.wav", DSERR_BADFORMAT, "not a WAV file but another sound format: AIFF"},
        {"silent.wav", DSERR_BADFORMAT, "contains no sound"},
        {"cut.wav", DSERR_FILEIO, "truncated"},
        {"huge.wav", DSERR_FILEIO, "announces 4294967040 bytes"},
        {"overrun.wav", DSERR_FILEIO, "'LIST' chunk runs past the end"},
        {"ulaw.wav", DSERR_BADFORMAT, "unsupported encoding (U-Law)"},
        {"adpcm.wav", DSERR_BADFORMAT, "unsupported encoding (IMA ADPCM)"},
        {"tag.wav", DSERR_BADFORMAT, "unsupported encoding (WAV format tag 0x1234)"},
        {"slow.wav", DSERR_BADFORMAT, "sample rate of 50 Hz"},
        {"fast.wav", DSERR_BADFORMAT, "sample rate of 400000 Hz"},
        {"nodata.wav", DSERR_BADFORMAT, "damaged"},
    };
    fs::create_directory(dir / "folder.wav");
    writeAll(dir / "empty.wav", "");
    writeAll(dir / "text.wav", "Just some words, not a sound at all.\n");
    writeSndfile(dir / "aiff.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, {0.1, 0.2});
    writeSndfile(dir / "silent.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, {});
    writeSndfile(dir / "cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, std::vector<double>(2000, 0.1));
    const std::string whole = readAll(dir / "cut.wav");
    writeAll(dir / "cut.wav", whole.substr(0, whole.size() - 1000));
    writeAll(dir / "huge.wav", rawWav(1, 2, 22050, 16, 0xFFFFFF00u, 400));
    writeAll(dir / "overrun.wav", "RIFF" + le(100, 4) + "WAVELIST" + le(0x7FFFFFF0, 4) + std::string(64, 'x'));
    writeSndfile(dir / "ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, std::vector<double>(100, 0.1));
    writeSndfile(dir / "adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 22050, std::vector<double>(2000, 0.1));
    writeAll(dir / "tag.wav", rawWav(0x1234, 1, 22050, 16, 200, 200));
    writeAll(dir / "slow.wav", rawWav(1, 1, 50, 16, 200, 200));
    writeAll(dir / "fast.wav", rawWav(1, 1, 400000, 16, 200, 200));
    const std::string noData = rawWav(1, 1, 22050, 16, 0, 0);
    writeAll(dir / "nodata.wav", noData.substr(0, noData.size() - 8));

    SF_INFO flac{0, 22050, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 0, 0};
    if (sf_format_check(&flac)) {
        writeSndfile(dir / "flac.wav", flac.format, 1, 22050, std::vector<double>(100, 0.1));
        cases.push_back({"flac.wav", DSERR_BADFORMAT, "another sound format: FLAC"});
    }
    SF_INFO vorbis{0, 22050, 1, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0, 0};
    if (sf_format_check(&vorbis)) {
        writeSndfile(dir / "ogg.wav", vorbis.format, 1, 22050, std::vector<double>(2000, 0.1));
        // Only the first page: libsndfile would leak the half-read stream (seen under LeakSanitizer).
        writeAll(dir / "ogg-cut.wav", readAll(dir / "ogg.wav").substr(0, 58));
        cases.push_back({"ogg.wav", DSERR_BADFORMAT, "another sound format: OGG"});
        cases.push_back({"ogg-cut.wav", DSERR_BADFORMAT, "another sound format: OGG"});
    }
    for (const Case& c : cases) expectLoadError(dir / c.name, c.code, c.reason);
}

TEST_F(WavMalformed, UnreadableFileIsRefused) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads any file regardless of permissions";
    const fs::path p = dir / "locked.wav";
    writeSndfile(p, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, {0.1});
    fs::permissions(p, fs::perms::none);
    expectLoadError(p, DSERR_FILEIO, "permission denied");
}

TEST_F(WavMemory, DecodesEveryInputExactlyAsTheFileReader) {
    std::vector<fs::path> inputs;
    if (const char* kit = std::getenv("ZENDRA_DEMO_KIT")) {
        for (const auto& e : fs::directory_iterator(kit))
            if (e.path().extension() == ".wav") inputs.push_back(e.path());
    }
    const size_t kitFiles = inputs.size();
    // Each kit file cut short at the header, mid-chunk and mid-data.
    for (size_t i = 0; i < kitFiles; ++i) {
        const std::string whole = readAll(inputs[i]);
        for (size_t keep : {size_t{11}, size_t{40}, size_t{47}, whole.size() / 2, whole.size() - 1}) {
            inputs.push_back(dir / (inputs[i].stem().string() + "-" + std::to_string(keep) + ".wav"));
            writeAll(inputs.back(), whole.substr(0, keep));
        }
    }
    auto add = [&](const std::string& name, const std::string& bytes) {
        inputs.push_back(dir / name);
        writeAll(inputs.back(), bytes);
    };
    add("empty.wav", "");
    add("text.wav", "Just some words, not a sound at all.\n");
    add("huge.wav", rawWav(1, 2, 22050, 16, 0xFFFFFF00u, 400));
    add("overrun.wav", "RIFF" + le(100, 4) + "WAVELIST" + le(0x7FFFFFF0, 4) + std::string(64, 'x'));
    add("tag.wav", rawWav(0x1234, 1, 22050, 16, 200, 200));
    add("fast.wav", rawWav(1, 1, 400000, 16, 200, 200));
    add("odd.wav", rawWav(1, 3, 22050, 8, 201, 201));
    add("float.wav", rawWav(3, 2, 44100, 32, 16, 16) + le(0x7FC00000, 4) + le(0x7F800000, 4));
    const std::string multi = (dir / "multi.wav").string();
    writeSndfile(multi, SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 6, 48000, std::vector<double>(600, -0.3));
    inputs.push_back(multi);
    const std::string w64 = (dir / "w64.wav").string();
    writeSndfile(w64, SF_FORMAT_W64 | SF_FORMAT_DOUBLE, 1, 8000, {1e30, -0.5, 0.25});
    inputs.push_back(w64);
    writeSndfile(dir / "aiff.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, {0.1, 0.2});
    inputs.push_back(dir / "aiff.wav");

    int loaded = 0, refused = 0;
    for (const fs::path& p : inputs) {
        SCOPED_TRACE(p.string());
        const std::string bytes = readAll(p);
        SampleData fromFile, fromMemory;
        std::string fileError, memoryError;
        uint32_t fileCode = 0, memoryCode = 0;
        try {
            fromFile = readWavFile(p.string());
        } catch (const SoundError& e) {
            fileError = e.what();
            fileCode = e.code();
        }
        try {
            fromMemory = readWavMemory(bytes.data(), bytes.size(), p.string());
        } catch (const SoundError& e) {
            memoryError = e.what();
            memoryCode = e.code();
        }
        EXPECT_EQ(memoryError, fileError);
        EXPECT_EQ(memoryCode, fileCode);
        EXPECT_EQ(fromMemory.format, fromFile.format);
        EXPECT_EQ(fromMemory.channels, fromFile.channels);
        EXPECT_EQ(fromMemory.rate, fromFile.rate);
        EXPECT_TRUE(fromMemory.bytes == fromFile.bytes);
        ++(fileError.empty() ? loaded : refused);
    }
    // Both outcomes were compared, kit included.
    EXPECT_GE(kitFiles, 8u);
    EXPECT_GE(loaded, 12);
    EXPECT_GE(refused, 12);
}

SampleData someSound(size_t frames) {
    SampleData d;
    d.bytes.assign(frames * static_cast<size_t>(d.blockAlign()), 0x21);
    return d;
}

TEST_F(WavWrite, FailureLeavesExistingFileAndNoTemporary) {
    const fs::path target = dir / "take.wav";
    writeAll(target, "precious old take");

    // A file-size limit breaks the write midway, even for root.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 4096;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    try {
        writeWavFile(target.string(), someSound(100000));
        ADD_FAILURE() << "write beyond the size limit succeeded";
    } catch (const SoundError& e) {
        EXPECT_EQ(e.code(), DSERR_FILEIO);
        EXPECT_NE(std::string(e.what()).find("Cannot save \"" + target.string() + "\": write error"),
                  std::string::npos) << e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(readAll(target), "precious old take");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"take.wav"});
}

TEST_F(WavWrite, RefusesImpossibleTargetsAndData) {
    struct Case { fs::path path; SampleData data; uint32_t code; std::string reason; };
    fs::create_directory(dir / "folder.wav");
    SampleData threeChannels = someSound(10), ragged = someSound(10);
    threeChannels.channels = 3;
    ragged.bytes.pop_back();
    const Case cases[] = {
        {dir / "nowhere" / "a.wav", someSound(10), DSERR_FILENOTFOUND, "does not exist"},
        {dir / "folder.wav", someSound(10), DSERR_FILEIO, "a folder of that name is in the way"},
        {dir / "three.wav", threeChannels, DSERR_INVALIDPARAM, "3 channels"},
        {dir / "ragged.wav", ragged, DSERR_INVALIDPARAM, "partial frame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string());
        try {
            writeWavFile(c.path.string(), c.data);
            ADD_FAILURE() << "saved without error";
        } catch (const SoundError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            EXPECT_NE(std::string(e.what()).find("\"" + c.path.string() + "\""), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(entries(dir), std::vector<std::string>{"folder.wav"});
    EXPECT_TRUE(fs::is_empty(dir / "folder.wav"));
}

TEST_F(WavWrite, ReadOnlyFolderFailsCleanly) {
    if (geteuid() == 0) GTEST_SKIP() << "root can write into read-only folders";
    const fs::path target = dir / "take.wav";
    writeAll(target, "old");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(writeWavFile(target.string(), someSound(10)), SoundError);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_EQ(readAll(target), "old");
    EXPECT_EQ(entries(dir), std::vector<std::string>{"take.wav"});
}

// Pitch from the rising zero crossings of the first channel.
double pitchOf(const SampleData& d) {
    const std::vector<double> x = channelOf(d, 0);
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = (i - 1 + (-x[i - 1]) / (x[i] - x[i - 1])) / d.rate;
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) / (last - first) : 0.0;
}

TEST(WavDemoKit, EveryFileLoadsWithItsStatedFormat) {
    const char* kit = std::getenv("ZENDRA_DEMO_KIT");
    if (!kit) GTEST_SKIP() << "ZENDRA_DEMO_KIT is not set";
    struct Entry { const char* name; SampleFormat format; int channels; int rate; double seconds; };
    const Entry entries[] = {
        {"kick.wav", SampleFormat::S16, 1, 44100, 0},       {"snare.wav", SampleFormat::S16, 1, 44100, 0},
        {"hat.wav", SampleFormat::U8, 1, 22050, 0},         {"clap.wav", SampleFormat::F32, 2, 44100, 0},
        {"tone-22050.wav", SampleFormat::S16, 1, 22050, 2}, {"tone-44100.wav", SampleFormat::S16, 2, 44100, 2},
        {"tone-11025.wav", SampleFormat::U8, 1, 11025, 2},  {"pad-22050.wav", SampleFormat::S16, 2, 22050, 1.5},
    };
    for (const Entry& e : entries) {
        SCOPED_TRACE(e.name);
        const SampleData d = readWavFile((fs::path(kit) / e.name).string());
        EXPECT_EQ(d.format, e.format);
        EXPECT_EQ(d.channels, e.channels);
        EXPECT_EQ(d.rate, e.rate);
        double peak = 0;
        for (double v : channelOf(d, 0)) peak = std::max(peak, std::abs(v));
        EXPECT_GT(peak, 0.3);
        if (e.seconds > 0) {
            EXPECT_EQ(d.frames(), static_cast<size_t>(e.seconds * e.rate));
        }
        if (std::string(e.name).rfind("tone-", 0) == 0) {
            EXPECT_NEAR(pitchOf(d), 440.0, 440.0 * 0.005);
        }
    }
    EXPECT_TRUE(fs::exists(fs::path(kit) / "README.txt"));
}

}  // namespace
