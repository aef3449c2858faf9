// Turns the bytes of a MIDI input into note-ons. Running status, note-on
// with velocity 0 (a note-off), system exclusive, real-time bytes and every
// other message are understood and passed over.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zendra::midi {

struct NoteOn {
    uint8_t channel = 0;   // 0..15
    uint8_t note = 0;      // 0..127
    uint8_t velocity = 0;  // 1..127
};

class MidiParser {
public:
    // Calls onNote(NoteOn) for each note-on in `bytes`, and onNoteOff(NoteOn)
    // for each note-off (a note-on of velocity 0 too), its velocity 0. The
    // state carries over from one call to the next, as a byte stream does.
    template <typename F>
    void feed(const uint8_t* bytes, size_t count, F&& onNote) {
        feed(bytes, count, onNote, [](const NoteOn&) {});
    }
    template <typename F, typename G>
    void feed(const uint8_t* bytes, size_t count, F&& onNote, G&& onNoteOff) {
        for (size_t i = 0; i < count; ++i) {
            const uint8_t b = bytes[i];
            if (b >= 0xF8) continue;  // real-time: may come anywhere, changes nothing
            if (b == 0xF0) {
                sysex_ = true;
                status_ = 0;
                continue;
            }
            if (b >= 0xF0) {  // end of exclusive, system common: no running status after them
                sysex_ = false;
                status_ = 0;
                continue;
            }
            if (b >= 0x80) {
                sysex_ = false;
                status_ = b;
                have_ = 0;
                continue;
            }
            if (sysex_ || status_ == 0) continue;
            data_[have_++] = b;
            const int kind = status_ & 0xF0;
            const int need = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
            if (have_ < need) continue;
            have_ = 0;  // running status: the next data bytes reuse status_
            const auto channel = static_cast<uint8_t>(status_ & 0x0F);
            if (kind == 0x90 && data_[1] > 0)
                onNote(NoteOn{channel, data_[0], data_[1]});
            else if (kind == 0x80 || kind == 0x90)
                onNoteOff(NoteOn{channel, data_[0], 0});
        }
    }

private:
    uint8_t status_ = 0;
    uint8_t data_[2] = {0, 0};
    int have_ = 0;
    bool sysex_ = false;
};

}  // namespace zendra::midi
