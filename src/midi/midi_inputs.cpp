#include "midi/midi_inputs.h"

#include <algorithm>
#include <jack/jack.h>
#include <regex>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include "sound/callback_gate.h"
#include "sound/device_closer.h"

namespace zendra::midi {

namespace {
void quiet(const char*) {}

// A client of the running JACK server that only listens for the server's
// end (clearing `up`), or null when no server answers. Never starts a
// server, and keeps the library's messages off the console.
jack_client_t* watchJack(std::atomic<bool>* up) {
    static const bool silenced = [] {
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
        return true;
    }();
    (void)silenced;
    jack_status_t status{};
    jack_client_t* c = jack_client_open("Zendra-watch", JackNoStartServer, &status);
    if (c == nullptr) return nullptr;
    jack_on_shutdown(
        c, [](void* flag) { static_cast<std::atomic<bool>*>(flag)->store(false); }, up);
    if (jack_activate(c) != 0) {
        jack_client_close(c);
        return nullptr;
    }
    up->store(true);
    return c;
}

bool alsaSequencerPresent() { return access("/dev/snd/seq", R_OK | W_OK) == 0; }

void ignoreErrors(RtMidiError::Type, const std::string&, void*) {}

// ALSA adds "client:port" numbers, which change when a device is plugged in again.
std::string shownName(const char* prefix, const std::string& raw) {
    static const std::regex numbers(R"( \d+:\d+$)");
    return prefix + std::regex_replace(raw, numbers, "");
}
}  // namespace

struct MidiInputs::System {
    RtMidi::Api api;
    const char* prefix;
    std::unique_ptr<RtMidiIn> in;
    uint64_t jackLife = 0;           // JACK: the server's life the input's client was made in
    std::vector<std::string> ports;  // RtMidi's names, in its port order
    bool open = false;
};

// Where the inputs' messages go. An input handed to the closing thread keeps
// it alive, and may call it until it is closed; once cut, nothing passes.
struct MidiInputs::Relay {
    Sink sink;
    CallbackGate gate;

    // Any thread: never waits.
    void pass(const std::vector<unsigned char>& message) {
        gate.pass([&] {
            if (!message.empty()) sink(message.data(), message.size());
        });
    }
    // Waits for a message passing now (microseconds), then lets none through.
    void cut() { gate.close(); }
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
    systems_.push_back(std::make_unique<System>(System{RtMidi::LINUX_ALSA, "ALSA: ", nullptr, 0, {}, false}));
    systems_.push_back(std::make_unique<System>(System{RtMidi::UNIX_JACK, "JACK: ", nullptr, 0, {}, false}));
    prober_ = std::thread([this] {
        jack_client_t* watch = nullptr;
        std::unique_lock<std::mutex> lock(probeMutex_);
        while (!stopProbe_) {
            lock.unlock();
            // A watch whose server shut it down is abandoned, like the inputs (see jackUsable).
            if (watch != nullptr && !jackUp_.load()) watch = nullptr;
            if (watch == nullptr) {
                const std::lock_guard<std::mutex> hold(jackLock_);
                watch = watchJack(&jackUp_);
                if (watch != nullptr) jackLife_.fetch_add(1);
            }
            lock.lock();
            probeWake_.wait_for(lock, std::chrono::seconds(2), [this] { return stopProbe_; });
        }
        lock.unlock();
        if (watch != nullptr && jackUp_.load()) jack_client_close(watch);
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
    for (auto& s : systems_) {
        if (!s->in) continue;
        if (s->api == RtMidi::UNIX_JACK && !jackUsable(*s)) {
            abandon(*s);
            continue;
        }
        // Closing can wait for a busy server: the closing thread does it.
        closeLater(std::make_shared<Closing>(Closing{relay_, std::move(s->in)}));
    }
}

bool MidiInputs::jackUsable(const System& s) const { return jackUp_.load() && s.jackLife == jackLife_.load(); }

void MidiInputs::abandon(System& s) {
    // Never destroyed: once its server has shut the client down, any call
    // into it may touch what the JACK library has already freed (the next
    // client opened in the process deletes the dead server's clients). The
    // input's few kilobytes are left behind instead, with the relay it calls.
    if (s.open) open_.clear();
    s.open = false;
    s.ports.clear();
    if (!s.in) return;
    [[maybe_unused]] RtMidiIn* left = s.in.release();
    [[maybe_unused]] auto* relay = new std::shared_ptr<Relay>(relay_);
}

void MidiInputs::onMessage(double, std::vector<unsigned char>* message, void* relay) {
    if (message != nullptr) static_cast<Relay*>(relay)->pass(*message);
}

void MidiInputs::refresh() {
    std::vector<std::string> names;
    // The JACK system is looked at only while the prober is not opening a
    // client; otherwise its last listing stands.
    std::unique_lock<std::mutex> jack(jackLock_, std::try_to_lock);
    for (auto& s : systems_) {
        const bool isJack = s->api == RtMidi::UNIX_JACK;
        if (isJack && !jack.owns_lock()) {
            for (const auto& raw : s->ports) names.push_back(shownName(s->prefix, raw));
            continue;
        }
        if (isJack && s->in && !jackUsable(*s)) abandon(*s);
        if (!s->in) {
            const bool present = isJack ? jackUp_.load() : alsaSequencerPresent();
            if (!present) continue;
            try {
                s->jackLife = jackLife_.load();
                s->in = std::make_unique<RtMidiIn>(s->api, "Zendra");
                s->in->setErrorCallback(ignoreErrors, nullptr);
                s->in->ignoreTypes(true, true, true);  // system exclusive, timing, active sensing
                s->in->setCallback(&MidiInputs::onMessage, relay_.get());
            } catch (const RtMidiError&) {
                s->in.reset();
                continue;
            }
        }
        s->ports.clear();
        const unsigned n = s->in->getPortCount();
        for (unsigned i = 0; i < n; ++i) {
            const std::string raw = s->in->getPortName(i);
            if (raw.empty()) continue;
            s->ports.push_back(raw);
            names.push_back(shownName(s->prefix, raw));
        }
    }
    jack = {};
    names_ = std::move(names);
    // Gone from two listings in a row: unplugged. (One listing can come back
    // short while the system is busy; closing then would lose notes.)
    if (!open_.empty() && std::find(names_.begin(), names_.end(), open_) == names_.end()) {
        if (++missing_ >= 2) close();
    } else {
        missing_ = 0;
    }
}

bool MidiInputs::anySystem() const {
    for (const auto& s : systems_)
        if (s->in) return true;
    return false;
}

bool MidiInputs::open(const std::string& name) {
    close();
    const std::lock_guard<std::mutex> jack(jackLock_);
    for (auto& s : systems_) {
        if (!s->in || name.rfind(s->prefix, 0) != 0) continue;
        if (s->api == RtMidi::UNIX_JACK && !jackUsable(*s)) return false;
        for (unsigned i = 0; i < s->ports.size(); ++i) {
            if (shownName(s->prefix, s->ports[i]) != name) continue;
            try {
                s->in->openPort(i, "input");
            } catch (const RtMidiError&) {
                return false;
            }
            if (!s->in->isPortOpen()) return false;
            s->open = true;
            open_ = name;
            return true;
        }
    }
    return false;
}

void MidiInputs::close() {
    const std::lock_guard<std::mutex> jack(jackLock_);
    for (auto& s : systems_) {
        if (s->open && s->in) {
            if (s->api == RtMidi::UNIX_JACK && !jackUsable(*s))
                abandon(*s);
            else
                s->in->closePort();
        }
        s->open = false;
    }
    open_.clear();
    missing_ = 0;
}

}  // namespace zendra::midi
