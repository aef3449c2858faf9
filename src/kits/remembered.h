// What one run keeps for the next, through the settings: the capture device,
// the Sample Dock's folder and the set-up as the last session's kit.
#pragma once
#include <QString>

namespace zendra::kits {

// The last session's kit, in the configuration folder.
QString lastSessionPath();

// Puts the remembered capture device, if any, where the Record window reads it.
void restoreCaptureDevice();
// Keeps the capture device, the Sample Dock's folder and the set-up (when remembering).
void keepForNextRun();

}  // namespace zendra::kits
