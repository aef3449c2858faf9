#include "sound/jack_client.h"

#include "sound/ds_types.h"

namespace zendra {

namespace {
void quiet(const char*) {}
}  // namespace

std::mutex& JackClient::libraryMutex() {
    static std::mutex m;
    return m;
}

JackClient::JackClient(const char* name, void (*onShutDown)(void*), void* owner)
    : onShutDown_(onShutDown),
      owner_(owner) {
    static std::once_flag once;
    std::call_once(once, [] {  // a missing server is not an error worth printing
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
    });
    jack_status_t status{};
    {
        const std::lock_guard<std::mutex> lock(libraryMutex());
        client_ = jack_client_open(name, JackNoStartServer, &status);
    }
    if (client_ == nullptr) {
        throw SoundError(DSERR_NODRIVER, (status & JackServerFailed) != 0 ? "no JACK server is running"
                                                                          : "the JACK server refused a client");
    }
    jack_on_shutdown(
        client_,
        [](void* arg) {
            auto* self = static_cast<JackClient*>(arg);
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

void JackClient::activate() {
    if (jack_activate(client_) != 0) throw SoundError(DSERR_NODRIVER, "JACK would not run the client");
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
