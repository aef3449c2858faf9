// The Keyboard window played with real keys on a real display: a tone is
// loaded through the Sample Dock, the Keyboard is opened from the Tools menu,
// "Play as well" is ticked, keys go in through xdotool and what the audio
// server plays is recorded and measured note by note.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;  // of the recording

// A stretch of steady pitch in the recording.
struct Note {
    double hz;
    double start, end;  // seconds
};

// Pitch in short windows, grouped into notes: a note ends where three
// windows agree on another pitch (within 0.3 %). Windows spoilt by a dropout
// of the server under load belong to no note.
std::vector<Note> steadyNotes(const std::vector<float>& x) {
    const size_t window = kRate / 25;  // 40 ms
    auto same = [](double a, double b) { return std::fabs(a / b - 1.0) < 0.003; };
    std::vector<Note> notes;
    std::vector<double> current;
    double currentStart = 0;
    // Pitches heard since the current note was last heard, with their start.
    std::vector<std::pair<std::vector<double>, double>> candidates;
    auto close = [&](double end) {
        if (current.size() >= 3) {
            std::sort(current.begin(), current.end());
            const double hz = current[current.size() / 2];
            if (!notes.empty() && same(notes.back().hz, hz)) {
                notes.back().end = end;
            } else {
                notes.push_back({hz, currentStart, end});
            }
        }
        current.clear();
    };
    for (size_t at = 0; at + window <= x.size(); at += window) {
        const double t = double(at) / kRate;
        // A window where the server ran dry tells nothing of the pitch.
        if (hasDropout(x, at, window)) continue;
        const double f = rmsDb(x, at, at + window) > -40.0 ? frequencyHz(x, kRate, at, at + window) : 0.0;
        if (f <= 0.0) continue;
        if (!current.empty() && same(f, current.front())) {
            current.push_back(f);
            candidates.clear();
            continue;
        }
        auto it = std::find_if(candidates.begin(), candidates.end(),
                               [&](const auto& c) { return same(f, c.first.front()); });
        if (it == candidates.end()) {
            candidates.push_back({{f}, t});
            it = candidates.end() - 1;
        } else {
            it->first.push_back(f);
        }
        if (current.empty() || it->first.size() == 3) {
            close(it->second);
            current = it->first;
            currentStart = it->second;
            candidates.clear();
        }
    }
    close(double(x.size()) / kRate);
    return notes;
}

using KeyboardE2E = AppTest;

TEST_F(KeyboardE2E, RealKeysPlayTheirNotesFromTheRecordedOutput) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("convert");
    ASSERT_NO_FATAL_FAILURE(launch("keyboard"));
    ZendraApp& app = this->app();
    const Display& display = *display_;

    // The Sample Dock is shown first: its black client area locates it.
    ASSERT_NO_FATAL_FAILURE(app.loadDock({demoKit() + "/tone-22050.wav"}));

    // Tools > Key Board through the menu bar's keyboard navigation; the
    // window opens with the focus on "Play as well", which Space ticks.
    ASSERT_TRUE(display.focus(app.mainWindow()));
    ASSERT_TRUE(display.key("alt"));
    sleepSeconds(0.3);
    ASSERT_TRUE(display.key("Right Down"));
    sleepSeconds(0.3);
    ASSERT_TRUE(display.key("Return"));
    sleepSeconds(0.5);
    ASSERT_TRUE(display.key("space"));
    sleepSeconds(0.3);

    MonitorRecording rec(*server_, app.artifact("monitor.wav"));
    ASSERT_TRUE(rec.waitStarted());
    sleepSeconds(0.3);
    // Each chord and the pitch it must leave sounding (the tone is 440 Hz at
    // 22050 Hz; a note at F Hz sounds at 440 F / 22050).
    const std::vector<std::pair<std::string, double>> keys = {
        {"a", 7550},         // first key: the base 22050 is read
        {"shift+2", 15300},  // Shift+2 is still the 2 key
        {"comma", 35800},
        {"KP_2", 35800},     // keypad 2: no new note, the comma's note restarts
        {"shift+q", 14550},  // Shift+Q plays Q's note
        {"l", 36550},
    };
    for (const auto& [chord, hz] : keys) {
        ASSERT_TRUE(display.key(chord));
        sleepSeconds(0.7);
    }
    const Stereo s = rec.read();
    ASSERT_GT(s.left.size(), static_cast<size_t>(3 * kRate));

    std::vector<double> expected;
    for (const auto& [chord, hz] : keys) {
        const double f = 440.0 * hz / 22050.0;
        if (expected.empty() || std::fabs(expected.back() / f - 1.0) > 0.003) expected.push_back(f);
    }
    const std::vector<Note> notes = steadyNotes(s.left);
    std::string heard;
    for (const Note& n : notes) heard += std::to_string(n.hz) + " Hz @" + std::to_string(n.start) + "s  ";
    ASSERT_EQ(notes.size(), expected.size()) << heard;
    // One steady note per key, in order; the keypad key adds none.
    for (size_t i = 0; i < notes.size(); ++i) {
        EXPECT_NEAR(notes[i].hz, expected[i], expected[i] * 0.005) << "note " << i << ": " << heard;
    }

    // The window on screen: the grey faces of the white keys are drawn.
    const auto shot = grabScreen(display, app.artifact("window.png"));
    ASSERT_TRUE(shot);
    long face = 0;
    for (int y = 0; y < shot->h; ++y) {
        for (int x = 0; x < shot->w; ++x) face += shot->at(x, y) == Rgb{0xD4, 0xD0, 0xC8};
    }
    EXPECT_GT(face, 18L * 20 * 60) << "white keys not visible";
    EXPECT_TRUE(app.alive()) << app.stderrText();
}

}  // namespace
}  // namespace zendra::test
