#include "sound/ogg_check.h"

#include <cstring>
#include <ogg/ogg.h>
#include <vorbis/codec.h>

namespace zendra {
namespace {

// The decoding state of one check, released whatever happens.
struct VorbisHeaders {
    VorbisHeaders() {
        ogg_sync_init(&sync);
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~VorbisHeaders() {
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
        if (haveStream) ogg_stream_clear(&stream);
        ogg_sync_clear(&sync);
    }
    VorbisHeaders(const VorbisHeaders&) = delete;
    VorbisHeaders& operator=(const VorbisHeaders&) = delete;

    ogg_sync_state sync;
    ogg_stream_state stream{};
    bool haveStream = false;
    vorbis_info info;
    vorbis_comment comment;
};

bool isVorbisIdentification(const ogg_packet& p) {
    return p.bytes >= 7 && p.packet[0] == 1 && std::memcmp(p.packet + 1, "vorbis", 6) == 0;
}

const char* kCut = "the Ogg file is damaged or cut short: its headers are incomplete";
const char* kDamaged = "the Ogg file is damaged: its headers cannot be read";

}  // namespace

std::optional<std::string> vorbisHeaderProblem(const ByteSource& src) {
    constexpr size_t kChunk = 4096;
    VorbisHeaders h;
    uint64_t offset = 0;
    int packets = 0;
    while (packets < 3) {
        ogg_page page;
        const int got = ogg_sync_pageout(&h.sync, &page);
        if (got < 0) continue;  // bytes skipped to the next page
        if (got == 0) {
            char* buffer = ogg_sync_buffer(&h.sync, kChunk);
            const int64_t n = buffer ? src.readAt(offset, buffer, kChunk) : -1;
            if (n <= 0)
                return n == 0 && packets == 0 && !h.haveStream ? std::nullopt : std::optional<std::string>(kCut);
            ogg_sync_wrote(&h.sync, static_cast<long>(n));
            offset += static_cast<uint64_t>(n);
            continue;
        }
        if (!h.haveStream) {
            ogg_stream_init(&h.stream, ogg_page_serialno(&page));
            h.haveStream = true;
        }
        ogg_stream_pagein(&h.stream, &page);  // a page of another stream is refused here and passed over
        for (;;) {
            ogg_packet packet;
            const int out = ogg_stream_packetout(&h.stream, &packet);
            if (out == 0) break;
            if (out < 0) return kDamaged;  // a page missing inside the headers
            if (packets == 0 && !isVorbisIdentification(packet)) return std::nullopt;
            if (vorbis_synthesis_headerin(&h.info, &h.comment, &packet) < 0) return kDamaged;
            if (++packets == 3) break;
        }
    }
    return std::nullopt;
}

}  // namespace zendra
