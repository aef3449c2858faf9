// Writes the fuzzing seeds: short copies of the demo kit in every container
// and sample format we read, and a table of malformed files.
// Usage: make_seeds DEMO_KIT_DIR OUT_DIR
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path out;
int written = 0;

void save(const std::string& name, const std::string& bytes) {
    std::ofstream(out / name, std::ios::binary) << bytes;
    ++written;
}

std::string le(uint64_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}

std::string be(uint64_t v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}

std::string fmtBody(int tag, int channels, uint32_t rate, int bits, int align = -1) {
    if (align < 0) align = channels * bits / 8;
    return le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * static_cast<uint32_t>(align), 4) + le(align, 2) +
           le(bits, 2);
}

std::string chunk(const std::string& id, const std::string& body, int64_t claimed = -1) {
    std::string c = id + le(claimed < 0 ? body.size() : static_cast<uint64_t>(claimed), 4) + body;
    if (body.size() & 1) c += '\0';
    return c;
}

std::string riff(const std::string& chunks, const char* magic = "RIFF") {
    return std::string(magic) + le(4 + chunks.size(), 4) + "WAVE" + chunks;
}

std::string pcm(size_t bytes) {
    std::string s;
    for (size_t i = 0; i < bytes; ++i) s += static_cast<char>((i * 37 + 11) & 0xff);
    return s;
}

// Encodes through libsndfile; an unavailable format is skipped.
void encode(const std::string& name, int format, int channels, int rate, const std::vector<double>& samples) {
    SF_INFO info{};
    info.format = format;
    info.channels = channels;
    info.samplerate = rate;
    if (!sf_format_check(&info)) return;
    const fs::path p = out / name;
    SNDFILE* sf = sf_open(p.c_str(), SFM_WRITE, &info);
    if (!sf) return;
    sf_writef_double(sf, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(sf);
    ++written;
}

std::vector<double> tone(int channels, int frames) {
    std::vector<double> s;
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) s.push_back(0.5 * std::sin(0.06 * f * (c + 1)));
    return s;
}

void demoKit(const fs::path& kit) {
    if (!fs::is_directory(kit)) return;
    for (const auto& e : fs::directory_iterator(kit)) {
        if (e.path().extension() != ".wav") continue;
        SF_INFO info{};
        SNDFILE* sf = sf_open(e.path().c_str(), SFM_READ, &info);
        if (!sf) continue;
        // The first 300 frames in the file's own format keep each seed small.
        std::vector<double> s(static_cast<size_t>(300 * info.channels));
        const sf_count_t got = sf_readf_double(sf, s.data(), 300);
        sf_close(sf);
        s.resize(static_cast<size_t>(got * info.channels));
        encode("kit-" + e.path().stem().string() + ".wav", info.format, info.channels, info.samplerate, s);
    }
}

void validVariants() {
    const int subtypes[] = {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32,
                            SF_FORMAT_FLOAT, SF_FORMAT_DOUBLE};
    const char* subNames[] = {"u8", "s16", "s24", "s32", "f32", "f64"};
    const int majors[] = {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_RF64, SF_FORMAT_W64};
    const char* majorNames[] = {"riff", "wavex", "rf64", "w64"};
    for (int m = 0; m < 4; ++m)
        for (int s = 0; s < 6; ++s)
            for (int ch : {1, 2, 6})
                encode(std::string("ok-") + majorNames[m] + "-" + subNames[s] + "-" + std::to_string(ch) + "ch.wav",
                       majors[m] | subtypes[s], ch, 22050, tone(ch, 64));
    encode("ok-rifx-s16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 2, 44100, tone(2, 64));
    encode("ok-8ch-s24.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 8, 48000, tone(8, 32));
    encode("ok-one-frame.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, tone(1, 1));
    encode("ok-192k.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 192000, tone(2, 64));
}

void malformed() {
    const std::string fmt16 = chunk("fmt ", fmtBody(1, 1, 22050, 16));
    save("bad-empty.wav", "");
    save("bad-text.wav", "Just some words, not a sound at all.\n");
    save("bad-riff-only.wav", "RIFF");
    save("bad-no-wave.wav", "RIFF" + le(4, 4) + "WAVX");
    save("bad-no-data.wav", riff(fmt16));
    save("bad-no-fmt.wav", riff(chunk("data", pcm(64))));
    save("bad-data-before-fmt.wav", riff(chunk("data", pcm(64)) + fmt16));
    save("bad-zero-frames.wav", riff(fmt16 + chunk("data", "")));
    save("bad-huge-claim.wav", riff(fmt16 + chunk("data", pcm(400), 0xFFFFFF00u)));
    save("bad-odd-claim.wav", riff(fmt16 + chunk("data", pcm(63))));
    save("bad-riff-size-lies.wav", "RIFF" + le(0xFFFFFFFFu, 4) + "WAVE" + fmt16 + chunk("data", pcm(64)));
    save("bad-truncated.wav", riff(fmt16 + chunk("data", pcm(2000))).substr(0, 1000));
    save("bad-list-overrun.wav", "RIFF" + le(100, 4) + "WAVELIST" + le(0x7FFFFFF0, 4) + std::string(64, 'x'));
    save("bad-fmt-huge.wav", riff(chunk("fmt ", fmtBody(1, 1, 22050, 16), 0xFFFFFFF0u) + chunk("data", pcm(64))));
    save("bad-fmt-short.wav", riff(chunk("fmt ", le(1, 2) + le(1, 2)) + chunk("data", pcm(64))));
    save("bad-tag.wav", riff(chunk("fmt ", fmtBody(0x1234, 1, 22050, 16)) + chunk("data", pcm(200))));
    save("bad-rate-50.wav", riff(chunk("fmt ", fmtBody(1, 1, 50, 16)) + chunk("data", pcm(200))));
    save("bad-rate-400k.wav", riff(chunk("fmt ", fmtBody(1, 1, 400000, 16)) + chunk("data", pcm(200))));
    save("bad-rate-0.wav", riff(chunk("fmt ", fmtBody(1, 1, 0, 16)) + chunk("data", pcm(200))));
    save("bad-rate-max.wav", riff(chunk("fmt ", fmtBody(1, 1, 0xFFFFFFFFu, 16)) + chunk("data", pcm(200))));
    save("bad-channels-0.wav", riff(chunk("fmt ", fmtBody(1, 0, 22050, 16, 2)) + chunk("data", pcm(200))));
    save("bad-channels-65535.wav", riff(chunk("fmt ", fmtBody(1, 65535, 22050, 16, 2)) + chunk("data", pcm(200))));
    save("bad-channels-300.wav", riff(chunk("fmt ", fmtBody(1, 300, 22050, 8)) + chunk("data", pcm(600))));
    save("bad-align-0.wav", riff(chunk("fmt ", fmtBody(1, 2, 22050, 16, 0)) + chunk("data", pcm(200))));
    save("bad-align-odd.wav", riff(chunk("fmt ", fmtBody(1, 2, 22050, 16, 3)) + chunk("data", pcm(200))));
    save("bad-bits-0.wav", riff(chunk("fmt ", fmtBody(1, 1, 22050, 0, 1)) + chunk("data", pcm(200))));
    save("bad-bits-13.wav", riff(chunk("fmt ", fmtBody(1, 1, 22050, 13, 2)) + chunk("data", pcm(200))));
    save("bad-bits-64-pcm.wav", riff(chunk("fmt ", fmtBody(1, 1, 22050, 64)) + chunk("data", pcm(200))));
    save("bad-float-16.wav", riff(chunk("fmt ", fmtBody(3, 1, 22050, 16)) + chunk("data", pcm(200))));
    // Extensible header whose sub-format GUID is garbage or cut short.
    const std::string ext = fmtBody(0xFFFE, 2, 44100, 16) + le(22, 2) + le(16, 2) + le(3, 4) + pcm(16);
    save("bad-extensible-guid.wav", riff(chunk("fmt ", ext) + chunk("data", pcm(256))));
    save("bad-extensible-short.wav", riff(chunk("fmt ", ext.substr(0, 20)) + chunk("data", pcm(256))));
    save("bad-extensible-cb-huge.wav",
         riff(chunk("fmt ", fmtBody(0xFFFE, 2, 44100, 16) + le(0xFFFF, 2) + pcm(22)) + chunk("data", pcm(256))));
    // Extra chunks with nonsense inside.
    save("bad-junk-chunks.wav", riff(chunk("LIST", "INFOINAM" + le(0xFFFF, 4) + "x") + chunk("cue ", le(99999, 4)) +
                                     chunk("smpl", pcm(9)) + chunk("PEAK", le(1, 4)) + chunk("fact", le(1u << 31, 4)) +
                                     fmt16 + chunk("data", pcm(64))));
    save("bad-two-data.wav", riff(fmt16 + chunk("data", pcm(64)) + chunk("data", pcm(64), 0x7FFFFFFF)));
    save("bad-two-fmt.wav", riff(fmt16 + chunk("fmt ", fmtBody(1, 8, 96000, 32)) + chunk("data", pcm(64))));
    save("bad-zero-chunk-loop.wav", riff(std::string(4, '\0') + le(0, 4) + std::string(4, '\0') + le(0, 4) + fmt16 +
                                         chunk("data", pcm(64))));
    // Big-endian and 64-bit containers with lying sizes.
    save("bad-rifx-little-sizes.wav", "RIFX" + le(100, 4) + "WAVEfmt " + le(16, 4) + fmtBody(1, 1, 22050, 16) +
                                          "data" + le(64, 4) + pcm(64));
    save("bad-rifx-huge.wav", "RIFX" + be(100, 4) + "WAVEfmt " + be(16, 4) + be(1, 2) + be(1, 2) + be(22050, 4) +
                                  be(44100, 4) + be(2, 2) + be(16, 2) + "data" + be(0xFFFFFFF0u, 4) + pcm(64));
    const std::string ds64 = chunk("ds64", le(0, 8) + le(0x7FFFFFFFFFFFFFFFull, 8) + le(1ull << 40, 8) + le(0, 4));
    save("bad-rf64-huge.wav", "RF64" + le(0xFFFFFFFFu, 4) + "WAVE" + ds64 + fmt16 + "data" + le(0xFFFFFFFFu, 4) +
                                  pcm(64));
    save("bad-rf64-no-ds64.wav", "RF64" + le(0xFFFFFFFFu, 4) + "WAVE" + fmt16 + "data" + le(0xFFFFFFFFu, 4) + pcm(64));
    const std::string w64Tail = "\xF3\xAC\xD3\x11\x8C\xD1\x00\xC0\x4F\x8E\xDB\x8A";
    const std::string w64Riff =
        std::string("riff\x2E\x91\xCF\x11\xA5\xD6\x28\xDB\x04\xC1\x00\x00", 16);
    auto w64chunk = [&](const char* id, const std::string& body, uint64_t size) {
        return std::string(id, 4) + std::string(w64Tail.data(), 12) + le(size, 8) + body;
    };
    save("bad-w64-huge.wav", w64Riff + le(0xFFFFFFFFFFull, 8) + "wave" + std::string(w64Tail.data(), 12) +
                                 w64chunk("fmt ", fmtBody(1, 1, 22050, 16), 40) +
                                 w64chunk("data", pcm(64), 1ull << 50));
    save("bad-w64-size-small.wav", w64Riff + le(100, 8) + "wave" + std::string(w64Tail.data(), 12) +
                                       w64chunk("fmt ", fmtBody(1, 1, 22050, 16), 3) + w64chunk("data", pcm(64), 88));
    // Other formats under a .wav name.
    encode("bad-aiff.wav", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 1, 22050, tone(1, 64));
    encode("bad-flac.wav", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 1, 22050, tone(1, 64));
    encode("bad-ogg.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050, tone(1, 2000));
    encode("bad-ulaw.wav", SF_FORMAT_WAV | SF_FORMAT_ULAW, 1, 8000, tone(1, 64));
    encode("bad-alaw.wav", SF_FORMAT_WAV | SF_FORMAT_ALAW, 1, 8000, tone(1, 64));
    encode("bad-ima-adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1, 22050, tone(1, 2000));
    encode("bad-ms-adpcm.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 22050, tone(2, 2000));
    encode("bad-gsm.wav", SF_FORMAT_WAV | SF_FORMAT_GSM610, 1, 8000, tone(1, 2000));
    encode("bad-au.wav", SF_FORMAT_AU | SF_FORMAT_PCM_16, 1, 8000, tone(1, 64));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DEMO_KIT_DIR OUT_DIR\n", argv[0]);
        return 2;
    }
    out = argv[2];
    fs::create_directories(out);
    demoKit(argv[1]);
    validVariants();
    malformed();
    std::printf("%d seeds in %s\n", written, out.c_str());
    return 0;
}
