// A client of the running JACK server, for audio and MIDI alike. Never starts
// a server; the library's messages are kept off the console. When the server
// shuts the client down it is abandoned: nothing more is called on it (the
// library would reach for the server that is gone), and it is not closed.
//
// After a server's death, the next client opened in the process makes the
// library delete the dead server's clients. Every open and close therefore
// holds libraryMutex(), and so does any thread that calls into a client
// outside that client's own callbacks while another thread may open one.
//
// The library keeps one table of the clients' wake-ups per process, by the
// server's slot number. A client that leaves the server while one of ours is
// still being opened keeps its entry there, and the next client of ours given
// its slot waits on the departed client's wake-up: activated, it is never run.
// openRunning() closes such a client (which clears the entry) and opens it
// again.
//
// The first client opened after a server's death also closes the dead
// server's clients, cancelling their notification threads; one cancelled
// while it handles the dying server's last notifications leaves the
// library's lock held, and the process hangs at its next open. So no client
// opens until kSettle after a shutdown: by then those threads have ended.
// Threads: [any] except where marked; the shutdown callback runs on JACK's
// thread (perhaps the realtime one).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <jack/jack.h>
#include <mutex>
#include <string>
#include <vector>

namespace zendra {

class JackClient {
public:
    // Opens a client named `name` (the server adds a suffix if it is taken);
    // throws SoundError when no server answers, it refuses, or a client was
    // shut down less than kSettle ago. `onShutDown(owner)`,
    // if given, is told at once when the server shuts the client down.
    explicit JackClient(const char* name, void (*onShutDown)(void*) = nullptr, void* owner = nullptr);
    // The same, by a caller that holds the library's lock (`held`) and keeps
    // it for its set-up: no other client opens in between.
    JackClient(const std::unique_lock<std::mutex>& held, const char* name, void (*onShutDown)(void*), void* owner);
    ~JackClient();  // closes it unless abandoned
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    static std::mutex& libraryMutex();

    jack_client_t* get() const { return client_; }
    bool shutDown() const { return shutDown_.load(); }

    // Throws SoundError when refused.
    jack_port_t* registerPort(const char* name, const char* type, unsigned long flags);
    // The process callback, set before activate(); its cycles are watched by runs().
    void setProcess(JackProcessCallback process, void* arg);
    void activate();
    // Whether the server runs the client: its process callback was called
    // within `wait` of activate() (or since). Waits for it; call without the
    // library's lock.
    bool runs(std::chrono::milliseconds wait) const;

    // A client the server runs has its first cycle 4 to 30 ms after activation, under load too.
    static constexpr std::chrono::milliseconds kFirstCycleWait{150};
    // A dead server's clients finish its last notifications within a few milliseconds.
    static constexpr std::chrono::milliseconds kSettle{150};
    // The ports of a type and flags (e.g. physical playback), in the server's order.
    std::vector<std::string> ports(const char* type, unsigned long flags) const;

private:
    void open(const char* name);  // with the library's lock held

    void (*onShutDown_)(void*);
    void* owner_;
    jack_client_t* client_ = nullptr;
    std::atomic<bool> shutDown_{false};
    JackProcessCallback process_ = nullptr;
    void* processArg_ = nullptr;
    std::atomic<bool> ran_{false};  // set by the first cycle
    std::chrono::steady_clock::time_point activated_{};
};

// Opens with `open` (returning a std::unique_ptr to the owner of an
// activated client, which `clientOf` gives) and, while the server does not
// run that client, closes it and opens again: before the next opens, so that
// it keeps its name. The last try, or a client the server shut down, is
// returned as it is. [window], or a thread of the owner's own.
template <typename Open, typename ClientOf>
auto openRunning(Open open, ClientOf clientOf) {
    constexpr int kTries = 3;
    for (int tried = 1;; ++tried) {
        auto owner = open();
        const auto& client = clientOf(*owner);
        if (tried == kTries || client.runs(JackClient::kFirstCycleWait) || client.shutDown()) return owner;
    }
}

}  // namespace zendra
