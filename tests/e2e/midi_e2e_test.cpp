// Playing from MIDI, end to end: a private JACK server (dummy driver) carries notes from
// this test's MIDI output to the real program; its sound is recorded at the monitor.
// Killing that server leaves the program playing, and MIDI comes back with it.
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <rtmidi/rtmidi_c.h>
#include <string>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"
#include "jack_card.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;

// A MIDI output on the JACK server, through RtMidi's C interface loaded at
// run time (the tests do not link against it).
struct MidiOut {
    void* lib = dlopen("librtmidi.so.6", RTLD_NOW);
    RtMidiOutPtr out = nullptr;
    template <class F>
    F* fn(const char* name) {
        return reinterpret_cast<F*>(dlsym(lib, name));
    }
    // Its server is gone: never called again (the JACK library frees its client).
    void abandon() { out = nullptr; }
    bool open() {  // false until the server answers
        if (out != nullptr) fn<void(RtMidiOutPtr)>("rtmidi_out_free")(out);
        out = fn<RtMidiOutPtr(RtMidiApi, const char*)>("rtmidi_out_create")(RTMIDI_API_UNIX_JACK, "zendra-test");
        if (out->ok) fn<void(RtMidiPtr, const char*)>("rtmidi_open_virtual_port")(out, "out");
        return out->ok;
    }
    void note(int note, int velocity) {
        const unsigned char on[3] = {0x90, static_cast<unsigned char>(note), static_cast<unsigned char>(velocity)};
        fn<int(RtMidiOutPtr, const unsigned char*, int)>("rtmidi_out_send_message")(out, on, 3);
    }
    ~MidiOut() {
        if (out != nullptr) fn<void(RtMidiOutPtr)>("rtmidi_out_free")(out);
    }
};

// A JACK server named `server`, and `midi` open on it.
Child startJack(const std::string& server, MidiOut& midi) {
    Child j({"jackd", "-n", server, "-d", "dummy", "-r", "48000", "-p", "128"}, {{"JACK_NO_AUDIO_RESERVATION", "1"}});
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    for (int i = 0; midi.lib != nullptr && i < 50 && !midi.open(); ++i) sleepSeconds(0.1);
    unsetenv("JACK_DEFAULT_SERVER");
    return j;
}

// Whether the program listens to this test's MIDI output on `server`.
bool listening(const std::string& server) {
    const RunResult r = run({"jack_lsp", "-c", "zendra-test:out"}, {{"JACK_DEFAULT_SERVER", server}});
    return r.out.find("Zendra-midi:input") != std::string::npos;
}

using MidiEndToEnd = AppTest;

TEST_F(MidiEndToEnd, MappedNotesPlayAtTheirVelocityAndALearnedNotePlaysItsSample) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("jackd", "jack_lsp");
    const std::string server = freeJackServerName("zendra-test");
    MidiOut midi;
    auto startJack = [&] { return zendra::test::startJack(server, midi); };
    Child jack = startJack();
    ASSERT_TRUE(midi.out != nullptr && midi.out->ok) << "no RtMidi, or the JACK server did not start";

    // The program opens the first MIDI input it finds: this test's.
    ASSERT_NO_FATAL_FAILURE(launch("midi", {{"JACK_DEFAULT_SERVER", server}}));
    ZendraApp& app = this->app();
    auto waitForm = [&](std::optional<Spot> before) {  // a tool window showing elsewhere
        return app.waitFor([&](const Screen& sc) -> std::optional<Spot> {
            const auto at = blackArea(sc, 100);
            return at && at != before ? at : std::nullopt;
        });
    };
    Spot dock;
    ASSERT_NO_FATAL_FAILURE(app.loadDock({demoKit() + "/kick.wav", demoKit() + "/snare.wav"}, &dock));
    // Sample Properties: one-shot kick and snare.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 4));
    const auto props = waitForm(dock);
    ASSERT_TRUE(props.has_value());
    for (int top : {660, 1020})
        ASSERT_TRUE(display_->click(props->first + tw(1800 + 150), props->second + tw(top + 150)));

    MonitorRecording rec(*server_, app.artifact("monitor.wav"));
    ASSERT_TRUE(rec.waitStarted());
    std::vector<std::chrono::steady_clock::time_point> sent;
    auto strike = [&](int note, int velocity) {
        sent.push_back(std::chrono::steady_clock::now());
        midi.note(note, velocity);
        sleepSeconds(1.0);
    };
    strike(36, 127);  // kick, full level
    strike(36, 64);   // kick, (64/127)^2 of it
    // MIDI window: click sample 2's note, then strike note 60: it plays the snare.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kFileMenu, 3));
    const auto win = waitForm(props);
    ASSERT_TRUE(win.has_value());
    app.snapshot("midi-window");
    const int bx = win->first + tw(720), by = win->second + tw(1860);  // sample 2's note
    ASSERT_TRUE(display_->click(bx + tw(1200), by + tw(157)));
    sleepSeconds(0.5);  // the window now waits for a note (its window test shows how)
    strike(60, 127);    // learned: the snare
    strike(37, 127);    // the snare's old note: nothing now
    strike(60, 127);
    const Stereo s = rec.read();
    ASSERT_TRUE(app.alive()) << app.stderrText();

    // What each note started: its onset and peak within 0.9 s of being sent
    // (judged by time, as a busy server's dropouts split a sound in two).
    std::vector<std::pair<size_t, double>> hit;
    for (const auto t : sent) {
        const size_t b = firstFrameAfter(rec, s.left.size(), t), e = std::min(s.left.size(), b + kRate * 9 / 10);
        hit.emplace_back(std::min(firstAbove(s.left, 0.005f, b), e), peakAbs(s.left, b, e));
    }
    for (const size_t k : {0, 1, 2, 4}) ASSERT_GT(hit[k].second, 0.01) << "note " << k << " played nothing";
    EXPECT_LT(hit[3].second, 0.005) << "the learned sample's old note still plays";
    // The same kick at (64/127)^2 of the level: the level of one sample is its peak.
    EXPECT_NEAR(hit[1].second / hit[0].second, (64.0 / 127) * (64.0 / 127), 0.03) << "velocity 64 against 127";
    // The learned note plays the snare, not the kick (a dropout could only lower this).
    EXPECT_LT(correlation(s.left, hit[0].first, hit[2].first, kRate / 50), 0.5) << "the learned note plays the kick";

    // The server killed under the open input, twice.
    const auto connected = [&] { return listening(server); };
    for (int k = 1; k <= 2; ++k) {
        jack.stop(SIGKILL);
        midi.abandon();
        sleepSeconds(1.2);  // the program looks at its inputs every second
        ASSERT_TRUE(app.alive()) << "killing the JACK server ended the program (" << k << ")\n" << app.stderrText();
        jack = startJack();
        bool back = false;
        for (int i = 0; i < 60 && !(back = connected()); ++i) sleepSeconds(0.1);
        ASSERT_TRUE(back) << "MIDI did not come back with the server (" << k << ")";
    }
    MonitorRecording after(*server_, app.artifact("monitor-after-kills.wav"));
    ASSERT_TRUE(after.waitStarted());
    midi.note(60, 127);
    sleepSeconds(0.8);
    EXPECT_GT(peakAbs(after.read().left), 0.01) << "MIDI plays nothing once the server is back";
    const IdleUse idle = idleUse(app.process().pid());
    std::printf("idle after the notes: process %.1f %%, window thread %.1f %%\n", 100 * idle.process,
                100 * idle.windowThread);
    EXPECT_LT(idle.windowThread, 0.03) << "the window thread keeps working after the notes";
    EXPECT_LT(idle.process, 0.15) << "the program keeps working after the notes";
    app.terminate();  // then the JACK server stops, after this test's client is gone
}

// A Hydrogen drum kit named on the command line (made at build time: "Tone",
// 220, 440 and 880 Hz layers for velocities 0-0.33, 0.34-0.66 and 0.67-1,
// then "Low" at 330 Hz), taken as the chooser offers it: each note plays the
// layer its velocity falls in, at the level of its velocity.
TEST_F(MidiEndToEnd, AnImportedDrumKitPlaysTheLayerOfEachVelocity) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("jackd", "jack_lsp");
    const std::string kit = demoKit() + "/../demo-drumkit/drumkit.xml";
    ASSERT_TRUE(std::filesystem::exists(kit)) << kit << " is missing: build the demo_kit target";
    const std::string server = freeJackServerName("zendra-test");
    MidiOut midi;
    Child jack = startJack(server, midi);
    ASSERT_TRUE(midi.out != nullptr && midi.out->ok) << "no RtMidi, or the JACK server did not start";

    ASSERT_NO_FATAL_FAILURE(launch("drumkit", {{"JACK_DEFAULT_SERVER", server}}, false, false, {kit}));
    ZendraApp& app = this->app();
    const auto chooser = display_->findWindow("^Import Drum Kit$", 10.0);
    ASSERT_TRUE(chooser.has_value()) << "no drum kit chooser; stderr:\n" << app.stderrText();
    app.snapshot("chooser");
    ASSERT_TRUE(display_->key("Return", *chooser));  // OK: both instruments, as offered
    ASSERT_TRUE(display_->waitWindowGone("^Import Drum Kit$", 5.0)) << "Return did not accept the chooser";
    if (const auto summary = display_->findWindow(kMessageTitle, 1.0)) {  // what could not be kept, if anything
        app.snapshot("summary");
        ASSERT_TRUE(display_->key("Return", *summary));
    }
    bool heard = false;
    for (int i = 0; i < 30 && !(heard = listening(server)); ++i) sleepSeconds(0.1);
    ASSERT_TRUE(heard) << "the program does not listen to this test's MIDI output";

    MonitorRecording rec(*server_, app.artifact("monitor.wav"));
    ASSERT_TRUE(rec.waitStarted());
    struct Strike {
        int note, velocity;
        double hz;  // the layer it must play
    };
    const std::vector<Strike> strikes = {{36, 10, 220}, {36, 60, 440}, {36, 127, 880}, {37, 127, 330}};
    std::vector<std::chrono::steady_clock::time_point> sent;
    for (const Strike& k : strikes) {
        sent.push_back(std::chrono::steady_clock::now());
        midi.note(k.note, k.velocity);
        sleepSeconds(1.0);  // each layer sounds 0.6 s
    }
    const Stereo s = rec.read();
    ASSERT_TRUE(app.alive()) << app.stderrText();

    // Each note's peak within 0.9 s of being sent, and its pitch over 0.4 s
    // from where it reached half of that peak.
    std::vector<double> peak;
    for (size_t k = 0; k < strikes.size(); ++k) {
        const size_t b = firstFrameAfter(rec, s.left.size(), sent[k]), e = std::min(s.left.size(), b + kRate * 9 / 10);
        peak.push_back(peakAbs(s.left, b, e));
        ASSERT_GT(peak[k], 1e-4) << "note " << strikes[k].note << " at velocity " << strikes[k].velocity
                                 << " played nothing";
        const size_t on = firstAbove(s.left, static_cast<float>(peak[k] / 2), b);
        const double hz = cycleFrequencyHz(s.left, kRate, on + kRate / 20, std::min(e, on + kRate * 9 / 20));
        EXPECT_NEAR(hz, strikes[k].hz, strikes[k].hz * 0.02)
            << "note " << strikes[k].note << " at velocity " << strikes[k].velocity << " played another layer";
    }
    // The layers are equally loud: each note's level is (velocity / 127)^2 of the loudest.
    for (const size_t k : {0, 1}) {
        const double want = (strikes[k].velocity / 127.0) * (strikes[k].velocity / 127.0);
        EXPECT_NEAR(peak[k] / peak[2], want, want * 0.15) << "velocity " << strikes[k].velocity << " against 127";
    }
    app.terminate();  // then the JACK server stops, after this test's client is gone
}

}  // namespace
}  // namespace zendra::test
