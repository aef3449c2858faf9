// JACK: the program is one client, "Zendra": its output ports connected to
// the physical playback ports and, while recording, an input port connected
// to a physical capture port; at the server's own rate and buffer size (the
// buffer belongs to the server and its user: never changed here). A capture
// outlives a server restart: the next output's client takes it on.
// Threads (tags as in audio_backend.h): [window] opens the client and the
// capture, [closing] closes them; [audio] is JACK's realtime process thread,
// which takes no lock; the shutdown and buffer-size callbacks run on JACK's
// threads (perhaps the realtime one), set atomics and tell the output's
// callback of a loss. An output's own thread connects it to a sound card that
// comes after it.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <jack/jack.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sound/audio_systems.h"
#include "sound/callback_gate.h"
#include "sound/capture_converter.h"
#include "sound/ds_types.h"
#include "sound/jack_client.h"

namespace zendra {

namespace {

constexpr int kChunk = 1024;  // frames mixed at a time, whatever the server's buffer

class JackOutput;
class JackCapture;

// [audio] What a capture takes from the client's input port each cycle.
class CaptureTaker {
public:
    virtual void take(const float* in, int frames) noexcept = 0;

protected:
    ~CaptureTaker() = default;
};

// The output whose client is the program's, and the capture its input port
// feeds; under the library's lock.
struct Attached {
    JackOutput* output = nullptr;
    JackCapture* capture = nullptr;
};

class JackOutput : public OutputDevice {
public:
    // Opened, set up and activated under the library's lock held throughout,
    // so that the MIDI input's client, opening meanwhile, does not keep the
    // sound waiting (its open took up to 0.8 s under load).
    JackOutput(Attached& attached, OutputCallback* callback)
        : attached_(attached),
          callback_(callback),
          setUp_(JackClient::libraryMutex()),
          client_(
              setUp_, "Zendra", [](void* self) { static_cast<JackOutput*>(self)->lostNow(); }, this) {
        try {
            setUpClient();
        } catch (...) {
            setUp_.unlock();  // closing the client takes it
            throw;
        }
        setUp_.unlock();
        connector_ = std::thread([this] {
            for (;;) {
                portsChanged_.wait(false);
                if (stopConnector_.load()) return;
                portsChanged_.store(false);
                const std::lock_guard<std::mutex> held(JackClient::libraryMutex());
                if (client_.shutDown()) return;
                connectToCard();
                if (in_.load() == nullptr && attached_.output == this) takeOverCapture();
            }
        });
    }
    ~JackOutput() override {
        stopConnector_.store(true);
        portsChanged_.store(true);
        portsChanged_.notify_one();
        connector_.join();
        const std::lock_guard<std::mutex> held(JackClient::libraryMutex());
        if (attached_.output == this) attached_.output = nullptr;
    }
    int rate() const override { return rate_; }
    int bufferFrames() const override { return frames_.load(); }
    bool realtime() const override { return true; }
    bool lost() const override { return client_.shutDown(); }
    const JackClient& client() const { return client_; }
    int64_t quietLossNanos() const override { return kServerQuietLossNanos; }
    bool bufferFixed() const override { return true; }
    void detach() override { gate_.close(); }

    // The capture's port, registered on this client and connected from
    // `source`; with the library's lock held. Throws SoundError when refused.
    void takeCapture(CaptureTaker& taker, const std::string& source) {
        dropCapture();
        if (client_.shutDown()) throw SoundError(DSERR_NODRIVER, "the JACK server went away");
        jack_port_t* in = client_.registerPort("record_in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
        jack_connect(client_.get(), source.c_str(), jack_port_name(in));
        in_.store(in);
        taker_.store(&taker, std::memory_order_release);
    }
    // No capture is fed after this returns; with the library's lock held.
    void dropCapture() {
        jack_port_t* in = in_.load();
        if (in == nullptr) return;
        captureGate_.close();
        taker_.store(nullptr);
        in_.store(nullptr);
        captureGate_.open();
        if (!client_.shutDown()) jack_port_unregister(client_.get(), in);
    }
    // The server's physical capture ports; with the library's lock held.
    std::vector<std::string> capturePorts() const {
        if (client_.shutDown()) return {};
        return client_.ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsOutput);
    }
    // The first physical capture port, or the named one if it exists; empty
    // if none. With the library's lock held.
    std::string captureSource(const std::string& named) const {
        if (client_.shutDown()) return {};
        if (!named.empty()) return jack_port_by_name(client_.get(), named.c_str()) != nullptr ? named : std::string();
        const auto ports = capturePorts();
        return ports.empty() ? std::string() : ports.front();
    }

private:
    // Ports, callbacks, activation and the card; under the library's lock.
    void setUpClient() {
        if (client_.shutDown()) throw SoundError(DSERR_NODRIVER, "the JACK server went away");
        left_ = client_.registerPort("out_left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        right_ = client_.registerPort("out_right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
        rate_ = static_cast<int>(jack_get_sample_rate(client_.get()));
        frames_.store(static_cast<int>(jack_get_buffer_size(client_.get())));
        told_ = frames_.load();
        client_.setProcess(&JackOutput::process, this);
        jack_set_buffer_size_callback(
            client_.get(),
            [](jack_nframes_t frames, void* self) {
                static_cast<JackOutput*>(self)->frames_.store(static_cast<int>(frames));
                return 0;
            },
            this);
        // A sound card whose ports come after the client (a server still
        // starting, a card added later) is connected to when they do.
        jack_set_port_registration_callback(
            client_.get(),
            [](jack_port_id_t, int registered, void* self) {
                if (registered == 0) return;
                auto& wake = static_cast<JackOutput*>(self)->portsChanged_;
                wake.store(true);
                wake.notify_one();
            },
            this);
        client_.activate();
        connectToCard();
        if (attached_.output != nullptr) attached_.output->dropCapture();
        attached_.output = this;
        takeOverCapture();
    }

    // A capture made on an earlier client (before a server restart) goes on
    // through this one's port, from the same source where it still exists.
    void takeOverCapture();

    // To the sound card, as a player expects, once; other routing is theirs
    // to make. The server refuses while the card's client is not active yet
    // (its ports come before it runs): tried again when it activates, which
    // announces its ports anew. Until the card shows a second port the right
    // channel goes to its first, and moves when the second comes (the list
    // may have been read while the card was still adding its ports). Call
    // with the library's lock held.
    void connectToCard() {
        if (connected_) return;
        const auto playback = client_.ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
        if (playback.empty()) return;
        const auto link = [&](jack_port_t* from, const std::string& to) {
            const int result = jack_connect(client_.get(), jack_port_name(from), to.c_str());
            return result == 0 || result == EEXIST;
        };
        const std::string& rightTo = playback[std::min<size_t>(1, playback.size() - 1)];
        if (!rightTo_.empty() && rightTo_ != rightTo) {
            jack_disconnect(client_.get(), jack_port_name(right_), rightTo_.c_str());
            rightTo_.clear();
        }
        const bool left = link(left_, playback[0]);
        const bool right = link(right_, rightTo);
        if (right) rightTo_ = rightTo;
        connected_ = left && right && playback.size() > 1;
    }

    // [JACK's thread] Told at once; not once detached.
    void lostNow() {
        gate_.pass([&] { callback_->deviceLost(); });
    }

    // [audio] The server's buffer, mixed a chunk at a time. A buffer of a new
    // size is told first, so lateness is judged by the new period at once.
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackOutput*>(arg);
        if (const int size = static_cast<int>(frames); size != self->told_) {
            if (self->gate_.pass([&] { self->callback_->bufferResized(size); })) self->told_ = size;
        }
        self->captureGate_.pass([&] {
            if (CaptureTaker* taker = self->taker_.load(std::memory_order_acquire))
                taker->take(static_cast<const float*>(jack_port_get_buffer(self->in_.load(), frames)),
                            static_cast<int>(frames));
        });
        auto* left = static_cast<float*>(jack_port_get_buffer(self->left_, frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(self->right_, frames));
        for (jack_nframes_t done = 0; done < frames;) {
            const int n = static_cast<int>(std::min<jack_nframes_t>(frames - done, kChunk));
            float* mixed = self->mixed_;
            if (!self->gate_.pass([&] { self->callback_->render(mixed, n); })) std::fill(mixed, mixed + 2 * n, 0.0f);
            for (int i = 0; i < n; ++i) {
                left[done + i] = mixed[2 * i];
                right[done + i] = mixed[2 * i + 1];
            }
            done += static_cast<jack_nframes_t>(n);
        }
        return 0;
    }

    Attached& attached_;
    OutputCallback* callback_;
    CallbackGate gate_;
    // The capture fed from the input port; set and cleared under the library's lock.
    CallbackGate captureGate_;
    std::atomic<CaptureTaker*> taker_{nullptr};
    std::atomic<jack_port_t*> in_{nullptr};
    float mixed_[2 * kChunk] = {};  // [audio]
    int told_ = 0;                  // [audio] the buffer size the callback object knows
    int rate_ = 0;
    std::atomic<int> frames_{0};
    jack_port_t* left_ = nullptr;
    jack_port_t* right_ = nullptr;
    std::unique_lock<std::mutex> setUp_;  // the library's lock, while being set up
    JackClient client_;                   // closed before the members above, so no callback outlives them
    // Connects to a card whose ports come later; stopped before the client closes.
    std::atomic<bool> portsChanged_{false};
    std::atomic<bool> stopConnector_{false};
    bool connected_ = false;  // under the library's lock
    std::string rightTo_;     // the card's port the right channel was connected to; under the library's lock
    std::thread connector_;
};

class JackCapture : public CaptureStream, public CaptureTaker {
public:
    JackCapture(Attached& attached, const std::string& device, int rate, int channels, int bits)
        : attached_(attached),
          device_(device),
          rate_(rate),
          channels_(channels),
          bits_(bits) {
        const std::lock_guard<std::mutex> held(JackClient::libraryMutex());
        JackOutput* output = attached_.output;
        if (output == nullptr || output->lost()) throw SoundError(DSERR_NODRIVER, "no JACK server is running");
        const std::string source = output->captureSource(device_);
        if (source.empty()) {
            throw SoundError(DSERR_NODRIVER, device_.empty() ? "The JACK server has no capture port."
                                                             : "The capture device \"" + device_ +
                                                                   "\" could not be opened: no such JACK port.");
        }
        attachTo(*output, source);
    }
    ~JackCapture() override {
        const std::lock_guard<std::mutex> held(JackClient::libraryMutex());
        if (attached_.capture != this) return;
        attached_.capture = nullptr;
        if (attached_.output != nullptr) attached_.output->dropCapture();
    }
    void setSink(CaptureSink* sink) override {
        gate_.close();
        sink_ = sink;
        if (sink_ != nullptr) gate_.open();
    }
    void start() override { running_.store(true); }
    void stop() override { running_.store(false); }

    // Onto `output`'s client, from `source`; with the library's lock held.
    void attachTo(JackOutput& output, const std::string& source) {
        const int serverRate = output.rate();
        if (converter_ == nullptr || serverRate != serverRate_)
            converter_ = std::make_unique<CaptureConverter>(serverRate, rate_, channels_, bits_);
        serverRate_ = serverRate;
        output.takeCapture(*this, source);
        attached_.capture = this;
    }
    const std::string& device() const { return device_; }

private:
    // [audio]
    void take(const float* in, int frames) noexcept override {
        if (!running_.load(std::memory_order_relaxed)) return;
        gate_.pass([&] { converter_->push(in, frames, *sink_); });
    }

    Attached& attached_;
    const std::string device_;
    const int rate_, channels_, bits_;
    int serverRate_ = 0;
    CallbackGate gate_{false};  // open while there is a sink
    CaptureSink* sink_ = nullptr;
    std::atomic<bool> running_{false};
    std::unique_ptr<CaptureConverter> converter_;  // replaced only while no client feeds it
};

void JackOutput::takeOverCapture() {
    JackCapture* capture = attached_.capture;
    if (capture == nullptr) return;
    const std::string source = captureSource(capture->device());
    if (source.empty()) return;  // perhaps later, when the card's ports come
    try {
        capture->attachTo(*this, source);
    } catch (const SoundError&) {}  // the server refused the port: the take stays silent
}

// The physical capture ports, by their alias where they have one, as the
// output's client sees them: none while there is no output.
std::vector<CaptureDeviceInfo> listCapturePorts(const Attached& attached) {
    std::vector<CaptureDeviceInfo> list;
    const std::lock_guard<std::mutex> held(JackClient::libraryMutex());
    if (attached.output == nullptr) return list;
    const JackClient& client = attached.output->client();
    std::vector<char> a(static_cast<size_t>(jack_port_name_size())), b(a.size());
    for (const auto& name : attached.output->capturePorts()) {
        char* aliases[2] = {a.data(), b.data()};
        const jack_port_t* port = jack_port_by_name(client.get(), name.c_str());
        const bool aliased = port != nullptr && jack_port_get_aliases(port, aliases) > 0;
        list.push_back({aliased ? std::string(aliases[0]) : name, name});
    }
    return list;
}

class JackBackend : public AudioBackend {
public:
    std::unique_ptr<OutputDevice> openOutput(const std::string&, int, OutputCallback* callback) override {
        return openRunning([&] { return std::make_unique<JackOutput>(attached_, callback); },
                           [](const JackOutput& out) -> const JackClient& { return out.client(); });
    }
    std::vector<CaptureDeviceInfo> captureDevices() override { return listCapturePorts(attached_); }
    std::unique_ptr<CaptureStream> openCapture(const std::string& device, int rate, int channels, int bits) override {
        return std::make_unique<JackCapture>(attached_, device, rate, channels, bits);
    }
    // Nothing to start before the output: each client connects on its own,
    // and a client opened only to look would show in every patchbay.
    bool prepare() override { return true; }
    std::string name() const override { return "JACK"; }

private:
    Attached attached_;
};

}  // namespace

std::shared_ptr<AudioBackend> jackAudioBackend() {
    static std::shared_ptr<AudioBackend> backend = std::make_shared<JackBackend>();
    return backend;
}

}  // namespace zendra
