// libFuzzer target: every input is read as a Hydrogen drumkit.xml straight
// from memory, its samples looked up (never opened or written) in the current
// folder. Accepted kits must stay within the limits and ranges the reader
// promises; refusals must name the file.
#include <QDir>
#include <cmath>
#include <cstdlib>

#include "kits/drumkit_import.h"

namespace {
bool within(double v, double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zendra::kits;
    DrumKitLimits limits;
    limits.maxInstruments = 32;
    limits.maxLayers = 8;
    const QString folder = QDir::currentPath();
    const ImportedKit kit = parseDrumKit(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), folder,
                                         QStringLiteral("fuzz-drumkit.xml"), limits);
    if (!kit.ok) {
        if (!kit.error.startsWith(QLatin1String("fuzz-drumkit.xml: ")) || !kit.instruments.empty()) std::abort();
        return 0;
    }
    if (!kit.error.isEmpty() || kit.unpacked) std::abort();
    if (kit.instruments.empty() || int(kit.instruments.size()) > limits.maxInstruments) std::abort();
    for (const DrumInstrument& in : kit.instruments) {
        if (!within(in.volume, 0, kMaxDrumGain) || !within(in.gain, 0, kMaxDrumGain) || !within(in.pan, -1, 1))
            std::abort();
        if (in.muteGroup < -1 || !within(in.envelope.sustain, 0, 1)) std::abort();
        for (double frames : {in.envelope.attackFrames, in.envelope.decayFrames, in.envelope.releaseFrames})
            if (!within(frames, 0, kMaxEnvelopeFrames)) std::abort();
        if (int(in.layers.size()) > limits.maxLayers) std::abort();
        for (const DrumLayer& l : in.layers) {
            if (!within(l.minVelocity, 0, 1) || !within(l.maxVelocity, l.minVelocity, 1)) std::abort();
            if (!within(l.gain, 0, kMaxDrumGain) || !within(l.pitch, -kMaxDrumPitch, kMaxDrumPitch)) std::abort();
            if (!l.file.startsWith(folder + QLatin1Char('/'))) std::abort();
        }
    }
    return 0;
}
