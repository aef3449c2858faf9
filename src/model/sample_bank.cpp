#include "model/sample_bank.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace zendra::model {

QStringList SampleBank::files() const {
    QStringList l;
    for (int i = 0; i < count_; ++i) l << slots_[static_cast<size_t>(i)].file;
    return l;
}

QString SampleBank::displayName(int i) const {
    const SampleSlot& s = slot(i);
    return s.name.isEmpty() ? QFileInfo(s.file).completeBaseName() : s.name;
}

QStringList SampleSlot::soundFiles() const {
    if (layers.empty()) return {file};
    QStringList l;
    for (const Layer& layer : layers) l << layer.file;
    return l;
}

void SampleBank::replace(const QStringList& files) {
    count_ = static_cast<int>(std::min<qsizetype>(files.size(), kSlots));
    for (int i = 0; i < kSlots; ++i) {
        SampleSlot& s = slots_[static_cast<size_t>(i)];
        // A bank of plain files: one sound a slot.
        s.layers.clear();
        s.defaultLayer = -1;
        s.file = i < count_ ? files[i] : QString();
    }
    emit replaced();
}

void SampleBank::replaceSlots(const std::vector<SampleSlot>& incoming) {
    count_ = static_cast<int>(std::min<size_t>(incoming.size(), kSlots));
    for (int i = 0; i < kSlots; ++i) {
        if (i < count_) {
            slots_[static_cast<size_t>(i)] = incoming[static_cast<size_t>(i)];
        } else {
            slots_[static_cast<size_t>(i)].file.clear();
            slots_[static_cast<size_t>(i)].layers.clear();
        }
    }
    emit replaced();
}

void SampleBank::clear() {
    slots_ = {};
    count_ = 0;
    emit replaced();
}

template <typename T>
void SampleBank::set(int i, T SampleSlot::*member, T value, Field f, Signal s) {
    if (i < 0 || i >= kSlots) return;
    T& held = slots_[static_cast<size_t>(i)].*member;
    if (held == value && s == Signal::IfChanged) return;
    held = value;
    emit changed(i, f);
}

void SampleBank::setLoop(int i, bool on, Signal s) { set(i, &SampleSlot::loop, on, Field::Loop, s); }

void SampleBank::setGainDb(int i, double db, Signal s) {
    if (std::isnan(db)) return;
    set(i, &SampleSlot::gainDb, std::clamp(db, -100.0, 0.0), Field::Gain, s);
}

void SampleBank::setPan(int i, double pan, Signal s) {
    if (std::isnan(pan)) return;
    set(i, &SampleSlot::pan, std::clamp(pan, -1.0, 1.0), Field::Pan, s);
}

void SampleBank::setRateHz(int i, int hz, Signal s) {
    if (hz <= 0) return;
    set(i, &SampleSlot::rateHz, hz, Field::Rate, s);
}

void SampleBank::setPaused(int i, bool paused) {
    set(i, &SampleSlot::paused, paused, Field::Paused, Signal::IfChanged);
}

void SampleBank::setKey(int i, const QString& key) {
    if (i < 0 || i >= kSlots) return;
    QString& held = slots_[static_cast<size_t>(i)].key;
    if (held == key && held.isNull() == key.isNull()) return;
    held = key;
    emit changed(i, Field::Key);
}

void SampleBank::setName(int i, const QString& name) {
    set(i, &SampleSlot::name, name, Field::Name, Signal::IfChanged);
}

void SampleBank::setLayers(int i, std::vector<Layer> layers, int defaultLayer) {
    if (i < 0 || i >= kSlots) return;
    if (layers.size() > static_cast<size_t>(kMaxLayers)) layers.resize(kMaxLayers);
    for (Layer& l : layers) {
        l.minVelocity = std::clamp(l.minVelocity, 1, 127);
        l.maxVelocity = std::clamp(l.maxVelocity, 1, 127);
        if (l.minVelocity > l.maxVelocity) std::swap(l.minVelocity, l.maxVelocity);
        l.gainDb = std::isnan(l.gainDb) ? 0.0 : std::clamp(l.gainDb, -100.0, 12.0);
    }
    if (defaultLayer < -1 || defaultLayer >= static_cast<int>(layers.size())) defaultLayer = -1;
    SampleSlot& s = slots_[static_cast<size_t>(i)];
    if (s.layers == layers && s.defaultLayer == defaultLayer) return;
    s.layers = std::move(layers);
    s.defaultLayer = defaultLayer;
    emit changed(i, Field::Layers);
}

void SampleBank::setMuteGroup(int i, int group) {
    set(i, &SampleSlot::muteGroup, group >= 1 && group <= kMuteGroups ? group : 0, Field::MuteGroup,
        Signal::IfChanged);
}

void SampleBank::setEnvelope(int i, const Envelope& e) {
    Envelope kept = e;
    for (double* ms : {&kept.attackMs, &kept.decayMs, &kept.releaseMs})
        *ms = std::isnan(*ms) ? 0.0 : std::max(*ms, 0.0);
    kept.sustain = std::isnan(kept.sustain) ? 1.0 : std::clamp(kept.sustain, 0.0, 1.0);
    set(i, &SampleSlot::envelope, kept, Field::Envelope, Signal::IfChanged);
}

void SampleBank::setRange(int i, int64_t startFrame, int64_t endFrame) {
    if (i < 0 || i >= kSlots) return;
    SampleSlot& s = slots_[static_cast<size_t>(i)];
    startFrame = std::max<int64_t>(startFrame, 0);
    endFrame = endFrame < 0 ? -1 : std::max(endFrame, startFrame + 1);
    if (s.startFrame == startFrame && s.endFrame == endFrame) return;
    s.startFrame = startFrame;
    s.endFrame = endFrame;
    emit changed(i, Field::Range);
}

}  // namespace zendra::model
