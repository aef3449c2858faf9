// Kits at start-up and exit: the last session back in the Sample Dock, the
// files named on the command line opened once "I Agree" is pressed.
#pragma once
#include <QString>
#include <QStringList>

#include "core/command_line.h"

namespace zendra::kits {

struct KitContext;

// Turns on remembering: the last session and the remembered settings come
// back when the main window has loaded, are kept as they change (see
// session_keeper.h) and once more when the program ends.
void rememberBetweenRuns(bool on = true);
// The files and folders named to open once the main window has loaded (see
// start_files.h): a kit opens as "Open Kit..." opens it, a Hydrogen drum kit
// is imported as "Import Drum Kit..." imports it; sound files fill the
// Sample Dock's slots in order, in place of the last session, and load as its
// Done loads them. What gives nothing is named in one message first.
void openAtStart(const QStringList& paths);
// The start the command line asks for: remembering between runs unless
// --fresh, and its files opened once the main window has loaded.
void startWith(const CommandLine& commandLine);
// The player's switch (File > Remember Set-up). Off: nothing more is kept
// (the session keeper stops) and the next start is fresh. On: the set-up is
// kept again at once.
void chooseRemembering(const KitContext& ctx, bool on);
// Once the main window's load has succeeded: what is remembered comes back,
// the set-up keeper starts, the files named at start open.
void mainWindowLoaded(const KitContext& ctx);

}  // namespace zendra::kits
