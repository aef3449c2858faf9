// A client of the running JACK server, for audio and MIDI alike. Never starts
// a server; the library's messages are kept off the console. When the server
// shuts the client down it is abandoned: nothing more is called on it (the
// library would reach for the server that is gone), and it is not closed.
//
// After a server's death, the next client opened in the process makes the
// library delete the dead server's clients. Every open and close therefore
// holds libraryMutex(), and so does any thread that calls into a client
// outside that client's own callbacks while another thread may open one.
// Threads: [any] except where marked; the shutdown callback runs on JACK's
// thread (perhaps the realtime one).
#pragma once
#include <atomic>
#include <cstdint>
#include <jack/jack.h>
#include <mutex>
#include <string>
#include <vector>

namespace zendra {

class JackClient {
public:
    // Opens a client named `name` (the server adds a suffix if it is taken);
    // throws SoundError when no server answers or it refuses. `onShutDown(owner)`,
    // if given, is told at once when the server shuts the client down.
    explicit JackClient(const char* name, void (*onShutDown)(void*) = nullptr, void* owner = nullptr);
    ~JackClient();  // closes it unless abandoned
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    static std::mutex& libraryMutex();

    jack_client_t* get() const { return client_; }
    bool shutDown() const { return shutDown_.load(); }

    // Throws SoundError when refused.
    jack_port_t* registerPort(const char* name, const char* type, unsigned long flags);
    void activate();
    // The ports of a type and flags (e.g. physical playback), in the server's order.
    std::vector<std::string> ports(const char* type, unsigned long flags) const;

private:
    void (*onShutDown_)(void*);
    void* owner_;
    jack_client_t* client_ = nullptr;
    std::atomic<bool> shutDown_{false};
};

}  // namespace zendra
