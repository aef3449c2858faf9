// Keeps the set-up as it changes, so that a crash, a kill or a power cut
// loses at most the last second or so. It is told when the set-up (the bank,
// its settings and key bindings, the MIDI mapping) or a kept setting
// (capture device, the Sample Dock's folder) may have changed; a single-shot
// timer then gathers what follows, and the window thread compares the set-up
// with what it kept last: at once when nothing was written within the last
// second, else a second after the last write. While nothing changes no timer
// runs. A changed set-up goes to a thread of its own, which writes it as the
// last session atomically: a temporary file, flushed to the disk, renamed
// into place. Two copies of the program each replace the whole file, so the
// one that writes last wins, whole.
//
// A write that fails (a full disk, a folder that cannot be written) is told
// once, in a box that does not wait for an answer; play goes on and the file
// kept before stays as it was. The next write that succeeds ends the trouble.
#pragma once
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace zendra::kits {

struct KitContext;

class SessionKeeper : public QObject {
    Q_OBJECT
public:
    // Window thread. Compares nothing until told of a change.
    explicit SessionKeeper(const KitContext& ctx, QObject* parent = nullptr);
    // Waits for a write under way, then ends the writer; a write not begun
    // yet is dropped.
    ~SessionKeeper() override;
    SessionKeeper(const SessionKeeper&) = delete;
    SessionKeeper& operator=(const SessionKeeper&) = delete;

    // The keeper of this run, if one is keeping.
    static SessionKeeper* running();

    // Window thread: something kept may have changed; compared within
    // minGapMs. Connected to every signal of a change (see followSetUp).
    void changed();
    // Window thread: compares now (or, within minGapMs of the last write, as
    // soon as the gap is over), and hands a changed set-up to the writer.
    void keepNow();
    // A comparison is due (tests).
    bool due() const { return timer_.isActive(); }
    // Window thread, as the program ends: keeps what is there now and waits
    // until it is written.
    void finish();

    static inline int minGapMs = 1000;  // between two writes

private:
    void writeLoop();  // the writer thread
    void reportFailure(const QString& why);

    const KitContext& ctx_;
    QTimer timer_{this};   // single-shot: runs only while a comparison is due
    QByteArray lastKept_;  // window thread
    QElapsedTimer lastWrite_;
    bool troubleTold_ = false;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<std::pair<QString, QByteArray>> pending_;  // path, bytes; the newest wins
    bool writing_ = false;
    bool stop_ = false;
    std::thread writer_;
};

}  // namespace zendra::kits
