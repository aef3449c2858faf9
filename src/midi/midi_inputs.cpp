#include "midi/midi_inputs.h"

#include <algorithm>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <optional>
#include <regex>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include "sound/callback_gate.h"
#include "sound/device_closer.h"
#include "sound/ds_types.h"
#include "sound/jack_client.h"

namespace zendra::midi {

namespace {
constexpr const char* kAlsaPrefix = "ALSA: ";
constexpr const char* kJackPrefix = "JACK: ";

bool alsaSequencerPresent() { return access("/dev/snd/seq", R_OK | W_OK) == 0; }

void ignoreErrors(RtMidiError::Type, const std::string&, void*) {}

// ALSA adds "client:port" numbers, which change when a device is plugged in again.
std::string shownName(const char* prefix, const std::string& raw) {
    static const std::regex numbers(R"( \d+:\d+$)");
    return prefix + std::regex_replace(raw, numbers, "");
}

// Left out, as for RtMidi's inputs: system exclusive, time code, timing clock, active sensing.
bool ignored(uint8_t status) { return status == 0xF0 || status == 0xF1 || status == 0xF8 || status == 0xFE; }
}  // namespace

struct MidiInputs::System {
    std::unique_ptr<RtMidiIn> in;
    std::vector<std::string> ports;  // RtMidi's names, in its port order
    bool open = false;
};

// Where the inputs' messages go. An input handed to the closing thread keeps
// it alive, and may call it until it is closed; once cut, nothing passes.
struct MidiInputs::Relay {
    Sink sink;
    CallbackGate gate;

    // Any thread: never waits.
    void pass(const uint8_t* bytes, size_t count) {
        gate.pass([&] {
            if (count > 0) sink(bytes, count);
        });
    }
    // Waits for a message passing now (microseconds), then lets none through.
    void cut() { gate.close(); }
};

// The JACK MIDI client and its input port. Its process callback hands each
// message to the relay while an input is open.
struct MidiInputs::JackInput {
    std::shared_ptr<Relay> relay;
    std::atomic<bool> listening{false};
    jack_port_t* port = nullptr;
    JackClient client;  // last: closed first

    explicit JackInput(std::shared_ptr<Relay> r) : relay(std::move(r)), client("Zendra-midi") {
        const std::lock_guard<std::mutex> lock(JackClient::libraryMutex());
        if (client.shutDown()) throw SoundError(DSERR_NODRIVER, "the JACK server went away");
        port = client.registerPort("input", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
        client.setProcess(&JackInput::process, this);
        client.activate();
    }

    // [JACK's realtime thread]
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackInput*>(arg);
        void* buffer = jack_port_get_buffer(self->port, frames);
        if (!self->listening.load(std::memory_order_relaxed)) return 0;
        const uint32_t n = jack_midi_get_event_count(buffer);
        for (uint32_t i = 0; i < n; ++i) {
            jack_midi_event_t event{};
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0 || ignored(event.buffer[0])) continue;
            self->relay->pass(event.buffer, event.size);
        }
        return 0;
    }
};

namespace {
// What the closing thread takes: the input is closed before its relay goes.
struct Closing {
    std::shared_ptr<void> relay;
    std::unique_ptr<RtMidiIn> in;
};
}  // namespace

MidiInputs::MidiInputs(Sink sink) : relay_(std::make_shared<Relay>()) {
    relay_->sink = std::move(sink);
    systems_.push_back(std::make_unique<System>());
    prober_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(probeMutex_);
        std::optional<std::chrono::steady_clock::time_point> lostAt;  // when its server last went away
        while (!stopProbe_) {
            lock.unlock();
            bool have = false;
            {
                const std::lock_guard<std::mutex> hold(jackLock_);
                if (jack_ && jack_->client.shutDown()) {
                    abandonJack();
                    lostAt = std::chrono::steady_clock::now();
                }
                if (!jack_) {
                    try {
                        jack_ = openRunning([&] { return std::make_unique<JackInput>(relay_); },
                                            [](const JackInput& in) -> const JackClient& { return in.client; });
                    } catch (const SoundError&) {  // no server now
                    }
                }
                have = jack_ != nullptr;
            }
            lock.lock();
            // Looked for more often for a while after its server went away: the
            // input is back soon after the server is; a server never there costs little.
            const bool soon = !have && lostAt && std::chrono::steady_clock::now() - *lostAt < kLookOftenAfterLoss;
            probeWake_.wait_for(lock, std::chrono::milliseconds(soon ? 100 : 500), [this] { return stopProbe_; });
        }
    });
}

MidiInputs::~MidiInputs() {
    {
        std::lock_guard<std::mutex> lock(probeMutex_);
        stopProbe_ = true;
    }
    probeWake_.notify_all();
    prober_.join();
    relay_->cut();  // no message reaches the sink from here on
    // Closing can wait for a busy server: the closing thread does it.
    if (jackUsable() != nullptr) closeLater(std::move(jack_));
    abandonJack();
    for (auto& s : systems_)
        if (s->in) closeLater(std::make_shared<Closing>(Closing{relay_, std::move(s->in)}));
}

MidiInputs::JackInput* MidiInputs::jackUsable() const {
    return jack_ && !jack_->client.shutDown() ? jack_.get() : nullptr;
}

void MidiInputs::abandonJack() {
    // Never destroyed: once its server has shut the client down, nothing may
    // touch it (the next client opened in the process deletes it). Its few
    // bytes, with the relay it calls, are left behind; so its address is
    // never that of a later client.
    [[maybe_unused]] JackInput* left = jack_.release();
}

void MidiInputs::onMessage(double, std::vector<unsigned char>* message, void* relay) {
    if (message != nullptr) static_cast<Relay*>(relay)->pass(message->data(), message->size());
}

void MidiInputs::refreshJack(std::vector<std::string>& names) {
    // Looked at only while the prober is not opening a client and no client
    // is being opened or closed elsewhere; otherwise the last listing stands.
    std::unique_lock<std::mutex> jack(jackLock_, std::try_to_lock);
    std::unique_lock<std::mutex> library(JackClient::libraryMutex(), std::defer_lock);
    if (jack.owns_lock() && library.try_lock()) {
        JackInput* in = jackUsable();
        if (jackOpenOn_ != nullptr && jackOpenOn_ != in) {  // its server has gone
            jackOpenOn_ = nullptr;
            open_.clear();
        }
        jackUp_ = in != nullptr;
        jackPorts_ =
            in != nullptr ? in->client.ports(JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput) : std::vector<std::string>{};
    }
    for (const auto& raw : jackPorts_) names.push_back(shownName(kJackPrefix, raw));
}

void MidiInputs::refresh() {
    std::vector<std::string> names;
    System& s = *systems_.front();
    if (!s.in && alsaSequencerPresent()) {
        try {
            s.in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "Zendra");
            s.in->setErrorCallback(ignoreErrors, nullptr);
            s.in->ignoreTypes(true, true, true);  // system exclusive, timing, active sensing
            s.in->setCallback(&MidiInputs::onMessage, relay_.get());
        } catch (const RtMidiError&) {
            s.in.reset();
        }
    }
    if (s.in) {
        s.ports.clear();
        const unsigned n = s.in->getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            const std::string raw = s.in->getPortName(i);
            if (raw.empty()) continue;
            s.ports.push_back(raw);
            names.push_back(shownName(kAlsaPrefix, raw));
        }
    }
    refreshJack(names);
    names_ = std::move(names);
    // Gone from two listings in a row: unplugged. (One listing can come back
    // short while the system is busy; closing then would lose notes.)
    if (!open_.empty() && std::find(names_.begin(), names_.end(), open_) == names_.end()) {
        if (++missing_ >= 2) close();
    } else {
        missing_ = 0;
    }
}

bool MidiInputs::anySystem() const { return systems_.front()->in || jackUp_; }

bool MidiInputs::open(const std::string& name) {
    close();
    if (name.rfind(kJackPrefix, 0) == 0) {
        const std::lock_guard<std::mutex> jack(jackLock_);
        const std::lock_guard<std::mutex> library(JackClient::libraryMutex());
        JackInput* in = jackUsable();
        if (in == nullptr) return false;
        for (const auto& raw : jackPorts_) {
            if (shownName(kJackPrefix, raw) != name) continue;
            if (jack_connect(in->client.get(), raw.c_str(), jack_port_name(in->port)) != 0) return false;
            in->listening.store(true);
            jackOpenOn_ = in;
            open_ = name;
            return true;
        }
        return false;
    }
    System& s = *systems_.front();
    if (!s.in || name.rfind(kAlsaPrefix, 0) != 0) return false;
    for (unsigned i = 0; i < s.ports.size(); ++i) {
        if (shownName(kAlsaPrefix, s.ports[i]) != name) continue;
        try {
            s.in->openPort(i, "input");
        } catch (const RtMidiError&) {
            return false;
        }
        if (!s.in->isPortOpen()) return false;
        s.open = true;
        open_ = name;
        return true;
    }
    return false;
}

void MidiInputs::close() {
    System& s = *systems_.front();
    if (s.open && s.in) s.in->closePort();
    s.open = false;
    if (jackOpenOn_ != nullptr) {
        const std::lock_guard<std::mutex> jack(jackLock_);
        const std::lock_guard<std::mutex> library(JackClient::libraryMutex());
        if (JackInput* in = jackUsable(); in == jackOpenOn_) {
            in->listening.store(false);
            jack_port_disconnect(in->client.get(), in->port);
        }
        jackOpenOn_ = nullptr;
    }
    open_.clear();
    missing_ = 0;
}

}  // namespace zendra::midi
