// The short time slice: taken by the kernel for the calling thread at its own
// nice level, and handed to the threads it starts afterwards.
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <thread>

#include "sound/realtime.h"

namespace zendra::test {
namespace {

// The calling thread's slice in nanoseconds, as the kernel shows it; none on
// kernels without per-thread slices.
std::optional<long long> ownSlice() {
    std::ifstream sched("/proc/thread-self/sched");
    for (std::string line; std::getline(sched, line);) {
        if (line.rfind("se.slice", 0) == 0) return std::stoll(line.substr(line.find(':') + 1));
    }
    return std::nullopt;
}

// Whether the kernel takes a normal thread's slice from sched_setattr (6.12 on).
bool slicesTaken() {
    utsname u{};
    int major = 0, minor = 0;
    return uname(&u) == 0 && std::sscanf(u.release, "%d.%d", &major, &minor) == 2 &&
           (major > 6 || (major == 6 && minor >= 12));
}

TEST(ShortSlice, TakenAtTheThreadsOwnNiceAndInheritedByItsThreads) {
    std::optional<long long> before, after, child;
    int niceAfter = 0;
    std::thread([&] {
        setpriority(PRIO_PROCESS, 0, 5);  // this thread only
        before = ownSlice();
        askShortSlice();
        after = ownSlice();
        niceAfter = getpriority(PRIO_PROCESS, 0);
        std::thread([&] { child = ownSlice(); }).join();
    }).join();
    if (!before || !slicesTaken()) GTEST_SKIP() << "this kernel takes no per-thread slice";
    if (*before == 100'000) GTEST_SKIP() << "the slice was short already";
    EXPECT_EQ(after, 100'000);
    EXPECT_EQ(child, 100'000);
    EXPECT_EQ(niceAfter, 5);
}

}  // namespace
}  // namespace zendra::test
