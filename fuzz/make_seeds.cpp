// Writes the fuzzing seeds: short copies of the demo kit, a short sound in
// every container and sample format we read, and a few malformed headers
// (the fuzzer mutates its way to the rest).
// Usage: make_seeds DEMO_KIT_DIR OUT_DIR
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int written = 0;

// Encodes through libsndfile; an unavailable format is skipped.
void encode(const fs::path& p, int format, int channels, int rate, std::vector<double> s = {}) {
    for (int i = static_cast<int>(s.size()); s.empty() && i < 64 * channels; ++i) s.push_back(0.5 * std::sin(0.06 * i));
    SF_INFO info{0, rate, channels, format, 0, 0};
    SNDFILE* sf = sf_format_check(&info) ? sf_open(p.c_str(), SFM_WRITE, &info) : nullptr;
    if (!sf) return;
    sf_writef_double(sf, s.data(), static_cast<sf_count_t>(s.size()) / channels);
    written += sf_close(sf) == 0;
}

std::string le(uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
}

std::string riff(int tag, int channels, uint32_t rate, int bits, int align, uint32_t claimed, size_t present) {
    return "RIFF" + le(36 + claimed, 4) + "WAVEfmt " + le(16, 4) + le(tag, 2) + le(channels, 2) + le(rate, 4) +
           le(rate * align, 4) + le(align, 2) + le(bits, 2) + "data" + le(claimed, 4) + std::string(present, 'Z');
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DEMO_KIT_DIR OUT_DIR\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[2];
    fs::create_directories(out);
    // The first 300 frames of each kit file, in the file's own format.
    for (const auto& e : fs::directory_iterator(argv[1])) {
        SF_INFO info{};
        SNDFILE* sf = e.path().extension() == ".wav" ? sf_open(e.path().c_str(), SFM_READ, &info) : nullptr;
        if (!sf) continue;
        std::vector<double> s(static_cast<size_t>(300 * info.channels));
        s.resize(static_cast<size_t>(sf_readf_double(sf, s.data(), 300) * info.channels));
        sf_close(sf);
        encode(out / ("kit-" + e.path().filename().string()), info.format, info.channels, info.samplerate, s);
    }
    int n = 0;
    for (int major : {SF_FORMAT_WAV, SF_FORMAT_WAVEX, SF_FORMAT_RF64, SF_FORMAT_W64, SF_FORMAT_AIFF, SF_FORMAT_FLAC})
        for (int sub : {SF_FORMAT_PCM_U8, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_PCM_32, SF_FORMAT_FLOAT,
                        SF_FORMAT_DOUBLE, SF_FORMAT_ULAW, SF_FORMAT_IMA_ADPCM})
            for (int channels : {1, 2, 6}) encode(out / ("ok-" + std::to_string(++n) + ".wav"), major | sub, channels, 22050);
    encode(out / "rifx.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 2, 44100);
    encode(out / "ogg.wav", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 22050, std::vector<double>(2000, 0.1));
    const std::string bad[] = {
        "", "RIFF", riff(1, 1, 22050, 16, 2, 0, 0), riff(1, 2, 22050, 16, 4, 0xFFFFFF00u, 400),
        riff(1, 1, 22050, 16, 2, 63, 63), riff(1, 1, 22050, 16, 2, 2000, 900), riff(0x1234, 1, 22050, 16, 2, 200, 200),
        riff(1, 1, 0, 16, 2, 200, 200), riff(1, 0, 22050, 16, 2, 200, 200), riff(1, 300, 22050, 8, 300, 600, 600),
        riff(1, 2, 22050, 16, 0, 200, 200), riff(1, 1, 22050, 13, 2, 200, 200), riff(3, 1, 22050, 16, 2, 200, 200),
        "RIFF" + le(100, 4) + "WAVELIST" + le(0x7FFFFFF0, 4) + std::string(64, 'x'),
    };
    for (const std::string& b : bad) std::ofstream(out / ("bad-" + std::to_string(++n) + ".wav"), std::ios::binary) << b;
    std::printf("%d seeds in %s\n", written + static_cast<int>(std::size(bad)), out.c_str());
    return 0;
}
