// Records, flags and error codes of the sound interface.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

namespace zendra {

struct WAVEFORMATEX {
    int16_t nFormatTag = 0;
    int16_t nChannels = 0;
    int32_t lSamplesPerSec = 0;
    int32_t lAvgBytesPerSec = 0;
    int16_t nBlockAlign = 0;
    int16_t nBitsPerSample = 0;
    int16_t nSize = 0;
};

struct DSBUFFERDESC {
    int32_t lFlags = 0;
    int32_t lBufferBytes = 0;
    int32_t lReserved = 0;
};

struct DSCBUFFERDESC {
    int32_t lFlags = 0;
    int32_t lBufferBytes = 0;
    int32_t lReserved = 0;
    WAVEFORMATEX fxFormat;
};

struct DSCCAPS {
    int32_t lFlags = 0;
    int32_t lFormats = 0;
    int32_t lChannels = 0;
};

struct DSCURSORS {
    int32_t lPlay = 0;  // capture: bytes captured so far
    int32_t lWrite = 0;
};

constexpr int32_t WAVE_FORMAT_PCM = 1;

constexpr int32_t DSBCAPS_CTRLFREQUENCY = 0x20;
constexpr int32_t DSBCAPS_CTRLPAN = 0x40;
constexpr int32_t DSBCAPS_CTRLVOLUME = 0x80;
constexpr int32_t DSBCAPS_CTRLPOSITIONNOTIFY = 0x100;

constexpr int32_t DSSCL_NORMAL = 1;
constexpr int32_t DSSCL_PRIORITY = 2;

constexpr int32_t DSBPLAY_DEFAULT = 0;
constexpr int32_t DSBPLAY_LOOPING = 1;
constexpr int32_t DSBSTATUS_PLAYING = 1;
constexpr int32_t DSBSTATUS_LOOPING = 4;

constexpr int32_t DSCBSTART_DEFAULT = 0;
constexpr int32_t DSCBSTART_LOOPING = 1;
constexpr int32_t DSCBSTATUS_CAPTURING = 1;
constexpr int32_t DSCBSTATUS_LOOPING = 2;

constexpr int32_t WAVE_FORMAT_1M08 = 0x01;  // 11025 Hz, 8-bit mono
constexpr int32_t WAVE_FORMAT_2M08 = 0x10;  // 22050 Hz, 8-bit mono

constexpr int32_t DSBVOLUME_MIN = -10000;
constexpr int32_t DSBVOLUME_MAX = 0;
constexpr int32_t DSBPAN_LEFT = -10000;
constexpr int32_t DSBPAN_RIGHT = 10000;
constexpr int32_t DSBFREQUENCY_MIN = 100;
constexpr int32_t DSBFREQUENCY_MAX = 100000;

// Error codes (HRESULT values).
constexpr uint32_t DSERR_ALLOCATED = 0x8878000A;
constexpr uint32_t DSERR_CONTROLUNAVAIL = 0x8878001E;
constexpr uint32_t DSERR_INVALIDPARAM = 0x80070057;
constexpr uint32_t DSERR_INVALIDCALL = 0x88780032;
constexpr uint32_t DSERR_GENERIC = 0x80004005;
constexpr uint32_t DSERR_BADFORMAT = 0x88780064;
constexpr uint32_t DSERR_NODRIVER = 0x88780078;
constexpr uint32_t DSERR_OUTOFMEMORY = 0x8007000E;
constexpr uint32_t DSERR_FILENOTFOUND = 0x80070002;
constexpr uint32_t DSERR_FILEIO = 0x8007001F;

// Every failing operation throws this: a code plus a readable message.
class SoundError : public std::runtime_error {
public:
    SoundError(uint32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}
    uint32_t code() const { return code_; }

private:
    uint32_t code_;
};

}  // namespace zendra
