// The program's command line: --help, --version, --audio=SYSTEM and one
// optional file to open at start. Parsed before any window or display exists.
#pragma once
#include <QString>
#include <optional>

#include "sound/audio_systems.h"

namespace zendra {

struct CommandLine {
    QString file;                      // the file named on the command line, if any
    std::optional<AudioSystem> audio;  // the sound system asked for, if any
    std::optional<int> exitCode;       // set when the program should end at once with it
};

// Parses the arguments; prints help, the version or what was wrong (status 2)
// and then sets exitCode.
CommandLine parseCommandLine(int argc, char** argv);

}  // namespace zendra
