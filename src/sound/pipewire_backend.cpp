// PipeWire's own client API: an output stream at a small quantum whose
// process callback mixes on PipeWire's realtime data thread, capture streams
// from sources and from sinks' monitors, and the list of them.
// Threads (tags as in audio_backend.h): [window] and [closing] work under the
// loop's lock; [audio] is PipeWire's data thread, which takes no lock; the
// other events come on PipeWire's main-loop thread ([pw-main]), set flags
// and tell the output's callback of a loss.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/utils/result.h>
#include <string>
#include <vector>

#include "sound/audio_systems.h"
#include "sound/callback_gate.h"
#include "sound/ds_types.h"
#include "sound/realtime.h"

namespace zendra {

namespace {

constexpr int kOutputRate = 48000;
constexpr int64_t kListTimeoutNanos = 1'000'000'000;
constexpr const char* kMonitorSuffix = ".monitor";

// PipeWire's main-loop thread and a context on it, made once and kept for
// the life of the process. With the realtime client configuration the
// context's data thread is made realtime (through RTKit or directly).
struct Context {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
};

const Context* sharedContext() {
    static Context made;
    static std::once_flag once;
    std::call_once(once, [] {
        pw_init(nullptr, nullptr);
        pw_thread_loop* loop = pw_thread_loop_new("zendra-pipewire", nullptr);
        if (loop == nullptr) return;
        pw_properties* props =
            pw_properties_new(PW_KEY_CONFIG_NAME, realtimeWanted() ? "client-rt.conf" : "client.conf", PW_KEY_APP_NAME,
                              "Zendra", PW_KEY_APP_ICON_NAME, "zendra", nullptr);
        pw_context* context = pw_context_new(pw_thread_loop_get_loop(loop), props, 0);
        if (context == nullptr || pw_thread_loop_start(loop) != 0) {
            if (context != nullptr) pw_context_destroy(context);
            pw_thread_loop_destroy(loop);
            return;
        }
        made = {loop, context};
    });
    return made.loop != nullptr ? &made : nullptr;
}

class LoopLock {
public:
    explicit LoopLock(pw_thread_loop* loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pw_thread_loop* loop_;
};

const Context& contextOrThrow() {
    const Context* c = sharedContext();
    if (c == nullptr) throw SoundError(DSERR_NODRIVER, "PipeWire could not be started");
    return *c;
}

// One connection to the server, made under the loop's lock. It breaks when
// the server goes away; `broke(owner)`, if given, is then called on [pw-main].
class Connection {
public:
    explicit Connection(const Context& c, void (*broke)(void*) = nullptr, void* owner = nullptr)
        : broke_(broke),
          owner_(owner) {
        core_ = pw_context_connect(c.context, nullptr, 0);
        if (core_ == nullptr) throw SoundError(DSERR_NODRIVER, "no PipeWire server answered");
        static const pw_core_events events = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.error = [](void* self, uint32_t id, int, int res, const char*) {
                auto* connection = static_cast<Connection*>(self);
                if (id != PW_ID_CORE || res != -EPIPE) return;
                connection->broken_.store(true);
                if (connection->broke_ != nullptr) connection->broke_(connection->owner_);
            };
            return e;
        }();
        pw_core_add_listener(core_, &hook_, &events, this);
    }
    // [window] [closing] Under the loop's lock.
    ~Connection() {
        spa_hook_remove(&hook_);
        pw_core_disconnect(core_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    pw_core* core() const { return core_; }
    bool broken() const { return broken_.load(); }  // [any] set on [pw-main]

private:
    void (*broke_)(void*);
    void* owner_;
    pw_core* core_ = nullptr;
    spa_hook hook_{};
    std::atomic<bool> broken_{false};
};

pw_properties* streamProperties(const char* category, const char* name, const char* description) {
    return pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, category,
                             // An instrument: desktop policies treat it as music production.
                             PW_KEY_MEDIA_ROLE, "Production", PW_KEY_MEDIA_NAME, description, PW_KEY_NODE_NAME, name,
                             PW_KEY_NODE_DESCRIPTION, description, PW_KEY_APP_NAME, "Zendra", PW_KEY_APP_ICON_NAME,
                             "zendra", nullptr);
}

const spa_pod* rawFormat(spa_pod_builder& b, spa_audio_format format, int rate, int channels) {
    spa_audio_info_raw info{};
    info.format = format;
    info.rate = static_cast<uint32_t>(rate);
    info.channels = static_cast<uint32_t>(channels);
    if (channels == 1) {
        info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    } else {
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
    }
    return spa_format_audio_raw_build(&b, SPA_PARAM_EnumFormat, &info);
}

// One stream on a connection of its own. Made and destroyed under the loop's
// lock; its process callback goes to the owner on the data thread, and the
// first sign of its loss (the stream failing or the connection breaking) to
// `lost`, if given, on [pw-main].
// A connection each (a socket and a client object on the server, about a
// millisecond to make): a stream's loss is then its own to learn and to
// leave, and a stream opened on a restarted server never shares a dead
// connection with one still open on the old. There are at most three at once:
// the output, a capture while recording, and a listing of sources.
class Stream {
public:
    struct Spec {
        pw_properties* props;  // taken over
        pw_direction direction;
        spa_audio_format format;
        int rate, channels;
        bool startInactive;
        std::string refused;  // what to say when the server refuses it
    };
    // [window] Throws SoundError when the server refuses the stream.
    Stream(const Context& c, Spec spec, void (*process)(void*), void* owner, void (*onLost)(void*) = nullptr)
        : context_(c),
          process_(process),
          lost_(onLost),
          owner_(owner) {
        LoopLock lock(context_.loop);
        try {
            open(spec);
        } catch (...) {
            close();
            throw;
        }
    }
    ~Stream() {  // [closing]
        LoopLock lock(context_.loop);
        close();
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    pw_stream* get() const { return stream_; }                             // [audio] to dequeue and queue buffers
    bool lost() const { return failed_.load() || connection_->broken(); }  // [any]
    void setActive(bool on) {                                              // [window]
        LoopLock lock(context_.loop);
        pw_stream_set_active(stream_, on);
    }
    // [window] Asks the graph for another quantum, the stream running on.
    bool setLatency(int frames, int rate) {
        LoopLock lock(context_.loop);
        char value[32];
        std::snprintf(value, sizeof value, "%d/%d", frames, rate);
        const spa_dict_item item = SPA_DICT_ITEM_INIT(PW_KEY_NODE_LATENCY, value);
        const spa_dict dict = SPA_DICT_INIT(&item, 1);
        return pw_stream_update_properties(stream_, &dict) >= 0;
    }

private:
    void open(Spec& spec) {
        connection_ = std::make_unique<Connection>(
            context_, [](void* self) { static_cast<Stream*>(self)->tellLost(); }, this);
        stream_ = pw_stream_new(connection_->core(), pw_properties_get(spec.props, PW_KEY_MEDIA_NAME), spec.props);
        if (stream_ == nullptr) throw SoundError(DSERR_NODRIVER, spec.refused);
        static const pw_stream_events events = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char*) {  // [pw-main]
                if (state != PW_STREAM_STATE_ERROR && state != PW_STREAM_STATE_UNCONNECTED) return;
                static_cast<Stream*>(self)->failed_.store(true);
                static_cast<Stream*>(self)->tellLost();
            };
            e.process = [](void* self) { static_cast<Stream*>(self)->process_(static_cast<Stream*>(self)->owner_); };
            return e;
        }();
        pw_stream_add_listener(stream_, &hook_, &events, this);
        uint8_t pod[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(pod, sizeof pod);
        const spa_pod* params[] = {rawFormat(b, spec.format, spec.rate, spec.channels)};
        auto flags = PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS;
        if (spec.startInactive) flags |= PW_STREAM_FLAG_INACTIVE;
        const int res =
            pw_stream_connect(stream_, spec.direction, PW_ID_ANY, static_cast<pw_stream_flags>(flags), params, 1);
        if (res < 0) throw SoundError(DSERR_NODRIVER, spec.refused + ": " + spa_strerror(res));
    }
    void tellLost() {  // [pw-main] once
        if (lost_ != nullptr && !told_.exchange(true)) lost_(owner_);
    }
    void close() {
        told_.store(true);  // closing is no loss
        if (stream_ != nullptr) pw_stream_destroy(stream_);
        stream_ = nullptr;
        connection_.reset();
    }

    const Context& context_;
    void (*process_)(void*);
    void (*lost_)(void*);
    void* owner_;
    std::atomic<bool> told_{false};
    std::unique_ptr<Connection> connection_;
    pw_stream* stream_ = nullptr;
    spa_hook hook_{};
    std::atomic<bool> failed_{false};  // set on [pw-main]
};

class PipeWireOutput : public OutputDevice {
public:
    PipeWireOutput(const std::string& device, int frames, OutputCallback* callback)
        : callback_(callback),
          frames_(frames),
          stream_(contextOrThrow(), spec(device, frames), &PipeWireOutput::process, this, &PipeWireOutput::lost) {}
    int rate() const override { return kOutputRate; }
    int bufferFrames() const override { return frames_.load(std::memory_order_relaxed); }
    bool realtime() const override { return true; }
    bool lost() const override { return stream_.lost(); }
    int64_t quietLossNanos() const override { return kServerQuietLossNanos; }
    void detach() override { gate_.close(); }
    // The stream's latency updated in place: the graph takes the new quantum
    // at its next cycle, with no new stream and no gap.
    bool resize(int frames) override {
        if (!stream_.setLatency(frames, kOutputRate)) return false;
        frames_.store(frames, std::memory_order_relaxed);
        return true;
    }

private:
    static Stream::Spec spec(const std::string& device, int frames) {
        pw_properties* props = streamProperties("Playback", "zendra", "Zendra");
        // The quantum players feel: the graph runs at the smallest asked for.
        pw_properties_setf(props, PW_KEY_NODE_LATENCY, "%d/%d", frames, kOutputRate);
        if (!device.empty()) pw_properties_set(props, PW_KEY_TARGET_OBJECT, device.c_str());
        return {props,
                PW_DIRECTION_OUTPUT,
                SPA_AUDIO_FORMAT_F32,
                kOutputRate,
                2,
                false,
                "PipeWire refused a playback stream"};
    }

    // [pw-main] Told at once; not once detached.
    static void lost(void* arg) {
        auto* self = static_cast<PipeWireOutput*>(arg);
        self->gate_.pass([&] { self->callback_->deviceLost(); });
    }

    // [audio] Exactly the frames the graph asks for this cycle.
    static void process(void* arg) {
        auto* self = static_cast<PipeWireOutput*>(arg);
        pw_buffer* b = pw_stream_dequeue_buffer(self->stream_.get());
        if (b == nullptr) return;
        spa_data& d = b->buffer->datas[0];
        if (d.data != nullptr) {
            constexpr uint32_t kStride = 2 * sizeof(float);
            // A cycle with no request (a driver that does not say) renders the
            // quantum asked for, never a whole max-size buffer.
            uint64_t frames =
                b->requested > 0 ? b->requested : static_cast<uint64_t>(self->frames_.load(std::memory_order_relaxed));
            frames = std::min<uint64_t>(frames, d.maxsize / kStride);
            auto* out = static_cast<float*>(d.data);
            self->askRealtime_();
            const int n = static_cast<int>(frames);
            // A new graph quantum (another client's, or forced) is told first, so
            // that lateness is judged by its period; a resampler's odd frame is not one.
            if (std::abs(n - self->told_) > self->told_ / 8 &&
                self->gate_.pass([&] { self->callback_->bufferResized(n); }))
                self->told_ = n;
            if (!self->gate_.pass([&] { self->callback_->render(out, n); })) std::fill(out, out + 2 * n, 0.0f);
            d.chunk->offset = 0;
            d.chunk->stride = kStride;
            d.chunk->size = static_cast<uint32_t>(frames * kStride);
        }
        pw_stream_queue_buffer(self->stream_.get(), b);
    }

    OutputCallback* callback_;
    std::atomic<int> frames_;    // asked for; set by [window], read by [audio]
    int told_ = frames_.load();  // [audio] the cycle length the engine knows
    RealtimeOnce askRealtime_;   // [audio] once started
    CallbackGate gate_;
    Stream stream_;  // last: destroyed first, so no callback outlives the members above
};

class PipeWireCapture : public CaptureStream {
public:
    PipeWireCapture(const std::string& device, int rate, int channels, int bits)
        : stream_(contextOrThrow(), spec(device, rate, channels, bits), &PipeWireCapture::process, this) {}
    void setSink(CaptureSink* sink) override {
        gate_.close();
        sink_ = sink;
        if (sink_ != nullptr) gate_.open();
    }
    void start() override { stream_.setActive(true); }
    void stop() override { stream_.setActive(false); }

private:
    // A sink's monitor is asked for as "<sink>.monitor".
    static Stream::Spec spec(const std::string& device, int rate, int channels, int bits) {
        pw_properties* props = streamProperties("Capture", "zendra-record", "Zendra Record");
        pw_properties_setf(props, PW_KEY_NODE_LATENCY, "%d/%d", 1024, kOutputRate);
        const size_t suffix = std::strlen(kMonitorSuffix);
        if (device.size() > suffix && device.compare(device.size() - suffix, suffix, kMonitorSuffix) == 0) {
            pw_properties_set(props, PW_KEY_TARGET_OBJECT, device.substr(0, device.size() - suffix).c_str());
            pw_properties_set(props, PW_KEY_STREAM_CAPTURE_SINK, "true");
        } else if (!device.empty()) {
            pw_properties_set(props, PW_KEY_TARGET_OBJECT, device.c_str());
        }
        // PipeWire's own converter gives the rate, depth and channels asked.
        return {props,
                PW_DIRECTION_INPUT,
                bits == 8 ? SPA_AUDIO_FORMAT_U8 : SPA_AUDIO_FORMAT_S16_LE,
                rate,
                channels,
                true,
                "The capture device " + (device.empty() ? std::string("(default)") : "\"" + device + "\"") +
                    " could not be opened"};
    }

    // [audio]
    static void process(void* arg) {
        auto* self = static_cast<PipeWireCapture*>(arg);
        pw_buffer* b = pw_stream_dequeue_buffer(self->stream_.get());
        if (b == nullptr) return;
        const spa_data& d = b->buffer->datas[0];
        if (d.data != nullptr && d.chunk != nullptr) {
            const uint32_t offset = std::min(d.chunk->offset, d.maxsize);
            const uint32_t size = std::min(d.chunk->size, d.maxsize - offset);
            const auto* bytes = static_cast<const uint8_t*>(d.data) + offset;
            self->gate_.pass([&] { self->sink_->deliver(bytes, size); });
        }
        pw_stream_queue_buffer(self->stream_.get(), b);
    }

    CallbackGate gate_{false};  // open while there is a sink
    CaptureSink* sink_ = nullptr;
    Stream stream_;  // last: destroyed first
};

// The sources and sinks the server has now, in its order: sources first, then
// the sinks' monitors.
std::vector<CaptureDeviceInfo> listCaptureDevices() {
    const Context* c = sharedContext();
    if (c == nullptr) return {};
    struct Listing {
        pw_thread_loop* loop;
        std::vector<CaptureDeviceInfo> sources, monitors;
        int seq = 0;
        bool done = false;
    } listing{c->loop, {}, {}, 0, false};
    LoopLock lock(c->loop);
    std::unique_ptr<Connection> connection;
    try {
        connection = std::make_unique<Connection>(*c);
    } catch (const SoundError&) {
        return {};
    }
    pw_registry* registry = pw_core_get_registry(connection->core(), PW_VERSION_REGISTRY, 0);
    static const pw_registry_events registryEvents = [] {
        pw_registry_events e{};
        e.version = PW_VERSION_REGISTRY_EVENTS;
        e.global = [](void* self, uint32_t, uint32_t, const char* type, uint32_t, const spa_dict* props) {
            if (props == nullptr || std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0) return;
            const char* media = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
            const char* name = spa_dict_lookup(props, PW_KEY_NODE_NAME);
            if (media == nullptr || name == nullptr) return;
            const char* description = spa_dict_lookup(props, PW_KEY_NODE_DESCRIPTION);
            if (description == nullptr) description = spa_dict_lookup(props, PW_KEY_NODE_NICK);
            const std::string shown = description != nullptr ? description : name;
            auto& l = *static_cast<Listing*>(self);
            if (std::strncmp(media, "Audio/Source", 12) == 0) {
                l.sources.push_back({shown, name});
            } else if (std::strcmp(media, "Audio/Sink") == 0) {
                l.monitors.push_back({"Monitor of " + shown, std::string(name) + kMonitorSuffix});
            }
        };
        return e;
    }();
    static const pw_core_events coreEvents = [] {
        pw_core_events e{};
        e.version = PW_VERSION_CORE_EVENTS;
        e.done = [](void* self, uint32_t id, int seq) {
            auto& l = *static_cast<Listing*>(self);
            if (id == PW_ID_CORE && seq == l.seq) {
                l.done = true;
                pw_thread_loop_signal(l.loop, false);
            }
        };
        return e;
    }();
    spa_hook registryHook{}, coreHook{};
    pw_registry_add_listener(registry, &registryHook, &registryEvents, &listing);
    pw_core_add_listener(connection->core(), &coreHook, &coreEvents, &listing);
    listing.seq = pw_core_sync(connection->core(), PW_ID_CORE, 0);
    // A server that never answers leaves the list empty after a second.
    timespec until{};
    pw_thread_loop_get_time(c->loop, &until, kListTimeoutNanos);
    while (!listing.done && !connection->broken())
        if (pw_thread_loop_timed_wait_full(c->loop, &until) != 0) break;
    spa_hook_remove(&coreHook);
    spa_hook_remove(&registryHook);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
    connection.reset();
    if (!listing.done) return {};
    listing.sources.insert(listing.sources.end(), listing.monitors.begin(), listing.monitors.end());
    return listing.sources;
}

class PipeWireBackend : public AudioBackend {
public:
    std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames, OutputCallback* callback) override {
        return std::make_unique<PipeWireOutput>(device, frames, callback);
    }
    std::vector<CaptureDeviceInfo> captureDevices() override { return listCaptureDevices(); }
    std::unique_ptr<CaptureStream> openCapture(const std::string& device, int rate, int channels, int bits) override {
        return std::make_unique<PipeWireCapture>(device, rate, channels, bits);
    }
    bool prepare() override {
        const Context* c = sharedContext();
        if (c == nullptr) return false;
        LoopLock lock(c->loop);
        try {
            Connection probe(*c);
            return true;
        } catch (const SoundError&) {
            return false;
        }
    }
    std::string name() const override { return "PipeWire"; }
};

}  // namespace

std::shared_ptr<AudioBackend> pipewireAudioBackend() {
    static std::shared_ptr<AudioBackend> backend = std::make_shared<PipeWireBackend>();
    return backend;
}

}  // namespace zendra
