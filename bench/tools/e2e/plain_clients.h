// Plain clients beside the program, for comparison and measuring. On
// PipeWire each has its own connection and data thread, made realtime by the
// realtime client configuration, at a quantum of 128/48000, and fills exactly
// the frames asked each cycle: a capture of a sink's monitor whose frames are
// dated by the graph's clock, and a player of clicks on demand or of a steady
// tone. On JACK, a client that plays a click on demand into the physical
// playback ports.
// Threads: constructed, triggered and read from one thread; the process
// callbacks run on the sound library's own thread, lock-free.
#pragma once
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace zendra::bench {

// One stream on a connection of its own (the environment names the server).
class PwStream {
public:
    static constexpr int kRate = 48000;
    static constexpr int kQuantum = 128;
    // The node latency asked for: kQuantum, or $ZENDRA_PLAIN_QUANTUM frames
    // (to compare with the program at the buffer it stepped to).
    static int quantum();

    PwStream(const PwStream&) = delete;
    PwStream& operator=(const PwStream&) = delete;

protected:
    PwStream() = default;
    virtual ~PwStream() = default;
    // Output streams play into `target` (a sink's node name; empty: the
    // default); input streams capture the monitor of the sink `target`.
    // Connecting is tried again for up to `retrySeconds`.
    void open(const char* name, bool output, const std::string& target, double retrySeconds);
    void close();  // before the owner's members go
    virtual void process() noexcept = 0;
    pw_stream* stream_ = nullptr;

private:
    const char* connect(const char* name, bool output, const std::string& target);
    void disconnect();
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    struct Hook;
    Hook* hook_ = nullptr;
};

// The left channel of a sink's monitor, up to `seconds` long; the server
// may take up to `retrySeconds` to answer.
class PwMonitor : public PwStream {
public:
    PwMonitor(const std::string& sink, double seconds, double retrySeconds = 0.0);
    ~PwMonitor() override;
    // Waits until `frames` have come in; false on timeout.
    bool waitFrames(size_t frames, double timeoutSeconds);
    void stop();  // what came in stays for reading
    std::vector<float> left() const;
    // When the sink played `frame`: the start of the graph cycle that
    // delivered it to this capture, less one quantum (a monitor hands on what
    // the sink took the cycle before), plus the frame's place in it.
    std::optional<Clock::time_point> frameTime(size_t frame) const;

private:
    void process() noexcept override;
    struct Block {
        size_t end = 0;  // frames so far, this block included
        int64_t cycleNs = 0;
        uint32_t frames = 0;
    };
    std::vector<float> left_;
    std::vector<Block> blocks_;
    std::atomic<size_t> frames_{0}, blockCount_{0};
};

// A click (20 ms of 1 kHz from its peak, 0.5) when asked, or a steady 440 Hz
// sine (0.25) throughout.
class PwPlayer : public PwStream {
public:
    enum class Sound { Click, Tone };
    PwPlayer(Sound sound, const std::string& sink = {});
    ~PwPlayer() override;
    // The moment it was asked: the next cycle starts the click.
    Clock::time_point click();

private:
    void process() noexcept override;
    Sound sound_;
    std::atomic<bool> pending_{false};
    uint32_t pos_ = UINT32_MAX;  // in the click; the data thread's
    double phase_ = 0;
};

// A JACK client on the server named by JACK_DEFAULT_SERVER, its two outputs
// connected to the physical playback ports, clicking as PwPlayer does.
class JackClicker {
public:
    JackClicker();
    ~JackClicker();
    JackClicker(const JackClicker&) = delete;
    JackClicker& operator=(const JackClicker&) = delete;
    Clock::time_point click();

private:
    static int process(uint32_t frames, void* self);
    jack_client_t* client_ = nullptr;
    jack_port_t* out_[2] = {nullptr, nullptr};
    std::atomic<bool> pending_{false};
    uint32_t pos_ = UINT32_MAX;
};

// The click both players play: sample `i` of it.
float clickSample(uint32_t i, uint32_t rate);
constexpr uint32_t kClickFrames = 960;

}  // namespace zendra::bench
