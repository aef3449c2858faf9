// The files and folders named when the program starts, sorted out before any
// window shows: a kit to open, or the sound files for the Sample Dock's
// slots, or a Hydrogen drum kit to import, and a plain message for each one that gives nothing. No windows here.
#pragma once
#include <QString>
#include <QStringList>

namespace zendra::kits {

struct StartFiles {
    QString kit;           // a kit, when it is the only one named
    QString drumKit;       // a Hydrogen drum kit to import, when it is the only one named
    QStringList sounds;    // for the Sample Dock's slots from the first on; at most sixteen
    QStringList problems;  // what gives nothing and why, one plain message each
};

// A folder gives the sound files in it in name order (numbers by value, case
// ignored); the other files in it are passed over in silence. Past sixteen
// sound files in all, one message names the files left out.
StartFiles sortStartFiles(const QStringList& paths);

}  // namespace zendra::kits
