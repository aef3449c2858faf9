#include "core/sample_number.h"

#include <cmath>
#include <limits>

#include "core/dx_module.h"

namespace zendra {

std::optional<int32_t> sampleIndexOf(const QString& text) {
    bool ok = false;
    const double n = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(n)) return std::nullopt;
    const double i = std::nearbyint(n - 1.0);  // the default rounding mode: halves to even
    if (i < std::numeric_limits<int32_t>::min() || i > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(i);
}

std::optional<int16_t> loadedSampleOf(const QString& text) {
    const auto i = sampleIndexOf(text);
    if (!i || *i < 0 || *i > DXMoudule::LastSample || DXMoudule::bufferAt(*i) == nullptr) return std::nullopt;
    return static_cast<int16_t>(*i);
}

}  // namespace zendra
