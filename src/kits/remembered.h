// What one run keeps for the next, through the settings: the capture device,
// the Sample Dock's folder and the set-up as the last session's kit.
// Window thread.
#pragma once
#include <QByteArray>
#include <QString>

namespace zendra {
class DXMoudule;
}
class QObject;

namespace zendra::kits {

struct KitContext;

// The last session's kit, in the configuration folder.
QString lastSessionPath();
// The set-up as the last session's bytes; empty while no bank is loaded.
QByteArray lastSessionBytes(const KitContext& ctx);

// Puts the remembered capture device, if any, where the Record window reads it.
void restoreCaptureDevice(DXMoudule& shared);
// Keeps the capture device and the Sample Dock's folder in the settings
// where they changed.
void keepSettings(const DXMoudule& shared);
void keepSettings(const DXMoudule& shared);
class SessionKeeper;
// A keeper of the set-up for this run, told of every change to what it
// keeps: the bank, the MIDI mapping, the capture device, the dock's folder.
SessionKeeper* startKeeping(const KitContext& ctx, QObject* parent);

// As the program ends: keeps everything and waits until it is written.
void keepForNextRun();

}  // namespace zendra::kits
