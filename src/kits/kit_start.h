// Kits at start-up and exit: the last session back in the Sample Dock, a kit
// named on the command line opened once "I Agree" is pressed.
#pragma once
#include <QString>

namespace zendra::kits {

// Turns on remembering: the last session and the remembered settings come
// back when the main window has loaded, are kept as they change (see
// session_keeper.h) and once more when the program ends.
void rememberBetweenRuns(bool on = true);
// The player's switch (File > Remember Set-up). Off: nothing more is kept
// (the session keeper stops) and the next start is fresh. On: the set-up is
// kept again at once.
void chooseRemembering(bool on);
// A kit to open once the main window has loaded.
void openAtStart(const QString& path);
// Called by the main window when its load has succeeded.
void mainWindowLoaded();

}  // namespace zendra::kits
