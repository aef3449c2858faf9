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
        inside_.fetch_add(1);  // both sequentially consistent: see close()
        const bool open = open_.load();
        if (open) call();
        inside_.fetch_sub(1, std::memory_order_release);  // close() sees what the call did
        return open;
    }
    // Any thread but the device's: no call runs after this returns.
    void close() noexcept {
        // Each side stores, then loads what the other stores: pass() enters,
        // then looks at the gate; close() shuts the gate, then looks inside.
        // Only when all four are sequentially consistent is one total order
        // guaranteed, in which either close() sees the call inside (and waits
        // for it) or the call sees the gate closed. With a weaker load here,
        // close() may read "nobody inside" from before the call entered while
        // the call still reads the gate open.
        open_.store(false);
        while (inside_.load() != 0) std::this_thread::yield();
    }
    void open() noexcept { open_.store(true); }

private:
    std::atomic<bool> open_;
    std::atomic<int> inside_{0};
};

}  // namespace zendra
