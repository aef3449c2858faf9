// The keyboard's fixed note map: 31 keys, each adding a fixed number of hertz
// to the base frequency.
#pragma once
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

namespace zendra::keyboard {

struct Note {
    int vk;          // Windows virtual-key code of the key
    char caption;    // the character shown under the drawn key
    bool black;      // drawn on a black key
    int drawn;       // index of the white or black key picture
    int label;       // index of the key's label
    int32_t offset;  // hertz added to the base frequency
};

// Left to right along the drawn keyboard.
extern const std::array<Note, 31> kNotes;

// The note of a virtual-key code, if the key is mapped.
const Note* noteForKey(int vk);

// Frequency bar value (tens of hertz) for a note: (base + offset) / 10
// rounded to the nearest integer, halves to even; nullopt when it does not
// fit a 16-bit signed value.
std::optional<int16_t> barValueFor(int32_t base, int32_t offset);

}  // namespace zendra::keyboard
