// Plays the bank's sounds by slot, in native units: gain in dB, pan in
// [-1, 1], rate in Hz, positions in frames, velocities 1..127 as MIDI sends
// them. A slot holds up to eight velocity layers, each one voice of the
// mixer; a new bank replaces them all at once. Starting a slot cuts off
// whatever its layers and the other slots of its mute group play.
//
// Threads: every member belongs to the window thread, except
// startFromDevice and releaseFromDevice, which one device thread at a time
// (a MIDI input's realtime callback) may call while the window thread goes on.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "sound/envelope.h"
#include "sound/sample_data.h"

namespace zendra {

class OutputEngine;

class SamplePlayer {
public:
    static constexpr int kSlots = 16;
    // Gain at or below this is silence.
    static constexpr double kSilentDb = -100.0;
    static constexpr int kMaxLayers = 8;
    static constexpr int kMuteGroups = 8;

    // One sound of a slot, played for the velocities [minVelocity, maxVelocity].
    struct Layer {
        std::shared_ptr<SampleData> sound;
        int minVelocity = 1;
        int maxVelocity = 127;
        double gainDb = 0.0;  // on top of the slot's gain
    };
    struct SlotSounds {
        std::vector<Layer> layers;  // 1 .. kMaxLayers
        int defaultLayer = -1;      // what a start without velocity plays; -1: the highest velocity range
    };

    explicit SamplePlayer(std::shared_ptr<OutputEngine> engine);
    ~SamplePlayer();
    SamplePlayer(const SamplePlayer&) = delete;
    SamplePlayer& operator=(const SamplePlayer&) = delete;

    // Replaces every slot's sounds: slot i plays the layers of slots[i] at
    // their own rates, at full gain plus each layer's own, centred, not
    // looping, stopped, in no mute group, with the flat envelope, from the
    // first frame to the last. What played before is cut off. Throws
    // SoundError for a layer without sound or with a velocity range outside
    // 1..127, or when the mixer has no voice left (nothing changes then).
    void load(std::vector<SlotSounds> slots);
    // One layer per slot, for every velocity.
    void load(std::vector<std::shared_ptr<SampleData>> sounds);
    int count() const { return static_cast<int>(slots_.size()); }
    bool has(int slot) const { return slot >= 0 && slot < count(); }
    const SampleData* sound(int slot) const;  // its default layer's
    int layers(int slot) const;
    const SampleData* sound(int slot, int layer) const;
    // The layer a start at `velocity` plays (velocity < 0: the default
    // layer): the one whose range holds it, else the one nearest to it.
    int layerFor(int slot, int velocity) const;

    // Start a sample: cut off, rewind to its first frame, play looping or
    // once as its loop setting says, at `level` (0..1) times its gain, the
    // layer for `velocity` (< 0: the default layer).
    void start(int slot, float level = 1.0f, int velocity = -1);
    // A note-off: the slot starts its release, if its envelope releases on note-off.
    void release(int slot);
    void stop(int slot);    // stays where it is
    void resume(int slot);  // from where it stopped, looping as set
    void rewind(int slot);  // to its first frame; playing or not as before
    // A playing (or stopped) sound plays on from where it is, looping or to its end.
    void playOn(int slot, bool loop);
    // Whether a start plays looping; a sound playing now plays on as it was.
    void setLoop(int slot, bool loop);
    void setGainDb(int slot, double db);
    // -1 left .. 1 right: the far side is attenuated by |pan| x 100 dB.
    void setPan(int slot, double pan);
    // The rate of its default layer; the other layers keep their pitch relative to it.
    void setRateHz(int slot, int hz);
    // 0: none, 1 .. kMuteGroups: a start of the slot cuts off the group's other slots.
    void setMuteGroup(int slot, int group);
    // Applies from the slot's next start.
    void setEnvelope(int slot, const Envelope& e);
    // Frames [first, end) of each layer are played (end < 0: to its end);
    // starts and loops begin at first. Clamped to each layer's length.
    void setRange(int slot, int64_t first, int64_t end);

    bool playing(int slot) const;
    bool looping(int slot) const;  // playing and looping
    int64_t position(int slot) const;
    bool loops(int slot) const;
    double gainDb(int slot) const;
    double pan(int slot) const;
    int rateHz(int slot) const;
    int muteGroup(int slot) const;
    Envelope envelope(int slot) const;
    int64_t rangeFirst(int slot) const;
    int64_t rangeEnd(int slot) const;  // -1: to the end

    // [device] Starts a slot in the next audio block, as start() does, from
    // what the window thread last set, the layer for `velocity` (< 0: the
    // default layer); false when it cannot (no such slot, too many starts
    // waiting). Never waits, never allocates.
    bool startFromDevice(int slot, float level, int velocity = -1) noexcept;
    // [device] A note-off for the slot in the next audio block, as release() does.
    bool releaseFromDevice(int slot) noexcept;

    // Publishes what was set to the audio thread now, rather than after the
    // current event.
    void flush();

    // The two sides' linear gains for a gain and pan.
    static std::pair<float, float> sideGains(double db, double pan);

private:
    struct Voice {
        int voice = -1;
        std::shared_ptr<SampleData> data;
        int minVelocity = 1, maxVelocity = 127;
        double gainDb = 0.0;
    };
    struct Slot {
        std::vector<Voice> layers;
        int defaultLayer = 0;
        int lastLayer = 0;  // started or stopped last from here
        bool loop = false;
        double gainDb = 0.0;
        double pan = 0.0;
        int rateHz = 0;
        int group = 0;
        Envelope envelope;
        int64_t first = 0, end = -1;
    };
    using Words = std::array<std::atomic<uint64_t>, kMaxLayers>;
    static uint64_t pick(const Words& words, int velocity) noexcept;
    int current(int slot) const;  // the layer playing, else the last one started or stopped
    void sendGains(int slot);
    void publish(int slot);
    void unpublish();

    std::shared_ptr<OutputEngine> engine_;
    std::vector<Slot> slots_;
    // What a device thread reads to start a slot: per layer its voice, loop
    // flag, velocity range, whether it is the default, and the voice's attach
    // sequence, packed in one word so that each is read whole; 0: no layer.
    std::array<Words, kSlots> published_{};
};

}  // namespace zendra
