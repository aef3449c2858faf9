// The MIDI inputs the computer offers, through RtMidi: the ALSA sequencer's
// ports and a running JACK server's. A system that is absent is simply not
// listed; nothing is printed about it. At most one input is open at a time.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zendra::midi {

class MidiInputs {
public:
    // Receives each message of the open input, on the MIDI system's thread.
    using Sink = std::function<void(const uint8_t* bytes, size_t count)>;

    explicit MidiInputs(Sink sink);
    ~MidiInputs();
    MidiInputs(const MidiInputs&) = delete;
    MidiInputs& operator=(const MidiInputs&) = delete;

    // Looks again for the MIDI systems and their inputs. An open input that
    // has gone (unplugged) is closed.
    void refresh();
    bool anySystem() const;
    // "ALSA: <client>:<port>" or "JACK: <client>:<port>", as of the last refresh.
    const std::vector<std::string>& names() const { return names_; }
    // Opens the input of that name, closing any other; false if it is not there.
    bool open(const std::string& name);
    void close();
    const std::string& openName() const { return open_; }

private:
    struct System;
    static void onMessage(double, std::vector<unsigned char>* message, void* self);

    Sink sink_;
    std::vector<std::unique_ptr<System>> systems_;
    // Whether a JACK server runs: a thread of our own looks for one every two
    // seconds (a look can take tens of milliseconds) and then listens for its end.
    std::atomic<bool> jackUp_{false};
    std::mutex probeMutex_;
    std::condition_variable probeWake_;
    bool stopProbe_ = false;
    std::thread prober_;
    std::vector<std::string> names_;
    std::string open_;
    int missing_ = 0;  // listings in a row without the open input
};

}  // namespace zendra::midi
