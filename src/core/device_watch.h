// Keeps an eye on the output device: when it is lost (its audio server went
// away) the player is told once, and it is reopened as soon as it is back,
// with every sample bank and setting as it was.
#pragma once
#include <QObject>
#include <QTimer>

namespace zendra {

class DeviceWatch : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatch(QObject* parent = nullptr);
    // One look at the device (the timer calls this twice a second).
    void check();
    bool lostNow() const { return lost_; }

signals:
    void statusChanged(const QString& text);

private:
    QTimer timer_;
    bool lost_ = false;
};

}  // namespace zendra
