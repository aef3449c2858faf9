#include "plain_clients.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <jack/jack.h>
#include <mutex>
#include <numbers>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <stdexcept>

#include "e2e_env.h"

namespace zendra::bench {

float clickSample(uint32_t i, uint32_t rate) {
    return 0.5f * static_cast<float>(std::cos(2 * std::numbers::pi * 1000.0 * i / rate));
}

// ------------------------------------------------------------------ PipeWire

struct PwStream::Hook {
    spa_hook hook{};
    pw_stream_events events{};
};

void PwStream::open(const char* name, bool output, const std::string& target, double retrySeconds) {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    hook_ = new Hook;
    loop_ = pw_thread_loop_new(name, nullptr);
    // The realtime configuration makes the data thread realtime, as a desktop's clients get it.
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                              pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (context_ == nullptr || pw_thread_loop_start(loop_) != 0) {
        close();
        throw std::runtime_error("no PipeWire context");
    }
    for (const auto t0 = Clock::now();;) {
        pw_thread_loop_lock(loop_);
        const char* failed = connect(name, output, target);
        if (failed != nullptr) disconnect();
        pw_thread_loop_unlock(loop_);
        if (failed == nullptr) return;
        if (msBetween(t0, Clock::now()) >= retrySeconds * 1000) {
            close();
            throw std::runtime_error(std::string(failed) + " (" + name + ")");
        }
        zendra::test::sleepSeconds(0.01);
    }
}

// Under the loop's lock.
void PwStream::disconnect() {
    if (stream_ != nullptr) pw_stream_destroy(stream_);
    if (core_ != nullptr) pw_core_disconnect(core_);
    stream_ = nullptr;
    core_ = nullptr;
}

int PwStream::quantum() {
    const char* frames = std::getenv("ZENDRA_PLAIN_QUANTUM");
    const int asked = frames != nullptr ? std::atoi(frames) : 0;
    return asked > 0 ? asked : kQuantum;
}

// Under the loop's lock.
const char* PwStream::connect(const char* name, bool output, const std::string& target) {
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_ == nullptr) return "no PipeWire server answered";
    pw_properties* props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, output ? "Playback" : "Capture",
                          PW_KEY_MEDIA_ROLE, "Production", PW_KEY_NODE_NAME, name, nullptr);
    pw_properties_setf(props, PW_KEY_NODE_LATENCY, "%d/%d", quantum(), kRate);
    if (!target.empty()) pw_properties_set(props, PW_KEY_TARGET_OBJECT, target.c_str());
    if (!output) pw_properties_set(props, PW_KEY_STREAM_CAPTURE_SINK, "true");
    stream_ = pw_stream_new(core_, name, props);
    if (stream_ == nullptr) return "PipeWire refused a stream";
    hook_->events.version = PW_VERSION_STREAM_EVENTS;
    hook_->events.process = [](void* self) { static_cast<PwStream*>(self)->process(); };
    pw_stream_add_listener(stream_, &hook_->hook, &hook_->events, this);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = 2;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    uint8_t pod[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(pod, sizeof pod);
    const spa_pod* params[] = {spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &info)};
    const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                    PW_STREAM_FLAG_RT_PROCESS);
    if (pw_stream_connect(stream_, output ? PW_DIRECTION_OUTPUT : PW_DIRECTION_INPUT, PW_ID_ANY, flags, params, 1) < 0)
        return "PipeWire refused a stream";
    return nullptr;
}

void PwStream::close() {
    if (loop_ != nullptr) {
        pw_thread_loop_lock(loop_);
        disconnect();
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
        if (context_ != nullptr) pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }
    delete hook_;
    hook_ = nullptr;
    loop_ = nullptr;
    context_ = nullptr;
}

PwMonitor::PwMonitor(const std::string& sink, double seconds, double retrySeconds)
    : left_(static_cast<size_t>(seconds * kRate)),
      blocks_(left_.size() / 16 + 1) {
    open("bench-monitor", false, sink, retrySeconds);
}

PwMonitor::~PwMonitor() { close(); }

void PwMonitor::process() noexcept {
    pw_buffer* b = pw_stream_dequeue_buffer(stream_);
    if (b == nullptr) return;
    const spa_data& d = b->buffer->datas[0];
    pw_time t{};
    pw_stream_get_time_n(stream_, &t, sizeof t);
    const size_t at = frames_.load(std::memory_order_relaxed), k = blockCount_.load(std::memory_order_relaxed);
    if (d.data != nullptr && d.chunk != nullptr && k < blocks_.size()) {
        const uint32_t offset = std::min(d.chunk->offset, d.maxsize);
        const auto* f = reinterpret_cast<const float*>(static_cast<const uint8_t*>(d.data) + offset);
        const size_t n = std::min<size_t>(std::min(d.chunk->size, d.maxsize - offset) / 8, left_.size() - at);
        for (size_t i = 0; i < n; ++i) left_[at + i] = f[2 * i];
        blocks_[k] = {at + n, t.now, static_cast<uint32_t>(n)};
        frames_.store(at + n, std::memory_order_release);
        blockCount_.store(k + 1, std::memory_order_release);
    }
    pw_stream_queue_buffer(stream_, b);
}

bool PwMonitor::waitFrames(size_t frames, double timeoutSeconds) {
    const auto t0 = Clock::now();
    while (frames_.load() < frames) {
        if (msBetween(t0, Clock::now()) > timeoutSeconds * 1000) return false;
        zendra::test::sleepSeconds(0.005);
    }
    return true;
}

void PwMonitor::stop() { close(); }

std::vector<float> PwMonitor::left() const {
    return {left_.begin(), left_.begin() + static_cast<std::ptrdiff_t>(frames_.load())};
}

std::optional<Clock::time_point> PwMonitor::frameTime(size_t frame) const {
    const auto end = blocks_.begin() + static_cast<std::ptrdiff_t>(blockCount_.load());
    const auto it = std::upper_bound(blocks_.begin(), end, frame, [](size_t f, const Block& b) { return f < b.end; });
    if (it == end || it->frames == 0 || it->cycleNs == 0) return std::nullopt;
    const double into = static_cast<double>(frame - (it->end - it->frames)) - it->frames;  // less one quantum
    return Clock::time_point(std::chrono::nanoseconds(it->cycleNs)) +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(into / kRate));
}

PwPlayer::PwPlayer(Sound sound, const std::string& sink) : sound_(sound) {
    open(sound == Sound::Click ? "bench-click" : "bench-tone", true, sink, 0.0);
}

PwPlayer::~PwPlayer() { close(); }

Clock::time_point PwPlayer::click() {
    const auto at = Clock::now();
    pending_.store(true);
    return at;
}

void PwPlayer::process() noexcept {
    pw_buffer* b = pw_stream_dequeue_buffer(stream_);
    if (b == nullptr) return;
    spa_data& d = b->buffer->datas[0];
    if (d.data != nullptr) {
        uint64_t frames = d.maxsize / 8;
        if (b->requested > 0) frames = std::min<uint64_t>(frames, b->requested);
        auto* out = static_cast<float*>(d.data);
        if (pending_.exchange(false)) pos_ = 0;
        for (uint64_t i = 0; i < frames; ++i) {
            float v = 0.0f;
            if (sound_ == Sound::Tone) {
                v = 0.25f * static_cast<float>(std::sin(phase_));
                phase_ = std::fmod(phase_ + 2 * std::numbers::pi * 440.0 / kRate, 2 * std::numbers::pi);
            } else if (pos_ < kClickFrames) {
                v = clickSample(pos_++, kRate);
            }
            out[2 * i] = out[2 * i + 1] = v;
        }
        d.chunk->offset = 0;
        d.chunk->stride = 8;
        d.chunk->size = static_cast<uint32_t>(frames * 8);
    }
    pw_stream_queue_buffer(stream_, b);
}

// ---------------------------------------------------------------------- JACK

JackClicker::JackClicker() {
    jack_status_t status{};
    client_ = jack_client_open("bench-click", JackNoStartServer, &status);
    if (client_ == nullptr) throw std::runtime_error("no JACK server for the plain client");
    out_[0] = jack_port_register(client_, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    out_[1] = jack_port_register(client_, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &JackClicker::process, this);
    if (out_[0] == nullptr || out_[1] == nullptr || jack_activate(client_) != 0)
        throw std::runtime_error("the plain JACK client could not start");
    const char** ports =
        jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    for (int i = 0; ports != nullptr && i < 2 && ports[i] != nullptr; ++i)
        jack_connect(client_, jack_port_name(out_[i]), ports[i]);
    if (ports != nullptr) jack_free(ports);
}

JackClicker::~JackClicker() { jack_client_close(client_); }

Clock::time_point JackClicker::click() {
    const auto at = Clock::now();
    pending_.store(true);
    return at;
}

int JackClicker::process(uint32_t frames, void* arg) {
    auto* self = static_cast<JackClicker*>(arg);
    auto* l = static_cast<float*>(jack_port_get_buffer(self->out_[0], frames));
    auto* r = static_cast<float*>(jack_port_get_buffer(self->out_[1], frames));
    if (self->pending_.exchange(false)) self->pos_ = 0;
    const uint32_t rate = jack_get_sample_rate(self->client_);
    for (uint32_t i = 0; i < frames; ++i) {
        l[i] = r[i] = self->pos_ < kClickFrames ? clickSample(self->pos_++, rate) : 0.0f;
    }
    return 0;
}

}  // namespace zendra::bench
