// Mixes every live sound buffer into one stereo float stream.
// Control methods belong to the user-interface thread; render() to the audio
// thread. They meet only through the command queue and per-voice atomics.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "sound/spsc_ring.h"
#include "sound/sinc_kernel.h"
#include "sound/sample_data.h"

namespace zendra {

struct SampleData;

// One change to a voice, from the window thread to the audio thread.
struct MixCommand {
    enum Type : uint8_t { Attach, Detach, Play, Stop, SetPosition, SetRate, SetGain, ReplaceData };
    Type type = Play;
    int16_t voice = 0;
    uint32_t seq = 0;
    int64_t value = 0;  // frames, Hz or loop flag
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
    const SampleData* data = nullptr;
};

class Mixer {
public:
    static constexpr int kMaxVoices = 256;
    static constexpr int kMaxBlock = 1024;
    static constexpr int kGainRampFrames = 64;

    explicit Mixer(int deviceRate);
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    int deviceRate() const { return deviceRate_; }

    // --- user-interface thread ---
    int attach(const SampleData* data, int rate);  // -1 when every voice is taken
    void detach(int voice, std::shared_ptr<const void> keepAlive);
    void replaceData(int voice, const SampleData* data, std::shared_ptr<const void> keepAlive);
    void play(int voice, bool loop);
    void stop(int voice);
    void setPosition(int voice, int64_t frame);
    void setRate(int voice, int hz);
    void setGain(int voice, float left, float right);
    int32_t status(int voice) const;     // playing 1, looping 4
    int64_t position(int voice) const;   // frame
    bool attached(int voice) const;      // the audio thread has taken the voice on
    // Publishes the staged commands to the audio thread. What the queue cannot
    // hold yet follows on later flushes (re-posted while a poster is set).
    void flush();
    // Commands sent that the audio thread has not applied yet.
    bool pending() const;
    // Frees what the audio thread no longer reads.
    void collectGarbage();

    // How staged commands get flushed: by default at once; an event loop can
    // install a poster that flushes after the current event has been handled.
    using FlushPoster = std::function<void(std::function<void()>)>;
    static void setFlushPoster(FlushPoster poster);

    // Only while no audio thread runs (the device is closed): a reopened
    // device may run at another rate.
    void setDeviceRate(int rate);

    // --- audio thread ---
    void render(float* interleavedStereo, int frames) noexcept;
    uint64_t framesRendered() const { return framesRendered_.load(std::memory_order_relaxed); }

private:
    struct Voice {
        const SampleData* data = nullptr;
        int64_t frames = 0;
        double pos = 0.0;
        double step = 1.0;
        int rateHz = 0;
        const SincTable* table = nullptr;
        bool playing = false;
        bool looping = false;
        float gainL = 1.0f, gainR = 1.0f;
        float targetL = 1.0f, targetR = 1.0f;
        int rampLeft = 0;
        // A cut-off sound fades out over a few frames instead of clicking.
        double tailPos = 0.0;
        float tailL = 0.0f, tailR = 0.0f;
        int tailLeft = 0;
    };
    struct Published {
        std::atomic<uint32_t> appliedSeq{0};
        std::atomic<int32_t> status{0};
        std::atomic<int64_t> position{0};
    };
    struct Shadow {
        uint32_t lastSeq = 0;
        uint32_t attachSeq = 0;
        int32_t status = 0;
        int64_t position = 0;
        bool inUse = false;
    };
    struct Retired {
        uint32_t seq;
        std::shared_ptr<const void> keepAlive;
    };

    void send(MixCommand c);
    void scheduleFlush();
    void apply(const MixCommand& c) noexcept;
    void mixVoice(Voice& v, float* out, int frames) noexcept;
    void startTail(Voice& v) noexcept;
    void fillScratch(const Voice& v, int64_t first, int span) noexcept;
    void setRate(Voice& v, int hz) noexcept;

    int deviceRate_;
    // Audio thread state.
    std::vector<Voice> voices_;
    std::vector<Published> published_;
    std::atomic<uint32_t> appliedSeq_{0};
    std::atomic<uint64_t> framesRendered_{0};
    static constexpr int kScratch = 8192;
    std::vector<float> scratchL_, scratchR_;
    std::vector<float> dotL_ = std::vector<float>(kMaxBlock), dotR_ = std::vector<float>(kMaxBlock);
    const SincKernels& kernels_;
    SincDotFn sincDot_;
    // User-interface thread state.
    std::vector<Shadow> shadow_;
    std::vector<int> freeVoices_;
    std::deque<MixCommand> overflow_;
    std::deque<Retired> retired_;
    uint32_t seq_ = 0;
    bool flushScheduled_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    SpscRing<MixCommand, 8192> queue_;
};

}  // namespace zendra
