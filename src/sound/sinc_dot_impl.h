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

// The four sums of a, b, c, d at once: {sum a, sum b, sum c, sum d}.
inline Vec<4>::type sums4(Vec<4>::type a, Vec<4>::type b, Vec<4>::type c, Vec<4>::type d) {
    const Vec<4>::type ab = __builtin_shufflevector(a, b, 0, 1, 4, 5) + __builtin_shufflevector(a, b, 2, 3, 6, 7);
    const Vec<4>::type cd = __builtin_shufflevector(c, d, 0, 1, 4, 5) + __builtin_shufflevector(c, d, 2, 3, 6, 7);
    return __builtin_shufflevector(ab, cd, 0, 2, 4, 6) + __builtin_shufflevector(ab, cd, 1, 3, 5, 7);
}
inline Vec<4>::type halves(Vec<4>::type v) { return v; }
inline Vec<4>::type halves(Vec<8>::type v) {
    return __builtin_shufflevector(v, v, 0, 1, 2, 3) + __builtin_shufflevector(v, v, 4, 5, 6, 7);
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
struct FixedPos {
    int phaseShift;
    uint64_t fracMask;
    float fracScale;
    explicit FixedPos(int phases)
        : phaseShift(32 - __builtin_ctz(static_cast<unsigned>(phases))),
          fracMask((uint64_t{1} << phaseShift) - 1),
          fracScale(1.0f / static_cast<float>(uint64_t{1} << phaseShift)) {}
    size_t frame(uint64_t pos) const { return static_cast<size_t>(pos >> 32); }
    size_t phase(uint64_t pos) const { return static_cast<uint32_t>(pos) >> phaseShift; }
    float blend(uint64_t pos) const { return static_cast<float>(static_cast<uint32_t>(pos) & fracMask) * fracScale; }
};

template <int W>
inline typename Vec<W>::type splat(float f) {
    typename Vec<W>::type v;
    for (int k = 0; k < W; ++k) v[k] = f;
    return v;
}

// One output frame; two accumulators per channel halve the chain of dependent adds.
template <int W, bool Stereo>
inline void sincOne(const SincRun& r, const FixedPos& fp, uint64_t pos, int i) noexcept {
    using V = typename Vec<W>::type;
    constexpr int B = kSincBlock;
    const int blocks = r.taps / B;
    const size_t ip = fp.frame(pos);
    const V fv = splat<W>(fp.blend(pos));
    const float* row = r.coeffs + fp.phase(pos) * 2 * static_cast<size_t>(r.taps);
    const float* sl = r.left + ip;
    const float* sr = Stereo ? r.right + ip : nullptr;
    V l0 = {}, l1 = {}, r0 = {}, r1 = {};
    int b = 0;
    for (; b + 1 < blocks; b += 2, row += 4 * B, sl += 2 * B) {
        for (int j = 0; j < B; j += W) {
            const V c0 = load<W>(row + j) + fv * load<W>(row + B + j);
            const V c1 = load<W>(row + 2 * B + j) + fv * load<W>(row + 3 * B + j);
            l0 += c0 * load<W>(sl + j);
            l1 += c1 * load<W>(sl + B + j);
            if constexpr (Stereo) {
                r0 += c0 * load<W>(sr + j);
                r1 += c1 * load<W>(sr + B + j);
            }
        }
        if constexpr (Stereo) sr += 2 * B;
    }
    if (b < blocks) {
        for (int j = 0; j < B; j += W) {
            const V c0 = load<W>(row + j) + fv * load<W>(row + B + j);
            l0 += c0 * load<W>(sl + j);
            if constexpr (Stereo) r0 += c0 * load<W>(sr + j);
        }
    }
    r.outL[i] = hsum<W>(l0 + l1);
    if constexpr (Stereo) r.outR[i] = hsum<W>(r0 + r1);
}

// Two output frames per pass over the taps: twice the independent chains of
// adds and half the loop overhead per frame.
template <int W, bool Stereo>
inline void sincTwo(const SincRun& r, const FixedPos& fp, uint64_t posA, uint64_t posB, int i) noexcept {
    using V = typename Vec<W>::type;
    constexpr int B = kSincBlock;
    const int blocks = r.taps / B;
    const size_t ipA = fp.frame(posA), ipB = fp.frame(posB);
    const V fa = splat<W>(fp.blend(posA)), fb = splat<W>(fp.blend(posB));
    const float* rowA = r.coeffs + fp.phase(posA) * 2 * static_cast<size_t>(r.taps);
    const float* rowB = r.coeffs + fp.phase(posB) * 2 * static_cast<size_t>(r.taps);
    const float* slA = r.left + ipA;
    const float* slB = r.left + ipB;
    const float* srA = Stereo ? r.right + ipA : nullptr;
    const float* srB = Stereo ? r.right + ipB : nullptr;
    V la = {}, lb = {}, ra = {}, rb = {};
    for (int b = 0; b < blocks; ++b, rowA += 2 * B, rowB += 2 * B, slA += B, slB += B) {
        for (int j = 0; j < B; j += W) {
            const V ca = load<W>(rowA + j) + fa * load<W>(rowA + B + j);
            const V cb = load<W>(rowB + j) + fb * load<W>(rowB + B + j);
            la += ca * load<W>(slA + j);
            lb += cb * load<W>(slB + j);
            if constexpr (Stereo) {
                ra += ca * load<W>(srA + j);
                rb += cb * load<W>(srB + j);
            }
        }
        if constexpr (Stereo) {
            srA += B;
            srB += B;
        }
    }
    const Vec<4>::type t = sums4(halves(la), halves(lb), halves(ra), halves(rb));
    r.outL[i] = t[0];
    r.outL[i + 1] = t[1];
    if constexpr (Stereo) {
        r.outR[i] = t[2];
        r.outR[i + 1] = t[3];
    }
}

template <int W, bool Stereo>
inline void sincRunOf(const SincRun& r) noexcept {
    const FixedPos fp(r.phases);
    constexpr double kOne = 4294967296.0;
    uint64_t pos = static_cast<uint64_t>(r.pos * kOne + 0.5);
    const uint64_t step = static_cast<uint64_t>(r.step * kOne + 0.5);
    int i = 0;
    for (; i + 1 < r.frames; i += 2, pos += 2 * step) sincTwo<W, Stereo>(r, fp, pos, pos + step, i);
    if (i < r.frames) sincOne<W, Stereo>(r, fp, pos, i);
}

template <int W>
inline void sincRun(const SincRun& r) noexcept {
    if (r.right != nullptr) {
        sincRunOf<W, true>(r);
    } else {
        sincRunOf<W, false>(r);
    }
}

}  // namespace
}  // namespace zendra
