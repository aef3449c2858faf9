// Built with AVX2 and FMA enabled (see CMakeLists.txt); only called when the
// CPU reports both.
#include "sound/sinc_dot_impl.h"

namespace zendra {

#if defined(ZENDRA_SINC_WIDE)
namespace {
void dotWide(const SincRun& r) noexcept { sincRun<8>(r); }
}  // namespace

SincDotFn sincDotWide() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return &dotWide;
    return nullptr;
}
#else
SincDotFn sincDotWide() { return nullptr; }
#endif

}  // namespace zendra
