#include "sound/sinc_kernel.h"

#include <cmath>

namespace zendra {

namespace {

double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 64; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

constexpr double kPi = 3.14159265358979323846;
constexpr double kScaleStep = 1.08;
constexpr double kMaxScale = 3.2;

SincTable makeTable(double scale) {
    SincTable t;
    t.scale = scale;
    // Widened kernels grow slower than the band they pass narrows: their
    // transition band, relative to the output's rate, widens a little with
    // the step (the passband still reaches 0.33 of the output rate at 2.2
    // source frames per output frame) while the stopband keeps its depth.
    const double crossings = SincKernels::kZeroCrossings * std::pow(scale, SincKernels::kWidenedGrowth);
    const int minTaps = 2 * static_cast<int>(std::ceil(crossings));
    t.taps = (minTaps + kSincBlock - 1) / kSincBlock * kSincBlock;
    t.phases = SincKernels::kPhases;
    // Kaiser design: transition width for the stopband at this length; the
    // stopband starts at the lower of the two Nyquist frequencies.
    const double a = SincKernels::kStopbandDb;
    const double beta = 0.1102 * (a - 8.7);
    const double transition = (a - 7.95) / (14.36 * t.taps);  // cycles per source frame
    const double cutoff = 0.5 / scale - transition / 2.0;
    const double i0beta = besselI0(beta);
    const int first = t.firstOffset();
    const size_t taps = static_cast<size_t>(t.taps);
    std::vector<double> rows(static_cast<size_t>(t.phases + 1) * taps);
    for (int p = 0; p <= t.phases; ++p) {
        const double frac = static_cast<double>(p) / t.phases;
        double* h = rows.data() + static_cast<size_t>(p) * taps;
        double sum = 0.0;
        for (int k = 0; k < t.taps; ++k) {
            const double x = (first + k) - frac;  // source frames from the read position
            const double r = x / (t.taps / 2.0);
            const double w = std::fabs(r) >= 1.0 ? 0.0 : besselI0(beta * std::sqrt(1.0 - r * r)) / i0beta;
            const double arg = 2.0 * cutoff * x;
            const double sinc = std::fabs(arg) < 1e-12 ? 1.0 : std::sin(kPi * arg) / (kPi * arg);
            h[k] = 2.0 * cutoff * sinc * w;
            sum += h[k];
        }
        for (size_t k = 0; k < taps; ++k) h[k] /= sum;  // unity gain at every phase
    }
    t.coeffs.resize(static_cast<size_t>(t.phases) * 2 * taps);
    for (size_t p = 0; p < static_cast<size_t>(t.phases); ++p) {
        const double* h0 = rows.data() + p * taps;
        const double* h1 = h0 + taps;
        float* out = t.coeffs.data() + p * 2 * taps;
        for (size_t b = 0; b < taps; b += kSincBlock) {
            for (size_t j = 0; j < static_cast<size_t>(kSincBlock); ++j) {
                const float c0 = static_cast<float>(h0[b + j]);
                out[2 * b + j] = c0;
                out[2 * b + kSincBlock + j] = static_cast<float>(h1[b + j]) - c0;
            }
        }
    }
    return t;
}

}  // namespace

SincKernels::SincKernels() {
    for (double s = 1.0; s < kMaxScale * kScaleStep; s *= kScaleStep) tables_.push_back(makeTable(s));
}

const SincKernels& SincKernels::instance() {
    static const SincKernels kernels;
    return kernels;
}

const SincTable& SincKernels::forStep(double step) const {
    // The first table whose band is at least as narrow as this step needs.
    for (const SincTable& t : tables_) {
        if (t.scale >= step) return t;
    }
    return tables_.back();
}

}  // namespace zendra
