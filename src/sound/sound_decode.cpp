#include "sound/sound_decode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace zendra {

void failLoad(uint32_t code, const std::string& path, const std::string& reason) {
    throw SoundError(code, "Cannot load \"" + path + "\": " + reason + ".");
}

namespace {

constexpr sf_count_t kBlockFrames = 4096;
constexpr float kMinus3dB = 0.70710678f;
// A compressed file may decode to this many times its size before reserving
// memory up front stops trusting its header.
constexpr uint64_t kMaxExpansion = 64;

// "2 hours 5 minutes", "12 minutes", "40 seconds".
std::string duration(double seconds) {
    const auto s = static_cast<long long>(seconds);
    auto unit = [](long long n, const char* name) { return std::to_string(n) + " " + name + (n == 1 ? "" : "s"); };
    if (s < 60) return unit(s, "second");
    if (s < 3600) return unit(s / 60, "minute");
    const long long minutes = (s % 3600) / 60;
    return unit(s / 3600, "hour") + (minutes ? " " + unit(minutes, "minute") : "");
}

[[noreturn]] void failTooLong(const std::string& path, uint64_t frames, bool exact, int rate, uint64_t maxFrames,
                              uint64_t maxBytes) {
    failLoad(DSERR_OUTOFMEMORY, path,
             "it is too long (" + std::string(exact ? "" : "more than ") + duration(double(frames) / rate) +
                 " of sound): a sample like it may last at most " + duration(double(maxFrames) / rate) + " (" +
                 std::to_string(maxBytes >> 20) + " MB of memory)");
}

// The sound's memory, accounted to the bank's budget as it grows; what was
// taken goes back unless the read succeeds.
class Reservation {
public:
    Reservation(const DecodeRequest& r, std::vector<uint8_t>& bytes) : r_(r), bytes_(bytes) {}
    ~Reservation() {
        if (!kept_ && r_.options.budget) r_.options.budget->give(taken_);
    }
    Reservation(const Reservation&) = delete;
    Reservation& operator=(const Reservation&) = delete;

    // Room for `need` bytes in all, growing by half at least.
    void ensure(uint64_t need) {
        if (need <= taken_) return;
        const uint64_t grown = std::min(std::max(need, taken_ + taken_ / 2), r_.options.maxBytes);
        const uint64_t size = std::max(need, grown);
        if (r_.options.budget && !r_.options.budget->take(size - taken_))
            failLoad(DSERR_OUTOFMEMORY, r_.path,
                     "the samples together would take more than the " +
                         std::to_string(r_.options.budget->limit() >> 20) + " MB of memory a bank may hold");
        taken_ = size;
        bytes_.reserve(size);
    }
    void keep() { kept_ = true; }

private:
    const DecodeRequest& r_;
    std::vector<uint8_t>& bytes_;
    uint64_t taken_ = 0;
    bool kept_ = false;
};

// Per input channel, its share of the left and right output.
void downmixGains(SNDFILE* sf, int channels, std::vector<float>& toLeft, std::vector<float>& toRight) {
    std::vector<int> map(static_cast<size_t>(channels), 0);
    const bool haveMap =
        sf_command(sf, SFC_GET_CHANNEL_MAP_INFO, map.data(), static_cast<int>(map.size() * sizeof(int))) == SF_TRUE;
    toLeft.assign(map.size(), kMinus3dB);
    toRight.assign(map.size(), kMinus3dB);
    for (int c = 0; c < channels; ++c) {
        const int role = map[static_cast<size_t>(c)];
        const bool left = haveMap ? (role == SF_CHANNEL_MAP_LEFT || role == SF_CHANNEL_MAP_FRONT_LEFT) : c == 0;
        const bool right = haveMap ? (role == SF_CHANNEL_MAP_RIGHT || role == SF_CHANNEL_MAP_FRONT_RIGHT) : c == 1;
        if (left || right) {
            toLeft[static_cast<size_t>(c)] = left ? 1.0f : 0.0f;
            toRight[static_cast<size_t>(c)] = right ? 1.0f : 0.0f;
        }
    }
}

template <typename T>
void appendBytes(std::vector<uint8_t>& out, const T* values, size_t count) {
    const auto* p = reinterpret_cast<const uint8_t*>(values);
    out.insert(out.end(), p, p + count * sizeof(T));
}

// Judges a read that reached its end: refuses sound that stopped short of what
// the header announced, or none at all.
void judgeEnd(const DecodeRequest& r, uint64_t total, bool known) {
    const SF_INFO& info = r.info;
    const bool mpeg = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    if (r.file.error())
        failLoad(DSERR_FILEIO, r.path, "read error (" + std::string(std::strerror(r.file.error())) + ")");
    const bool damaged = sf_error(r.sf) != SF_ERR_NO_ERROR;
    if (total == 0) {
        if (info.frames == 0 && !damaged)
            failLoad(DSERR_BADFORMAT, r.path, "the file contains no sound (0 frames of data)");
        failLoad(DSERR_FILEIO, r.path, "the file is damaged or cut short: none of its sound could be read");
    }
    // An MP3 without a length in its header has it estimated from its size.
    const auto declared = static_cast<uint64_t>(info.frames);
    const uint64_t expected = !known ? 0 : mpeg ? declared - std::min(declared, declared / 50 + 2304) : declared;
    if (total < expected)
        failLoad(DSERR_FILEIO, r.path,
                 "the file is damaged or cut short (truncated): only " + std::to_string(total) + " of its " +
                     std::to_string(declared) + " sound frames could be read");
    if (damaged) failLoad(DSERR_FILEIO, r.path, "the file is damaged: its sound could not be read to the end");
}

}  // namespace

SampleData decodeOpened(const DecodeRequest& r) {
    const SF_INFO& info = r.info;
    const int channels = info.channels;
    const bool downmix = channels > 2;
    SampleData out;
    out.format = downmix ? SampleFormat::F32 : r.native;
    out.channels = downmix ? 2 : channels;
    out.rate = info.samplerate;
    const auto frameBytes = static_cast<uint64_t>(out.blockAlign());
    const uint64_t maxFrames = r.options.maxBytes / frameBytes;
    const bool known = info.frames > 0 && info.frames < SF_COUNT_MAX;
    const uint64_t declared = known ? static_cast<uint64_t>(info.frames) : 0;
    if (declared > maxFrames) failTooLong(r.path, declared, true, out.rate, maxFrames, r.options.maxBytes);

    // Room for what the header announces, within what the file could hold.
    Reservation memory(r, out.bytes);
    memory.ensure(std::min(declared, r.fileSize * kMaxExpansion / static_cast<uint64_t>(channels)) * frameBytes);

    std::vector<float> toLeft, toRight;
    if (downmix) downmixGains(r.sf, channels, toLeft, toRight);
    const auto blockFrames = known ? std::min<sf_count_t>(kBlockFrames, info.frames) : kBlockFrames;
    const size_t blockSamples = static_cast<size_t>(blockFrames) * static_cast<size_t>(channels);
    std::vector<short> shorts(out.format == SampleFormat::F32 ? 0 : blockSamples);
    std::vector<float> floats(out.format == SampleFormat::F32 ? blockSamples : 0);
    std::vector<float> mixed;

    uint64_t total = 0;
    for (;;) {
        if (r.options.cancel && r.options.cancel->load()) failLoad(DSERR_GENERIC, r.path, "the load was cancelled");
        const sf_count_t got = out.format == SampleFormat::F32 ? sf_readf_float(r.sf, floats.data(), blockFrames)
                                                               : sf_readf_short(r.sf, shorts.data(), blockFrames);
        if (got <= 0) break;
        if (total + static_cast<uint64_t>(got) > maxFrames)
            failTooLong(r.path, total + static_cast<uint64_t>(got), false, out.rate, maxFrames, r.options.maxBytes);
        memory.ensure(out.bytes.size() + static_cast<uint64_t>(got) * frameBytes);
        const size_t n = static_cast<size_t>(got) * static_cast<size_t>(channels);
        if (out.format == SampleFormat::F32) {
            // A float file may hold NaN, infinities or wild values: never let them reach
            // the output (sound may go to +6 dBFS, no further).
            for (size_t i = 0; i < n; ++i)
                floats[i] = std::isfinite(floats[i]) ? std::clamp(floats[i], -2.0f, 2.0f) : 0.0f;
        }
        if (out.format == SampleFormat::U8) {
            // libsndfile widens 8-bit as (byte - 128) << 8: undo it exactly.
            for (size_t i = 0; i < n; ++i) out.bytes.push_back(static_cast<uint8_t>((shorts[i] >> 8) + 128));
        } else if (out.format == SampleFormat::S16) {
            appendBytes(out.bytes, shorts.data(), n);
        } else if (!downmix) {
            appendBytes(out.bytes, floats.data(), n);
        } else {
            mixed.assign(static_cast<size_t>(got) * 2, 0.0f);
            for (sf_count_t f = 0; f < got; ++f) {
                const float* frame = floats.data() + f * channels;
                float left = 0.0f, right = 0.0f;
                for (int c = 0; c < channels; ++c) {
                    left += frame[c] * toLeft[static_cast<size_t>(c)];
                    right += frame[c] * toRight[static_cast<size_t>(c)];
                }
                mixed[static_cast<size_t>(f) * 2] = left;
                mixed[static_cast<size_t>(f) * 2 + 1] = right;
            }
            appendBytes(out.bytes, mixed.data(), mixed.size());
        }
        total += static_cast<uint64_t>(got);
    }
    judgeEnd(r, total, known);
    memory.keep();
    return out;
}

}  // namespace zendra
