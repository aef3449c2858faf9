// Writing WAV files (a recorded take). Any thread.
#pragma once
#include <string>

#include "sound/ds_types.h"
#include "sound/sample_data.h"

namespace zendra {

// Writes the samples as a WAV file (U8 -> 8-bit, S16 -> 16-bit, F32 -> 32-bit
// float), byte for byte. The file is written under a temporary name and renamed
// into place, so a failure never leaves a partial file or harms an existing one.
// Throws SoundError whose message names the file and the reason.
void writeWavFile(const std::string& path, const SampleData& data);

}  // namespace zendra
