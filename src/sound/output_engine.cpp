#include "sound/output_engine.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <sched.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "sound/device_closer.h"
#include "sound/ds_types.h"

namespace zendra {

namespace {
// ZENDRA_BUFFER_FRAMES=256 or 512 starts at a larger buffer (a slow machine;
// comparing with a client at that size); anything else is the default.
int startingFrames() {
    const char* asked = std::getenv("ZENDRA_BUFFER_FRAMES");
    const std::string frames = asked != nullptr ? asked : "";
    return frames == "256" ? 256 : frames == "512" ? 512 : OutputEngine::kDefaultFrames;
}
}  // namespace

std::shared_ptr<OutputEngine> AudioBackend::outputEngine(const std::string& device) {
    auto& slot = engines_[device];
    if (auto engine = slot.lock()) return engine;
    auto engine = std::make_shared<OutputEngine>(*this, device, startingFrames());
    slot = engine;
    return engine;
}

OutputEngine::OutputEngine(AudioBackend& backend, const std::string& device, int frames)
    : backend_(backend),
      deviceName_(device),
      mixer_(std::make_unique<Mixer>(48000)),
      framesWanted_(frames) {
    // Until live_ is set the device plays silence, so the mixer can follow
    // the rate the device grants.
    device_ = backend.openOutput(device, framesWanted_, &feeds_[deviceFeed_]);
    adoptDevice();
}

namespace {
int64_t steadyNanos(std::chrono::steady_clock::time_point t = std::chrono::steady_clock::now()) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

// The calling thread's own CPU time: time it was pre-empted is not in it.
uint64_t threadCpuNanos() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

// How often the calling thread has left its CPU, willingly or not.
uint64_t threadSwitches() {
    rusage use{};
    getrusage(RUSAGE_THREAD, &use);
    return static_cast<uint64_t>(use.ru_nvcsw + use.ru_nivcsw);
}
}  // namespace

std::atomic<bool> OutputEngine::threadUseMeasured_{false};

void OutputEngine::adoptDevice() {
    lastCallbackNanos_.store(steadyNanos(), std::memory_order_relaxed);
    calledBack_.store(false, std::memory_order_relaxed);
    rate_ = device_->rate();
    realtime_ = device_->realtime();
    // Rendering on demand (offline) is never late.
    judgedRate_.store(realtime_ ? std::max(rate_, 1) : 0, std::memory_order_relaxed);
    bufferResized(device_->bufferFrames());
    mixer_->setDeviceRate(rate_);
    live_.store(mixer_.get(), std::memory_order_release);
}

void OutputEngine::closeDevice() {
    live_.store(nullptr, std::memory_order_release);
    if (!device_) return;
    device_->detach();                                      // no callback after this
    restartLateness_.store(-1, std::memory_order_relaxed);  // not judged until the next device is adopted
    closeLater(std::move(device_));
}

OutputEngine::~OutputEngine() {
    closeDevice();
    mixer_.reset();
}

LossSignal::LossSignal() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

LossSignal::~LossSignal() {
    if (fd_ >= 0) close(fd_);
}

void LossSignal::raise() noexcept {
    if (fd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(fd_, &one, sizeof one);  // full (never in practice): raised anyway
}

bool LossSignal::take() noexcept {
    uint64_t count = 0;
    return fd_ >= 0 && read(fd_, &count, sizeof count) == static_cast<ssize_t>(sizeof count) && count > 0;
}

void OutputEngine::deviceLost() noexcept { lossSignal_->raise(); }

bool AudioThreadScheduling::realtime() const { return policy == SCHED_FIFO || policy == SCHED_RR; }

std::string AudioThreadScheduling::describe() const {
    if (!known) return "not known yet";
    if (realtime()) {
        return std::string("realtime (") + (policy == SCHED_FIFO ? "SCHED_FIFO" : "SCHED_RR") + ", priority " +
               std::to_string(priority) + ")";
    }
    return "not realtime (normal scheduling, nice " + std::to_string(nice) + ")";
}

void OutputEngine::bufferResized(int frames) noexcept {
    bufferFrames_.store(frames, std::memory_order_relaxed);
    const int rate = judgedRate_.load(std::memory_order_relaxed);
    restartLateness_.store(rate > 0 ? int64_t{1'000'000'000} * frames / rate : -1, std::memory_order_relaxed);
}

void OutputEngine::Feed::render(float* out, int frames) noexcept {
    if (engine_.playingFeed_.load(std::memory_order_acquire) != index_) {
        // The device being crossed to runs: the playing one hands over after its next block.
        if (engine_.incomingFeed_.load(std::memory_order_relaxed) == index_)
            engine_.incomingRuns_.store(true, std::memory_order_release);
        std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
        return;
    }
    engine_.render(out, frames);
    if (engine_.incomingRuns_.load(std::memory_order_acquire)) {
        engine_.incomingRuns_.store(false, std::memory_order_relaxed);
        // Released after this block, so the next callback to mix sees all it did.
        engine_.playingFeed_.store(engine_.incomingFeed_.load(std::memory_order_relaxed), std::memory_order_release);
    }
}

void OutputEngine::Feed::bufferResized(int frames) noexcept {
    if (engine_.playingFeed_.load(std::memory_order_acquire) == index_) engine_.bufferResized(frames);
}

void OutputEngine::render(float* out, int frames) noexcept {
    const auto start = std::chrono::steady_clock::now();
    const int64_t startNanos = steadyNanos(start);
    // Two system calls, only when measuring.
    const bool measure = threadUseMeasured_.load(std::memory_order_relaxed);
    const uint64_t cpuStart = measure ? threadCpuNanos() : 0, switchesStart = measure ? threadSwitches() : 0;
    lastCallbackNanos_.store(startNanos, std::memory_order_relaxed);
    if (restartLateness_.load(std::memory_order_relaxed) != 0) {
        lateness_.restart(std::max<int64_t>(restartLateness_.exchange(0, std::memory_order_relaxed), 0));
        latenessPeriod_.store(lateness_.period(), std::memory_order_relaxed);
    }
    if (lateness_.onCallback(startNanos)) late_.fetch_add(1, std::memory_order_relaxed);
    if (!calledBack_.load(std::memory_order_relaxed)) {
        firstCallbackNanos_.store(startNanos, std::memory_order_relaxed);
        calledBack_.store(true, std::memory_order_release);
    }
    callbackFrames_.store(frames, std::memory_order_relaxed);
    if (!schedulingKnown_.load(std::memory_order_relaxed)) {
        // Plain system calls: no lock, no allocation.
        sched_param param{};
        sched_getparam(0, &param);
        schedPolicy_.store(sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, std::memory_order_relaxed);
        schedPriority_.store(param.sched_priority, std::memory_order_relaxed);
        schedNice_.store(getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))), std::memory_order_relaxed);
        schedulingKnown_.store(true, std::memory_order_release);
    }
    Mixer* m = live_.load(std::memory_order_acquire);
    if (m == nullptr) {
        std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
        return;
    }
    const int asked = frames;
    while (frames > 0) {
        const int n = std::min(frames, Mixer::kMaxBlock);
        m->render(out, n);
        out += 2 * n;
        frames -= n;
    }
    const auto nanos = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count());
    const auto bucket = std::min<uint64_t>(nanos / 10000, CallbackTimes::kBuckets - 1);
    timeBuckets_[bucket].fetch_add(1, std::memory_order_relaxed);
    calls_.fetch_add(1, std::memory_order_relaxed);
    if (nanos > maxNanos_.load(std::memory_order_relaxed)) {
        maxNanos_.store(nanos, std::memory_order_relaxed);
        maxAtNanos_.store(startNanos, std::memory_order_relaxed);
        maxFrames_.store(asked, std::memory_order_relaxed);
        if (measure) {
            maxCpuNanos_.store(threadCpuNanos() - cpuStart, std::memory_order_relaxed);
            maxSwitches_.store(threadSwitches() - switchesStart, std::memory_order_relaxed);
        }
    }
}

bool OutputEngine::playedSteadily() const {
    return calledBack_.load(std::memory_order_acquire) &&
           lastCallbackNanos_.load(std::memory_order_relaxed) - firstCallbackNanos_.load(std::memory_order_relaxed) >=
               kSteadyNanos;
}

bool OutputEngine::lost() const {
    if (!device_ || device_->lost()) return true;
    const int64_t quiet = device_->quietLossNanos();
    return realtime_ && quiet > 0 && steadyNanos() - lastCallbackNanos_.load(std::memory_order_relaxed) > quiet;
}

bool OutputEngine::stalledAtStart() const {
    return lost() && device_ && calledBack_.load(std::memory_order_acquire) && !playedSteadily();
}

bool OutputEngine::delivering() const { return !lost() && (!realtime_ || playedSteadily()); }

bool OutputEngine::reopen() {
    if (!lost()) return true;
    return reopenWithBuffer(framesWanted_);
}

bool OutputEngine::reopenWithBuffer(int frames) {
    framesWanted_ = frames;
    // In place where the device can: its callbacks go on, every voice from
    // the frame it was at, and no gap is heard.
    if (device_ && !device_->lost() && device_->resize(frames)) {
        bufferResized(frames);
        return true;
    }
    if (device_ && realtime_ && !lost()) return crossOver(frames);
    closeDevice();
    schedulingKnown_.store(false, std::memory_order_relaxed);  // a new device, a new thread
    try {
        device_ = backend_.openOutput(deviceName_, framesWanted_, &feeds_[deviceFeed_]);
    } catch (const SoundError&) {
        device_.reset();
        return false;
    }
    adoptDevice();
    return true;
}

bool OutputEngine::crossOver(int frames) {
    const int next = 1 - deviceFeed_;
    incomingRuns_.store(false, std::memory_order_relaxed);
    incomingFeed_.store(next, std::memory_order_relaxed);
    std::unique_ptr<OutputDevice> fresh;
    try {
        fresh = backend_.openOutput(deviceName_, frames, &feeds_[next]);
    } catch (const SoundError&) {
        incomingFeed_.store(-1, std::memory_order_relaxed);
        return true;  // the playing device plays on at its size
    }
    if (fresh->rate() == rate_) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(kCrossOverNanos);
        while (playingFeed_.load(std::memory_order_acquire) != next && std::chrono::steady_clock::now() < until)
            usleep(1000);
    }
    // No callback of the old device after this; if it has not handed over
    // (it stalled, or the new one never ran, or its rate differs) the new
    // one takes over now.
    device_->detach();
    const bool handedOver = playingFeed_.load(std::memory_order_acquire) == next;
    if (!handedOver) {
        live_.store(nullptr, std::memory_order_release);
        playingFeed_.store(next, std::memory_order_release);
    }
    closeLater(std::move(device_));
    device_ = std::move(fresh);
    deviceFeed_ = next;
    incomingFeed_.store(-1, std::memory_order_relaxed);
    schedulingKnown_.store(false, std::memory_order_relaxed);  // a new device, a new thread
    if (handedOver)
        bufferResized(device_->bufferFrames());
    else
        adoptDevice();
    return true;
}

CallbackTimes OutputEngine::callbackTimes() const {
    CallbackTimes t;
    for (int i = 0; i < CallbackTimes::kBuckets; ++i) t.counts[i] = timeBuckets_[i].load(std::memory_order_relaxed);
    t.calls = calls_.load(std::memory_order_relaxed);
    t.maxNanos = maxNanos_.load(std::memory_order_relaxed);
    t.maxAtNanos = maxAtNanos_.load(std::memory_order_relaxed);
    t.maxCpuNanos = maxCpuNanos_.load(std::memory_order_relaxed);
    t.maxSwitches = maxSwitches_.load(std::memory_order_relaxed);
    t.maxFrames = maxFrames_.load(std::memory_order_relaxed);
    t.late = late_.load(std::memory_order_relaxed);
    t.periodNanos = 1e9 * bufferFrames() / rate();
    return t;
}

AudioThreadScheduling OutputEngine::scheduling() const {
    AudioThreadScheduling s;
    s.known = schedulingKnown_.load(std::memory_order_acquire);
    if (!s.known) return s;
    s.policy = schedPolicy_.load(std::memory_order_relaxed);
    s.priority = schedPriority_.load(std::memory_order_relaxed);
    s.nice = schedNice_.load(std::memory_order_relaxed);
    return s;
}

std::vector<float> OutputEngine::renderOffline(int frames) {
    if (realtime_) throw SoundError(DSERR_INVALIDCALL, "The output device renders in real time.");
    std::vector<float> out(2 * static_cast<size_t>(frames));
    // A block at a time, publishing before each what the queue could not hold.
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, Mixer::kMaxBlock);
        mixer_->flush();
        render(out.data() + 2 * static_cast<size_t>(done), n);
        done += n;
    }
    mixer_->collectGarbage();
    return out;
}

}  // namespace zendra
