// Reading sound files into memory, decoded. Any thread.
#pragma once
#include <cstddef>
#include <string>

#include "sound/ds_types.h"
#include "sound/sample_data.h"

namespace zendra {

// Loads a WAV file (RIFF/RIFX WAVE, extensible, RF64 or W64). 8-bit PCM comes back
// as U8 and 16-bit PCM as S16, both bit-exact; 24/32-bit integer and floating-point
// data come back as F32 in the range ±1. More than two channels are mixed down to
// stereo F32. Throws SoundError whose message names the file and the reason.
SampleData readSoundFile(const std::string& path);

// Decodes a sound held in memory exactly as readSoundFile decodes a file of the
// same bytes; `name` stands for the file in error messages.
SampleData readSoundMemory(const void* data, size_t size, const std::string& name);

}  // namespace zendra
