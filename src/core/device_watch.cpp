#include "core/device_watch.h"

#include <QSocketNotifier>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "sound/output_engine.h"

namespace zendra {

DeviceWatch::DeviceWatch(DXMoudule& shared, QObject* parent) : QObject(parent), shared_(shared) {
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &DeviceWatch::check);
    timer_.start();
    followEngine();
}

void DeviceWatch::followEngine() {
    const std::shared_ptr<LossSignal> signal = shared_.ds ? shared_.ds->engine()->lossSignal() : nullptr;
    if (signal == lossSignal_) return;
    if (lossNotifier_ != nullptr) {  // perhaps inside its own activation
        lossNotifier_->setEnabled(false);
        lossNotifier_->deleteLater();
        lossNotifier_ = nullptr;
    }
    lossSignal_ = signal;
    if (!lossSignal_ || lossSignal_->fd() < 0) return;
    lossNotifier_ = new QSocketNotifier(lossSignal_->fd(), QSocketNotifier::Read, this);
    connect(lossNotifier_, &QSocketNotifier::activated, this, [this] {
        if (lossSignal_ && lossSignal_->take()) check();
    });
}

void DeviceWatch::tellSystem(OutputEngine& engine, const AudioThreadScheduling& scheduling) {
    const std::string fallback = engine.backend().fallbackNote();
    const std::string system = engine.backend().name();
    const int frames = engine.callbackFrames() > 0 ? engine.callbackFrames() : engine.bufferFrames();
    std::fprintf(stderr, "Zendra: %s%ssound through %s, buffer %d frames (%.1f ms%s), audio thread %s\n",
                 fallback.c_str(), fallback.empty() ? "" : "; ", system.c_str(), frames,
                 1000.0 * frames / engine.rate(), engine.bufferFixed() ? ", the server's" : "",
                 scheduling.describe().c_str());
    if (!fallback.empty() && !fallbackTold_) {
        fallbackTold_ = true;
        emit statusChanged(QString::fromStdString(fallback) + QStringLiteral(": playing through ") +
                           QString::fromStdString(system) + QStringLiteral("."));
    }
}

void DeviceWatch::check() {
    followEngine();
    if (!shared_.ds) return;
    OutputEngine& engine = *shared_.ds->engine();
    if (!schedulingTold_ && engine.realtime()) {
        const AudioThreadScheduling s = engine.scheduling();
        if (s.known) {
            schedulingTold_ = true;
            tellSystem(engine, s);
        }
    }
    if (!lost_ && !restarted_ && engine.stalledAtStart()) {
        restarted_ = true;  // one quiet restart; stalling again is a loss
        if (engine.reopen()) {
            schedulingTold_ = false;
            return;
        }
    }
    if (engine.lost()) {
        if (!lost_) {
            lost_ = true;
            lostAt_ = std::chrono::steady_clock::now();
            emit statusChanged(QStringLiteral("The sound device was lost. Reconnecting..."));
            dialogs::notice(QStringLiteral("The sound device stopped working (its audio server may have stopped). "
                                           "Zendra keeps running and will reconnect by itself as soon as the "
                                           "device is back."),
                            QStringLiteral("Sound device lost"));
        }
        if (engine.reopen()) schedulingTold_ = false;  // a new device: told again once it plays
    }
    // Back only once the reopened device plays: until then a loss is the same one.
    if (engine.delivering()) restarted_ = false;
    if (lost_ && engine.delivering()) {
        lost_ = false;
        bufferStep_ = BufferStep();  // lateness before the loss (a dying server's) does not count
        emit statusChanged(QStringLiteral("The sound device is back."));
    }
    // Looked at more often for a while after a loss: sound is back soon after its server.
    const bool soon = lost_ && std::chrono::steady_clock::now() - lostAt_ < kLookOftenAfterLoss;
    if (const int every = soon ? std::min(lostIntervalMs, intervalMs) : intervalMs; timer_.interval() != every)
        timer_.setInterval(every);
    // A server that owns the buffer (JACK) keeps its size.
    if (lost_ || !engine.realtime() || engine.bufferFixed()) return;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const int frames = bufferStep_.look(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(),
                                        engine.lateCallbacks(), engine.bufferFrames());
    if (frames == 0) return;
    const uint64_t late = engine.lateCallbacks();
    if (!engine.reopenWithBuffer(frames)) return;  // lost: the next look tells and reopens it
    const double ms = 1000.0 * engine.bufferFrames() / engine.rate();
    std::fprintf(stderr, "Zendra: sound dropping out (%llu late callbacks), audio buffer now %d frames (%.1f ms)\n",
                 static_cast<unsigned long long>(late), engine.bufferFrames(), ms);
    emit statusChanged(QStringLiteral("The sound kept dropping out: the audio buffer is now %1 frames (%2 ms).")
                           .arg(engine.bufferFrames())
                           .arg(ms, 0, 'f', 1));
}

}  // namespace zendra
