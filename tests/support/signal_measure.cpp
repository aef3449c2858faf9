#include "signal_measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <sndfile.h>
#include <stdexcept>
#include <tuple>

namespace zendra::test {

namespace {

std::pair<size_t, size_t> clampRange(const std::vector<float>& x, size_t begin, size_t end) {
    end = std::min(end, x.size());
    begin = std::min(begin, end);
    return {begin, end};
}

}  // namespace

Stereo splitInterleaved(const std::vector<float>& interleaved, int rate) {
    Stereo s;
    s.rate = rate;
    const size_t frames = interleaved.size() / 2;
    s.left.resize(frames);
    s.right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        s.left[i] = interleaved[2 * i];
        s.right[i] = interleaved[2 * i + 1];
    }
    return s;
}

void writeSound(const std::string& path, const Stereo& s, int format) {
    SF_INFO info{};
    info.samplerate = s.rate;
    info.channels = 2;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (f == nullptr) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    std::vector<float> frames(2 * s.left.size());
    for (size_t i = 0; i < s.left.size(); ++i) {
        frames[2 * i] = s.left[i];
        frames[2 * i + 1] = s.right[i];
    }
    sf_writef_float(f, frames.data(), static_cast<sf_count_t>(s.left.size()));
    sf_close(f);
}

void writeWavFloat(const std::string& path, const Stereo& s) { writeSound(path, s, SF_FORMAT_WAV | SF_FORMAT_FLOAT); }

Stereo readWavFloat(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (f == nullptr) throw std::runtime_error("cannot read " + path + ": " + sf_strerror(nullptr));
    const int ch = info.channels;
    std::vector<float> all;
    std::vector<float> block(4096 * static_cast<size_t>(ch));
    for (;;) {
        const sf_count_t got = sf_readf_float(f, block.data(), 4096);
        if (got <= 0) break;
        all.insert(all.end(), block.begin(), block.begin() + got * ch);
    }
    sf_close(f);
    Stereo s;
    s.rate = info.samplerate;
    const size_t frames = all.size() / static_cast<size_t>(ch);
    s.left.resize(frames);
    s.right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        s.left[i] = all[i * ch];
        s.right[i] = all[i * ch + (ch > 1 ? 1 : 0)];
    }
    return s;
}

double rmsDb(const std::vector<float>& x, size_t begin, size_t end) {
    std::tie(begin, end) = clampRange(x, begin, end);
    if (end == begin) return -200.0;
    double sum = 0.0;
    for (size_t i = begin; i < end; ++i) sum += static_cast<double>(x[i]) * x[i];
    const double rms = std::sqrt(sum / static_cast<double>(end - begin));
    if (rms < 1e-10) return -200.0;
    return 20.0 * std::log10(rms);
}

double peakAbs(const std::vector<float>& x, size_t begin, size_t end) {
    std::tie(begin, end) = clampRange(x, begin, end);
    double peak = 0.0;
    for (size_t i = begin; i < end; ++i) peak = std::max(peak, static_cast<double>(std::fabs(x[i])));
    return peak;
}

namespace {

// Rising zero crossings, interpolated between samples, after removing the
// mean. Schmitt trigger: a cycle starts when the signal, having been below
// -h, rises above +h; its time is the last zero crossing before that.
std::vector<double> risingCrossings(const std::vector<float>& x, size_t begin, size_t end) {
    std::vector<double> crossings;
    if (end - begin < 3) return crossings;
    double mean = 0.0;
    for (size_t i = begin; i < end; ++i) mean += x[i];
    mean /= static_cast<double>(end - begin);
    double peak = 0.0;
    for (size_t i = begin; i < end; ++i) peak = std::max(peak, std::fabs(x[i] - mean));
    if (peak <= 0.0) return crossings;
    const double h = 0.15 * peak;
    bool armed = false;
    double crossing = -1.0;
    double prev = x[begin] - mean;
    for (size_t i = begin + 1; i < end; ++i) {
        const double cur = x[i] - mean;
        if (cur < -h) {
            armed = true;
            crossing = -1.0;
        } else if (armed) {
            if (prev < 0.0 && cur >= 0.0) crossing = static_cast<double>(i - 1) + (-prev) / (cur - prev);
            if (cur > h && crossing >= 0.0) {
                crossings.push_back(crossing);
                armed = false;
            }
        }
        prev = cur;
    }
    return crossings;
}

}  // namespace

double frequencyHz(const std::vector<float>& x, int rate, size_t begin, size_t end) {
    std::tie(begin, end) = clampRange(x, begin, end);
    const auto c = risingCrossings(x, begin, end);
    if (c.size() < 2 || rate <= 0) return 0.0;
    return static_cast<double>(c.size() - 1) * rate / (c.back() - c.front());
}

double cycleFrequencyHz(const std::vector<float>& x, int rate, size_t begin, size_t end) {
    std::tie(begin, end) = clampRange(x, begin, end);
    const auto c = risingCrossings(x, begin, end);
    if (c.size() < 2 || rate <= 0) return 0.0;
    std::vector<double> periods(c.size() - 1);
    for (size_t i = 1; i < c.size(); ++i) periods[i - 1] = c[i] - c[i - 1];
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return rate / periods[periods.size() / 2];
}

double maxStep(const std::vector<float>& x, size_t begin, size_t end) {
    std::tie(begin, end) = clampRange(x, begin, end);
    double step = 0.0;
    for (size_t i = begin + 1; i < end; ++i) step = std::max(step, static_cast<double>(std::fabs(x[i] - x[i - 1])));
    return step;
}

size_t firstAbove(const std::vector<float>& x, float threshold, size_t from) {
    for (size_t i = from; i < x.size(); ++i) {
        if (std::fabs(x[i]) > threshold) return i;
    }
    return SIZE_MAX;
}

std::vector<std::pair<size_t, size_t>> onsets(const std::vector<float>& x, int rate, float threshold,
                                              double minGapSeconds) {
    std::vector<std::pair<size_t, size_t>> segments;
    const auto gap = static_cast<size_t>(std::max(0.0, minGapSeconds * rate));
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) <= threshold) continue;
        if (!segments.empty() && i - segments.back().second < gap) {
            segments.back().second = i + 1;
        } else {
            segments.emplace_back(i, i + 1);
        }
    }
    return segments;
}

std::vector<float> sine(double hz, int rate, double seconds, float amplitude) {
    const auto n = static_cast<size_t>(std::llround(seconds * rate));
    std::vector<float> out(n);
    const double w = 2.0 * std::numbers::pi * hz / rate;
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<float>(amplitude * std::sin(w * static_cast<double>(i)));
    return out;
}

}  // namespace zendra::test
