// Mixes every live sound buffer into one stereo float stream.
// Threads: members marked [window] belong to the window thread (the one that
// owns the sound buffers); [audio] to the device's callback thread; [any] may
// be called from either. The two meet only through the command ring and
// per-voice atomics.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "sound/envelope.h"
#include "sound/sample_data.h"
#include "sound/sinc_kernel.h"
#include "sound/spsc_ring.h"

namespace zendra {

// One change to a voice, from the window thread to the audio thread.
struct MixCommand {
    enum Type : uint8_t {
        Attach,
        Detach,
        Play,
        Stop,
        SetPosition,
        SetRate,
        SetGain,
        ReplaceData,
        Start,
        Link,
        SetEnvelope,
        SetRange,
        Release
    };
    Type type = Play;
    uint8_t group = 0;  // Link: the mute group
    int16_t voice = 0;
    uint32_t seq = 0;
    int64_t value = 0;      // frames, Hz, loop flag, the next layer (Link) or a range (SetRange)
    float gainLeft = 1.0f;  // Start: the level of this play
    float gainRight = 1.0f;
    const SampleData* data = nullptr;
    Envelope envelope;  // SetEnvelope
};

// A sound started by a device's own thread (a MIDI input's callback): the
// voice as the window thread last attached it, so that a voice detached or
// given to another sound in the meantime is left alone.
struct DeviceStart {
    enum Kind : uint8_t { Start, Release };
    Kind kind = Start;  // Release: a note-off (see Mixer::release)
    int16_t voice = -1;
    bool loop = false;
    uint32_t attachSeq = 0;
    float level = 1.0f;
};

class StartTrace;

class Mixer {
public:
    static constexpr int kMaxVoices = 256;
    static constexpr int kMaxBlock = 1024;
    static constexpr int kGainRampFrames = 64;
    static constexpr int kMuteGroups = 8;

    explicit Mixer(int deviceRate);  // [window]
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    int deviceRate() const { return deviceRate_; }  // [window]

    // [window] Voices and what they play. Each call stages a command for the
    // audio thread; flush() publishes them.
    int attach(const SampleData* data, int rate);  // -1 when every voice is taken
    void detach(int voice, std::shared_ptr<const void> keepAlive);
    void replaceData(int voice, const SampleData* data, std::shared_ptr<const void> keepAlive);
    void play(int voice, bool loop);
    void stop(int voice);
    void setPosition(int voice, int64_t frame);
    void setRate(int voice, int hz);
    void setGain(int voice, float left, float right);
    // Starts a voice afresh: cut off what it plays (with a short fade), from
    // its first frame, looping or once, at `level` (0..1) times its gains.
    // One command, so all of it takes effect in one audio block.
    // Starting a voice also fades out, as a cut-off does, the other layers
    // of its sound and every voice of its mute group.
    void start(int voice, bool loop, float level);
    // [window] Stamps each start asked for and applied from now on (for
    // measuring; null: none). The trace must outlive the mixer.
    void traceStarts(StartTrace* trace) { startTrace_.store(trace, std::memory_order_release); }
    // The layers of one sound form a ring through `nextLayer` (the voice
    // itself or -1: a sound of one layer); `group` is its mute group, 1 ..
    // kMuteGroups, or 0 for none.
    void link(int voice, int nextLayer, int group);
    // How the voice's level moves in each play (see envelope.h); a change
    // applies from the next start.
    void setEnvelope(int voice, const Envelope& e);
    // The frames it plays, [first, end) (end < 0: to the end of the sound):
    // starts and loops begin at `first`, a play ends or loops at `end`.
    void setRange(int voice, int64_t first, int64_t end);
    // A note-off: the voice and the other layers of its sound start their
    // release, if their envelope releases on note-off; otherwise nothing.
    void release(int voice);
    // [window] The sequence number of a voice's attach, for DeviceStart.
    uint32_t attachSeq(int voice) const { return shadow_[voice].attachSeq; }
    // [window] A voice as the window thread last left it, or as the audio
    // thread has played it since.
    int32_t status(int voice) const;    // playing 1, looping 4
    int64_t position(int voice) const;  // frame
    bool attached(int voice) const;     // the audio thread has taken the voice on
    // [window] Publishes the staged commands to the audio thread. What the
    // ring cannot hold yet follows on later flushes (re-posted while a poster
    // is set).
    void flush();
    // [window] Commands sent that the audio thread has not applied yet.
    bool pending() const;
    // [window] Frees what the audio thread no longer reads.
    void collectGarbage();

    // [window] How staged commands get flushed: by default at once; an event
    // loop can install a poster that flushes after the current event has been
    // handled.
    using FlushPoster = std::function<void(std::function<void()>)>;
    static void setFlushPoster(FlushPoster poster);

    // [window] Only while no audio thread runs (the device is closed): a
    // reopened device may run at another rate.
    void setDeviceRate(int rate);

    // [device] One thread at a time (a MIDI input's callback): starts a
    // voice in the next audio block, without the window thread; false when
    // too many are waiting. Never waits, never allocates.
    bool startFromDevice(const DeviceStart& s) noexcept { return deviceStarts_.push(s); }
    // [device] The same thread: a note-off for the voice, as release() does.
    bool releaseFromDevice(DeviceStart s) noexcept {
        s.kind = DeviceStart::Release;
        return deviceStarts_.push(s);
    }

    // [audio] Applies the published commands and mixes the next frames; never
    // waits, never allocates.
    void render(float* interleavedStereo, int frames) noexcept;

private:
    std::atomic<StartTrace*> startTrace_{nullptr};
    struct Voice {
        const SampleData* data = nullptr;
        int64_t frames = 0;
        double pos = 0.0;
        double step = 1.0;
        int rateHz = 0;
        const SincTable* table = nullptr;
        bool playing = false;
        bool looping = false;
        uint32_t attachSeq = 0;
        float gainL = 1.0f, gainR = 1.0f;
        float baseL = 1.0f, baseR = 1.0f;  // as set; the target is these times the play's level
        float level = 1.0f;
        float targetL = 1.0f, targetR = 1.0f;
        int rampLeft = 0;
        // A cut-off sound fades out over a few frames instead of clicking.
        double tailPos = 0.0;
        float tailL = 0.0f, tailR = 0.0f;
        int tailLeft = 0;
        int64_t tailFirst = 0, tailEnd = 0;  // the frames it was playing
        bool tailLoop = false;
        // Cut or moved since the last block: a cut now has nothing new to fade.
        bool unheard = false;
        // The frames played, [first, end), as asked (end < 0: to the end) and as they fit the sound.
        int64_t wantFirst = 0, wantEnd = -1;
        int64_t first = 0, end = 0;
        // The other layers of its sound (a ring; -1: none), its mute group.
        int16_t nextLayer = -1;
        uint8_t group = 0;
        // The envelope: its shape, and where this play is in it. The level
        // moves by envStep for envLeft more frames; at 0 frames left it holds.
        Envelope env;
        enum Stage : uint8_t { Attack, Decay, Sustain, Releasing } stage = Sustain;
        float envLevel = 1.0f;
        float envStep = 0.0f;
        int envLeft = 0;
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

    // [window]
    void send(MixCommand c);
    void scheduleFlush();
    // [audio] (setRate also from setDeviceRate, while no audio thread runs)
    void apply(const MixCommand& c) noexcept;
    void mixVoice(Voice& v, float* out, int frames) noexcept;
    void startTail(Voice& v) noexcept;
    void startVoice(int voice, bool loop, float level) noexcept;
    void releaseVoice(int voice) noexcept;
    void cutOff(Voice& v) noexcept;
    void setGroup(int voice, int group) noexcept;
    void fitRange(Voice& v) noexcept;
    void startEnvelope(Voice& v) noexcept;
    void nextStage(Voice& v) noexcept;
    int fillEnvelope(Voice& v, int frames) noexcept;
    int envFrames(float ms) const noexcept;
    void fillScratch(const Voice& v, int64_t first, int span) noexcept;
    void setRate(Voice& v, int hz) noexcept;

    int deviceRate_;  // read by both; changed only while no audio thread runs
    // Written by the audio thread, read by the window thread.
    std::vector<Published> published_;
    std::atomic<uint32_t> appliedSeq_{0};
    // [audio] state.
    std::vector<Voice> voices_;
    static constexpr int kScratch = 8192;
    std::vector<float> scratchL_, scratchR_;
    std::vector<float> dotL_ = std::vector<float>(kMaxBlock), dotR_ = std::vector<float>(kMaxBlock);
    std::vector<float> env_ = std::vector<float>(kMaxBlock);
    // The voices of each mute group (index 1 .. kMuteGroups), one bit each.
    static constexpr int kMaskWords = kMaxVoices / 64;
    uint64_t groupVoices_[kMuteGroups + 1][kMaskWords] = {};
    const SincKernels& kernels_;
    SincDotFn sincDot_;
    // [window] state.
    std::vector<Shadow> shadow_;
    std::vector<int> freeVoices_;
    std::deque<MixCommand> overflow_;
    std::deque<Retired> retired_;
    uint32_t seq_ = 0;
    bool flushScheduled_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

    SpscRing<MixCommand, 8192> queue_;
    SpscRing<DeviceStart, 512> deviceStarts_;
};

}  // namespace zendra
