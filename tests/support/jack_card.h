// A private JACK server (the dummy driver, with no ports of its own) and, in
// the test process, a pretend sound card on it: physical playback ports
// whose input can be recorded, and a physical capture port that carries a
// steady 440 Hz sine (peak 0.5). A program that connects to the physical
// ports, as a JACK client should, plays into the card.
#pragma once
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "e2e_env.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace zendra::test {

// A name for a private JACK server: the first of "<stem>-0" .. "<stem>-7" no
// live server answers to. JACK keeps a registry of at most eight servers and
// frees a killed server's entry only when a server of the same name starts,
// so fresh names on every run would fill it up after eight kills.
std::string freeJackServerName(const std::string& stem);

class JackCard {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr int kRate = 48000;
    static constexpr int kPeriod = 128;

    JackCard();  // starts the server and the card; throws std::runtime_error
    ~JackCard();
    JackCard(const JackCard&) = delete;
    JackCard& operator=(const JackCard&) = delete;

    EnvVars env() const { return {{"JACK_DEFAULT_SERVER", name_}}; }
    void stop();     // the card leaves, then the server stops (SIGTERM)
    void kill();     // SIGKILL to the server, as a crash
    void restart();  // a new server of the same name, and the card on it

    // Recording what reaches the playback ports: one take at a time.
    void beginTake();
    // Ends the take: its frames and, per period, when the card had them.
    Stereo endTake(std::vector<std::pair<TimePoint, size_t>>& arrivals);
    bool running() const;
    // Whether a client of that exact name is on the server, ports or none.
    bool hasClient(const std::string& name) const;
    // The ports the card's capture port feeds.
    std::vector<std::string> captureFeeds() const;

private:
    void start();
    void closeCard();
    static int process(uint32_t frames, void* self);

    std::string name_;
    Child server_;
    jack_client_t* client_ = nullptr;
    jack_port_t* playback_[2] = {nullptr, nullptr};
    jack_port_t* capture_ = nullptr;
    std::atomic<bool> shutDown_{false};
    double sinePhase_ = 0.0;  // the card's thread
    // The take, written by the card's thread while `recording_`.
    std::atomic<bool> recording_{false};
    std::vector<float> left_, right_;
    std::atomic<size_t> frames_{0};
    std::vector<std::pair<TimePoint, size_t>> arrivals_;
    std::atomic<size_t> periods_{0};
};

}  // namespace zendra::test
