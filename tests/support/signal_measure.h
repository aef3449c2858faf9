// Measurements on rendered or recorded audio: levels, pitch, clicks, onsets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zendra::test {

struct Stereo {
    std::vector<float> left, right;
    int rate = 0;
};

Stereo splitInterleaved(const std::vector<float>& interleaved, int rate);

// Any format libsndfile reads; a mono file gives left == right. Throws on error.
Stereo readWavFloat(const std::string& path);
// Writes a stereo sound file in a format libsndfile writes (its format code,
// e.g. SF_FORMAT_FLAC | SF_FORMAT_PCM_16); throws on failure.
void writeSound(const std::string& path, const Stereo& s, int format);
// Writes a float stereo WAV file; throws on failure.
void writeWavFloat(const std::string& path, const Stereo& s);

// Level of the RMS in dBFS (an RMS of 1.0 is 0 dB); silence gives -200.
double rmsDb(const std::vector<float>& x, size_t begin = 0, size_t end = SIZE_MAX);

double peakAbs(const std::vector<float>& x, size_t begin = 0, size_t end = SIZE_MAX);

// Pitch of a roughly periodic signal from its rising zero crossings (after
// removing the mean, with hysteresis against noise), interpolated between
// samples. Returns 0 when fewer than two crossings are found.
double frequencyHz(const std::vector<float>& x, int rate, size_t begin = 0, size_t end = SIZE_MAX);

// Pitch from the median length of single cycles (same crossings as
// frequencyHz): a dropout or a skip spoils only the cycles it touches.
double cycleFrequencyHz(const std::vector<float>& x, int rate, size_t begin = 0, size_t end = SIZE_MAX);

// Largest jump between neighbouring samples.
double maxStep(const std::vector<float>& x, size_t begin = 0, size_t end = SIZE_MAX);

// Index of the first sample with |x| > threshold at or after `from`, or SIZE_MAX.
size_t firstAbove(const std::vector<float>& x, float threshold, size_t from = 0);

// Sounding segments [start, end): runs of samples with |x| > threshold, where
// silences shorter than minGapSeconds do not split a segment.
std::vector<std::pair<size_t, size_t>> onsets(const std::vector<float>& x, int rate, float threshold,
                                              double minGapSeconds);

std::vector<float> sine(double hz, int rate, double seconds, float amplitude);

}  // namespace zendra::test
