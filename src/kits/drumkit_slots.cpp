#include "kits/drumkit_slots.h"

#include <algorithm>
#include <cmath>

namespace zendra::kits {

namespace {
constexpr int kMaxVelocity = 127;
constexpr double kMaxLayerGainDb = 20.0;  // above every gain a kit may hold
constexpr double kDefaultReleaseFrames = 1000.0;

int velocityOf(float v) { return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * kMaxVelocity)); }

double ms(double frames) { return frames * 1000.0 / kDrumEnvelopeRate; }

bool isHydrogenDefault(const DrumEnvelope& e) {
    return e.attackFrames == 0.0 && e.decayFrames == 0.0 && e.sustain == 1.0f &&
           e.releaseFrames == kDefaultReleaseFrames;
}

QString plural(qsizetype n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// The layers in velocity order, at most eight, their ranges made to meet.
std::vector<model::Layer> layersOf(const DrumInstrument& in, double extraDb, bool& trimmed) {
    std::vector<model::Layer> all;
    for (const DrumLayer& l : in.layers) {
        model::Layer m;
        m.file = l.file;
        m.minVelocity = std::max(1, velocityOf(l.minVelocity));
        m.maxVelocity = std::max(m.minVelocity, velocityOf(l.maxVelocity));
        m.gainDb = std::min(linearToDb(l.gain) + extraDb, kMaxLayerGainDb);
        all.push_back(m);
    }
    std::stable_sort(all.begin(), all.end(), [](const model::Layer& a, const model::Layer& b) {
        return std::pair(a.minVelocity, a.maxVelocity) < std::pair(b.minVelocity, b.maxVelocity);
    });
    trimmed = all.size() > static_cast<size_t>(model::kMaxLayers);
    std::vector<model::Layer> kept;
    if (trimmed) {
        const size_t n = all.size(), k = model::kMaxLayers;
        for (size_t i = 0; i < k; ++i) kept.push_back(all[(i * (n - 1) + (k - 1) / 2) / (k - 1)]);
        // Each kept layer reaches down to the one below it.
        for (size_t i = 1; i < kept.size(); ++i)
            kept[i].minVelocity = std::min(kept[i - 1].maxVelocity + 1, kept[i].maxVelocity);
    } else {
        kept = std::move(all);
        // A shared edge or a single missing velocity is rounding: the upper layer starts right above.
        for (size_t i = 1; i < kept.size(); ++i) {
            const int gap = kept[i].minVelocity - kept[i - 1].maxVelocity;
            if (gap == 0 || gap == 2) kept[i].minVelocity = std::min(kept[i - 1].maxVelocity + 1, kept[i].maxVelocity);
        }
    }
    return kept;
}
}  // namespace

double linearToDb(double gain) { return gain > 0.0 ? std::max(20.0 * std::log10(gain), -100.0) : -100.0; }

DrumSlots toSlots(const std::vector<DrumInstrument>& chosen, const QStringList& keys) {
    DrumSlots out;
    std::vector<int> groups;  // Hydrogen's ids, in order of first use
    int groupsLeftOut = 0, trimmedInstruments = 0, pitched = 0;
    for (const DrumInstrument& in : chosen) {
        if (!in.hasSound() || out.slotList.size() == static_cast<size_t>(model::kSlots)) continue;
        const size_t i = out.slotList.size();
        model::SampleSlot s;
        s.name = in.name;
        s.key = i < static_cast<size_t>(keys.size()) ? keys[static_cast<qsizetype>(i)] : QString();
        s.loop = false;
        s.pan = std::clamp(static_cast<double>(in.pan), -1.0, 1.0);
        const double db = linearToDb(static_cast<double>(in.volume) * static_cast<double>(in.gain));
        s.gainDb = std::min(db, 0.0);
        bool trimmed = false;
        s.layers = layersOf(in, std::max(db, 0.0), trimmed);
        if (trimmed) ++trimmedInstruments;
        for (const DrumLayer& l : in.layers)
            if (l.pitch != 0.0f) ++pitched;
        // The loudest layer: the highest velocities, the later one on a tie.
        const auto loudest = std::max_element(s.layers.begin(), s.layers.end(), [](const auto& a, const auto& b) {
            return std::pair(a.maxVelocity, a.minVelocity) <= std::pair(b.maxVelocity, b.minVelocity);
        });
        s.file = loudest->file;
        if (in.muteGroup >= 0) {
            auto at = std::find(groups.begin(), groups.end(), in.muteGroup);
            if (at == groups.end() && groups.size() < static_cast<size_t>(model::kMuteGroups))
                at = groups.insert(groups.end(), in.muteGroup);
            if (at != groups.end())
                s.muteGroup = static_cast<int>(at - groups.begin()) + 1;
            else
                ++groupsLeftOut;
        }
        if (!isHydrogenDefault(in.envelope)) {
            s.envelope.attackMs = ms(in.envelope.attackFrames);
            s.envelope.decayMs = ms(in.envelope.decayFrames);
            s.envelope.sustain = std::clamp(static_cast<double>(in.envelope.sustain), 0.0, 1.0);
            s.envelope.releaseMs = ms(in.envelope.releaseFrames);
            s.envelope.releaseOnNoteOff = true;
        }
        out.slotList.push_back(std::move(s));
    }
    if (trimmedInstruments > 0)
        out.notKept << QStringLiteral("eight layers kept, spread across the velocities, on ") +
                           plural(trimmedInstruments, "instrument", "instruments");
    if (groupsLeftOut > 0)
        out.notKept << QStringLiteral("mute groups past the eighth left out on ") +
                           plural(groupsLeftOut, "instrument", "instruments");
    if (pitched > 0) out.notKept << QStringLiteral("pitch on ") + plural(pitched, "layer", "layers");
    return out;
}

}  // namespace zendra::kits
