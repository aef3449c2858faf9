// Writes the fuzzing seeds: short copies of the demo kit, a short sound in
// every container and sample format libsndfile writes (FLAC, Ogg Vorbis, Opus
// and MP3 among them), and a few malformed headers (the fuzzer mutates its
// way to the rest).
// Usage: make_seeds DEMO_KIT_DIR OUT_DIR
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sndfile.h>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return std::fprintf(stderr, "usage: make_seeds DEMO_KIT_DIR OUT_DIR\n"), 2;
    const fs::path out = argv[2];
    fs::create_directories(out);
    // The first 300 frames of each kit file, in the file's own format.
    for (const auto& e : fs::directory_iterator(argv[1])) {
        SF_INFO info{};
        SNDFILE* sf = e.path().extension() != ".txt" ? sf_open(e.path().c_str(), SFM_READ, &info) : nullptr;
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
            for (int channels : {1, 2, 6}) encode(out / (std::to_string(++n) + ".wav"), major | sub, channels, 22050);
    encode(out / "rifx.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG, 2, 44100);
    encode(out / "alac.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 2, 44100);
    // The compressed formats, short: a few frames or pages each.
    const std::vector<double> tone(2 * 4800, 0.1);
    encode(out / "vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 22050, tone);
    encode(out / "opus.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 2, 48000, tone);
    encode(out / "layer3.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, tone);
    encode(out / "flac.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, tone);
    // Malformed: 16-bit mono in each container, cut short or with two header bytes set to 0, 3 or 0xffff.
    for (const char* name : {"4.wav", "28.wav", "52.wav", "76.wav"}) {
        std::ifstream in(out / name, std::ios::binary);
        const std::string whole{std::istreambuf_iterator<char>(in), {}};
        std::vector<std::string> bad;
        for (size_t cut : {0, 4, 12, 26, 44, 100}) bad.push_back(whole.substr(0, std::min(cut, whole.size())));
        for (size_t at = 4; at + 2 <= std::min<size_t>(whole.size(), 100); at += 2)
            for (const char* v : {"\0\0", "\xff\xff", "\x03\0"}) bad.push_back(std::string(whole).replace(at, 2, v, 2));
        for (const std::string& b : bad)
            written += !!(std::ofstream(out / ("bad-" + std::to_string(++n)), std::ios::binary) << b);
    }
    std::printf("%d seeds in %s\n", written, out.c_str());
    return 0;
}
