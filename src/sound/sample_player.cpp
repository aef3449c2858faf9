#include "sound/sample_player.h"

#include <algorithm>
#include <cmath>

#include "sound/ds_types.h"
#include "sound/output_engine.h"

namespace zendra {

namespace {
// A published layer word: attach sequence (bits 32..63), default (bit 31),
// highest velocity (bits 24..30), lowest (bits 17..23), loop (bit 16),
// voice + 1 (bits 0..15; 0: none).
constexpr uint64_t kLoopBit = uint64_t{1} << 16;
constexpr uint64_t kDefaultBit = uint64_t{1} << 31;

uint64_t pack(int voice, bool loop, int minVelocity, int maxVelocity, bool isDefault, uint32_t attachSeq) {
    return (static_cast<uint64_t>(attachSeq) << 32) | (isDefault ? kDefaultBit : 0) |
           (static_cast<uint64_t>(maxVelocity) << 24) | (static_cast<uint64_t>(minVelocity) << 17) |
           (loop ? kLoopBit : 0) | static_cast<uint64_t>(voice + 1);
}
int voiceOf(uint64_t w) { return static_cast<int>(w & 0xFFFF) - 1; }
int minVelocityOf(uint64_t w) { return static_cast<int>((w >> 17) & 0x7F); }
int maxVelocityOf(uint64_t w) { return static_cast<int>((w >> 24) & 0x7F); }

float linear(double db) { return db <= SamplePlayer::kSilentDb ? 0.0f : static_cast<float>(std::pow(10.0, db / 20.0)); }
}  // namespace

SamplePlayer::SamplePlayer(std::shared_ptr<OutputEngine> engine) : engine_(std::move(engine)) {}

SamplePlayer::~SamplePlayer() {
    unpublish();
    for (Slot& s : slots_)
        for (Voice& l : s.layers) engine_->mixer().detach(l.voice, l.data);
}

std::pair<float, float> SamplePlayer::sideGains(double db, double pan) {
    pan = std::clamp(pan, -1.0, 1.0);
    const double left = db - (pan > 0 ? 100.0 * pan : 0.0);
    const double right = db + (pan < 0 ? 100.0 * pan : 0.0);
    return {linear(left), linear(right)};
}

void SamplePlayer::load(std::vector<std::shared_ptr<SampleData>> sounds) {
    std::vector<SlotSounds> slots(sounds.size());
    for (size_t i = 0; i < sounds.size(); ++i) slots[i].layers.push_back({std::move(sounds[i])});
    load(std::move(slots));
}

void SamplePlayer::load(std::vector<SlotSounds> sounds) {
    if (sounds.size() > static_cast<size_t>(kSlots)) throw SoundError(DSERR_INVALIDPARAM, "More than sixteen samples.");
    for (const SlotSounds& s : sounds) {
        if (s.layers.empty() || s.layers.size() > static_cast<size_t>(kMaxLayers))
            throw SoundError(DSERR_INVALIDPARAM, "A sample has no sound or more than eight layers.");
        if (s.defaultLayer >= static_cast<int>(s.layers.size()))
            throw SoundError(DSERR_INVALIDPARAM, "The default layer of a sample is not one of its layers.");
        for (const Layer& l : s.layers) {
            if (!l.sound || l.sound->frames() == 0) throw SoundError(DSERR_INVALIDPARAM, "A sample holds no sound.");
            if (l.minVelocity < 1 || l.maxVelocity > 127 || l.minVelocity > l.maxVelocity)
                throw SoundError(DSERR_INVALIDPARAM, "A layer's velocities are not a range within 1..127.");
        }
    }
    Mixer& mixer = engine_->mixer();
    std::vector<Slot> fresh;
    auto undo = [&] {
        for (Slot& f : fresh)
            for (Voice& l : f.layers) mixer.detach(l.voice, l.data);
    };
    for (SlotSounds& in : sounds) {
        Slot s;
        for (Layer& l : in.layers) {
            Voice v;
            v.voice = mixer.attach(l.sound.get(), l.sound->rate);
            if (v.voice < 0) {
                for (Voice& taken : s.layers) mixer.detach(taken.voice, taken.data);
                undo();
                throw SoundError(DSERR_ALLOCATED, "Too many sounds are in use.");
            }
            v.data = std::move(l.sound);
            v.minVelocity = l.minVelocity;
            v.maxVelocity = l.maxVelocity;
            v.gainDb = l.gainDb;
            s.layers.push_back(std::move(v));
        }
        s.defaultLayer = in.defaultLayer;
        if (s.defaultLayer < 0) {
            s.defaultLayer = 0;
            for (int i = 1; i < static_cast<int>(s.layers.size()); ++i)
                if (s.layers[i].maxVelocity > s.layers[s.defaultLayer].maxVelocity) s.defaultLayer = i;
        }
        s.lastLayer = s.defaultLayer;
        s.rateHz = s.layers[s.defaultLayer].data->rate;
        fresh.push_back(std::move(s));
    }
    unpublish();
    for (Slot& s : slots_)
        for (Voice& l : s.layers) mixer.detach(l.voice, l.data);
    slots_ = std::move(fresh);
    for (int i = 0; i < count(); ++i) {
        const Slot& s = slots_[i];
        const int n = static_cast<int>(s.layers.size());
        if (n > 1)
            for (int k = 0; k < n; ++k) mixer.link(s.layers[k].voice, s.layers[(k + 1) % n].voice, 0);
        for (const Voice& l : s.layers)
            if (l.gainDb != 0.0) {
                sendGains(i);
                break;
            }
        publish(i);
    }
}

const SampleData* SamplePlayer::sound(int slot) const {
    return has(slot) ? slots_[slot].layers[slots_[slot].defaultLayer].data.get() : nullptr;
}

int SamplePlayer::layers(int slot) const { return has(slot) ? static_cast<int>(slots_[slot].layers.size()) : 0; }

const SampleData* SamplePlayer::sound(int slot, int layer) const {
    return layer >= 0 && layer < layers(slot) ? slots_[slot].layers[layer].data.get() : nullptr;
}

void SamplePlayer::unpublish() {
    for (Words& words : published_)
        for (auto& w : words) w.store(0, std::memory_order_release);
}

void SamplePlayer::publish(int slot) {
    const Slot& s = slots_[slot];
    const Mixer& mixer = engine_->mixer();
    for (int k = 0; k < static_cast<int>(s.layers.size()); ++k) {
        const Voice& l = s.layers[k];
        published_[slot][k].store(
            pack(l.voice, s.loop, l.minVelocity, l.maxVelocity, k == s.defaultLayer, mixer.attachSeq(l.voice)),
            std::memory_order_release);
    }
}

uint64_t SamplePlayer::pick(const Words& words, int velocity) noexcept {
    uint64_t best = 0;
    int bestDistance = 1000;
    for (const auto& slotWord : words) {
        const uint64_t w = slotWord.load(std::memory_order_acquire);
        if (w == 0) continue;
        if (velocity < 0) {
            if (w & kDefaultBit) return w;
            continue;
        }
        const int lo = minVelocityOf(w), hi = maxVelocityOf(w);
        const int distance = velocity < lo ? lo - velocity : velocity > hi ? velocity - hi : 0;
        if (distance < bestDistance) {
            best = w;
            bestDistance = distance;
        }
    }
    return best;
}

int SamplePlayer::layerFor(int slot, int velocity) const {
    if (!has(slot)) return -1;
    const uint64_t w = pick(published_[slot], velocity);
    const auto& ls = slots_[slot].layers;
    for (int k = 0; k < static_cast<int>(ls.size()); ++k)
        if (ls[k].voice == voiceOf(w)) return k;
    return -1;
}

int SamplePlayer::current(int slot) const {
    const Slot& s = slots_[slot];
    for (int k = 0; k < static_cast<int>(s.layers.size()); ++k)
        if (engine_->mixer().status(s.layers[k].voice) != 0) return k;
    return s.lastLayer;
}

void SamplePlayer::start(int slot, float level, int velocity) {
    const int k = layerFor(slot, velocity);
    if (k < 0) return;
    slots_[slot].lastLayer = k;
    engine_->mixer().start(slots_[slot].layers[k].voice, slots_[slot].loop, level);
}

void SamplePlayer::release(int slot) {
    if (has(slot) && slots_[slot].envelope.releaseOnNoteOff) engine_->mixer().release(slots_[slot].layers[0].voice);
}

void SamplePlayer::stop(int slot) {
    if (!has(slot)) return;
    slots_[slot].lastLayer = current(slot);
    for (const Voice& l : slots_[slot].layers) engine_->mixer().stop(l.voice);
}

void SamplePlayer::resume(int slot) {
    if (has(slot)) engine_->mixer().play(slots_[slot].layers[current(slot)].voice, slots_[slot].loop);
}

void SamplePlayer::playOn(int slot, bool loop) {
    if (has(slot)) engine_->mixer().play(slots_[slot].layers[current(slot)].voice, loop);
}

void SamplePlayer::rewind(int slot) {
    if (!has(slot)) return;
    for (const Voice& l : slots_[slot].layers)
        engine_->mixer().setPosition(l.voice, std::min<int64_t>(slots_[slot].first, l.data->frames() - 1));
}

void SamplePlayer::setLoop(int slot, bool loop) {
    if (!has(slot)) return;
    slots_[slot].loop = loop;
    publish(slot);
}

void SamplePlayer::setGainDb(int slot, double db) {
    if (!has(slot)) return;
    slots_[slot].gainDb = std::max(db, kSilentDb);
    sendGains(slot);
}

void SamplePlayer::setPan(int slot, double pan) {
    if (!has(slot)) return;
    slots_[slot].pan = std::clamp(pan, -1.0, 1.0);
    sendGains(slot);
}

void SamplePlayer::setRateHz(int slot, int hz) {
    if (!has(slot) || hz <= 0) return;
    Slot& s = slots_[slot];
    s.rateHz = hz;
    const double ratio = static_cast<double>(hz) / s.layers[s.defaultLayer].data->rate;
    for (const Voice& l : s.layers)
        engine_->mixer().setRate(l.voice, std::max(1, static_cast<int>(std::lround(l.data->rate * ratio))));
}

void SamplePlayer::setMuteGroup(int slot, int group) {
    if (!has(slot)) return;
    Slot& s = slots_[slot];
    s.group = std::clamp(group, 0, kMuteGroups);
    const int n = static_cast<int>(s.layers.size());
    for (int k = 0; k < n; ++k)
        engine_->mixer().link(s.layers[k].voice, n > 1 ? s.layers[(k + 1) % n].voice : -1, s.group);
}

void SamplePlayer::setEnvelope(int slot, const Envelope& e) {
    if (!has(slot)) return;
    Slot& s = slots_[slot];
    s.envelope = e;
    s.envelope.attackMs = std::max(e.attackMs, 0.0f);
    s.envelope.decayMs = std::max(e.decayMs, 0.0f);
    s.envelope.sustain = std::clamp(e.sustain, 0.0f, 1.0f);
    s.envelope.releaseMs = std::max(e.releaseMs, 0.0f);
    for (const Voice& l : s.layers) engine_->mixer().setEnvelope(l.voice, s.envelope);
}

void SamplePlayer::setRange(int slot, int64_t first, int64_t end) {
    if (!has(slot)) return;
    Slot& s = slots_[slot];
    s.first = std::max<int64_t>(first, 0);
    s.end = end < 0 ? -1 : std::max(end, s.first + 1);
    for (const Voice& l : s.layers) engine_->mixer().setRange(l.voice, s.first, s.end);
}

void SamplePlayer::sendGains(int slot) {
    const Slot& s = slots_[slot];
    for (const Voice& l : s.layers) {
        const double db = s.gainDb <= kSilentDb ? kSilentDb : s.gainDb + l.gainDb;
        const auto [left, right] = sideGains(db, s.pan);
        engine_->mixer().setGain(l.voice, left, right);
    }
}

bool SamplePlayer::playing(int slot) const {
    if (!has(slot)) return false;
    for (const Voice& l : slots_[slot].layers)
        if (engine_->mixer().status(l.voice) != 0) return true;
    return false;
}
bool SamplePlayer::looping(int slot) const {
    if (!has(slot)) return false;
    for (const Voice& l : slots_[slot].layers)
        if ((engine_->mixer().status(l.voice) & 4) != 0) return true;
    return false;
}
int64_t SamplePlayer::position(int slot) const {
    return has(slot) ? engine_->mixer().position(slots_[slot].layers[current(slot)].voice) : 0;
}
bool SamplePlayer::loops(int slot) const { return has(slot) && slots_[slot].loop; }
double SamplePlayer::gainDb(int slot) const { return has(slot) ? slots_[slot].gainDb : 0.0; }
double SamplePlayer::pan(int slot) const { return has(slot) ? slots_[slot].pan : 0.0; }
int SamplePlayer::rateHz(int slot) const { return has(slot) ? slots_[slot].rateHz : 0; }
int SamplePlayer::muteGroup(int slot) const { return has(slot) ? slots_[slot].group : 0; }
Envelope SamplePlayer::envelope(int slot) const { return has(slot) ? slots_[slot].envelope : Envelope{}; }
int64_t SamplePlayer::rangeFirst(int slot) const { return has(slot) ? slots_[slot].first : 0; }
int64_t SamplePlayer::rangeEnd(int slot) const { return has(slot) ? slots_[slot].end : -1; }

bool SamplePlayer::startFromDevice(int slot, float level, int velocity) noexcept {
    if (slot < 0 || slot >= kSlots) return false;
    const uint64_t w = pick(published_[static_cast<size_t>(slot)], velocity);
    if (w == 0) return false;
    DeviceStart s;
    s.voice = static_cast<int16_t>(voiceOf(w));
    s.loop = (w & kLoopBit) != 0;
    s.attachSeq = static_cast<uint32_t>(w >> 32);
    s.level = level;
    return engine_->mixer().startFromDevice(s);
}

bool SamplePlayer::releaseFromDevice(int slot) noexcept {
    if (slot < 0 || slot >= kSlots) return false;
    const uint64_t w = published_[static_cast<size_t>(slot)][0].load(std::memory_order_acquire);
    if (w == 0) return false;
    DeviceStart s;
    s.voice = static_cast<int16_t>(voiceOf(w));
    s.attachSeq = static_cast<uint32_t>(w >> 32);
    return engine_->mixer().releaseFromDevice(s);
}

void SamplePlayer::flush() { engine_->mixer().flush(); }

}  // namespace zendra
