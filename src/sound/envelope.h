// The loudness shape of one play of a sound: a linear attack from silence to
// full level, a linear decay to the sustain level, held while the sound plays,
// and on note-off (only when releaseOnNoteOff) a linear release to silence.
// Times are in milliseconds of output, whatever the device's rate; 0 skips
// the stage. A sound whose level decays or releases to 0 ends there.
#pragma once

namespace zendra {

struct Envelope {
    float attackMs = 0.0f;
    float decayMs = 0.0f;
    float sustain = 1.0f;  // 0..1
    float releaseMs = 0.0f;
    bool releaseOnNoteOff = false;  // false: a one-shot, note-off leaves it playing

    // The default shape: full level from the first frame, deaf to note-off.
    bool flat() const { return attackMs <= 0.0f && decayMs <= 0.0f && sustain >= 1.0f && !releaseOnNoteOff; }
    bool operator==(const Envelope&) const = default;
};

}  // namespace zendra
