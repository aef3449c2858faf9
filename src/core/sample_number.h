// Sample choosers show sample numbers 1..16; the program addresses slots 0..15.
#pragma once
#include <QString>
#include <cstdint>
#include <optional>

class QComboBox;

namespace zendra {
class DXMoudule;
namespace model {
class SampleBank;
}
}  // namespace zendra

namespace zendra {

// The text read as a decimal number, minus 1, rounded to the nearest integer
// with halves to even; nullopt when it is no number or does not fit.
std::optional<int32_t> sampleIndexOf(const QString& text);

// The same, but only for a slot of the loaded bank that holds a sound.
std::optional<int16_t> loadedSampleOf(const QString& text, const DXMoudule& shared);

// Fills a sample chooser for the bank: the entries "1" up to its count, each
// with its sample's name as tooltip, and "1" chosen. Nothing when no bank is
// loaded yet.
void fillSampleChooser(QComboBox* chooser, const model::SampleBank& bank);
// Sets each entry's tooltip to the name of its sample, the entries kept.
void nameSampleChooser(QComboBox* chooser, const model::SampleBank& bank);

}  // namespace zendra
