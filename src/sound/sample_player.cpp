#include "sound/sample_player.h"

#include <algorithm>
#include <cmath>

#include "sound/ds_types.h"
#include "sound/output_engine.h"

namespace zendra {

namespace {
// The published word: attach sequence (32 bits), loop (bit 16), voice + 1 (bits 0..15; 0: none).
uint64_t pack(int voice, bool loop, uint32_t attachSeq) {
    return (static_cast<uint64_t>(attachSeq) << 32) | (loop ? 0x10000u : 0u) | static_cast<uint64_t>(voice + 1);
}

float linear(double db) { return db <= SamplePlayer::kSilentDb ? 0.0f : static_cast<float>(std::pow(10.0, db / 20.0)); }
}  // namespace

SamplePlayer::SamplePlayer(std::shared_ptr<OutputEngine> engine) : engine_(std::move(engine)) {}

SamplePlayer::~SamplePlayer() {
    for (auto& p : published_) p.store(0, std::memory_order_release);
    for (Slot& s : slots_) engine_->mixer().detach(s.voice, s.data);
}

std::pair<float, float> SamplePlayer::sideGains(double db, double pan) {
    pan = std::clamp(pan, -1.0, 1.0);
    const double left = db - (pan > 0 ? 100.0 * pan : 0.0);
    const double right = db + (pan < 0 ? 100.0 * pan : 0.0);
    return {linear(left), linear(right)};
}

void SamplePlayer::load(std::vector<std::shared_ptr<SampleData>> sounds) {
    if (sounds.size() > static_cast<size_t>(kSlots)) throw SoundError(DSERR_INVALIDPARAM, "More than sixteen samples.");
    for (const auto& d : sounds)
        if (!d || d->frames() == 0) throw SoundError(DSERR_INVALIDPARAM, "A sample holds no sound.");
    Mixer& mixer = engine_->mixer();
    std::vector<Slot> fresh;
    for (auto& d : sounds) {
        Slot s;
        s.voice = mixer.attach(d.get(), d->rate);
        if (s.voice < 0) {
            for (Slot& f : fresh) mixer.detach(f.voice, f.data);
            throw SoundError(DSERR_ALLOCATED, "Too many sounds are in use.");
        }
        s.data = std::move(d);
        s.rateHz = s.data->rate;
        fresh.push_back(std::move(s));
    }
    for (auto& p : published_) p.store(0, std::memory_order_release);
    for (Slot& s : slots_) mixer.detach(s.voice, s.data);
    slots_ = std::move(fresh);
    for (int i = 0; i < count(); ++i) publish(i);
}

const SampleData* SamplePlayer::sound(int slot) const { return has(slot) ? slots_[slot].data.get() : nullptr; }

void SamplePlayer::publish(int slot) {
    const Slot& s = slots_[slot];
    published_[slot].store(pack(s.voice, s.loop, engine_->mixer().attachSeq(s.voice)), std::memory_order_release);
}

void SamplePlayer::start(int slot, float level) {
    if (!has(slot)) return;
    engine_->mixer().start(slots_[slot].voice, slots_[slot].loop, level);
}

void SamplePlayer::stop(int slot) {
    if (has(slot)) engine_->mixer().stop(slots_[slot].voice);
}

void SamplePlayer::resume(int slot) {
    if (has(slot)) engine_->mixer().play(slots_[slot].voice, slots_[slot].loop);
}

void SamplePlayer::playOn(int slot, bool loop) {
    if (has(slot)) engine_->mixer().play(slots_[slot].voice, loop);
}

void SamplePlayer::rewind(int slot) {
    if (has(slot)) engine_->mixer().setPosition(slots_[slot].voice, 0);
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
    slots_[slot].rateHz = hz;
    engine_->mixer().setRate(slots_[slot].voice, hz);
}

void SamplePlayer::sendGains(int slot) {
    const auto [l, r] = sideGains(slots_[slot].gainDb, slots_[slot].pan);
    engine_->mixer().setGain(slots_[slot].voice, l, r);
}

bool SamplePlayer::playing(int slot) const { return has(slot) && engine_->mixer().status(slots_[slot].voice) != 0; }
bool SamplePlayer::looping(int slot) const {
    return has(slot) && (engine_->mixer().status(slots_[slot].voice) & 4) != 0;
}
int64_t SamplePlayer::position(int slot) const { return has(slot) ? engine_->mixer().position(slots_[slot].voice) : 0; }
bool SamplePlayer::loops(int slot) const { return has(slot) && slots_[slot].loop; }
double SamplePlayer::gainDb(int slot) const { return has(slot) ? slots_[slot].gainDb : 0.0; }
double SamplePlayer::pan(int slot) const { return has(slot) ? slots_[slot].pan : 0.0; }
int SamplePlayer::rateHz(int slot) const { return has(slot) ? slots_[slot].rateHz : 0; }

bool SamplePlayer::startFromDevice(int slot, float level) noexcept {
    if (slot < 0 || slot >= kSlots) return false;
    const uint64_t w = published_[static_cast<size_t>(slot)].load(std::memory_order_acquire);
    if ((w & 0xFFFF) == 0) return false;
    DeviceStart s;
    s.voice = static_cast<int16_t>((w & 0xFFFF) - 1);
    s.loop = (w & 0x10000) != 0;
    s.attachSeq = static_cast<uint32_t>(w >> 32);
    s.level = level;
    return engine_->mixer().startFromDevice(s);
}

void SamplePlayer::flush() { engine_->mixer().flush(); }

}  // namespace zendra
