#include "midi/midi_inputs.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

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
    jack_on_shutdown(c, [](void* flag) { static_cast<std::atomic<bool>*>(flag)->store(false); }, up);
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
    std::vector<std::string> ports;  // RtMidi's names, in its port order
    bool open = false;
};

MidiInputs::MidiInputs(Sink sink) : sink_(std::move(sink)) {
    systems_.push_back(std::make_unique<System>(System{RtMidi::LINUX_ALSA, "ALSA: ", nullptr, {}, false}));
    systems_.push_back(std::make_unique<System>(System{RtMidi::UNIX_JACK, "JACK: ", nullptr, {}, false}));
    prober_ = std::thread([this] {
        jack_client_t* watch = nullptr;
        std::unique_lock<std::mutex> lock(probeMutex_);
        while (!stopProbe_) {
            lock.unlock();
            if (watch != nullptr && !jackUp_.load()) {
                jack_client_close(watch);  // the server has gone (this can take seconds)
                watch = nullptr;
            }
            if (watch == nullptr) watch = watchJack(&jackUp_);
            lock.lock();
            probeWake_.wait_for(lock, std::chrono::seconds(2), [this] { return stopProbe_; });
        }
        lock.unlock();
        if (watch != nullptr) jack_client_close(watch);
    });
}

MidiInputs::~MidiInputs() {
    {
        std::lock_guard<std::mutex> lock(probeMutex_);
        stopProbe_ = true;
    }
    probeWake_.notify_all();
    prober_.join();
    close();
}

void MidiInputs::onMessage(double, std::vector<unsigned char>* message, void* self) {
    if (message != nullptr && !message->empty())
        static_cast<MidiInputs*>(self)->sink_(message->data(), message->size());
}

void MidiInputs::refresh() {
    std::vector<std::string> names;
    for (auto& s : systems_) {
        if (s->in && s->api == RtMidi::UNIX_JACK && !jackUp_.load()) {
            // The server has gone: its client is let go on a thread of its
            // own, as closing it can take seconds.
            if (s->open) open_.clear();
            s->open = false;
            s->ports.clear();
            std::thread([in = std::move(s->in)]() mutable { in.reset(); }).detach();
            continue;
        }
        if (!s->in) {
            const bool present = s->api == RtMidi::LINUX_ALSA ? alsaSequencerPresent() : jackUp_.load();
            if (!present) continue;
            try {
                s->in = std::make_unique<RtMidiIn>(s->api, "Zendra");
                s->in->setErrorCallback(ignoreErrors, nullptr);
                s->in->ignoreTypes(true, true, true);  // system exclusive, timing, active sensing
                s->in->setCallback(&MidiInputs::onMessage, this);
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
    for (auto& s : systems_) {
        if (!s->in || name.rfind(s->prefix, 0) != 0) continue;
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
    for (auto& s : systems_) {
        if (s->open && s->in) s->in->closePort();
        s->open = false;
    }
    open_.clear();
    missing_ = 0;
}

}  // namespace zendra::midi
