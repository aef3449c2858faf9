// Bounded single-producer single-consumer ring carrying notes from the MIDI
// thread to the window thread. Neither side ever waits: when the ring is
// full the newest notes are dropped and counted.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "midi/midi_parser.h"

namespace zendra::midi {

template <size_t Capacity>
class NoteQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // Producer: false when full (the note is dropped).
    bool push(const NoteOn& n) {
        const size_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) >= Capacity) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        ring_[w & (Capacity - 1)] = n;
        write_.store(w + 1, std::memory_order_release);
        return true;
    }
    // Consumer: visits every note queued so far, each once.
    template <typename F>
    void drain(F&& f) {
        size_t r = read_.load(std::memory_order_relaxed);
        const size_t end = write_.load(std::memory_order_acquire);
        for (; r != end; ++r) f(ring_[r & (Capacity - 1)]);
        read_.store(r, std::memory_order_release);
    }
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

private:
    std::array<NoteOn, Capacity> ring_{};
    alignas(64) std::atomic<size_t> write_{0};
    alignas(64) std::atomic<size_t> read_{0};
    std::atomic<uint64_t> dropped_{0};
};

}  // namespace zendra::midi
