// The sound system to play through: the one asked for on the command line
// (then kept for later runs while remembering is on), else the one kept from
// an earlier run, else the automatic choice. Window thread, before the first
// device opens.
#pragma once
#include <optional>

#include "sound/audio_systems.h"

namespace zendra {

AudioSystem decideAudioSystem(std::optional<AudioSystem> asked);

}  // namespace zendra
