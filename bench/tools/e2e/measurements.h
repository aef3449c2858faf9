// The end-to-end measurements, one per command of zendra_e2e_bench; each
// prints its figures and returns the process's exit status.
#pragma once

namespace zendra::bench {

// Launch to window shown, Zendra against a bare Qt MDI window, interleaved.
int startup(int runs);
// Key press (or, with `midi`, a MIDI note over a private JACK server) to the
// note's onset at the null sink's monitor, through the Tap Pad.
int taps(int count, bool midi);
// The audio callback's duration on the real device, 16 voices, CPU burners.
int callback(double seconds, int burners);
// Holes in what the program plays (16 looping samples) against a plain
// client at the same buffer size, both cores kept busy by two processes: on
// the private PipeWire server a plain pw_stream client, else a plain SDL one.
int dropouts(double seconds);
// Key press to sound, the program beside a plain client, interleaved; on the
// private PipeWire or JACK server.
int keyLatency(int count);
// The server killed under a playing loop and started again, `repetitions`
// times: time to the notice, and from the server's return to the loop heard.
int serverLoss(int repetitions);

}  // namespace zendra::bench
