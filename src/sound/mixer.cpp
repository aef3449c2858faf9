#include "sound/mixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "sound/resampler.h"
#include "sound/start_trace.h"

namespace zendra {

namespace {
Mixer::FlushPoster& flushPoster() {
    static Mixer::FlushPoster poster;
    return poster;
}

int32_t statusOf(bool playing, bool looping) { return playing ? (1 | (looping ? 4 : 0)) : 0; }
}  // namespace

void Mixer::setFlushPoster(FlushPoster poster) { flushPoster() = std::move(poster); }

Mixer::Mixer(int deviceRate)
    : deviceRate_(deviceRate),
      published_(kMaxVoices),
      voices_(kMaxVoices),
      scratchL_(kScratch + 8),
      scratchR_(kScratch + 8),
      kernels_(SincKernels::instance()),
      sincDot_(sincDot()),
      shadow_(kMaxVoices) {
    freeVoices_.reserve(kMaxVoices);
    for (int v = kMaxVoices - 1; v >= 0; --v) freeVoices_.push_back(v);
}

// ---------------------------------------------------------------- UI thread

void Mixer::send(MixCommand c) {
    c.seq = ++seq_;
    if (c.voice >= 0 && c.voice < kMaxVoices) shadow_[c.voice].lastSeq = c.seq;
    if (!overflow_.empty() || !queue_.stage(c)) overflow_.push_back(c);
    scheduleFlush();
}

void Mixer::scheduleFlush() {
    auto& poster = flushPoster();
    if (!poster) {
        flush();
        return;
    }
    if (flushScheduled_) return;
    flushScheduled_ = true;
    std::weak_ptr<bool> alive = alive_;
    poster([this, alive] {
        if (alive.lock()) flush();
    });
}

void Mixer::flush() {
    flushScheduled_ = false;
    while (!overflow_.empty() && queue_.stage(overflow_.front())) overflow_.pop_front();
    queue_.commit();
    collectGarbage();
    // More than the queue holds (the audio thread fell behind): the rest must
    // not wait for the next command.
    if (!overflow_.empty() && flushPoster()) scheduleFlush();
}

bool Mixer::pending() const { return static_cast<int32_t>(seq_ - appliedSeq_.load(std::memory_order_acquire)) > 0; }

void Mixer::collectGarbage() {
    const uint32_t applied = appliedSeq_.load(std::memory_order_acquire);
    while (!retired_.empty() && static_cast<int32_t>(applied - retired_.front().seq) >= 0) retired_.pop_front();
}

int Mixer::attach(const SampleData* data, int rate) {
    if (freeVoices_.empty()) return -1;
    const int v = freeVoices_.back();
    freeVoices_.pop_back();
    Shadow& s = shadow_[v];
    s = Shadow{};
    s.inUse = true;
    MixCommand c;
    c.type = MixCommand::Attach;
    c.voice = static_cast<int16_t>(v);
    c.data = data;
    c.value = rate;
    send(c);
    s.attachSeq = seq_;
    return v;
}

void Mixer::detach(int voice, std::shared_ptr<const void> keepAlive) {
    MixCommand c;
    c.type = MixCommand::Detach;
    c.voice = static_cast<int16_t>(voice);
    send(c);
    if (keepAlive) retired_.push_back({seq_, std::move(keepAlive)});
    shadow_[voice].inUse = false;
    freeVoices_.push_back(voice);
}

void Mixer::replaceData(int voice, const SampleData* data, std::shared_ptr<const void> keepAlive) {
    MixCommand c;
    c.type = MixCommand::ReplaceData;
    c.voice = static_cast<int16_t>(voice);
    c.data = data;
    send(c);
    if (keepAlive) retired_.push_back({seq_, std::move(keepAlive)});
}

void Mixer::play(int voice, bool loop) {
    MixCommand c;
    c.type = MixCommand::Play;
    c.voice = static_cast<int16_t>(voice);
    c.value = loop ? 1 : 0;
    shadow_[voice].status = statusOf(true, loop);
    send(c);
}

void Mixer::stop(int voice) {
    MixCommand c;
    c.type = MixCommand::Stop;
    c.voice = static_cast<int16_t>(voice);
    shadow_[voice].status = 0;
    // Wherever the audio thread stops it; a voice not yet attached there is at its start.
    if (!attached(voice)) {
        if (shadow_[voice].position < 0) shadow_[voice].position = 0;
    } else {
        shadow_[voice].position = -1;
    }
    send(c);
}

void Mixer::setPosition(int voice, int64_t frame) {
    MixCommand c;
    c.type = MixCommand::SetPosition;
    c.voice = static_cast<int16_t>(voice);
    c.value = frame;
    shadow_[voice].position = frame;  // known until the audio thread takes over
    send(c);
}

void Mixer::setRate(int voice, int hz) {
    MixCommand c;
    c.type = MixCommand::SetRate;
    c.voice = static_cast<int16_t>(voice);
    c.value = hz;
    send(c);
}

void Mixer::setGain(int voice, float left, float right) {
    MixCommand c;
    c.type = MixCommand::SetGain;
    c.voice = static_cast<int16_t>(voice);
    c.gainLeft = left;
    c.gainRight = right;
    send(c);
}

void Mixer::start(int voice, bool loop, float level) {
    MixCommand c;
    c.type = MixCommand::Start;
    c.voice = static_cast<int16_t>(voice);
    c.value = loop ? 1 : 0;
    c.gainLeft = std::clamp(level, 0.0f, 1.0f);
    shadow_[voice].status = statusOf(true, loop);
    shadow_[voice].position = 0;
    if (StartTrace* trace = startTrace_.load(std::memory_order_relaxed)) trace->asked();
    send(c);
}

void Mixer::link(int voice, int nextLayer, int group) {
    MixCommand c;
    c.type = MixCommand::Link;
    c.voice = static_cast<int16_t>(voice);
    c.value = nextLayer;
    c.group = static_cast<uint8_t>(std::clamp(group, 0, kMuteGroups));
    send(c);
}

void Mixer::setEnvelope(int voice, const Envelope& e) {
    MixCommand c;
    c.type = MixCommand::SetEnvelope;
    c.voice = static_cast<int16_t>(voice);
    c.envelope = e;
    c.envelope.attackMs = std::max(e.attackMs, 0.0f);
    c.envelope.decayMs = std::max(e.decayMs, 0.0f);
    c.envelope.sustain = std::clamp(e.sustain, 0.0f, 1.0f);
    c.envelope.releaseMs = std::max(e.releaseMs, 0.0f);
    send(c);
}

void Mixer::setRange(int voice, int64_t first, int64_t end) {
    MixCommand c;
    c.type = MixCommand::SetRange;
    c.voice = static_cast<int16_t>(voice);
    // Two 32-bit frame numbers; all ones: to the end.
    const uint64_t lo = static_cast<uint64_t>(std::clamp<int64_t>(first, 0, 0xFFFFFFFE));
    const uint64_t hi = end < 0 ? 0xFFFFFFFFu : static_cast<uint64_t>(std::min<int64_t>(end, 0xFFFFFFFE));
    c.value = static_cast<int64_t>((hi << 32) | lo);
    send(c);
}

void Mixer::release(int voice) {
    MixCommand c;
    c.type = MixCommand::Release;
    c.voice = static_cast<int16_t>(voice);
    send(c);
}

bool Mixer::attached(int voice) const {
    const uint32_t applied = published_[voice].appliedSeq.load(std::memory_order_acquire);
    return static_cast<int32_t>(applied - shadow_[voice].attachSeq) >= 0;
}

int32_t Mixer::status(int voice) const {
    const Shadow& s = shadow_[voice];
    const Published& p = published_[voice];
    // Until the audio thread has applied our last command, our own view is the truth.
    if (p.appliedSeq.load(std::memory_order_acquire) != s.lastSeq) return s.status;
    return p.status.load(std::memory_order_relaxed);
}

int64_t Mixer::position(int voice) const {
    const Shadow& s = shadow_[voice];
    const Published& p = published_[voice];
    if (p.appliedSeq.load(std::memory_order_acquire) != s.lastSeq) {
        // A pending rewind is known; otherwise the last published position is the best we have.
        if (s.position >= 0) return s.position;
        return attached(voice) ? p.position.load(std::memory_order_relaxed) : 0;
    }
    return p.position.load(std::memory_order_relaxed);
}

// ------------------------------------------------------------- audio thread

void Mixer::apply(const MixCommand& c) noexcept {
    Voice& v = voices_[c.voice];
    switch (c.type) {
    case MixCommand::Attach:
        setGroup(c.voice, 0);
        v = Voice{};
        v.data = c.data;
        v.frames = static_cast<int64_t>(c.data->frames());
        v.attachSeq = c.seq;
        fitRange(v);
        setRate(v, static_cast<int>(c.value));
        break;
    case MixCommand::Detach:
        setGroup(c.voice, 0);
        v = Voice{};
        break;
    case MixCommand::ReplaceData:
        v.data = c.data;
        v.frames = static_cast<int64_t>(c.data->frames());
        fitRange(v);
        if (v.pos < static_cast<double>(v.first) || v.pos >= static_cast<double>(v.end))
            v.pos = static_cast<double>(v.first);
        break;
    case MixCommand::Play:
        v.looping = c.value != 0;
        if (!v.playing) {
            v.playing = v.end > v.first;
            // An envelope that had ended begins again.
            if (v.envLeft == 0 && v.envLevel <= 0.0f) startEnvelope(v);
            if (v.pos > static_cast<double>(v.first)) {
                // Resuming inside the sound: fade in so it does not click.
                v.gainL = 0.0f;
                v.gainR = 0.0f;
                v.rampLeft = kGainRampFrames;
            } else {
                v.gainL = v.targetL;
                v.gainR = v.targetR;
                v.rampLeft = 0;
            }
        }
        break;
    case MixCommand::Stop:
        startTail(v);
        v.playing = false;
        break;
    case MixCommand::SetPosition:
        startTail(v);
        v.pos = static_cast<double>(std::clamp<int64_t>(c.value, 0, v.frames));
        if (v.pos < static_cast<double>(v.first) || v.pos >= static_cast<double>(v.end))
            v.pos = static_cast<double>(v.first);
        v.unheard = true;
        break;
    case MixCommand::SetRate: setRate(v, static_cast<int>(c.value)); break;
    case MixCommand::SetGain:
        v.baseL = c.gainLeft;
        v.baseR = c.gainRight;
        v.targetL = v.baseL * v.level;
        v.targetR = v.baseR * v.level;
        v.rampLeft = kGainRampFrames;
        break;
    case MixCommand::Start: startVoice(c.voice, c.value != 0, c.gainLeft); break;
    case MixCommand::Link:
        v.nextLayer = static_cast<int16_t>(c.value >= 0 && c.value < kMaxVoices ? c.value : -1);
        setGroup(c.voice, c.group);
        break;
    case MixCommand::SetEnvelope: v.env = c.envelope; break;
    case MixCommand::SetRange: {
        const uint64_t packed = static_cast<uint64_t>(c.value);
        const uint64_t hi = packed >> 32;
        v.wantFirst = static_cast<int64_t>(packed & 0xFFFFFFFFu);
        v.wantEnd = hi == 0xFFFFFFFFu ? -1 : static_cast<int64_t>(hi);
        const int64_t oldFirst = v.first, oldEnd = v.end;
        fitRange(v);
        if (v.pos < static_cast<double>(v.first) || v.pos >= static_cast<double>(v.end)) {
            // Out of the new range: the old one fades out, the new one plays from its start.
            const int64_t newFirst = v.first, newEnd = v.end;
            v.first = oldFirst;
            v.end = oldEnd;
            startTail(v);
            v.first = newFirst;
            v.end = newEnd;
            v.unheard = true;
            v.pos = static_cast<double>(v.first);
        }
        break;
    }
    case MixCommand::Release: releaseVoice(c.voice); break;
    }
    Published& p = published_[c.voice];
    p.status.store(statusOf(v.playing, v.looping), std::memory_order_relaxed);
    p.position.store(static_cast<int64_t>(v.pos), std::memory_order_relaxed);
    p.appliedSeq.store(c.seq, std::memory_order_release);
}

namespace {
// Frames [first, first + count) of a sound as float: its first channel to
// `left`, its last to `right` (the same one for mono).
void decodeFrames(const SampleData& d, int64_t first, int count, float* left, float* right) noexcept {
    const int ch = d.channels;
    const uint8_t* p = d.bytes.data() + static_cast<size_t>(first) * static_cast<size_t>(d.blockAlign());
    switch (d.format) {
    case SampleFormat::U8:
        for (int j = 0; j < count; ++j) {
            left[j] = (static_cast<float>(p[j * ch]) - 128.0f) * (1.0f / 128.0f);
            right[j] = (static_cast<float>(p[j * ch + ch - 1]) - 128.0f) * (1.0f / 128.0f);
        }
        break;
    case SampleFormat::S16:
        for (int j = 0; j < count; ++j) {
            int16_t a, b;
            std::memcpy(&a, p + 2 * j * ch, 2);
            std::memcpy(&b, p + 2 * (j * ch + ch - 1), 2);
            left[j] = static_cast<float>(a) * (1.0f / 32768.0f);
            right[j] = static_cast<float>(b) * (1.0f / 32768.0f);
        }
        break;
    case SampleFormat::F32:
        for (int j = 0; j < count; ++j) {
            std::memcpy(&left[j], p + 4 * j * ch, 4);
            std::memcpy(&right[j], p + 4 * (j * ch + ch - 1), 4);
        }
        break;
    }
}

// One frame of a sound's frames [lo, hi) at a fractional position, by a
// cubic through the four frames around it; outside them: wrapped when
// looping, silence otherwise.
void readCubic(const SampleData& d, int64_t lo, int64_t hi, double pos, bool loop, float& l, float& r) noexcept {
    const int64_t idx = static_cast<int64_t>(pos);
    const int64_t n = hi - lo;
    float L[4] = {}, R[4] = {};
    for (int j = 0; j < 4; ++j) {
        int64_t i = idx - 1 + j;
        if (i < lo || i >= hi) {
            if (!loop) {
                L[j] = R[j] = 0.0f;
                continue;
            }
            i = lo + (((i - lo) % n) + n) % n;
        }
        decodeFrames(d, i, 1, &L[j], &R[j]);
    }
    const float t = static_cast<float>(pos - static_cast<double>(idx));
    l = cubicInterpolate(L[0], L[1], L[2], L[3], t);
    r = cubicInterpolate(R[0], R[1], R[2], R[3], t);
}
}  // namespace

void Mixer::startTail(Voice& v) noexcept {
    // Cut twice before a block: the first cut's tail is what was heard.
    if (!v.playing || v.data == nullptr || v.unheard) return;
    v.unheard = true;
    v.tailFirst = v.first;
    v.tailEnd = v.end;
    v.tailLoop = v.looping;
    v.tailPos = v.pos;
    v.tailL = v.gainL * v.envLevel;
    v.tailR = v.gainR * v.envLevel;
    v.tailLeft = kGainRampFrames;
}

void Mixer::cutOff(Voice& v) noexcept {
    if (v.data == nullptr) return;
    startTail(v);
    v.playing = false;
    v.pos = static_cast<double>(v.first);
}

void Mixer::startVoice(int voice, bool loop, float level) noexcept {
    Voice& v = voices_[voice];
    // The other layers of its sound, then its mute group: bounded, in case a
    // ring is half relinked.
    int w = v.nextLayer;
    for (int k = 0; k < kMaxVoices && w >= 0 && w != voice; ++k, w = voices_[w].nextLayer) cutOff(voices_[w]);
    if (v.group != 0) {
        for (int word = 0; word < kMaskWords; ++word) {
            for (uint64_t bits = groupVoices_[v.group][word]; bits != 0; bits &= bits - 1) {
                const int other = word * 64 + __builtin_ctzll(bits);
                if (other != voice) cutOff(voices_[other]);
            }
        }
    }
    startTail(v);
    v.unheard = true;
    v.pos = static_cast<double>(v.first);
    v.looping = loop;
    v.playing = v.end > v.first;
    v.level = level;
    v.targetL = v.gainL = v.baseL * level;
    v.targetR = v.gainR = v.baseR * level;
    v.rampLeft = 0;
    startEnvelope(v);
}

void Mixer::releaseVoice(int voice) noexcept {
    int w = voice;
    for (int k = 0; k < kMaxVoices && w >= 0; ++k) {
        Voice& v = voices_[w];
        if (v.playing && v.env.releaseOnNoteOff && v.stage != Voice::Releasing) {
            const int r = envFrames(v.env.releaseMs);
            if (r == 0) {
                cutOff(v);
            } else {
                v.stage = Voice::Releasing;
                v.envStep = -v.envLevel / static_cast<float>(r);
                v.envLeft = r;
            }
        }
        w = v.nextLayer;
        if (w == voice) break;
    }
}

void Mixer::setGroup(int voice, int group) noexcept {
    Voice& v = voices_[voice];
    const uint64_t bit = uint64_t{1} << (voice % 64);
    if (v.group != 0) groupVoices_[v.group][voice / 64] &= ~bit;
    v.group = static_cast<uint8_t>(group >= 1 && group <= kMuteGroups ? group : 0);
    if (v.group != 0) groupVoices_[v.group][voice / 64] |= bit;
}

void Mixer::fitRange(Voice& v) noexcept {
    v.end = v.wantEnd < 0 ? v.frames : std::min(v.wantEnd, v.frames);
    v.first = std::clamp<int64_t>(v.wantFirst, 0, std::max<int64_t>(v.end - 1, 0));
}

int Mixer::envFrames(float ms) const noexcept {
    return ms <= 0.0f ? 0 : std::max(1, static_cast<int>(std::lround(ms * 0.001 * deviceRate_)));
}

void Mixer::startEnvelope(Voice& v) noexcept {
    v.envStep = 0.0f;
    v.envLeft = 0;
    const int attack = envFrames(v.env.attackMs);
    if (attack > 0) {
        v.stage = Voice::Attack;
        v.envLevel = 0.0f;
        v.envStep = 1.0f / static_cast<float>(attack);
        v.envLeft = attack;
        return;
    }
    v.stage = Voice::Attack;
    v.envLevel = 1.0f;
    nextStage(v);
}

// The stage after the current one ended, from its exact end level.
void Mixer::nextStage(Voice& v) noexcept {
    v.envStep = 0.0f;
    v.envLeft = 0;
    switch (v.stage) {
    case Voice::Attack: {
        v.envLevel = 1.0f;
        int decay = envFrames(v.env.decayMs);
        if (decay == 0 && v.env.sustain < 1.0f) decay = kGainRampFrames;  // no step down: that would click
        if (decay > 0) {
            v.stage = Voice::Decay;
            v.envStep = (v.env.sustain - 1.0f) / static_cast<float>(decay);
            v.envLeft = decay;
        } else {
            v.stage = Voice::Sustain;
        }
        break;
    }
    case Voice::Decay:
        v.stage = Voice::Sustain;
        v.envLevel = v.env.sustain;
        break;
    case Voice::Sustain: break;
    case Voice::Releasing: v.envLevel = 0.0f; break;
    }
}

// The envelope's level for the next frames into env_, up to where the sound
// ends (its level held at 0): returns how many frames that is.
int Mixer::fillEnvelope(Voice& v, int frames) noexcept {
    float* e = env_.data();
    int i = 0;
    while (i < frames) {
        if (v.envLeft == 0) {
            if (v.envLevel <= 0.0f) return i;
            for (; i < frames; ++i) e[i] = v.envLevel;
            break;
        }
        const int run = std::min(frames - i, v.envLeft);
        const float base = v.envLevel, step = v.envStep;  // no chain of additions: the loop vectorises
        for (int k = 0; k < run; ++k) e[i + k] = base + step * static_cast<float>(k + 1);
        v.envLevel = base + step * static_cast<float>(run);
        v.envLeft -= run;
        i += run;
        if (v.envLeft == 0) {
            nextStage(v);
            e[i - 1] = v.envLevel;  // the stage's exact end level
        }
    }
    return i;
}

void Mixer::setRate(Voice& v, int hz) noexcept {
    v.rateHz = hz;
    v.step = static_cast<double>(hz) / deviceRate_;
    v.table = &kernels_.forStep(v.step);
}

void Mixer::setDeviceRate(int rate) {
    deviceRate_ = rate;
    for (Voice& v : voices_) {
        if (v.data != nullptr) setRate(v, v.rateHz);
    }
}

// Source frames [first, first + span) of the voice as float, per channel;
// outside the frames it plays: wrapped when looping, silence otherwise.
void Mixer::fillScratch(const Voice& v, int64_t first, int span) noexcept {
    const SampleData& d = *v.data;
    const int64_t lo = v.first, hi = v.end, n = hi - lo;
    float* L = scratchL_.data();
    float* R = scratchR_.data();
    int64_t i = first;
    int k = 0;
    while (k < span) {
        int64_t src = i;
        if (src < lo || src >= hi) {
            if (!v.looping) {
                // Silence up to the sound (or to the end of the span).
                const int64_t stopAt = src < lo ? std::min<int64_t>(lo - src, span - k) : span - k;
                for (int64_t z = 0; z < stopAt; ++z, ++k, ++i) L[k] = R[k] = 0.0f;
                continue;
            }
            src = lo + (((src - lo) % n) + n) % n;
        }
        const int run = static_cast<int>(std::min<int64_t>(hi - src, span - k));
        decodeFrames(d, src, run, L + k, R + k);
        k += run;
        i += run;
    }
}

void Mixer::mixVoice(Voice& v, float* out, int frames) noexcept {
    const double start = static_cast<double>(v.first);
    const double end = static_cast<double>(v.end);
    const double length = end - start;
    // The fading tail of a sound that was cut off. It is read with a cubic,
    // not the sinc the voice plays with, on purpose: it lasts 64 frames
    // (1.3 ms at 48 kHz) under a falling gain, so what the cubic adds is brief
    // and quiet, and it needs no scratch of its own beside the voice's, which
    // the voice's new position fills.
    for (int i = 0; i < frames && v.tailLeft > 0; ++i, --v.tailLeft) {
        const double tailEnd = static_cast<double>(v.tailEnd), tailFirst = static_cast<double>(v.tailFirst);
        if (v.tailPos >= tailEnd)
            v.tailPos = v.tailLoop ? tailFirst + std::fmod(v.tailPos - tailFirst, tailEnd - tailFirst) : tailEnd;
        float l, r;
        readCubic(*v.data, v.tailFirst, v.tailEnd, v.tailPos, v.tailLoop, l, r);
        const float fade = static_cast<float>(v.tailLeft) / static_cast<float>(kGainRampFrames + 1);
        out[2 * i] += l * v.tailL * fade;
        out[2 * i + 1] += r * v.tailR * fade;
        v.tailPos += v.step;
    }
    const SincTable& t = *v.table;
    const int taps = t.taps;
    int done = 0;
    while (done < frames && v.playing) {
        int n = frames - done;
        const int fit = static_cast<int>((kScratch - taps - 8) / std::max(v.step, 1e-6));
        n = std::max(1, std::min({n, fit, kMaxBlock}));
        if (!v.looping) {
            const double until = std::ceil((end - v.pos) / v.step);
            if (until <= 0.0) {
                v.playing = false;
                v.pos = start;  // a finished sound plays again from its start
                break;
            }
            if (until < n) n = static_cast<int>(until);
        }
        // The envelope: held (at 1 unless it shapes the sound) or moving,
        // frame by frame in env_; where its level ends at 0, so does the sound.
        const bool held = v.envLeft == 0;
        if (held ? v.envLevel <= 0.0f : (n = fillEnvelope(v, n)) == 0) {
            v.playing = false;
            v.pos = start;
            break;
        }
        const int64_t first = static_cast<int64_t>(std::floor(v.pos)) + t.firstOffset();
        const int64_t last = static_cast<int64_t>(std::floor(v.pos + (n - 1) * v.step)) + t.firstOffset() + taps + 1;
        fillScratch(v, first, static_cast<int>(last - first));
        const bool stereo = v.data->channels > 1;
        SincRun run;
        run.coeffs = t.coeffs.data();
        run.taps = taps;
        run.phases = t.phases;
        run.left = scratchL_.data();
        run.right = stereo ? scratchR_.data() : nullptr;
        run.pos = v.pos - std::floor(v.pos);
        run.step = v.step;
        run.frames = n;
        run.outL = dotL_.data();
        run.outR = stereo ? dotR_.data() : dotL_.data();
        sincDot_(run);
        const float* dl = dotL_.data();
        const float* dr = run.outR;
        float* o = out + 2 * done;
        int i = 0;
        if (held) {
            const float e = v.envLevel;  // 1 for the default envelope: the gains as they are
            for (; i < n && v.rampLeft > 0; ++i, --v.rampLeft) {
                v.gainL += (v.targetL - v.gainL) / static_cast<float>(v.rampLeft);
                v.gainR += (v.targetR - v.gainR) / static_cast<float>(v.rampLeft);
                o[2 * i] += dl[i] * (v.gainL * e);
                o[2 * i + 1] += dr[i] * (v.gainR * e);
            }
            const float gl = v.gainL * e, gr = v.gainR * e;
            for (; i < n; ++i) {
                o[2 * i] += dl[i] * gl;
                o[2 * i + 1] += dr[i] * gr;
            }
        } else {
            const float* e = env_.data();
            for (; i < n && v.rampLeft > 0; ++i, --v.rampLeft) {
                v.gainL += (v.targetL - v.gainL) / static_cast<float>(v.rampLeft);
                v.gainR += (v.targetR - v.gainR) / static_cast<float>(v.rampLeft);
                o[2 * i] += dl[i] * (v.gainL * e[i]);
                o[2 * i + 1] += dr[i] * (v.gainR * e[i]);
            }
            const float gl = v.gainL, gr = v.gainR;
            for (; i < n; ++i) {
                o[2 * i] += dl[i] * (gl * e[i]);
                o[2 * i + 1] += dr[i] * (gr * e[i]);
            }
        }
        v.pos += n * v.step;
        if (v.pos >= end) {
            if (v.looping) {
                v.pos = start + std::fmod(v.pos - start, length);
            } else {
                v.playing = false;
                v.pos = start;
            }
        }
        done += n;
    }
    v.unheard = false;
}

void Mixer::render(float* out, int frames) noexcept {
    uint32_t lastApplied = 0;
    bool anyApplied = false;
    StartTrace* trace = startTrace_.load(std::memory_order_acquire);
    queue_.drain([&](const MixCommand& c) {
        if (trace != nullptr && c.type == MixCommand::Start)
            trace->applied(std::chrono::duration_cast<std::chrono::nanoseconds>(
                               std::chrono::steady_clock::now().time_since_epoch())
                               .count());
        apply(c);
        lastApplied = c.seq;
        anyApplied = true;
    });
    deviceStarts_.drain([&](const DeviceStart& s) {
        if (s.voice < 0 || s.voice >= kMaxVoices) return;
        Voice& v = voices_[s.voice];
        if (v.data == nullptr || v.attachSeq != s.attachSeq) return;  // detached or reused since
        if (s.kind == DeviceStart::Release)
            releaseVoice(s.voice);
        else
            startVoice(s.voice, s.loop, std::clamp(s.level, 0.0f, 1.0f));
    });
    std::memset(out, 0, sizeof(float) * 2 * static_cast<size_t>(frames));
    for (int vi = 0; vi < kMaxVoices; ++vi) {
        Voice& v = voices_[vi];
        if ((!v.playing && v.tailLeft == 0) || v.data == nullptr) continue;
        mixVoice(v, out, frames);
        Published& p = published_[vi];
        p.status.store(statusOf(v.playing, v.looping), std::memory_order_relaxed);
        p.position.store(static_cast<int64_t>(v.pos), std::memory_order_relaxed);
    }
    if (anyApplied) appliedSeq_.store(lastApplied, std::memory_order_release);
}

}  // namespace zendra
