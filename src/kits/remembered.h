// What is kept between runs: Qt settings and the last session's kit, both in
// the user's configuration folder. Nothing read from there can stop a start.
#pragma once
#include <QString>

namespace zendra::kits {

// Whether the program remembers between runs (off in tests unless turned on);
// when off, the folder functions below remember nothing.
bool remembering();
void setRemembering(bool on);

// The configuration folder (created when missing) and the files in it.
QString configFolder();
QString lastSessionPath();

// A file dialog's folder ("samples", "kits", "takes"); empty when none is remembered
// or it no longer exists.
QString rememberedFolder(const QString& dialog);
void rememberFolder(const QString& dialog, const QString& folder);

// Puts the remembered capture device, if any, where the Record window reads it.
void restoreCaptureDevice();
// Keeps the capture device, the Sample Dock's folder and the set-up.
void keepForNextRun();

}  // namespace zendra::kits
