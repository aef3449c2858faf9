// Decodes the files of a sample bank on worker threads, every file even when
// some fail, so that every failure can be named at once. No user-interface
// code: the caller polls or waits, then builds the sound buffers itself. The
// files share one memory budget (kMaxBankBytes).
#pragma once
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sound/sample_data.h"
#include "sound/sound_file.h"

namespace zendra {

class BankDecoder {
public:
    struct Failure {
        size_t index;
        std::string message;  // names the file and the reason
    };
    // Runs on a worker thread before slot `index` is decoded (tests use it to
    // hold a load in progress).
    using Hook = std::function<void(size_t index)>;

    // Starts decoding at once; threads = 0 picks one per core (at most one per file).
    explicit BankDecoder(std::vector<std::string> paths, unsigned threads = 0, Hook beforeEach = {})
        : paths_(std::move(paths)),
          hook_(std::move(beforeEach)),
          data_(paths_.size()),
          errors_(paths_.size()) {
        unsigned n = threads ? threads : std::max(1u, std::thread::hardware_concurrency());
        n = static_cast<unsigned>(std::min<size_t>(n, paths_.size()));
        running_ = n;
        if (n == 0) finished_ = true;
        workers_.reserve(n);
        for (unsigned t = 0; t < n; ++t) workers_.emplace_back([this] { work(); });
    }

    // Stops decoding and waits for the workers.
    ~BankDecoder() {
        cancel();
        for (std::thread& w : workers_) w.join();
    }

    BankDecoder(const BankDecoder&) = delete;
    BankDecoder& operator=(const BankDecoder&) = delete;

    size_t total() const { return paths_.size(); }
    size_t completed() const { return completed_.load(); }

    bool finished() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return finished_;
    }

    // Waits until every worker has stopped; true when finished in time.
    template <typename Rep, typename Period>
    bool waitFor(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return done_.wait_for(lock, timeout, [this] { return finished_; });
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return finished_; });
    }

    // Stops the decoding, also of the files under way.
    void cancel() { cancelled_ = true; }
    bool cancelled() const { return cancelled_.load(); }

    // After finished(): every failing slot, in slot order.
    std::vector<Failure> failures() const {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<Failure> all;
        for (size_t i = 0; i < errors_.size(); ++i) {
            if (errors_[i]) all.push_back({i, *errors_[i]});
        }
        return all;
    }

    // After finished() without failure or cancel: the decoded sound per slot.
    std::vector<std::shared_ptr<SampleData>> take() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::move(data_);
    }

private:
    void work() {
        while (!cancelled_) {
            const size_t i = next_.fetch_add(1);
            if (i >= paths_.size()) break;
            std::shared_ptr<SampleData> d;
            std::optional<std::string> error;
            try {
                if (hook_) hook_(i);
                d = std::make_shared<SampleData>(readSoundFile(paths_[i], {kMaxSampleBytes, &budget_, &cancelled_}));
            } catch (const std::bad_alloc&) {
                error = "Cannot load \"" + paths_[i] + "\": there is not enough memory to hold its sound.";
            } catch (const std::exception& e) {
                error = e.what();
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (error) {
                errors_[i] = std::move(error);
            } else {
                data_[i] = std::move(d);
            }
            ++completed_;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (--running_ == 0) {
            finished_ = true;
            done_.notify_all();
        }
    }

    const std::vector<std::string> paths_;
    const Hook hook_;
    std::vector<std::shared_ptr<SampleData>> data_;
    std::vector<std::optional<std::string>> errors_;
    std::vector<std::thread> workers_;
    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::atomic<size_t> next_{0};
    std::atomic<size_t> completed_{0};
    std::atomic<bool> cancelled_{false};
    SoundBudget budget_;
    unsigned running_ = 0;
    bool finished_ = false;
};

}  // namespace zendra
