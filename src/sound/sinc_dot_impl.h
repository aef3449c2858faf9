// Shared body of the resampling inner loop, for a vector of W floats.
// Included by one translation unit per instruction set.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sound/sinc_dot.h"

namespace zendra {
// Internal to each including file, so the copies built for different
// instruction sets never meet at link time.
namespace {

template <int W>
struct Vec {
    typedef float type __attribute__((vector_size(W * 4)));
};

template <int W>
inline typename Vec<W>::type load(const float* p) {
    typename Vec<W>::type v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <int W>
inline float hsum(typename Vec<W>::type v) {
    if constexpr (W == 8) {
        return ((v[0] + v[4]) + (v[1] + v[5])) + ((v[2] + v[6]) + (v[3] + v[7]));
    } else {
        static_assert(W == 4);
        return (v[0] + v[2]) + (v[1] + v[3]);
    }
}

// Positions run in 32.32 fixed point: the integer part picks the source
// frame, the top fraction bits the phase, the rest blend it with the next.
template <int W>
inline void sincRun(const SincRun& r) noexcept {
    using V = typename Vec<W>::type;
    constexpr int B = kSincBlock;
    static_assert(B % W == 0);
    const int taps = r.taps;
    const int blocks = taps / B;
    const int phaseShift = 32 - __builtin_ctz(static_cast<unsigned>(r.phases));
    const uint64_t fracMask = (uint64_t{1} << phaseShift) - 1;
    const float fracScale = 1.0f / static_cast<float>(uint64_t{1} << phaseShift);
    constexpr double kOne = 4294967296.0;
    uint64_t pos = static_cast<uint64_t>(r.pos * kOne + 0.5);
    const uint64_t step = static_cast<uint64_t>(r.step * kOne + 0.5);
    const bool stereo = r.right != nullptr;
    for (int i = 0; i < r.frames; ++i, pos += step) {
        const size_t ip = static_cast<size_t>(pos >> 32);
        const uint32_t low = static_cast<uint32_t>(pos);
        const size_t phase = low >> phaseShift;
        const float f = static_cast<float>(low & fracMask) * fracScale;
        V fv;
        for (int k = 0; k < W; ++k) fv[k] = f;
        const float* row = r.coeffs + phase * 2 * static_cast<size_t>(taps);
        const float* sl = r.left + ip;
        // Two accumulators per channel halve the chain of dependent adds.
        V l0 = {}, l1 = {};
        if (stereo) {
            const float* sr = r.right + ip;
            V r0 = {}, r1 = {};
            int b = 0;
            for (; b + 1 < blocks; b += 2, row += 4 * B, sl += 2 * B, sr += 2 * B) {
                for (int j = 0; j < B; j += W) {
                    const V c0 = load<W>(row + j) + fv * load<W>(row + B + j);
                    const V c1 = load<W>(row + 2 * B + j) + fv * load<W>(row + 3 * B + j);
                    l0 += c0 * load<W>(sl + j);
                    r0 += c0 * load<W>(sr + j);
                    l1 += c1 * load<W>(sl + B + j);
                    r1 += c1 * load<W>(sr + B + j);
                }
            }
            if (b < blocks) {
                for (int j = 0; j < B; j += W) {
                    const V c0 = load<W>(row + j) + fv * load<W>(row + B + j);
                    l0 += c0 * load<W>(sl + j);
                    r0 += c0 * load<W>(sr + j);
                }
            }
            r.outR[i] = hsum<W>(r0 + r1);
        } else {
            int b = 0;
            for (; b + 1 < blocks; b += 2, row += 4 * B, sl += 2 * B) {
                for (int j = 0; j < B; j += W) {
                    const V c0 = load<W>(row + j) + fv * load<W>(row + B + j);
                    const V c1 = load<W>(row + 2 * B + j) + fv * load<W>(row + 3 * B + j);
                    l0 += c0 * load<W>(sl + j);
                    l1 += c1 * load<W>(sl + B + j);
                }
            }
            if (b < blocks) {
                for (int j = 0; j < B; j += W) {
                    const V c0 = load<W>(row + j) + fv * load<W>(row + B + j);
                    l0 += c0 * load<W>(sl + j);
                }
            }
        }
        r.outL[i] = hsum<W>(l0 + l1);
    }
}

}  // namespace
}  // namespace zendra
