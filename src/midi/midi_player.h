// Plays the samples from the open MIDI input: each note-on goes, through the
// window thread, to the Sample Pad's pad of its sample, as a Tap Pad key
// does. The MIDI system's thread only queues notes and wakes the window
// thread; the window thread plays them and publishes the sound at once. Keeps the chosen input (re-opened by name when it comes back) and
// the note mapping in the settings, for the next run when remembering.
#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

class QSocketNotifier;
#include <atomic>
#include <cstdint>
#include <memory>

#include "midi/midi_mapping.h"
#include "midi/midi_parser.h"
#include "sound/spsc_ring.h"

namespace zendra::midi {

class MidiInputs;

class MidiPlayer : public QObject {
    Q_OBJECT
public:
    // Notes waiting for the window thread; more are dropped (and counted).
    static constexpr size_t kQueue = 1024;

    explicit MidiPlayer(QObject* parent = nullptr);
    ~MidiPlayer() override;
    // The player made by the main window, or null.
    static MidiPlayer* instance();

    // One message of the input, on the MIDI system's thread (under JACK its
    // realtime cycle): never waits, never allocates.
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
    int learning() const { return learning_; }
    uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

    // Looks for inputs again (a timer does this every second).
    void refresh();

signals:
    void changed();

private:
    // Window thread, woken by the eventfd: plays the queued notes.
    void drain();
    void save() const;

    SpscRing<NoteOn, kQueue> queue_;
    std::atomic<uint64_t> dropped_{0};
    MidiParser parser_;                     // MIDI thread only
    int wakeFd_ = -1;                       // eventfd: the MIDI thread's wake-up call
    QSocketNotifier* wake_ = nullptr;       // watches it on the window thread
    std::atomic<bool> wakeWritten_{false};  // a wake-up is on its way
    std::unique_ptr<MidiInputs> inputs_;
    QTimer timer_;
    MidiMapping mapping_;
    QString chosen_;
    bool chosenSet_ = false;
    int learning_ = -1;
    QStringList lastInputs_;
    QString lastOpen_;
};

}  // namespace zendra::midi
