// The sample bank: the loaded files and, for each of the sixteen slots, what
// the player has set, in native units. A slot's settings outlive the bank it
// was set for: a new bank keeps them (the windows show them as before),
// while its sounds start afresh.
//
// Every change is signalled once, after it is made, and only when something
// changed, unless the setter is told to signal anyway (a kit's setting that
// must reach a new sound although the slot already holds it).
// Threads: the window thread only.
#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

namespace zendra::model {

inline constexpr int kSlots = 16;

inline constexpr int kMaxLayers = 8;
inline constexpr int kMuteGroups = 8;

// One of a slot's velocity layers: the file played for notes struck within
// its velocities (1..127), at its own gain on top of the slot's.
struct Layer {
    QString file;
    int minVelocity = 1;
    int maxVelocity = 127;
    double gainDb = 0.0;
    bool operator==(const Layer&) const = default;
};

// How a sound swells and fades: attack to full, decay to the sustain level
// (0..1), held; release to silence once the note is let go, only when
// releaseOnNoteOff (a one-shot drum plays on).
struct Envelope {
    double attackMs = 0.0;
    double decayMs = 0.0;
    double sustain = 1.0;
    double releaseMs = 0.0;
    bool releaseOnNoteOff = false;
    bool operator==(const Envelope&) const = default;
    bool shapes() const { return *this != Envelope{}; }
};

// What the player sets for one slot.
struct SampleSlot {
    QString file;  // absolute path; empty above the loaded bank
    QString name;  // a name of its own; empty: the file's name
    bool loop = true;
    double gainDb = 0.0;  // 0 dB plays as recorded; -100 dB and below is silence
    double pan = 0.0;     // -1 left .. 1 right
    int rateHz = 1000;    // the rate the player chose; the sound may still play at its own
    bool paused = false;
    // What was typed to bind a key to the slot: null when never asked, empty
    // when asked and nothing typed. The key is its last character.
    QString key;
    // Velocity layers, `file` among them; empty: `file` alone.
    std::vector<Layer> layers;
    int defaultLayer = -1;  // what keys and pads play; -1: the loudest
    int muteGroup = 0;      // 1..8: starting the slot stops the group's others; 0: none
    Envelope envelope;
    // The part of the sound that plays, and loops (frames; end -1: to the end).
    int64_t startFrame = 0;
    int64_t endFrame = -1;
    bool operator==(const SampleSlot&) const = default;

    // The files to load for the slot: its layers', else its own.
    QStringList soundFiles() const;
};

// The character that plays a slot from the Tap Pad: the bound key; "=" for
// a slot never bound (its caption ends "n ="), a space for one bound to
// nothing (the caption ends "n = ").
inline QChar tapCharacter(const SampleSlot& s) {
    if (!s.key.isEmpty()) return s.key.back();
    return s.key.isNull() ? QLatin1Char('=') : QLatin1Char(' ');
}
// The bound key as a kit keeps it: one character, empty for none.
inline QString boundKey(const SampleSlot& s) { return s.key.isEmpty() ? QString() : QString(s.key.back()); }

enum class Field { Loop, Gain, Pan, Rate, Paused, Key, Name, Layers, MuteGroup, Envelope, Range };

class SampleBank : public QObject {
    Q_OBJECT
public:
    explicit SampleBank(QObject* parent = nullptr) : QObject(parent) {}

    // Slots 0..count()-1 hold a loaded sound.
    int count() const { return count_; }
    bool loaded(int i) const { return i >= 0 && i < count_; }
    const SampleSlot& slot(int i) const { return slots_.at(static_cast<size_t>(i)); }
    QStringList files() const;
    // The name to show: the slot's own, else its file's name without folder.
    QString displayName(int i) const;

    // A new bank of `files` (at most sixteen) has replaced the old one: their
    // settings stay, the files change, each the slot's one sound (no layers).
    // Signals replaced() once.
    void replace(const QStringList& files);
    // The same with whole slots (an imported kit): files, layers and every
    // setting. Signals replaced() once.
    void replaceSlots(const std::vector<SampleSlot>& incoming);
    // Forgets everything (tests, a fresh start).
    void clear();

    enum class Signal { IfChanged, Always };
    void setLoop(int i, bool on, Signal s = Signal::IfChanged);
    void setGainDb(int i, double db, Signal s = Signal::IfChanged);
    void setPan(int i, double pan, Signal s = Signal::IfChanged);
    void setRateHz(int i, int hz, Signal s = Signal::IfChanged);
    void setPaused(int i, bool paused);
    void setKey(int i, const QString& key);  // null and empty differ (see SampleSlot::key)
    void setName(int i, const QString& name);
    // Layers beyond eight are dropped; ranges are put in order.
    void setLayers(int i, std::vector<Layer> layers, int defaultLayer = -1);
    void setMuteGroup(int i, int group);  // outside 0..8: none
    void setEnvelope(int i, const Envelope& e);
    void setRange(int i, int64_t startFrame, int64_t endFrame);

signals:
    void changed(int slot, zendra::model::Field field);
    void replaced();

private:
    template <typename T>
    void set(int i, T SampleSlot::*member, T value, Field f, Signal s);

    std::array<SampleSlot, kSlots> slots_{};
    int count_ = 0;
};

}  // namespace zendra::model
