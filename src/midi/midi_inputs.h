// The MIDI inputs the computer offers: the ALSA sequencer's ports (through
// RtMidi) and a running JACK server's (through a JACK client of our own). A system that is absent is simply not
// listed; nothing is printed about it. At most one input is open at a time.
// A JACK server that stops or is killed leaves the program running; its
// inputs come back when it does. Everything here is for the window thread,
// except the sink, which the MIDI system's thread calls.
#pragma once
#include <chrono>
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
    struct Relay;
    struct JackInput;
    static void onMessage(double, std::vector<unsigned char>* message, void* relay);
    // The JACK input's client, if its server still runs. Call with jackLock_ held.
    JackInput* jackUsable() const;
    // Lets go of a JACK client whose server has gone, without calling into
    // it. Call with jackLock_ held.
    void abandonJack();
    void refreshJack(std::vector<std::string>& names);

    std::shared_ptr<Relay> relay_;
    std::vector<std::unique_ptr<System>> systems_;  // RtMidi's, for the ALSA sequencer
    // JACK MIDI goes through a client of our own ("Zendra-midi", its one
    // port "input"): RtMidi's JACK client cannot be shared, and tells no one
    // when its server dies. This client's own shutdown tells that. A thread
    // of ours opens it when there is none (it looks twice a second, ten times
    // a second for kLookOftenAfterLoss after its server went away; an open
    // can take tens of milliseconds).
    static constexpr std::chrono::seconds kLookOftenAfterLoss{30};
    std::unique_ptr<JackInput> jack_;
    // The window thread's view, as of the last listing.
    std::vector<std::string> jackPorts_;
    bool jackUp_ = false;
    const JackInput* jackOpenOn_ = nullptr;  // the client the open input connects to
    // Held while the prober opens a client and while the window thread calls
    // into the JACK input (under it, JackClient::libraryMutex()). refresh()
    // only tries them, so the window thread never waits for a look.
    std::mutex jackLock_;
    std::mutex probeMutex_;
    std::condition_variable probeWake_;
    bool stopProbe_ = false;
    std::thread prober_;
    std::vector<std::string> names_;
    std::string open_;
    int missing_ = 0;  // listings in a row without the open input
};

}  // namespace zendra::midi
