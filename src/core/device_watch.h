// Keeps an eye on the output device: when it is lost (its audio server went
// away) the player is told once, and it is reopened as soon as it is back,
// with every sample bank and setting as it was. A stream that stalls as it
// starts is first reopened without a word. When the sound keeps dropping
// out it moves the device to the next larger buffer and says so (unless the
// buffer belongs to the server). It also tells, once per opened device, the
// sound system, the buffer and what scheduling the audio thread got (one line
// on stderr), and once in the status bar when the system asked for could not
// be opened and another plays instead. A loss the audio system announces
// (PipeWire, JACK) is seen at once; the rest (SDL, a device gone quiet) at
// the next look, twice a second (ten times in the first 30 s of a loss).
// Window thread.
#pragma once
#include <QObject>
#include <QTimer>

class QSocketNotifier;
#include <chrono>
#include <memory>

#include "sound/buffer_step.h"
#include "sound/output_engine.h"

namespace zendra {

class DXMoudule;

class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(DXMoudule& shared, QObject* parent = nullptr);
    // One look at the device (the timer calls this every intervalMs, and a
    // loss the device announces at once).
    void check();
    static inline int intervalMs = 500;
    // For kLookOftenAfterLoss after a loss: it is reopened this soon after its server is back.
    static inline int lostIntervalMs = 100;
    static constexpr std::chrono::seconds kLookOftenAfterLoss{30};
    bool lostNow() const { return lost_; }

signals:
    void statusChanged(const QString& text);

private:
    DXMoudule& shared_;
    void tellSystem(OutputEngine& engine, const AudioThreadScheduling& scheduling);
    // Watches the announcements of the engine playing now.
    void followEngine();

    QTimer timer_;
    std::shared_ptr<LossSignal> lossSignal_;
    QSocketNotifier* lossNotifier_ = nullptr;
    bool lost_ = false;
    std::chrono::steady_clock::time_point lostAt_;
    bool schedulingTold_ = false;
    bool fallbackTold_ = false;
    bool restarted_ = false;  // quietly reopened after stalling at its start; not played steadily since
    BufferStep bufferStep_;
};

}  // namespace zendra
