#include "sound/device_closer.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace zendra {

namespace {

struct Closer {
    std::mutex lock;
    std::condition_variable wake;  // work arrived
    std::condition_variable idle;  // a close finished
    std::deque<std::shared_ptr<void>> queue;
    uint64_t handed = 0, closed = 0;
    bool started = false;

    void run() {
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            wake.wait(hold, [this] { return !queue.empty(); });
            std::shared_ptr<void> device = std::move(queue.front());
            queue.pop_front();
            hold.unlock();
            device.reset();  // may block for as long as the device likes
            hold.lock();
            ++closed;
            idle.notify_all();
        }
    }
};

// Never destroyed: at exit a close that is still blocked is simply left behind.
Closer& closer() {
    static Closer* c = new Closer;
    return *c;
}

}  // namespace

void closeLater(std::shared_ptr<void> device) {
    if (!device) return;
    Closer& c = closer();
    std::lock_guard<std::mutex> hold(c.lock);
    if (!c.started) {
        c.started = true;
        std::thread([&c] { c.run(); }).detach();
    }
    c.queue.push_back(std::move(device));
    ++c.handed;
    c.wake.notify_one();
}

bool waitForClosedDevices(std::chrono::milliseconds timeout) {
    Closer& c = closer();
    std::unique_lock<std::mutex> hold(c.lock);
    const uint64_t target = c.handed;
    return c.idle.wait_for(hold, timeout, [&] { return c.closed >= target; });
}

}  // namespace zendra
