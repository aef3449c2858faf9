// One opened output device and the mixer that feeds it.
// Threads: members marked [window] belong to the window thread (the one that
// opened the device); [audio] to the device's callback thread; [any] may be
// called from either.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/audio_backend.h"
#include "sound/lateness.h"
#include "sound/mixer.h"

namespace zendra {

// How long the audio callback takes: a histogram in 10-microsecond buckets.
struct CallbackTimes {
    static constexpr int kBuckets = 1000;  // up to 10 ms; the last bucket takes the rest
    uint64_t counts[kBuckets] = {};
    uint64_t calls = 0;
    uint64_t maxNanos = 0;
    int64_t maxAtNanos = 0;    // when the longest one started (steady clock)
    uint64_t maxCpuNanos = 0;  // the audio thread's own CPU time in the longest one
    uint64_t maxSwitches = 0;  // times the audio thread left its CPU during it
    int maxFrames = 0;         // frames the device asked for in it
    uint64_t late = 0;         // callbacks that came so late that the device ran dry
    double periodNanos = 0;    // one device buffer
};

// How the device's audio thread is scheduled, as seen from inside it.
struct AudioThreadScheduling {
    bool known = false;  // false until the first callback
    int policy = 0;      // SCHED_OTHER, SCHED_FIFO, SCHED_RR, ...
    int priority = 0;    // realtime priority (0 for normal policies)
    int nice = 0;
    bool realtime() const;
    std::string describe() const;  // e.g. "realtime (SCHED_RR, priority 50)"
};

// Wakes the window thread when a device announces its loss: an eventfd,
// written by whichever thread learns it and read empty by the window thread,
// which watches it (see lossSignal()). Shared, so that the descriptor stays
// open while the watcher holds it.
class LossSignal {
public:
    LossSignal();
    ~LossSignal();
    LossSignal(const LossSignal&) = delete;
    LossSignal& operator=(const LossSignal&) = delete;
    // [any] The descriptor to watch for reading; -1 when none could be made.
    int fd() const { return fd_; }
    // [any] One write(2): never waits, never allocates.
    void raise() noexcept;
    // [window] Whether it was raised since the last take; reads it empty.
    bool take() noexcept;

private:
    int fd_ = -1;
};

class OutputEngine : public OutputCallback {
    // One device's way into the engine: while two are open (a step to
    // another buffer size), only the playing one's callbacks mix.
    class Feed : public OutputCallback {
    public:
        Feed(OutputEngine& engine, int index) : engine_(engine), index_(index) {}
        void render(float* interleavedStereo, int frames) noexcept override;  // [audio]
        void bufferResized(int frames) noexcept override;                     // [audio]
        void deviceLost() noexcept override { engine_.deviceLost(); }         // [any]

    private:
        OutputEngine& engine_;
        int index_;
    };

public:
    // [window] Opens the device; throws SoundError when it cannot be opened.
    OutputEngine(AudioBackend& backend, const std::string& device, int frames = kDefaultFrames);
    static constexpr int kDefaultFrames = 128;  // ~2.7 ms at 48 kHz: what players feel
    ~OutputEngine() override;                   // [window]

    Mixer& mixer() { return *mixer_; }            // [window] its control side (see mixer.h)
    AudioBackend& backend() { return backend_; }  // [window]
    // [window] The device as opened.
    int rate() const { return rate_; }
    // [any] Follows the device when it changes its buffer (JACK's server can).
    int bufferFrames() const { return bufferFrames_.load(std::memory_order_relaxed); }
    bool realtime() const { return realtime_; }
    bool bufferFixed() const { return device_ && device_->bufferFixed(); }

    // [window] The device stopped (its server went away, it was unplugged,
    // ...), or gave no callback for as long as it allows (see quietLossNanos).
    bool lost() const;
    // [window] Raised when the device announces a loss, so that the window
    // thread need not wait for its next look at lost(). Devices that give no
    // such event (or go quiet) are only seen by looking.
    const std::shared_ptr<LossSignal>& lossSignal() const { return lossSignal_; }
    // [window] Lost by going quiet after its first callbacks, before it ever
    // played steadily: a stream that stalled as it started (SDL's own
    // PipeWire driver does so now and then), not a server that went away.
    bool stalledAtStart() const;
    // [window] The device delivers: offline, or it has kept calling back for
    // kSteadyNanos since it opened. A reopened stream can open and never be
    // called back while its server is only half up, or be called back once
    // and then stall.
    bool delivering() const;
    static constexpr int64_t kSteadyNanos = 100'000'000;
    // [window] Closes a lost device and opens it again; the mixer and every
    // buffer carry on. False while it cannot be opened yet.
    bool reopen();
    // [window] Asks the device for another buffer size (kept for later
    // reopenings): in place where it can, else by opening it again beside
    // the playing one and crossing over between two of its callbacks, so
    // that every voice plays on from the same frame. A lost device is closed
    // and opened again; false, and lost, when it cannot be opened.
    bool reopenWithBuffer(int frames);
    // [window] How long a step waits for the new device to run before it
    // stops the old one and crosses over anyway.
    static constexpr int64_t kCrossOverNanos = 300'000'000;
    // [any] Frames the device asked for in its latest callback (0 before one).
    int callbackFrames() const { return callbackFrames_.load(std::memory_order_relaxed); }
    // [any] Callbacks that came so late that the device ran dry (see Lateness).
    uint64_t lateCallbacks() const { return late_.load(std::memory_order_relaxed); }
    // [any] The buffer period lateness is judged by (0: never late), as of
    // the latest callback.
    int64_t latenessPeriodNanos() const { return latenessPeriod_.load(std::memory_order_relaxed); }

    // [audio] Mixes the next frames; never waits, never allocates.
    void render(float* interleavedStereo, int frames) noexcept override;
    // [audio] Lateness starts afresh with the new period at the next render.
    void bufferResized(int frames) noexcept override;
    // [any] Raises lossSignal().
    void deviceLost() noexcept override;

    // [any] A snapshot of the callback's timing so far.
    CallbackTimes callbackTimes() const;
    // [any] Also measure the audio thread's own CPU time and switches
    // (maxCpuNanos, maxSwitches): two more system calls a callback, so only
    // when reported.
    static void measureThreadUse(bool on) { threadUseMeasured_.store(on, std::memory_order_relaxed); }
    // [any] What scheduling the audio thread got (known once it has called back).
    AudioThreadScheduling scheduling() const;

    // [window] Offline devices only: publish pending commands and mix the
    // next frames.
    std::vector<float> renderOffline(int frames);

private:
    void adoptDevice();
    // Detaches the device and leaves its closing to the closing thread.
    void closeDevice();
    // Opens a second device with `frames` and crosses over to it; false when
    // it could not be opened (the playing one plays on).
    bool crossOver(int frames);

    AudioBackend& backend_;
    std::string deviceName_;
    std::unique_ptr<Mixer> mixer_;
    std::unique_ptr<OutputDevice> device_;
    Feed feeds_[2]{{*this, 0}, {*this, 1}};
    int deviceFeed_ = 0;                 // [window] device_'s feed
    std::atomic<int> playingFeed_{0};    // the feed that mixes
    std::atomic<int> incomingFeed_{-1};  // a device being crossed to, else -1
    std::atomic<bool> incomingRuns_{false};
    int framesWanted_;
    int rate_ = 0;
    std::atomic<int> bufferFrames_{0};
    std::atomic<int> judgedRate_{0};  // the device's rate when its lateness is judged, else 0
    bool realtime_ = false;
    std::atomic<Mixer*> live_{nullptr};
    std::shared_ptr<LossSignal> lossSignal_ = std::make_shared<LossSignal>();
    std::unique_ptr<std::atomic<uint64_t>[]> timeBuckets_ { new std::atomic<uint64_t>[ CallbackTimes::kBuckets ]() };
    std::atomic<uint64_t> calls_{0};
    std::atomic<uint64_t> maxNanos_{0};
    bool playedSteadily() const;
    std::atomic<int64_t> lastCallbackNanos_{0};   // steady clock
    std::atomic<bool> calledBack_{false};         // since the device opened
    std::atomic<int64_t> firstCallbackNanos_{0};  // since the device opened; set before calledBack_
    std::atomic<int> callbackFrames_{0};
    std::atomic<int64_t> maxAtNanos_{0};
    std::atomic<uint64_t> maxCpuNanos_{0};
    std::atomic<uint64_t> maxSwitches_{0};
    std::atomic<int> maxFrames_{0};
    static std::atomic<bool> threadUseMeasured_;
    Lateness lateness_;                        // the audio thread's
    std::atomic<int64_t> restartLateness_{0};  // a period to restart it with; 0: none pending
    std::atomic<int64_t> latenessPeriod_{0};
    std::atomic<uint64_t> late_{0};
    // Read once by the audio thread on its first callback: policy, priority, nice.
    std::atomic<bool> schedulingKnown_{false};
    std::atomic<int> schedPolicy_{0};
    std::atomic<int> schedPriority_{0};
    std::atomic<int> schedNice_{0};
};

}  // namespace zendra
