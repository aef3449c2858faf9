#include "sound/realtime.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zendra {

namespace {
// Above the sound servers' own threads (PulseAudio and JACK use 5 and 10):
// the callback is short and the server waits for it.
constexpr int kRealtimePriority = 12;
// The shortest slice the kernel takes (0.1 ms); its default is 0.75 ms times
// 1 + log2(CPUs), and a busy thread may run that long before a woken one.
constexpr uint64_t kShortestSliceNanos = 100'000;

// The kernel's sched_attr (its first version), which not every C library declares.
struct SchedAttr {
    uint32_t size;
    uint32_t sched_policy;
    uint64_t sched_flags;
    int32_t sched_nice;
    uint32_t sched_priority;
    uint64_t sched_runtime, sched_deadline, sched_period;
};
}  // namespace

bool realtimeWanted() {
    const char* no = std::getenv("ZENDRA_NO_REALTIME");
    return no == nullptr || std::strcmp(no, "1") != 0;
}

void askRealtime() noexcept {
    const int policy = sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
    if (policy == SCHED_FIFO || policy == SCHED_RR) return;
    sched_param param{};
    param.sched_priority = kRealtimePriority;
    if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0) return;
    setpriority(PRIO_PROCESS, 0, -20);
}

void askShortSlice() noexcept {
    const char* keep = std::getenv("ZENDRA_DEFAULT_SLICE");
    if (keep != nullptr && std::strcmp(keep, "1") == 0) return;
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.sched_policy = SCHED_OTHER;
    attr.sched_nice = getpriority(PRIO_PROCESS, 0);
    attr.sched_runtime = kShortestSliceNanos;  // a normal thread's slice; older kernels ignore it
    syscall(SYS_sched_setattr, 0, &attr, 0U);
}

}  // namespace zendra
