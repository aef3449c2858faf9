// Single-producer single-consumer ring of commands from the user-interface
// thread to the audio thread. The producer stages commands and publishes
// them together with commit(), so what one event does lands in one block.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace zendra {

struct SampleData;

struct MixCommand {
    enum Type : uint8_t { Attach, Detach, Play, Stop, SetPosition, SetRate, SetGain, ReplaceData };
    Type type = Play;
    int16_t voice = 0;
    uint32_t seq = 0;
    int64_t value = 0;          // frames, Hz or loop flag
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
    const SampleData* data = nullptr;
};

template <size_t Capacity>
class CommandQueue {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    // Producer side.
    bool stage(const MixCommand& c) {
        if (staged_ - read_.load(std::memory_order_acquire) >= Capacity) return false;
        ring_[staged_ & (Capacity - 1)] = c;
        ++staged_;
        return true;
    }
    void commit() { committed_.store(staged_, std::memory_order_release); }
    bool hasStaged() const { return staged_ != committed_.load(std::memory_order_relaxed); }

    // Consumer side: visit every committed command in order.
    template <typename F>
    void drain(F&& f) {
        size_t r = read_.load(std::memory_order_relaxed);
        const size_t end = committed_.load(std::memory_order_acquire);
        while (r != end) {
            f(ring_[r & (Capacity - 1)]);
            ++r;
        }
        read_.store(r, std::memory_order_release);
    }

private:
    std::array<MixCommand, Capacity> ring_{};
    size_t staged_ = 0;  // producer only
    alignas(64) std::atomic<size_t> committed_{0};
    alignas(64) std::atomic<size_t> read_{0};
};

}  // namespace zendra
