// Reading sound files and saving WAV files, hostile files included: each one
// loads as its content says, or is refused with a code and a message naming
// the file.
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <limits>
#include <random>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sound/sound_file.h"
#include "sound/wav_file.h"

namespace fs = std::filesystem;

namespace zendra::test {
namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}
void writeAll(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string le(uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}

// A plain RIFF WAVE file; dataSize is what the header claims, not what follows.
std::string rawWav(int tag, int channels, uint32_t rate, int bits, uint32_t dataSize, size_t dataPresent) {
    const int align = channels * bits / 8;
    return "RIFF" + le(36 + dataSize, 4) + "WAVEfmt " + le(16, 4) + le(tag, 2) + le(channels, 2) + le(rate, 4) +
           le(rate * align, 4) + le(align, 2) + le(bits, 2) + "data" + le(dataSize, 4) +
           std::string(dataPresent, '\x10');
}

// Any format libsndfile writes, from interleaved samples.
void writeSndfile(const fs::path& p, int format, int channels, int rate, const std::vector<double>& samples,
                  const std::vector<int>& channelMap = {}, bool normalised = true, int bitrateMode = -1) {
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* sf = sf_open(p.c_str(), SFM_WRITE, &info);
    ASSERT_NE(sf, nullptr) << sf_strerror(nullptr);
    if (bitrateMode >= 0) sf_command(sf, SFC_SET_BITRATE_MODE, &bitrateMode, sizeof bitrateMode);
    if (!channelMap.empty())
        sf_command(sf, SFC_SET_CHANNEL_MAP_INFO, const_cast<int*>(channelMap.data()), 4 * channels);
    sf_command(sf, SFC_SET_NORM_DOUBLE, nullptr, normalised ? SF_TRUE : SF_FALSE);
    sf_writef_double(sf, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(sf);
}

// The samples of a float sound, interleaved.
std::vector<double> floatsOf(const SampleData& d) {
    std::vector<float> all(d.format == SampleFormat::F32 ? d.bytes.size() / 4 : 0);
    std::memcpy(all.data(), d.bytes.data(), all.size() * 4);
    return {all.begin(), all.end()};
}

void expectValues(const std::vector<double>& got, const std::vector<double>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-4) << "sample " << i;
}

SampleData someSound(size_t frames) { return {SampleFormat::S16, 1, 22050, std::vector<uint8_t>(2 * frames, 0x21)}; }

class SoundFile : public ::testing::Test {
protected:
    SoundFile() { fs::create_directories(dir); }
    ~SoundFile() override { fs::remove_all(dir, ec); }
    // The act must fail with this code and "Cannot load "path": ...reason..." (code 0: must succeed).
    static void expectError(const std::function<void()>& act, const fs::path& p, uint32_t code,
                            const std::string& reason, const char* verb = "load") {
        try {
            act();
            EXPECT_EQ(code, 0u) << "no error for " << p;
        } catch (const SoundError& e) {
            const std::string what = e.what();
            EXPECT_EQ(e.code(), code) << what;
            EXPECT_NE(what.find("Cannot " + std::string(verb) + " \"" + p.string() + "\": "), std::string::npos)
                << what;
            EXPECT_NE(what.find(reason), std::string::npos) << what;
        }
    }
    static void expectRefused(const fs::path& p, uint32_t code, const std::string& reason) {
        expectError([&] { readSoundFile(p.string()); }, p, code, reason);
    }

    std::error_code ec;
    fs::path dir = fs::path(testing::TempDir()) / ("zendra-wav-" + std::to_string(::getpid()));
};

TEST_F(SoundFile, EveryContainerDepthAndChannelCountReadsItsValues) {
    const fs::path p = dir / "x.wav";
    for (int major :
         {+SF_FORMAT_WAV, +SF_FORMAT_WAVEX, +SF_FORMAT_RF64, +SF_FORMAT_W64, SF_FORMAT_WAV | SF_ENDIAN_BIG}) {
        for (int sub : {SF_FORMAT_PCM_24, SF_FORMAT_PCM_32, SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE}) {
            SCOPED_TRACE(testing::Message() << std::hex << (major | sub));
            writeSndfile(p, major | sub, 2, 48000, {0.5, -0.25, 0.125, -1.0, 0.75, 0.0});  // exact at every depth
            const SampleData d = readSoundFile(p.string());
            EXPECT_TRUE(d.rate == 48000 && d.channels == 2);
            expectValues(floatsOf(d), {0.5, -0.25, 0.125, -1.0, 0.75, 0.0});
        }
        // 16- and 8-bit stay bit-exact (RIFX has no 8-bit form).
        writeSndfile(p, major | SF_FORMAT_PCM_16, 1, 22050, {16384, -8193, -32768, 32767}, {}, false);
        EXPECT_EQ(readSoundFile(p.string()).bytes,
                  (std::vector<uint8_t>{0x00, 0x40, 0xff, 0xdf, 0x00, 0x80, 0xff, 0x7f}));
        if (major & SF_ENDIAN_BIG) continue;
        writeSndfile(p, major | SF_FORMAT_PCM_U8, 1, 22050, {64, -33, -128, 127}, {}, false);
        EXPECT_EQ(readSoundFile(p.string()).bytes, (std::vector<uint8_t>{192, 95, 0, 255}));
    }
    // More than two channels mix down to stereo float. Plain WAV: the first two are left and right.
    const double g = 0.70710678;
    writeSndfile(p, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3, 44100, {0.5, -0.5, 0.25, 0.0, 0.0, -0.5});
    expectValues(floatsOf(readSoundFile(p.string())), {0.5 + g * 0.25, -0.5 + g * 0.25, -g * 0.5, -g * 0.5});
    // Extensible 16-bit, front right first and no front left: the channel mask decides.
    writeSndfile(p, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 4, 44100, {0.25, 0.5, -0.5, 0.125},
                 {SF_CHANNEL_MAP_RIGHT, SF_CHANNEL_MAP_CENTER, SF_CHANNEL_MAP_LFE, SF_CHANNEL_MAP_REAR_CENTER});
    expectValues(floatsOf(readSoundFile(p.string())), {g * 0.125, 0.25 + g * 0.125});
    // Values no sound has become silence, or are clamped to ±2.
    const float inf = std::numeric_limits<float>::infinity();
    writeSndfile(p, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 1, 48000, {std::nan(""), inf, -inf, 1e30, -1e30, 0.5});
    expectValues(floatsOf(readSoundFile(p.string())), {0, 0, 0, 2, -2, 0.5});
}

// The longest sample and the bank's total are kept to, also where a file's
// length is only found by decoding it; cancelling stops a read under way.
TEST_F(SoundFile, ASampleAndABankStayWithinTheirMemoryAndACancelStopsTheRead) {
    std::vector<double> threeSeconds(3 * 44100);
    for (size_t i = 0; i < threeSeconds.size(); ++i) threeSeconds[i] = 0.5 * std::sin(0.06 * double(i));
    const fs::path wav = dir / "a.wav", ogg = dir / "unknown length.ogg";
    writeSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, threeSeconds);
    writeSndfile(ogg, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 44100, threeSeconds);
    writeAll(ogg, readAll(ogg) + "junk: no length found from the end");
    EXPECT_EQ(readSoundFile(ogg.string()).frames(), threeSeconds.size());  // read to its end
    expectError(
        [&] { readSoundFile(ogg.string(), {2 * 44100 * 4}); }, ogg, DSERR_OUTOFMEMORY,
        "it is too long (more than 2 seconds of sound): a sample like it may last at most 2 seconds (0 MB of memory)");
    // A bank of 5 s of 16-bit mono: the first file fits; one refused after
    // its decoding began gives back what it took; the second does not fit.
    SoundBudget bank(5 * 44100 * 2);
    EXPECT_EQ(readSoundFile(wav.string(), {kMaxSampleBytes, &bank}).frames(), threeSeconds.size());
    const uint64_t first = bank.used();
    EXPECT_GE(first, threeSeconds.size() * 2);
    expectError([&] { readSoundFile(ogg.string(), {44100 * 2, &bank}); }, ogg, DSERR_OUTOFMEMORY, "too long");
    EXPECT_EQ(bank.used(), first);
    expectError(
        [&] {
            readSoundFile(wav.string(), {kMaxSampleBytes, &bank});
        },
        wav, DSERR_OUTOFMEMORY, "the samples together would take more than the 0 MB of memory a bank may hold");
    EXPECT_EQ(bank.used(), first);
    std::atomic<bool> cancel{true};
    expectError(
        [&] {
            readSoundFile(wav.string(), {kMaxSampleBytes, nullptr, &cancel});
        },
        wav, DSERR_GENERIC, "cancelled");
}

// A file as it is, cut to the first `fraction` of its bytes.
std::string cut(const std::string& bytes, double fraction) {
    return bytes.substr(0, size_t(double(bytes.size()) * fraction));
}

// An ID3v2 tag announcing `size` bytes of tag data, with `present` of them there.
std::string id3(uint32_t size, size_t present) {
    std::string h("ID3\x03\0\0", 6);
    for (int shift : {21, 14, 7, 0}) h += static_cast<char>((size >> shift) & 0x7f);
    return h + std::string(present, '\0');
}

// A FLAC file whose header announces `frames` frames, whatever it holds.
std::string withFlacLength(std::string flac, uint64_t frames) {
    // STREAMINFO's 36-bit sample count starts in the low nibble of byte 21.
    flac[21] = static_cast<char>((flac[21] & 0xf0) | ((frames >> 32) & 0x0f));
    for (int i = 0; i < 4; ++i) flac[22 + i] = static_cast<char>((frames >> (24 - 8 * i)) & 0xff);
    return flac;
}

// An MPEG-1 Layer III file without its first frame, which holds the exact
// length (the Xing or Info frame): the reader then has only an estimate.
std::string withoutLengthFrame(const std::string& mp3) {
    const size_t start = mp3.rfind("\xff\xfb", std::min(mp3.find("Xing"), mp3.find("Info")));
    const int kbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
              rates[] = {44100, 48000, 32000};
    const auto h = static_cast<uint8_t>(mp3[start + 2]);  // bit rate, sample rate, padding
    return mp3.substr(0, start) + mp3.substr(start + 144000 * kbps[h >> 4] / rates[(h >> 2) & 3] + ((h >> 1) & 1));
}

// Each refusal has its own code and reason, and bad input in every format is refused.
TEST_F(SoundFile, BrokenFilesAreRefusedWithTheirReason) {
    writeSndfile(dir / "silent.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, {});
    writeSndfile(dir / "silent.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050, {});  // its headers only
    std::vector<double> second(2 * 44100);
    for (size_t i = 0; i < second.size(); ++i) second[i] = 0.5 * std::sin(0.06 * double(i / 2));
    writeSndfile(dir / "a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, second);
    writeSndfile(dir / "a.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 44100, second);
    // At a constant bit rate an estimated length runs a little past the sound.
    writeSndfile(dir / "a.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, second, {}, true,
                 SF_BITRATE_MODE_CONSTANT);
    const std::string flac = readAll(dir / "a.flac"), mp3 = readAll(dir / "a.mp3"), ogg = readAll(dir / "a.ogg");
    struct Case {
        std::string name, bytes;
        uint32_t code;
        std::string reason;
    };  // code 0: loads
    std::vector<Case> cases = {
        {"empty.wav", "", DSERR_BADFORMAT, "the file is empty"},
        {"text.wav", "Just some words, not a sound at all.\n", DSERR_BADFORMAT,
         "not a sound file (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, CAF and AU files, among others, can be loaded)"},
        {"half frame.wav", rawWav(1, 1, 22050, 16, 1, 2), DSERR_BADFORMAT, "contains no sound"},
        {"cut.wav", rawWav(1, 1, 22050, 16, 4000, 3000), DSERR_FILEIO, "truncated"},
        {"huge.wav", rawWav(1, 2, 22050, 16, 0xFFFFFF00u, 400), DSERR_FILEIO, "announces 4294967040 bytes"},
        {"overrun.wav", "RIFF" + le(100, 4) + "WAVELIST" + le(0x7FFFFFF0, 4) + std::string(64, 'x'), DSERR_FILEIO,
         "its header runs past the end of the file"},
        {"tag.wav", rawWav(0x1234, 1, 22050, 16, 200, 200), DSERR_BADFORMAT,
         "encoding that cannot be read (an unknown one)"},
        {"slow.wav", rawWav(1, 1, 50, 16, 200, 200), DSERR_BADFORMAT, "sample rate of 50 Hz"},
        {"fast.wav", rawWav(1, 1, 400000, 16, 200, 200), DSERR_BADFORMAT, "sample rate of 400000 Hz"},
        {"nodata.wav", rawWav(1, 1, 22050, 16, 0, 0).substr(0, 36), DSERR_BADFORMAT, "WAV file is damaged"},
        {"odd.wav", rawWav(1, 3, 22050, 8, 201, 201), 0, ""},
        {"one frame.wav", rawWav(1, 1, 22050, 16, 2, 2), 0, ""},
        {"silent.wav", "", DSERR_BADFORMAT, "contains no sound"},
        {"silent.ogg", "", DSERR_BADFORMAT, "contains no sound"},
        {"cut.flac", cut(flac, 0.3), DSERR_FILEIO, "damaged or cut short (truncated): only"},
        {"header only.flac", cut(flac, 0.02), DSERR_FILEIO, "damaged or cut short"},
        {"cut.mp3", cut(mp3, 0.3), DSERR_FILEIO, "damaged or cut short (truncated): only"},
        {"stub.mp3", cut(mp3, 0.01), DSERR_BADFORMAT, "the MP3 file is damaged or cut short"},
        {"mp3 inside.flac", "fLaC" + mp3, DSERR_BADFORMAT, "the FLAC file is damaged or cut short"},
        {"flac named.mp3", flac, 0, ""},  // the content decides, not the name
        {"big tag.mp3", id3(20000000, 20000000) + mp3, 0, ""},
        {"estimated length.mp3", withoutLengthFrame(mp3), 0, ""},
        {"lying tag.mp3", id3(200000000, 100) + mp3, DSERR_BADFORMAT, "the MP3 file is damaged or cut short"},
        // Cut inside the Vorbis headers: refused before libsndfile would leak the half-read stream.
        {"cut headers.ogg", cut(ogg, 0.3), DSERR_BADFORMAT,
         "the Ogg file is damaged or cut short: its headers are incomplete"},
        // Ten hours announced: refused before any of it is decoded.
        {"ten hours.flac", withFlacLength(flac, 36000ull * 44100), DSERR_OUTOFMEMORY,
         "it is too long (10 hours of sound): a sample like it may last at most 25 minutes (256 MB of memory)"},
    };
    for (const auto& e : fs::directory_iterator(std::getenv("ZENDRA_DEMO_KIT")))  // the demo kit loads whole
        if (e.path().extension() != ".txt") cases.push_back({e.path().string(), "", 0, ""});
    for (const Case& c : cases) {
        if (!c.bytes.empty() || c.name == "empty.wav") writeAll(dir / c.name, c.bytes);
        expectRefused(dir / c.name, c.code, c.reason);  // an absolute name stays as it is
    }
}

TEST_F(SoundFile, OddNamesLinksAndReadOnlyFoldersLoadWhatIsNoReadableFileIsRefusedAtOnce) {
    fs::create_directory(dir / "ro");
    for (const std::string name : {"my kick.wav", "say \"hi\" it's.wav", "Größe — 日本語 ü.wav", "$HOME `x` \\ ;.wav",
                                   " leading and trailing .wav", "ro/tone.wav"}) {
        const fs::path p = dir / name, broken = p.parent_path() / ("broken " + p.filename().string());
        const fs::path link = p.parent_path() / ("link to " + p.filename().string());
        writeAll(p, rawWav(1, 2, 44100, 16, 400, 400));
        writeAll(broken, "not a sound");
        fs::create_symlink(p, link);
        fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(readSoundFile(p.string()).frames(), 100u) << name;
        EXPECT_EQ(readSoundFile(link.string()).frames(), 100u) << name;
        expectRefused(broken, DSERR_BADFORMAT, "not a sound file");
        fs::permissions(dir / "ro", fs::perms::owner_all);
    }
    fs::create_directory(dir / "folder.wav");
    ASSERT_EQ(::mkfifo((dir / "pipe.wav").c_str(), 0644), 0);  // with no writer, a read would block forever
    fs::create_symlink(dir / "loop-b.wav", dir / "loop-a.wav");
    fs::create_symlink(dir / "loop-a.wav", dir / "loop-b.wav");
    expectRefused(dir / "missing.wav", DSERR_FILENOTFOUND, "does not exist");
    expectRefused(dir / "nowhere" / "a.wav", DSERR_FILENOTFOUND, "does not exist");
    expectRefused(dir / "folder.wav", DSERR_FILENOTFOUND, "is a folder");
    for (const fs::path& p : {dir / "pipe.wav", fs::path("/dev/zero"), fs::path("/dev/urandom")})
        expectRefused(p, DSERR_BADFORMAT, "not a regular file");
    expectRefused(dir / "loop-a.wav", DSERR_FILEIO, "");
    if (geteuid() != 0) {  // root reads any file regardless of permissions
        fs::permissions(dir / "my kick.wav", fs::perms::none);
        expectRefused(dir / "my kick.wav", DSERR_FILEIO, "permission denied");
    }
}

TEST_F(SoundFile, SavedSoundsReadBackExactlyAndAFailedSaveLeavesTheOldFileAndNoTemporary) {
    std::mt19937 rng(7);
    const fs::path target = dir / "take.wav";
    for (SampleFormat sf : {SampleFormat::U8, SampleFormat::S16, SampleFormat::F32}) {
        for (int channels : {1, 2}) {
            SampleData in{sf, channels, channels == 1 ? 11025 : 96000, {}};
            in.bytes.resize(5001u * in.blockAlign());     // more than one read block
            for (size_t k = 0; k < in.bytes.size(); ++k)  // floats finite, beyond ±1 too
                in.bytes[k] = sf == SampleFormat::F32 && k % 4 == 3 ? 0x3f : static_cast<uint8_t>(rng());
            writeWavFile(target.string(), in);
            SF_INFO info{};  // an independent reader agrees on the format
            sf_close(sf_open(target.c_str(), SFM_READ, &info));
            const int sub[] = {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_FLOAT};
            EXPECT_EQ(info.format, SF_FORMAT_WAV | sub[static_cast<int>(sf)]);
            EXPECT_EQ(info.frames, 5001);
            const SampleData out = readSoundFile(target.string());
            EXPECT_TRUE(std::tie(out.format, out.channels, out.rate, out.bytes) ==
                        std::tie(in.format, in.channels, in.rate, in.bytes))
                << static_cast<int>(sf) << "/" << channels;
        }
    }
    writeAll(target, "precious old take");
    fs::create_directory(dir / "folder.wav");
    SampleData three = someSound(10), ragged = someSound(10);
    three.channels = 3;
    ragged.bytes.pop_back();
    const std::tuple<fs::path, SampleData, uint32_t, std::string> cases[] = {
        {target, someSound(100000), DSERR_FILEIO, "write error"},  // under a file-size limit, even for root
        {dir / "nowhere" / "a.wav", someSound(10), DSERR_FILENOTFOUND, "does not exist"},
        {dir / "folder.wav", someSound(10), DSERR_FILEIO, "a folder of that name is in the way"},
        {dir / "three.wav", three, DSERR_INVALIDPARAM, "3 channels"},
        {dir / "ragged.wav", ragged, DSERR_INVALIDPARAM, "partial frame"}};
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit tight{4096, old.rlim_max};  // the hard limit stays: raising it back needs privilege
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tight);
    for (const auto& [path, data, code, reason] : cases)
        expectError([&] { writeWavFile(path.string(), data); }, path, code, reason, "save");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    if (geteuid() != 0) {  // root can write into read-only folders
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(writeWavFile(target.string(), someSound(10)), SoundError);
        fs::permissions(dir, fs::perms::owner_all);
    }
    EXPECT_EQ(readAll(target), "precious old take");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2);  // no temporary left
    EXPECT_TRUE(fs::is_empty(dir / "folder.wav"));
}

}  // namespace
}  // namespace zendra::test
