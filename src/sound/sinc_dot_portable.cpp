#include <cstdlib>

#include "sound/sinc_dot_impl.h"

namespace zendra {

namespace {
void dotPortable(const SincRun& r) noexcept { sincRun<4>(r); }
}  // namespace

SincDotFn sincDotPortable() { return &dotPortable; }

SincDotFn sincDot() {
    // ZENDRA_NO_AVX2=1 keeps to the portable loop (for comparing the two).
    static const SincDotFn best = [] {
        const char* off = std::getenv("ZENDRA_NO_AVX2");
        const SincDotFn wide = off != nullptr && *off == '1' ? nullptr : sincDotWide();
        return wide != nullptr ? wide : sincDotPortable();
    }();
    return best;
}

}  // namespace zendra
