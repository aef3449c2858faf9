#include "sound/jack_client.h"

#include <thread>

#include "sound/ds_types.h"

namespace zendra {

namespace {
void quiet(const char*) {}

int64_t steadyNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// When a client of the process was last shut down (steady clock); 0: never.
std::atomic<int64_t> lastShutDown{0};
}  // namespace

std::mutex& JackClient::libraryMutex() {
    static std::mutex m;
    return m;
}

JackClient::JackClient(const char* name, void (*onShutDown)(void*), void* owner)
    : onShutDown_(onShutDown),
      owner_(owner) {
    const std::lock_guard<std::mutex> lock(libraryMutex());
    open(name);
}

JackClient::JackClient(const std::unique_lock<std::mutex>&, const char* name, void (*onShutDown)(void*), void* owner)
    : onShutDown_(onShutDown),
      owner_(owner) {
    open(name);
}

void JackClient::open(const char* name) {
    static std::once_flag once;
    std::call_once(once, [] {  // a missing server is not an error worth printing
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
    });
    const int64_t shut = lastShutDown.load();
    if (shut != 0 && steadyNanos() - shut < std::chrono::nanoseconds(kSettle).count())
        throw SoundError(DSERR_NODRIVER, "the JACK server is going away");
    jack_status_t status{};
    client_ = jack_client_open(name, JackNoStartServer, &status);
    if (client_ == nullptr) {
        throw SoundError(DSERR_NODRIVER, (status & JackServerFailed) != 0 ? "no JACK server is running"
                                                                          : "the JACK server refused a client");
    }
    jack_on_shutdown(
        client_,
        [](void* arg) {
            auto* self = static_cast<JackClient*>(arg);
            lastShutDown.store(steadyNanos());
            self->shutDown_.store(true);
            if (self->onShutDown_ != nullptr) self->onShutDown_(self->owner_);
        },
        this);
}

JackClient::~JackClient() {
    if (shutDown_.load()) return;
    const std::lock_guard<std::mutex> lock(libraryMutex());
    jack_client_close(client_);  // also deactivates and unregisters its ports
}

jack_port_t* JackClient::registerPort(const char* name, const char* type, unsigned long flags) {
    jack_port_t* port = jack_port_register(client_, name, type, flags, 0);
    if (port == nullptr) throw SoundError(DSERR_NODRIVER, std::string("JACK refused the port ") + name);
    return port;
}

void JackClient::setProcess(JackProcessCallback process, void* arg) {
    process_ = process;
    processArg_ = arg;
    jack_set_process_callback(
        client_,
        [](jack_nframes_t frames, void* self) {
            auto* c = static_cast<JackClient*>(self);
            if (!c->ran_.load(std::memory_order_relaxed)) c->ran_.store(true, std::memory_order_release);
            return c->process_(frames, c->processArg_);
        },
        this);
}

void JackClient::activate() {
    activated_ = std::chrono::steady_clock::now();
    if (jack_activate(client_) != 0) throw SoundError(DSERR_NODRIVER, "JACK would not run the client");
}

bool JackClient::runs(std::chrono::milliseconds wait) const {
    const auto until = activated_ + wait;
    while (!ran_.load(std::memory_order_acquire)) {
        if (shutDown_.load() || std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<std::string> JackClient::ports(const char* type, unsigned long flags) const {
    std::vector<std::string> names;
    if (const char** list = jack_get_ports(client_, nullptr, type, flags)) {
        for (const char** p = list; *p != nullptr; ++p) names.emplace_back(*p);
        jack_free(list);
    }
    return names;
}

}  // namespace zendra
