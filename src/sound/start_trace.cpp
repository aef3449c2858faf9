#include "sound/start_trace.h"

#include <chrono>

namespace zendra {

StartTrace::StartTrace(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {}

StartTrace::~StartTrace() {
    if (file_ != nullptr) std::fclose(file_);
}

void StartTrace::asked() noexcept {
    if (file_ == nullptr || askedCount_ >= kMax) return;
    const int done = appliedCount_.load(std::memory_order_acquire);
    for (; written_ < done; ++written_) {
        std::fprintf(file_, "%lld %lld\n", static_cast<long long>(asked_[written_].load(std::memory_order_relaxed)),
                     static_cast<long long>(applied_[written_].load(std::memory_order_relaxed)));
    }
    std::fflush(file_);
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    asked_[askedCount_++].store(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
                                std::memory_order_relaxed);
}

void StartTrace::applied(int64_t nanos) noexcept {
    const int k = appliedCount_.load(std::memory_order_relaxed);
    if (k >= kMax) return;
    applied_[k].store(nanos, std::memory_order_relaxed);
    appliedCount_.store(k + 1, std::memory_order_release);
}

}  // namespace zendra
