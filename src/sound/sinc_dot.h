// The inner loop of band-limited resampling: for each output frame, the
// kernel at that fractional position dotted with the source frames under it.
// Built twice, for plain SSE and for AVX2 with FMA; the best the CPU runs is
// picked once.
#pragma once

namespace zendra {

// Rows of the kernel table, one per phase: per block of kBlock taps, the
// coefficients at that phase then their difference to the next phase.
inline constexpr int kSincBlock = 8;

struct SincRun {
    const float* coeffs = nullptr;
    int taps = 0;                  // multiple of kSincBlock
    int phases = 0;                // rows; a row is 2 * taps floats
    const float* left = nullptr;   // source frames, first one under the kernel at pos 0
    const float* right = nullptr;  // nullptr for a mono source
    double pos = 0.0;              // position of the first output frame, relative to left/right
    double step = 1.0;             // source frames per output frame
    int frames = 0;
    float* outL = nullptr;  // one dot per output frame
    float* outR = nullptr;  // unused for a mono source
};

using SincDotFn = void (*)(const SincRun&) noexcept;

SincDotFn sincDot();  // the fastest this CPU runs
SincDotFn sincDotPortable();
SincDotFn sincDotWide();  // nullptr where not built or not supported

}  // namespace zendra
