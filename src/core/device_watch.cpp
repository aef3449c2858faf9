#include "core/device_watch.h"

#include <cstdio>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "sound/output_engine.h"

namespace zendra {

DeviceWatch::DeviceWatch(QObject* parent) : QObject(parent) {
    timer_.setInterval(500);
    connect(&timer_, &QTimer::timeout, this, &DeviceWatch::check);
    timer_.start();
}

void DeviceWatch::check() {
    if (!DXMoudule::ds) return;
    OutputEngine& engine = *DXMoudule::ds->engine();
    if (!schedulingTold_ && engine.realtime()) {
        const AudioThreadScheduling s = engine.scheduling();
        if (s.known) {
            schedulingTold_ = true;
            std::fprintf(stderr, "Zendra: audio thread %s\n", s.describe().c_str());
        }
    }
    if (engine.lost()) {
        if (!lost_) {
            lost_ = true;
            emit statusChanged(QStringLiteral("The sound device was lost. Reconnecting..."));
            dialogs::notice(QStringLiteral("The sound device stopped working (its audio server may have stopped). "
                                           "Zendra keeps running and will reconnect by itself as soon as the "
                                           "device is back."),
                            QStringLiteral("Sound device lost"));
        }
        engine.reopen();
    }
    // Back only once the reopened device plays: until then a loss is the same one.
    if (lost_ && engine.delivering()) {
        lost_ = false;
        schedulingTold_ = false;
        emit statusChanged(QStringLiteral("The sound device is back."));
    }
}

}  // namespace zendra
