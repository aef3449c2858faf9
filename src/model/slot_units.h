// The steps a slot's settings take on the bars that show them: volume in
// 5 dB steps (hundredths of a decibel = bar x 500), pan in thirds of the way
// (bar x 3333 hundredths of a decibel on the far side, so a pan of bar x
// 0.3333), frequency in 10 Hz steps.
#pragma once
#include <algorithm>
#include <cmath>

namespace zendra::model {

inline constexpr int kVolumeBarMin = -5, kVolumeBarMax = 0;
inline constexpr int kPanBarMin = -3, kPanBarMax = 3;
inline constexpr int kFrequencyBarMin = 10, kFrequencyBarMax = 10000;

inline double gainDbOfVolumeBar(int bar) { return 5.0 * bar; }
inline double panOfBar(int bar) { return bar * 3333 / 10000.0; }
inline int rateHzOfFrequencyBar(int bar) { return 10 * bar; }

// The bar positions nearest to a setting, within the bar.
inline int volumeBarOf(double db) {
    return std::clamp(static_cast<int>(std::lround(db / 5.0)), kVolumeBarMin, kVolumeBarMax);
}
inline int panBarOf(double pan) {
    return std::clamp(static_cast<int>(std::lround(pan * 10000.0 / 3333.0)), kPanBarMin, kPanBarMax);
}
// Halves go to the even neighbour: 11025 Hz shows as 1102.
inline int frequencyBarUnclamped(int hz) { return static_cast<int>(std::nearbyint(hz / 10.0)); }
inline int frequencyBarOf(int hz) { return std::clamp(frequencyBarUnclamped(hz), kFrequencyBarMin, kFrequencyBarMax); }
inline bool frequencyBarShows(int bar) { return bar >= kFrequencyBarMin && bar <= kFrequencyBarMax; }

}  // namespace zendra::model
