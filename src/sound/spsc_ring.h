// Bounded single-producer single-consumer ring: one thread puts items in,
// another takes them out, and neither ever waits or allocates. The producer
// may stage several items and publish them together, so that what one event
// does is seen whole.
//
// Memory order, for both sides: the producer writes a slot, then publishes
// its index by a release store of published_, so the consumer's acquire load
// of published_ sees every slot written before it. The consumer reads its
// slots, then frees them by a release store of read_, so the producer's
// acquire load of read_ sees them read before it writes there again. Each
// index has one writer, which reads its own index relaxed.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>

namespace zendra {

template <typename T, size_t Capacity>
class SpscRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // Producer: stages an item for the next commit; false when full.
    bool stage(const T& item) {
        if (staged_ - read_.load(std::memory_order_acquire) >= Capacity) return false;
        ring_[staged_ & (Capacity - 1)] = item;
        ++staged_;
        return true;
    }
    // Producer: publishes everything staged so far.
    void commit() { published_.store(staged_, std::memory_order_release); }
    // Producer: stages one item and publishes it; false when full.
    bool push(const T& item) {
        if (!stage(item)) return false;
        commit();
        return true;
    }

    // Consumer: visits every published item in order, each once.
    template <typename F>
    void drain(F&& f) {
        size_t r = read_.load(std::memory_order_relaxed);
        const size_t end = published_.load(std::memory_order_acquire);
        for (; r != end; ++r) f(ring_[r & (Capacity - 1)]);
        read_.store(r, std::memory_order_release);
    }

private:
    std::array<T, Capacity> ring_{};
    size_t staged_ = 0;  // producer only
    alignas(64) std::atomic<size_t> published_{0};
    alignas(64) std::atomic<size_t> read_{0};
};

}  // namespace zendra
