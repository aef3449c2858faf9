// Synthesises the demo kit: a few short drum sounds, test tones and a pad as
// WAV files, a tom as FLAC and a bell as Ogg Vorbis.
// Usage: make_demo_kit <outdir>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sndfile.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "demo_files.h"

namespace {

constexpr const char* kTool = "make_demo_kit";

constexpr double kTwoPi = 6.283185307179586;

// Deterministic white noise in [-1, 1).
class Noise {
public:
    explicit Noise(uint32_t seed) : state_(seed) {}
    double next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<double>(state_) / 2147483648.0 - 1.0;
    }

private:
    uint32_t state_;
};

struct Sound {
    const char* name;
    int rate;
    int channels;
    int format;  // libsndfile's major format and encoding
    const char* description;
    std::vector<float> samples;  // interleaved
};

int frameCount(int rate, double seconds) { return static_cast<int>(std::lround(rate * seconds)); }

void normalise(std::vector<double>& x, double peak) {
    double max = 0.0;
    for (double v : x) max = std::fmax(max, std::fabs(v));
    if (max > 0.0)
        for (double& v : x) v *= peak / max;
}

std::vector<float> interleave(const std::vector<double>& left, const std::vector<double>& right) {
    std::vector<float> out;
    out.reserve(left.size() * 2);
    for (size_t i = 0; i < left.size(); ++i) {
        out.push_back(static_cast<float>(left[i]));
        out.push_back(static_cast<float>(right[i]));
    }
    return out;
}

std::vector<float> toFloat(const std::vector<double>& x) { return {x.begin(), x.end()}; }

// Linear fade-in and fade-out of the given length.
void fadeEnds(std::vector<double>& x, int rate, double seconds) {
    const size_t n = static_cast<size_t>(frameCount(rate, seconds));
    for (size_t i = 0; i < n && i < x.size(); ++i) {
        const double g = static_cast<double>(i) / static_cast<double>(n);
        x[i] *= g;
        x[x.size() - 1 - i] *= g;
    }
}

std::vector<double> kick(int rate) {
    std::vector<double> x(static_cast<size_t>(frameCount(rate, 0.45)));
    Noise noise(0x4b1c);
    double phase = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double freq = 45.0 + 110.0 * std::exp(-t / 0.04);  // pitch drops from 155 Hz
        phase += kTwoPi * freq / rate;
        const double attack = std::fmin(1.0, t / 0.002);
        const double click = t < 0.003 ? 0.3 * noise.next() * (1.0 - t / 0.003) : 0.0;
        x[i] = attack * std::exp(-t / 0.15) * std::sin(phase) + click;
    }
    normalise(x, 0.9);
    return x;
}

std::vector<double> snare(int rate) {
    std::vector<double> x(static_cast<size_t>(frameCount(rate, 0.3)));
    Noise noise(0x5a4e);
    double prev = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double n = noise.next();
        const double bright = n - 0.6 * prev;  // tilt the noise towards the top
        prev = n;
        x[i] = 0.5 * std::exp(-t / 0.05) * std::sin(kTwoPi * 185.0 * t) + 0.6 * std::exp(-t / 0.08) * bright;
        x[i] *= std::fmin(1.0, t / 0.001);
    }
    normalise(x, 0.9);
    return x;
}

std::vector<double> hat(int rate) {
    std::vector<double> x(static_cast<size_t>(frameCount(rate, 0.12)));
    Noise noise(0x4a7);
    double prev = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double n = noise.next();
        x[i] = (n - prev) * std::exp(-t / 0.025);  // first difference: a crude high-pass
        prev = n;
    }
    normalise(x, 0.8);
    return x;
}

// Three quick bursts and a decaying tail of band-limited noise, different on each side.
std::vector<double> clapSide(int rate, uint32_t seed) {
    std::vector<double> x(static_cast<size_t>(frameCount(rate, 0.35)));
    Noise noise(seed);
    double low = 0.0, prevLow = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        low += 0.35 * (noise.next() - low);
        const double band = low - prevLow;
        prevLow = low;
        double env;
        if (t < 0.033) {
            const double inBurst = std::fmod(t, 0.011);
            env = std::exp(-inBurst / 0.003);
        } else {
            env = std::exp(-(t - 0.033) / 0.06);
        }
        x[i] = band * env;
    }
    normalise(x, 0.9);
    return x;
}

std::vector<double> sine(int rate, double freq, double seconds, double amplitude) {
    std::vector<double> x(static_cast<size_t>(frameCount(rate, seconds)));
    for (size_t i = 0; i < x.size(); ++i) x[i] = amplitude * std::sin(kTwoPi * freq * static_cast<double>(i) / rate);
    return x;
}

// 220 Hz triangle-like tone; 1.5 s holds exactly 330 periods (and one period of the
// stereo drift), so the end joins the start without a click when looped.
void pad(int rate, std::vector<double>& left, std::vector<double>& right) {
    const size_t n = static_cast<size_t>(frameCount(rate, 1.5));
    left.assign(n, 0.0);
    right.assign(n, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double p = kTwoPi * 220.0 * t;
        const double tri = std::sin(p) - std::sin(3 * p) / 9.0 + std::sin(5 * p) / 25.0 - std::sin(7 * p) / 49.0;
        const double drift = 0.1 * std::sin(kTwoPi * t / 1.5);
        left[i] = 0.6 * (1.0 - drift) * tri;
        right[i] = 0.6 * (1.0 + drift) * tri;
    }
}

// A tom: a sine whose pitch falls from 180 to 110 Hz, with a soft attack.
std::vector<double> tom(int rate) {
    std::vector<double> x(static_cast<size_t>(frameCount(rate, 0.5)));
    double phase = 0.0;
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += kTwoPi * (110.0 + 70.0 * std::exp(-t / 0.06)) / rate;
        x[i] = std::fmin(1.0, t / 0.003) * std::exp(-t / 0.18) * std::sin(phase);
    }
    normalise(x, 0.9);
    return x;
}

// A bell: inharmonic partials dying away, the left side a little lower than the right.
std::vector<double> bellSide(int rate, double base) {
    std::vector<double> x(static_cast<size_t>(frameCount(rate, 1.5)));
    const double partials[][2] = {{1.0, 1.0}, {2.76, 0.5}, {5.4, 0.3}, {8.93, 0.15}};
    for (size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        for (const auto& [ratio, level] : partials)
            x[i] += level * std::exp(-t * ratio / 0.6) * std::sin(kTwoPi * base * ratio * t);
        x[i] *= std::fmin(1.0, t / 0.002);
    }
    normalise(x, 0.7);
    return x;
}

bool writeSound(const std::string& dir, const Sound& s) {
    return demo_files::writeSound(kTool, dir, s.name, s.samples, s.rate, s.channels, s.format);
}

bool writeReadme(const std::string& dir, const std::vector<Sound>& kit) {
    std::string text = "Zendra demo kit - short sounds synthesised at build time.\n\n";
    for (const Sound& s : kit) {
        char line[160];
        const double seconds = static_cast<double>(s.samples.size()) / s.channels / s.rate;
        std::snprintf(line, sizeof line, "%-16s %s, %.2f s\n", s.name, s.description, seconds);
        text += line;
    }
    return demo_files::writeText(kTool, dir, "README.txt", text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_kit <outdir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (!demo_files::makeFolder(kTool, dir)) return 1;

    std::vector<Sound> kit;
    kit.push_back({"kick.wav", 44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "kick drum, 16-bit 44100 Hz mono",
                   toFloat(kick(44100))});
    kit.push_back({"snare.wav", 44100, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "snare drum, 16-bit 44100 Hz mono",
                   toFloat(snare(44100))});
    kit.push_back({"hat.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "closed hi-hat, 8-bit 22050 Hz mono",
                   toFloat(hat(22050))});
    kit.push_back({"clap.wav", 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_24, "hand clap, 24-bit 44100 Hz stereo",
                   interleave(clapSide(44100, 0xc1a9), clapSide(44100, 0xc1aa))});

    std::vector<double> tone22 = sine(22050, 440.0, 2.0, 0.8);
    fadeEnds(tone22, 22050, 0.005);
    kit.push_back({"tone-22050.wav", 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "440 Hz sine, 16-bit 22050 Hz mono",
                   toFloat(tone22)});
    std::vector<double> tone44 = sine(44100, 440.0, 2.0, 0.8);
    fadeEnds(tone44, 44100, 0.005);
    kit.push_back({"tone-44100.wav", 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16, "440 Hz sine, 16-bit 44100 Hz stereo",
                   interleave(tone44, tone44)});
    std::vector<double> tone11 = sine(11025, 440.0, 2.0, 0.8);
    fadeEnds(tone11, 11025, 0.005);
    kit.push_back({"tone-11025.wav", 11025, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, "440 Hz sine, 8-bit 11025 Hz mono",
                   toFloat(tone11)});

    std::vector<double> padLeft, padRight;
    pad(22050, padLeft, padRight);
    kit.push_back({"pad-22050.wav", 22050, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                   "220 Hz soft triangle pad for looping, 16-bit 22050 Hz stereo", interleave(padLeft, padRight)});

    kit.push_back({"tom.flac", 44100, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "tom drum, FLAC 16-bit 44100 Hz mono",
                   toFloat(tom(44100))});
    kit.push_back({"bell.ogg", 44100, 2, SF_FORMAT_OGG | SF_FORMAT_VORBIS,
                   "bell, a little lower on the left, Ogg Vorbis 44100 Hz stereo",
                   interleave(bellSide(44100, 520.0), bellSide(44100, 523.0))});

    // The build checks for kick.wav, so it is written last.
    for (size_t i = 1; i < kit.size(); ++i)
        if (!writeSound(dir, kit[i])) return 1;
    if (!writeReadme(dir, kit)) return 1;
    return writeSound(dir, kit[0]) ? 0 : 1;
}
