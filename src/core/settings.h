// What the program keeps between runs: one settings file, zendra.conf, in the
// user's configuration folder. Remembering is off until the program turns it
// on, and while it is off nothing is read from the file or written to it (so
// tests leave nothing behind for each other), but for the player's switch. Nothing read from it can stop a
// start: a damaged file reads as empty. Window thread only.
#pragma once
#include <QString>
#include <optional>

namespace zendra::settings {

// On while the program keeps its settings and the player has not switched
// keeping off (see keepingChosen).
bool remembering();
// Turning remembering on also takes over, once, the settings an earlier
// version kept in a file of its own (the MIDI input and note mapping).
void setRemembering(bool on);

// The player's own switch (File > Remember Set-up), on unless switched off.
// It is the one setting written while it is off, so that it stays off at the
// next start; it is read when the program turns remembering on.
bool keepingChosen();
void chooseKeeping(bool on);

// The configuration folder (created when missing); the last session is kept here too.
QString configFolder();

// The text kept under `key` ("group/name"); none when nothing is kept there
// or remembering is off.
std::optional<QString> text(const QString& key);
void setText(const QString& key, const QString& value);

// A file dialog's folder ("samples", "kits", "takes"): empty when none is
// kept or it no longer exists.
QString folder(const QString& dialog);
void setFolder(const QString& dialog, const QString& path);

}  // namespace zendra::settings
