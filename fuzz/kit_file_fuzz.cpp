// libFuzzer target: every input is read as a kit file from memory. A kit
// read must hold what a kit may (one to sixteen samples, values within their
// ranges), and writing it out and reading it back must give the same kit.
#include <QByteArray>
#include <cmath>
#include <cstdlib>

#include "kits/kit_file.h"

namespace {
bool within(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendra::kits;
    const QString folder = QStringLiteral("/kits");
    const ReadResult read = parseKit(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), folder);
    if (!read.kit) {
        if (read.error.isEmpty()) std::abort();
        return 0;
    }
    const Kit& kit = *read.kit;
    if (kit.samples.empty() || kit.samples.size() > static_cast<size_t>(kMaxSamples)) std::abort();
    for (const KitSample& s : kit.samples) {
        if (s.file.isEmpty() || s.volume < -5 || s.volume > 0 || s.pan < -3 || s.pan > 3 || s.key.size() > 1)
            std::abort();
        if (!within(s.gainDb, -100, 0) || !within(s.balance, -1, 1) || s.layers.size() > 8) std::abort();
        if (s.muteGroup < 0 || s.muteGroup > 8 || !within(s.envelope.sustain, 0, 1)) std::abort();
        for (const zendra::model::Layer& l : s.layers)
            if (l.minVelocity < 1 || l.maxVelocity > 127 || l.minVelocity > l.maxVelocity) std::abort();
    }
    const ReadResult again = parseKit(serializeKit(kit, folder), folder);
    if (!again.kit || !(*again.kit == kit)) std::abort();
    return 0;
}
