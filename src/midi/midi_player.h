// Plays the samples from the open MIDI input. The MIDI system's thread (under
// JACK its realtime cycle) maps each note-on to its sample from a copy of the
// mapping it reads without waiting, and starts it through the player's
// device path, so the sound starts in the next audio block whatever the
// window thread is doing. Only a note struck while a sample is learning its
// note goes to the window thread, which learns it and then plays it. Keeps
// the chosen input (re-opened by name when it comes back) and the note
// mapping in the settings, for the next run when remembering.
#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QSocketNotifier;
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "midi/midi_mapping.h"
#include "midi/midi_parser.h"
#include "sound/callback_gate.h"
#include "sound/spsc_ring.h"

namespace zendra {
class SamplePlayer;
}

namespace zendra::midi {

class MidiInputs;

class MidiPlayer : public QObject {
    Q_OBJECT
public:
    // Notes waiting for the window thread; more are dropped (and counted).
    static constexpr size_t kQueue = 1024;

    // Window thread. `sound` plays the notes; it is kept while this lives.
    explicit MidiPlayer(std::shared_ptr<SamplePlayer> sound, QObject* parent = nullptr);
    ~MidiPlayer() override;

    // One message of the input, on the MIDI system's thread (under JACK its
    // realtime cycle), one thread at a time: never waits, never allocates.
    void receive(const uint8_t* bytes, size_t count);

    bool anySystem() const;
    QStringList inputs() const;
    QString openInput() const;
    // The input the player chose (empty for none); unset means the first found.
    QString chosenInput() const { return chosen_; }
    bool inputChosen() const { return chosenSet_; }
    void chooseInput(const QString& name);

    const MidiMapping& mapping() const { return mapping_; }
    void setVelocity(bool on);
    void resetMapping();
    void setMapping(const MidiMapping& mapping);  // as a kit brings it
    // The next note struck plays `sample` from then on (-1: stop learning).
    void learn(int sample);
    int learning() const { return learning_.load(std::memory_order_relaxed); }
    // Notes lost: the window thread's queue or the audio thread's was full.
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

    // Looks for inputs again (a timer does this every second).
    void refresh();

signals:
    void changed();

private:
    // Window thread, woken by the eventfd: learns and plays the queued notes.
    void drain();
    void save() const;
    // Window thread: the MIDI thread's copy of the mapping follows mapping_.
    void publishMapping();

    SpscRing<NoteOn, kQueue> queue_;
    std::atomic<uint64_t> dropped_{0};
    MidiParser parser_;                     // MIDI thread only
    int wakeFd_ = -1;                       // eventfd: the MIDI thread's wake-up call
    QSocketNotifier* wake_ = nullptr;       // watches it on the window thread
    std::atomic<bool> wakeWritten_{false};  // a wake-up is on its way
    std::unique_ptr<MidiInputs> inputs_;
    QTimer timer_;
    MidiMapping mapping_;  // window thread
    // The MIDI thread's copy: the sample of each note (-1: none) and whether
    // velocity sets the level.
    std::array<std::atomic<int8_t>, 128> sampleOfNote_{};
    std::atomic<bool> velocity_{true};
    std::atomic<int> learning_{-1};
    std::shared_ptr<SamplePlayer> sound_;
    QString chosen_;
    bool chosenSet_ = false;
    QStringList lastInputs_;
    QString lastOpen_;
};

}  // namespace zendra::midi
