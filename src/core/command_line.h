// The program's command line: --help, --version, --audio=SYSTEM, --fresh and
// the files and folders to open at start. Parsed before any window or display
// exists; what the files are is sorted out later (kits/start_files.h).
#pragma once
#include <QStringList>
#include <optional>

#include "sound/audio_systems.h"

namespace zendra {

struct CommandLine {
    QStringList files;                 // the files and folders named, absolute, in their order
    bool fresh = false;                // start without the kept set-up and keep nothing of this run
    std::optional<AudioSystem> audio;  // the sound system asked for, if any
    std::optional<int> exitCode;       // set when the program should end at once with it
};

// Parses the arguments; prints help, the version or what was wrong (status 2)
// and then sets exitCode.
CommandLine parseCommandLine(int argc, char** argv);

}  // namespace zendra
