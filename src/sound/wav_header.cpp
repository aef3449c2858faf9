#include "sound/wav_header.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zendra {
namespace {

uint64_t readLE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

uint64_t readBE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
    return v;
}

// Sony Wave64 chunk identifiers: a four-letter name followed by a fixed tail.
constexpr uint8_t kW64Riff[16] = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                  0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
constexpr uint8_t kW64Tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

bool isW64Id(const uint8_t* guid, const char* name) {
    return std::memcmp(guid, name, 4) == 0 && std::memcmp(guid + 4, kW64Tail, 12) == 0;
}

std::string truncatedData(uint64_t declared, uint64_t present) {
    return "the file is cut short (truncated): its header announces " + std::to_string(declared) +
           " bytes of sound but only " + std::to_string(present) + " are there";
}

const char* kOverrun = "the file is damaged or cut short: its header runs past the end of the file";

void walkW64(const ByteSource& src, WavHeader& info) {
    const uint64_t fileSize = src.size();
    uint64_t pos = 40;
    for (int guard = 0; guard < 100000 && pos + 24 <= fileSize; ++guard) {
        uint8_t ch[24];
        if (!src.readAll(pos, ch, sizeof ch)) break;
        const uint64_t size = readLE(ch + 16, 8);  // includes the 24-byte chunk header
        const uint64_t body = pos + 24;
        if (size < 24) {
            info.truncation = "the file is damaged: its header is not readable";
            return;
        }
        if (isW64Id(ch, "fmt ")) {
            uint8_t tag[2];
            if (src.readAll(body, tag, 2)) info.formatTag = static_cast<int>(readLE(tag, 2));
        }
        if (isW64Id(ch, "data")) {
            if (size - 24 > fileSize - body) info.truncation = truncatedData(size - 24, fileSize - body);
            return;
        }
        if (size > fileSize - pos) {
            info.truncation = kOverrun;
            return;
        }
        pos += (size + 7) & ~uint64_t{7};
    }
}

void walkRiff(const ByteSource& src, WavHeader& info) {
    const uint64_t fileSize = src.size();
    const bool big = info.container == WavContainer::Rifx;
    auto num = [big](const uint8_t* p, int n) { return big ? readBE(p, n) : readLE(p, n); };
    uint64_t ds64DataSize = 0;
    bool haveDs64 = false;
    uint64_t pos = 12;
    for (int guard = 0; guard < 100000 && pos + 8 <= fileSize; ++guard) {
        uint8_t ch[8];
        if (!src.readAll(pos, ch, sizeof ch)) break;
        uint64_t size = num(ch + 4, 4);
        const uint64_t body = pos + 8;
        if (std::memcmp(ch, "ds64", 4) == 0 && size >= 16) {
            uint8_t ds[16];
            if (src.readAll(body, ds, sizeof ds)) {
                ds64DataSize = readLE(ds + 8, 8);
                haveDs64 = true;
            }
        } else if (std::memcmp(ch, "fmt ", 4) == 0 && size >= 2) {
            uint8_t fmt[26];
            const size_t n = size >= 26 ? 26 : 2;
            if (src.readAll(body, fmt, n)) {
                info.formatTag = static_cast<int>(num(fmt, 2));
                if (info.formatTag == 0xFFFE && n == 26) info.formatTag = static_cast<int>(num(fmt + 24, 2));
            }
        } else if (std::memcmp(ch, "data", 4) == 0) {
            if (info.container == WavContainer::Rf64 && size == 0xFFFFFFFF && haveDs64) size = ds64DataSize;
            if (size > fileSize - body) info.truncation = truncatedData(size, fileSize - body);
            return;
        }
        if (size > fileSize - body) {
            info.truncation = kOverrun;
            return;
        }
        pos = body + size + (size & 1);
    }
}

}  // namespace

// Walks the chunk list up to the sound data.
WavHeader inspectWavHeader(const ByteSource& src) {
    const uint64_t fileSize = src.size();
    WavHeader info;
    uint8_t head[40];
    if (fileSize < 12 || !src.readAll(0, head, std::min<uint64_t>(fileSize, sizeof head))) return info;
    if (fileSize >= 40 && std::memcmp(head, kW64Riff, 16) == 0 && isW64Id(head + 24, "wave")) {
        info.container = WavContainer::W64;
        walkW64(src, info);
        return info;
    }
    if (std::memcmp(head + 8, "WAVE", 4) != 0) return info;
    if (std::memcmp(head, "RIFF", 4) == 0)
        info.container = WavContainer::Riff;
    else if (std::memcmp(head, "RIFX", 4) == 0)
        info.container = WavContainer::Rifx;
    else if (std::memcmp(head, "RF64", 4) == 0)
        info.container = WavContainer::Rf64;
    else
        return info;
    walkRiff(src, info);
    return info;
}

}  // namespace zendra
