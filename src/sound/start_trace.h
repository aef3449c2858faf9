// For measuring where a start's time goes: when the window thread asked for
// each start and when the audio thread applied it (steady clock, comparable
// across processes). Kept only when the program is started with
// ZENDRA_START_TRACE=PATH, in PATH.PID.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace zendra {

class StartTrace {
public:
    // [window] Opens `path` for writing; unusable (every call does nothing) if it cannot.
    explicit StartTrace(const std::string& path);
    ~StartTrace();
    StartTrace(const StartTrace&) = delete;
    StartTrace& operator=(const StartTrace&) = delete;

    // [window] Stamps a start asked for now, and writes a line "asked_ns
    // applied_ns" for each start the audio thread has applied since.
    void asked() noexcept;
    // [audio] The next start asked for took effect in the block begun at
    // `nanos`: two atomic stores, nothing else.
    void applied(int64_t nanos) noexcept;

private:
    static constexpr int kMax = 1 << 14;
    std::unique_ptr<std::atomic<int64_t>[]> asked_ { new std::atomic<int64_t>[ kMax ]() };
    std::unique_ptr<std::atomic<int64_t>[]> applied_ { new std::atomic<int64_t>[ kMax ]() };
    int askedCount_ = 0;
    std::atomic<int> appliedCount_{0};
    int written_ = 0;
    std::FILE* file_ = nullptr;
};

}  // namespace zendra
