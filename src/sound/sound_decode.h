// The sound file reader's decoding step: an opened file's sound read to its
// end into memory, within the sample's and the bank's limits. Internal to
// sound_file.cpp; any thread.
#pragma once
#include <cstdint>
#include <sndfile.h>
#include <string>

#include "sound/byte_source.h"
#include "sound/sample_data.h"
#include "sound/sound_file.h"

namespace zendra {

// Throws SoundError: "Cannot load "path": reason."
[[noreturn]] void failLoad(uint32_t code, const std::string& path, const std::string& reason);

struct DecodeRequest {
    const std::string& path;
    SNDFILE* sf;
    const VirtualFile& file;  // its read error, if any, is named first
    const SF_INFO& info;
    SampleFormat native;  // how the encoding comes back when mono or stereo
    uint64_t fileSize;
    const ReadOptions& options;
};

SampleData decodeOpened(const DecodeRequest& r);

}  // namespace zendra
