// Interpolation kernels for reading a sound at a fractional position.
#pragma once

namespace zendra {

// 4-point, 3rd-order Hermite (Catmull-Rom): passes through the samples and
// keeps the slope continuous, so pitch changes stay smooth.
inline float cubicInterpolate(float xm1, float x0, float x1, float x2, float t) {
    const float c1 = 0.5f * (x1 - xm1);
    const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
    const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
    return ((c3 * t + c2) * t + c1) * t + x0;
}

}  // namespace zendra
