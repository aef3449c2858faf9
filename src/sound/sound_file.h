// Reading sound files into memory, decoded once: every format libsndfile
// reads (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, CAF, AU and more), from a
// file or from the same bytes in memory. Any thread; the reads of one bank
// may run in parallel and share a SoundBudget.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sound/ds_types.h"
#include "sound/sample_data.h"

namespace zendra {

// The most decoded sound one sample may hold, and all the samples of a bank
// together. Past either the file is refused with a message saying so.
inline constexpr uint64_t kMaxSampleBytes = uint64_t{256} << 20;  // 25 minutes of 44.1 kHz 16-bit stereo
inline constexpr uint64_t kMaxBankBytes = uint64_t{1024} << 20;

// Memory shared by the reads of one bank: each takes what its sound needs.
class SoundBudget {
public:
    explicit SoundBudget(uint64_t limit = kMaxBankBytes) : limit_(limit) {}
    // False, taking nothing, when n more bytes would pass the limit.
    bool take(uint64_t n);
    void give(uint64_t n) { used_ -= n; }
    uint64_t limit() const { return limit_; }
    uint64_t used() const { return used_.load(); }

private:
    const uint64_t limit_;
    std::atomic<uint64_t> used_{0};
};

struct ReadOptions {
    uint64_t maxBytes = kMaxSampleBytes;
    SoundBudget* budget = nullptr;              // the bank's, when reading one
    const std::atomic<bool>* cancel = nullptr;  // set: the read stops with a SoundError
};

// Loads a sound file. 8-bit PCM comes back as U8 and 16-bit PCM (also 16-bit
// FLAC, ALAC and the 16-bit telephone and ADPCM encodings) as S16, both
// bit-exact where the file is PCM; everything deeper, floating-point or lossy
// (Vorbis, Opus, MP3) comes back as F32, nominally within ±1. More than two
// channels are mixed down to stereo F32. Throws SoundError whose message
// names the file and the reason.
SampleData readSoundFile(const std::string& path, const ReadOptions& options = {});

// Decodes a sound held in memory exactly as readSoundFile decodes a file of the
// same bytes; `name` stands for the file in error messages.
SampleData readSoundMemory(const void* data, size_t size, const std::string& name, const ReadOptions& options = {});

// The name endings of sound files offered in file dialogs and taken from a
// drop, lower case without the dot ("wav", "flac", "mp3", ...).
const std::vector<std::string>& soundFileExtensions();

}  // namespace zendra
