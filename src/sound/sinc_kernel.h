// Band-limited interpolation: Kaiser-windowed sinc kernels, one table per
// pitch-ratio band, so a sound played up to several times its own rate does
// not alias and one played slower does not image.
#pragma once
#include <cstddef>
#include <new>
#include <vector>

#include "sound/sinc_dot.h"

namespace zendra {

// Rows start on cache lines, so the inner loop's wide loads of coefficients
// never straddle two.
template <typename T>
struct CacheAligned {
    using value_type = T;
    static constexpr std::align_val_t kAlign{64};
    CacheAligned() = default;
    template <typename U>
    CacheAligned(const CacheAligned<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlign)); }
    void deallocate(T* p, size_t) noexcept { ::operator delete(p, kAlign); }
    bool operator==(const CacheAligned&) const { return true; }
};

struct SincTable {
    double scale = 1.0;  // source frames per output frame this table covers (>= 1)
    int taps = 0;        // kernel length in source frames (multiple of kSincBlock)
    int phases = 0;      // fractional positions, one row each
    // Per row, per block of kSincBlock taps: the coefficients at this phase,
    // then their difference to the next phase (for linear interpolation).
    std::vector<float, CacheAligned<float>> coeffs;  // [phases * 2 * taps]
    // Index of the first source frame the kernel covers, relative to floor(pos).
    int firstOffset() const { return -(taps / 2 - 1); }
};

class SincKernels {
public:
    static constexpr int kZeroCrossings = 20;      // each side, at a ratio of 1
    static constexpr double kWidenedGrowth = 0.6;  // crossings grow as the step to this power
    static constexpr int kPhases = 256;
    static constexpr double kStopbandDb = 88.0;

    // Built once, on first use (the program starts that on a thread at launch).
    static const SincKernels& instance();

    // The table for a step (source frames per output frame).
    const SincTable& forStep(double step) const;
    const std::vector<SincTable>& tables() const { return tables_; }

private:
    SincKernels();
    std::vector<SincTable> tables_;
};

}  // namespace zendra
