// Closes audio devices on a thread of its own. Closing a device waits for its
// thread, and a capture thread can wait for data that never comes (a
// suspended source): the window thread hands the device over and goes on.
#pragma once
#include <chrono>
#include <memory>

namespace zendra {

// Takes the object and destroys it later on the closing thread, in the order
// handed over. Anything that its callbacks reach must outlive it or be
// detached from it before the hand-over.
void closeLater(std::shared_ptr<void> device);

template <typename T>
void closeLater(std::unique_ptr<T> device) {
    if (device) closeLater(std::shared_ptr<void>(std::move(device)));
}

// Waits until every device handed over so far is closed; false on timeout.
bool waitForClosedDevices(std::chrono::milliseconds timeout);

}  // namespace zendra
