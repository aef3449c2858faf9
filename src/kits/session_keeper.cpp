#include "kits/session_keeper.h"

#include <algorithm>

#include "core/dialogs.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "kits/remembered.h"

namespace zendra::kits {

namespace {
SessionKeeper* g_running = nullptr;
}  // namespace

SessionKeeper::SessionKeeper(const KitContext& ctx, QObject* parent) : QObject(parent), ctx_(ctx) {
    g_running = this;
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &SessionKeeper::keepNow);
    writer_ = std::thread([this] { writeLoop(); });
}

SessionKeeper::~SessionKeeper() {
    if (g_running == this) g_running = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        pending_.reset();
    }
    wake_.notify_all();
    writer_.join();
}

SessionKeeper* SessionKeeper::running() { return g_running; }

void SessionKeeper::changed() {
    if (timer_.isActive()) return;  // the comparison due takes this change too
    const qint64 sinceWrite = lastWrite_.isValid() ? lastWrite_.elapsed() : minGapMs;
    timer_.start(static_cast<int>(std::max<qint64>(0, minGapMs - sinceWrite)));
}

void SessionKeeper::keepNow() {
    if (!settings::remembering()) return;
    if (lastWrite_.isValid() && lastWrite_.elapsed() < minGapMs) {  // compared once the gap is over
        timer_.start(static_cast<int>(minGapMs - lastWrite_.elapsed()));
        return;
    }
    timer_.stop();
    keepSettings(ctx_.shared);
    const QByteArray bytes = lastSessionBytes(ctx_);
    if (bytes.isEmpty() || bytes == lastKept_) return;  // no bank: the session kept before stays
    lastKept_ = bytes;
    lastWrite_.start();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.emplace(lastSessionPath(), bytes);
    }
    wake_.notify_all();
}

void SessionKeeper::finish() {
    timer_.stop();
    lastWrite_.invalidate();
    keepNow();
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return !pending_ && !writing_; });
}

void SessionKeeper::writeLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || pending_; });
        if (!pending_) return;
        const auto [path, bytes] = std::move(*pending_);
        pending_.reset();
        writing_ = true;
        lock.unlock();
        const QString error = writeWhole(bytes, path);
        QMetaObject::invokeMethod(
            this, [this, error] { reportFailure(error); }, Qt::QueuedConnection);
        lock.lock();
        writing_ = false;
        wake_.notify_all();
    }
}

// Window thread, after each write; `why` is empty when it succeeded.
void SessionKeeper::reportFailure(const QString& why) {
    if (why.isEmpty()) {
        troubleTold_ = false;
        return;
    }
    lastKept_.clear();
    changed();  // tried again a second after the failed write
    if (troubleTold_) return;
    troubleTold_ = true;
    dialogs::notice(QStringLiteral("Your set-up cannot be kept for the next start.\n%1\n\nPlaying goes on, and the "
                                   "set-up kept before stays as it was.")
                        .arg(why),
                    QStringLiteral("Zendra"));
}

}  // namespace zendra::kits
