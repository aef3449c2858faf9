// Plays the bank's sounds by slot, in native units: gain in dB, pan in
// [-1, 1], rate in Hz, positions in frames. Each slot is one voice of the
// mixer; a new bank replaces them all at once.
//
// Threads: every member belongs to the window thread, except
// startFromDevice, which one device thread at a time (a MIDI input's
// realtime callback) may call while the window thread goes on.
#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "sound/sample_data.h"

namespace zendra {

class OutputEngine;

class SamplePlayer {
public:
    static constexpr int kSlots = 16;
    // Gain at or below this is silence.
    static constexpr double kSilentDb = -100.0;

    explicit SamplePlayer(std::shared_ptr<OutputEngine> engine);
    ~SamplePlayer();
    SamplePlayer(const SamplePlayer&) = delete;
    SamplePlayer& operator=(const SamplePlayer&) = delete;

    // Replaces every slot's sound: slot i plays sounds[i] at its own rate,
    // full gain, centred, not looping, stopped. What played before is cut off.
    // Throws SoundError when the mixer has no voice left (nothing changes then).
    void load(std::vector<std::shared_ptr<SampleData>> sounds);
    int count() const { return static_cast<int>(slots_.size()); }
    bool has(int slot) const { return slot >= 0 && slot < count(); }
    const SampleData* sound(int slot) const;

    // Start a sample: cut off, rewind to its first frame, play looping or
    // once as its loop setting says, at `level` (0..1) times its gain.
    void start(int slot, float level = 1.0f);
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
    void setRateHz(int slot, int hz);

    bool playing(int slot) const;
    bool looping(int slot) const;  // playing and looping
    int64_t position(int slot) const;
    bool loops(int slot) const;
    double gainDb(int slot) const;
    double pan(int slot) const;
    int rateHz(int slot) const;

    // [device] Starts a slot in the next audio block, as start() does, from
    // what the window thread last set; false when it cannot (no such slot,
    // too many starts waiting). Never waits, never allocates.
    bool startFromDevice(int slot, float level) noexcept;

    // Publishes what was set to the audio thread now, rather than after the
    // current event.
    void flush();

    // The two sides' linear gains for a gain and pan.
    static std::pair<float, float> sideGains(double db, double pan);

private:
    struct Slot {
        int voice = -1;
        std::shared_ptr<SampleData> data;
        bool loop = false;
        double gainDb = 0.0;
        double pan = 0.0;
        int rateHz = 0;
    };
    void sendGains(int slot);
    void publish(int slot);

    std::shared_ptr<OutputEngine> engine_;
    std::vector<Slot> slots_;
    // What a device thread reads to start a slot: voice, loop flag and the
    // voice's attach sequence, packed in one word so it is read whole.
    std::array<std::atomic<uint64_t>, kSlots> published_{};
};

}  // namespace zendra
