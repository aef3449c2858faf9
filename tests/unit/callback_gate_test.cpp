// What a device's thread may still do while the window thread takes things
// away: the callback gate's promise.
#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <semaphore>
#include <thread>

#include "sound/callback_gate.h"

namespace zendra::test {
namespace {

// Runs `step` on a thread of its own while the device is held inside a call,
// then lets the device go. A step that rightly waits for the device cannot be
// told from one that is merely slow, so it is given a moment before the
// device goes on; the outcome is judged on what the step saw, never on time.
template <typename Step, typename Release>
void whileDeviceHeld(Step step, Release release) {
    std::promise<void> done;
    std::future<void> returned = done.get_future();
    std::thread t([&] {
        step();
        done.set_value();
    });
    returned.wait_for(std::chrono::milliseconds(200));
    release();
    t.join();
}

// ------------------------------------------------------------------ the gate

TEST(CallbackGateTest, NoCallRunsAfterCloseReturnsAndCloseWaitsForTheCallInside) {
    // The device thread calls into an object that the closing side poisons as
    // soon as close() returns, many times over: a call that runs late, or
    // that is still running then, sees the poison.
    constexpr int kAlive = 1, kDead = 2, kRounds = 3000;
    CallbackGate gate(false);
    std::atomic<int> object{kAlive};
    std::atomic<int> calls{0}, attempts{0}, late{0};
    std::atomic<bool> quit{false};
    std::thread device([&] {
        while (!quit.load()) {
            gate.pass([&] {
                if (object.load(std::memory_order_relaxed) != kAlive) late.fetch_add(1);
                calls.fetch_add(1);
                if (object.load(std::memory_order_relaxed) != kAlive) late.fetch_add(1);
            });
            attempts.fetch_add(1);
        }
    });
    for (int round = 0; round < kRounds; ++round) {
        const int before = calls.load();
        gate.open();
        while (calls.load() == before) std::this_thread::yield();
        gate.close();
        object.store(kDead, std::memory_order_relaxed);
        // Two whole attempts after the poison: any call let through would have seen it.
        const int tried = attempts.load();
        while (attempts.load() < tried + 2) std::this_thread::yield();
        object.store(kAlive, std::memory_order_relaxed);
    }
    quit.store(true);
    device.join();
    EXPECT_EQ(late.load(), 0);

    // A call held inside: close() returns only once it is over.
    gate.open();
    std::binary_semaphore inside{0}, goOn{0};
    std::atomic<bool> over{false};
    std::thread held([&] {
        gate.pass([&] {
            inside.release();
            goOn.acquire();
            over.store(true);
        });
    });
    inside.acquire();
    bool overWhenClosed = false;
    whileDeviceHeld(
        [&] {
            gate.close();
            overWhenClosed = over.load();
        },
        [&] { goOn.release(); });
    held.join();
    EXPECT_TRUE(overWhenClosed);
    EXPECT_FALSE(gate.pass([] {}));
}

}  // namespace
}  // namespace zendra::test
