#include "sound/realtime.h"

#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/resource.h>

namespace zendra {

namespace {
// Above the sound servers' own threads (PulseAudio and JACK use 5 and 10):
// the callback is short and the server waits for it.
constexpr int kRealtimePriority = 12;
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

}  // namespace zendra
