// Playing from MIDI, end to end: a private JACK server (dummy driver) carries
// notes from this test's MIDI output to the real program, whose sound is
// recorded at the private PulseAudio server's monitor.
#include <dlfcn.h>
#include <rtmidi/rtmidi_c.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;

// A MIDI output on the JACK server, through RtMidi's C interface loaded at
// run time (the tests do not link against it).
struct MidiOut {
    void* lib = dlopen("librtmidi.so.6", RTLD_NOW);
    RtMidiOutPtr out = nullptr;
    void (*free_)(RtMidiOutPtr) = nullptr;
    int (*send_)(RtMidiOutPtr, const unsigned char*, int) = nullptr;
    bool open() {
        if (lib == nullptr) return false;
        auto create = reinterpret_cast<RtMidiOutPtr (*)(RtMidiApi, const char*)>(dlsym(lib, "rtmidi_out_create"));
        auto virt = reinterpret_cast<void (*)(RtMidiPtr, const char*)>(dlsym(lib, "rtmidi_open_virtual_port"));
        free_ = reinterpret_cast<void (*)(RtMidiOutPtr)>(dlsym(lib, "rtmidi_out_free"));
        send_ = reinterpret_cast<int (*)(RtMidiOutPtr, const unsigned char*, int)>(dlsym(lib, "rtmidi_out_send_message"));
        out = create(RTMIDI_API_UNIX_JACK, "zendra-test");
        if (out != nullptr && out->ok) virt(out, "out");
        return out != nullptr && out->ok;
    }
    void note(int note, int velocity) {
        const unsigned char on[3] = {0x90, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)};
        const unsigned char off[3] = {0x80, on[1], 0};
        send_(out, on, 3);
        send_(out, off, 3);
    }
    ~MidiOut() {
        if (out != nullptr) free_(out);
    }
};

class MidiEndToEnd : public AppTest {
protected:
    std::optional<Spot> waitForm(std::optional<Spot> before = {}) const {
        return app_->waitFor([&](const Screen& s) -> std::optional<Spot> {
            const auto at = blackArea(s, 100);
            return at && at != before ? at : std::nullopt;
        });
    }
};

TEST_F(MidiEndToEnd, MappedNotesPlayAtTheirVelocityAndALearnedNotePlaysItsSample) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("jackd");
    const std::string server = "zendra-test-" + std::to_string(getpid());
    Child jack({"jackd", "-n", server, "-d", "dummy", "-r", "48000", "-p", "128"}, {{"JACK_NO_AUDIO_RESERVATION", "1"}});
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    MidiOut midi;
    for (int i = 0; i < 50 && !midi.open(); ++i) {
        if (midi.out != nullptr) midi.free_(midi.out);
        midi.out = nullptr;
        sleepSeconds(0.1);
    }
    ASSERT_TRUE(midi.out != nullptr && midi.out->ok) << "no JACK server or no RtMidi";

    // The program opens the first MIDI input it finds: this test's.
    ASSERT_NO_FATAL_FAILURE(launch("midi", {{"JACK_DEFAULT_SERVER", server}}));
    ZendraApp& app = this->app();
    Spot dock;
    ASSERT_NO_FATAL_FAILURE(app.loadDock({demoKit() + "/kick.wav", demoKit() + "/snare.wav"}, &dock));
    // Sample Properties: one-shot kick and snare.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 4));
    const auto props = waitForm(dock);
    ASSERT_TRUE(props.has_value());
    ASSERT_TRUE(display_->click(props->first + tw(1800 + 150), props->second + tw(660 + 150)));
    ASSERT_TRUE(display_->click(props->first + tw(1800 + 150), props->second + tw(1020 + 150)));

    MonitorRecording rec(*server_, app.artifact("monitor.wav"));
    ASSERT_TRUE(rec.waitStarted());
    sleepSeconds(0.4);
    midi.note(36, 127);  // kick, full level
    sleepSeconds(0.8);
    midi.note(36, 64);  // kick, (64/127)^2 of it
    sleepSeconds(0.8);
    // MIDI window: click sample 2's note, then strike note 60: it plays the snare.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kFileMenu, 3));
    const auto win = waitForm(props);
    ASSERT_TRUE(win.has_value());
    app.snapshot("midi-window");
    ASSERT_TRUE(display_->click(win->first + tw(720 + 1200), win->second + tw(1500 + 360 + 157)));
    sleepSeconds(0.5);
    midi.note(60, 127);  // learned: plays the snare
    sleepSeconds(0.8);
    midi.note(37, 127);  // the snare's old note: nothing now
    sleepSeconds(0.8);
    midi.note(60, 127);
    sleepSeconds(0.8);
    const Stereo s = rec.read();
    app.snapshot("learned");
    ASSERT_TRUE(app.alive()) << app.stderrText();

    const auto segs = onsets(s.left, kRate, 0.005f, 0.2);
    for (const auto& [b, e] : segs) std::cout << "sound " << double(b) / kRate << " .. " << double(e) / kRate << " s\n";
    ASSERT_EQ(segs.size(), 4u) << "expected kick, softer kick, snare, snare";
    const double ratio = peakAbs(s.left, segs[1].first, segs[1].second) / peakAbs(s.left, segs[0].first, segs[0].second);
    std::cout << "velocity 64 against 127: level ratio " << ratio << " (curve: " << (64.0 / 127) * (64.0 / 127) << ")\n";
    EXPECT_NEAR(ratio, (64.0 / 127) * (64.0 / 127), 0.03);
    const size_t n = kRate / 20;
    EXPECT_GT(correlation(s.left, segs[0].first, segs[1].first, n), 0.9) << "the second note is not the kick";
    EXPECT_GT(correlation(s.left, segs[2].first, segs[3].first, n), 0.9) << "the learned note is not steady";
    EXPECT_LT(correlation(s.left, segs[0].first, segs[2].first, n), 0.5) << "the learned note plays the kick";
    app.terminate();
    jack.stop();
}

}  // namespace
}  // namespace zendra::test
