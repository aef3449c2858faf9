// The MIDI inputs the computer offers, through RtMidi: the ALSA sequencer's
// ports and a running JACK server's. A system that is absent is simply not
// listed; nothing is printed about it. At most one input is open at a time.
// A JACK server that stops or is killed leaves the program running; its
// inputs come back when it does. Everything here is for the window thread,
// except the sink, which the MIDI system's thread calls.
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
    struct Relay;
    static void onMessage(double, std::vector<unsigned char>* message, void* relay);
    // Whether a JACK input's client may still be called: its server is the
    // one running now. Call with jackLock_ held.
    bool jackUsable(const System& s) const;
    // Lets go of an input whose server has gone, without calling into it.
    void abandon(System& s);

    std::shared_ptr<Relay> relay_;
    std::vector<std::unique_ptr<System>> systems_;
    // Whether a JACK server runs: a thread of our own looks for one every two
    // seconds (a look can take tens of milliseconds) and then listens for its
    // end through jack_on_shutdown. Each server it finds starts a new life.
    std::atomic<bool> jackUp_{false};
    std::atomic<uint64_t> jackLife_{0};
    // Held while the prober opens a client (after a server's death, the JACK
    // library then deletes that server's clients) and while the window thread
    // calls into a JACK input. refresh() only tries it, so the window thread
    // never waits for a look.
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
