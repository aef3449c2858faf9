// Analysis of what the audio server played, as recorded from its monitor: a
// loaded machine lets the output run dry now and then, so these judge windows
// by their content and take medians rather than means.
#pragma once
#include <chrono>
#include <cstddef>
#include <sys/types.h>
#include <vector>

#include "e2e_env.h"

namespace zendra::test {

// Median of the values; `ifEmpty` when there are none.
double median(std::vector<double> v, double ifEmpty = 0.0);

// Whether x[begin, begin + n) holds a dropout: 16 samples or more of silence
// in a row, where the server ran dry.
bool hasDropout(const std::vector<float>& x, size_t begin, size_t n);

// Amplitude in dB of one frequency in each window of `window` samples within
// [begin, end) that holds no dropout.
std::vector<double> bandLevelsDb(const std::vector<float>& x, int rate, double hz, size_t window, size_t begin,
                                 size_t end);

// Normalised correlation of x[a, a + n) and x[b, b + n).
double correlation(const std::vector<float>& x, size_t a, size_t b, size_t n);

// The first of `frames` recorded frames that reached the file after `t`.
size_t firstFrameAfter(const MonitorRecording& rec, size_t frames, std::chrono::steady_clock::time_point t);

// CPU time (user + system) the process has used, in seconds; with
// `mainThread`, only its first thread's (a Qt program's window thread).
double cpuSeconds(pid_t pid, bool mainThread = false);

// Shares of one CPU the process and its window thread use over `seconds`
// while the test does nothing.
struct IdleUse {
    double process = 0, windowThread = 0;
};
IdleUse idleUse(pid_t pid, double seconds = 3.0);

}  // namespace zendra::test
