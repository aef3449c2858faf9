// Lets a device's own thread call into an object that the window thread may
// take away at any moment. The device thread never waits; the window thread,
// closing the gate, waits only for a call already inside.
#pragma once
#include <atomic>
#include <thread>

namespace zendra {

class CallbackGate {
public:
    explicit CallbackGate(bool open = true) : open_(open) {}

    // Device thread: runs `call` unless the gate is closed; true if it ran.
    template <typename F>
    bool pass(F&& call) noexcept {
        // Sequentially consistent on both sides: either close() sees this
        // call inside, or this call sees the gate closed.
        inside_.fetch_add(1);
        const bool open = open_.load();
        if (open) call();
        inside_.fetch_sub(1, std::memory_order_release);
        return open;
    }
    // Any thread but the device's: no call runs after this returns.
    void close() noexcept {
        open_.store(false);
        while (inside_.load(std::memory_order_acquire) != 0) std::this_thread::yield();
    }
    void open() noexcept { open_.store(true); }

private:
    std::atomic<bool> open_;
    std::atomic<int> inside_{0};
};

}  // namespace zendra
