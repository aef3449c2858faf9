// Which note plays which sample, and whether velocity sets the level.
// Notes on any channel count. By default notes 36..51 play samples 1..16,
// the usual layout of a sixteen-pad controller.
#pragma once
#include <array>
#include <cmath>

class QJsonObject;

namespace zendra::midi {

inline constexpr int kSamples = 16;
inline constexpr int kFirstPadNote = 36;

// Level of a note struck at `velocity` (1..127): the square of velocity/127,
// i.e. 40 * log10(velocity / 127) dB: 127 plays at full level, 64 about
// -12 dB, 32 about -24 dB, 1 about -84 dB.
inline float velocityLevel(int velocity) {
    const float v = static_cast<float>(velocity < 0 ? 0 : velocity > 127 ? 127 : velocity) / 127.0f;
    return v * v;
}

// Note name as a keyboard player reads it, middle C (60) being "C4".
inline const char* noteLetter(int note) {
    static const char* names[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return names[((note % 12) + 12) % 12];
}
inline int noteOctave(int note) { return note / 12 - 1; }

class MidiMapping {
public:
    MidiMapping() { reset(); }

    void reset() {
        for (int i = 0; i < kSamples; ++i) notes_[i] = kFirstPadNote + i;
    }
    // The sample (0-based) a note plays, or -1.
    int sampleFor(int note) const {
        for (int i = 0; i < kSamples; ++i)
            if (notes_[i] == note) return i;
        return -1;
    }
    // The note that plays a sample, or -1 for none.
    int noteOf(int sample) const { return sample >= 0 && sample < kSamples ? notes_[sample] : -1; }
    // From now on `note` plays `sample`, and only it: a sample that had this
    // note before loses it.
    void learn(int sample, int note) {
        if (sample < 0 || sample >= kSamples || note < 0 || note > 127) return;
        for (int& n : notes_)
            if (n == note) n = -1;
        notes_[sample] = note;
    }

    bool velocity = true;  // velocity sets the level; when off, every note plays at full level
    float levelOf(int vel) const { return velocity ? velocityLevel(vel) : 1.0f; }

    // {"notes": [16 note numbers, -1 for none], "velocity": bool}; missing or
    // out-of-range entries keep their defaults.
    QJsonObject toJson() const;
    static MidiMapping fromJson(const QJsonObject& o);

    bool operator==(const MidiMapping&) const = default;

private:
    std::array<int, kSamples> notes_{};
};

}  // namespace zendra::midi
