#include "sound/sinc_dot_impl.h"

namespace zendra {

namespace {
void dotPortable(const SincRun& r) noexcept { sincRun<4>(r); }
}  // namespace

SincDotFn sincDotPortable() { return &dotPortable; }

SincDotFn sincDot() {
    static const SincDotFn best = [] {
        const SincDotFn wide = sincDotWide();
        return wide != nullptr ? wide : sincDotPortable();
    }();
    return best;
}

}  // namespace zendra
