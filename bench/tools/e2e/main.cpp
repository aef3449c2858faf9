// Measurements of the real program that take too long for the test suite,
// each on a private Xvfb display and a private sound server:
//
//   zendra_e2e_bench startup RUNS      launch to window shown, Zendra vs a bare
//                                      Qt MDI window (BARE_MDI_BIN), interleaved
//   zendra_e2e_bench taps COUNT        key press to the note's onset at the
//                                      null sink's monitor, through the Tap Pad
//   zendra_e2e_bench midi COUNT        MIDI note sent (over a private JACK
//                                      server) to the note's onset at the
//                                      null sink's monitor (note 36: sample 1)
//   zendra_e2e_bench callback SECONDS  the audio callback's duration on the
//                                      real device, 16 voices, a CPU burner
//   zendra_e2e_bench dropouts SECONDS  holes in what the program plays (16
//                                      looping samples) against a plain client
//                                      at the same buffer size (pw_stream on
//                                      PipeWire, else SDL), both cores kept
//                                      busy by two processes
//   zendra_e2e_bench keys COUNT        key press to sound, the program beside
//                                      a plain client, interleaved: on PipeWire
//                                      its own API, SDL and pw_stream; on JACK
//                                      the program and a plain JACK client
//   zendra_e2e_bench loss REPETITIONS  the server killed under a playing loop:
//                                      time to the notice; started again: time
//                                      from its return to the loop heard
//
// ZENDRA_TEST_AUDIO=pipewire (with ZENDRA_PW_RIG) or jack puts them on the
// private PipeWire or JACK server, as for the end-to-end tests; keys and loss
// need one of them.
// ZENDRA_BIN and ZENDRA_DEMO_KIT as for the end-to-end tests.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "measurements.h"

using namespace zendra::bench;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: %s startup RUNS | taps COUNT | midi COUNT | callback SECONDS [BURNERS] | dropouts SECONDS |"
            " keys COUNT | loss REPETITIONS\n",
            argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    try {
        if (mode == "startup") return startup(std::atoi(argv[2]));
        if (mode == "taps") return taps(std::atoi(argv[2]), false);
        if (mode == "midi") return taps(std::atoi(argv[2]), true);
        if (mode == "dropouts") return dropouts(std::atof(argv[2]));
        if (mode == "keys") return keyLatency(std::atoi(argv[2]));
        if (mode == "loss") return serverLoss(std::atoi(argv[2]));
        if (mode == "callback") return callback(std::atof(argv[2]), argc > 3 ? std::atoi(argv[3]) : 1);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
