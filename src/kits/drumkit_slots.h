// A Hydrogen drum kit's chosen instruments as the bank's slots: what each
// keeps (name, velocity layers, gain, pan, mute group, envelope) in the
// bank's units, and what could not be kept. No windows here; [any] thread.
#pragma once
#include <QString>
#include <QStringList>
#include <vector>

#include "kits/drumkit_import.h"
#include "model/sample_bank.h"

namespace zendra::kits {

// Hydrogen counts envelope lengths in frames of its output, whose rate the
// kit does not say; they are read at Hydrogen's usual 44.1 kHz.
inline constexpr double kDrumEnvelopeRate = 44100.0;

struct DrumSlots {
    std::vector<model::SampleSlot> slotList;  // one per chosen instrument, in order
    QStringList notKept;                      // what the conversion could not keep, one plain line each
};

// Slot i takes the i-th instrument (those without sound are passed over) and
// keeps keys[i], the key bound to that slot before (null when none).
// - file: the loudest layer's (the highest velocities); loop off: a drum plays once.
// - layers: velocities 0..1 as 1..127, ranges closed where rounding left a gap
//   or a shared edge; past eight, eight spread across the velocities are kept
//   and stretched over the range of those left out.
// - gain: volume x gain in dB; above 0 dB the rest goes to every layer's gain.
// - mute groups: numbered 1..8 in order of first use; later ones become none.
// - envelope: kept only when it differs from Hydrogen's own (attack 0,
//   decay 0, sustain 1, release 1000 frames), then released on note-off.
DrumSlots toSlots(const std::vector<DrumInstrument>& chosen, const QStringList& keys = {});

// A linear gain in dB; 0 and below is -100 dB (silence).
double linearToDb(double gain);

}  // namespace zendra::kits
