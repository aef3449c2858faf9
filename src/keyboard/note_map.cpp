#include "keyboard/note_map.h"

#include <QString>
#include <cfenv>
#include <cmath>
#include <limits>

namespace zendra::keyboard {

const std::array<Note, 31> kNotes{{
    {'A', 'A', false, 0, 0, -14500},  {'Z', 'Z', true, 0, 18, -13750},  {'S', 'S', false, 1, 1, -13000},
    {'X', 'X', true, 1, 19, -11250},  {'D', 'D', false, 2, 2, -10500},  {'C', 'C', true, 2, 20, -9750},
    {'F', 'F', false, 3, 3, -9000},   {'Q', 'Q', false, 4, 4, -7500},   {'2', '2', true, 3, 21, -6750},
    {'W', 'W', false, 5, 5, -6000},   {'3', '3', true, 4, 22, -5250},   {'E', 'E', false, 6, 6, -4500},
    {'R', 'R', false, 7, 7, -3000},   {'5', '5', true, 5, 23, -750},    {'T', 'T', false, 8, 8, -1500},
    {'6', '6', true, 6, 24, 0},       {'Y', 'Y', false, 9, 9, 1500},    {'7', '7', true, 7, 25, 750},
    {'U', 'U', false, 10, 10, 3000},  {'I', 'I', false, 11, 11, 4500},  {'9', '9', true, 8, 26, 5250},
    {'O', 'O', false, 12, 12, 6000},  {'0', '0', true, 9, 27, 6750},    {'P', 'P', false, 13, 13, 7500},
    {'H', 'H', false, 14, 14, 9000},  {'N', 'N', true, 10, 28, 9750},   {'J', 'J', false, 15, 15, 10500},
    {'M', 'M', true, 11, 29, 11250},  {'K', 'K', false, 16, 16, 13000}, {188, ',', true, 12, 30, 13750},
    {'L', 'L', false, 17, 17, 14500},
}};

const Note* noteForKey(int vk) {
    for (const Note& n : kNotes) {
        if (n.vk == vk) return &n;
    }
    return nullptr;
}

namespace {
// Nearest integer, halves to even, whatever rounding mode is in force.
double roundHalfEven(double x) {
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(saved);
    return r;
}
}  // namespace

std::optional<int16_t> barValueFor(int32_t base, int32_t offset) {
    const int64_t sum = static_cast<int64_t>(base) + offset;
    if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max()) return std::nullopt;
    const double v = roundHalfEven(static_cast<double>(sum) / 10.0);
    if (v < std::numeric_limits<int16_t>::min() || v > std::numeric_limits<int16_t>::max()) return std::nullopt;
    return static_cast<int16_t>(v);
}

}  // namespace zendra::keyboard
