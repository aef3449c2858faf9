// The Keyboard window played with real keys on a real display: a tone is
// loaded through the Sample Dock, the Keyboard is opened from the Tools menu,
// "Play as well" is ticked, keys go in through xdotool and what the audio
// server plays is recorded and measured note by note.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "e2e_env.h"
#include "signal_measure.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;  // of the recording

// Pixels of a length in twips on the test display (96 dpi).
int px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// A screenshot as plain pixels.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> data;
    Rgb at(int x, int y) const {
        const size_t i = 3 * (static_cast<size_t>(y) * width + x);
        return {data[i], data[i + 1], data[i + 2]};
    }
};

std::optional<Image> grab(const Display& display, const std::string& png) {
    if (!display.screenshot(png)) return std::nullopt;
    const std::string ppm = png + ".ppm";
    if (run({"convert", png, "ppm:" + ppm}, {}, 30.0).exitCode != 0) return std::nullopt;
    std::ifstream in(ppm, std::ios::binary);
    std::string magic;
    int maxval = 0;
    Image img;
    in >> magic >> img.width >> img.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255) return std::nullopt;
    img.data.assign(std::istreambuf_iterator<char>(in), {});
    if (img.data.size() < 3u * img.width * img.height) return std::nullopt;
    std::remove(ppm.c_str());
    return img;
}

// Top-left corner of the first run of at least `length` pixels of one colour,
// scanning rows from the top: the corner of a window's plain background.
std::optional<std::pair<int, int>> firstRun(const Image& img, Rgb colour, int length, int fromY) {
    for (int y = fromY; y < img.height; ++y) {
        int run = 0;
        for (int x = 0; x < img.width; ++x) {
            run = img.at(x, y) == colour ? run + 1 : 0;
            if (run == length) return std::pair{x - length + 1, y};
        }
    }
    return std::nullopt;
}

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

TEST(KeyboardE2E, RealKeysPlayTheirNotesFromTheRecordedOutput) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("Xvfb", "xdotool", "import", "convert", "pulseaudio", "pactl", "pacat", "parecord");
    const char* bin = std::getenv("ZENDRA_BIN");
    const char* kit = std::getenv("ZENDRA_DEMO_KIT");
    if (bin == nullptr || kit == nullptr) GTEST_SKIP() << "ZENDRA_BIN and ZENDRA_DEMO_KIT are not set";
    const std::string tone = std::string(kit) + "/tone-22050.wav";
    const std::string shots = artifactsDir();

    AudioServer audio;
    Display display;
    AppProcess app(bin, {}, audio.env() + display.env() + EnvVars{{"SDL_AUDIODRIVER", "pulseaudio"}},
                   "keyboard_e2e");

    // The disclaimer: "I Agree" has the focus.
    const auto splash = display.findWindowByClass("zendra", 15.0);
    ASSERT_TRUE(splash) << app.stderrText();
    ASSERT_TRUE(display.key("Return", *splash));
    const auto main = display.findWindow("^Zendra\\.$", 10.0);
    ASSERT_TRUE(main) << app.stderrText();
    const auto mainGeo = display.windowGeometry(*main);
    ASSERT_TRUE(mainGeo);
    sleepSeconds(0.8);

    // The Sample Dock is shown first: its black client area locates it.
    auto shot = grab(display, shots + "/keyboard_e2e_dock.png");
    ASSERT_TRUE(shot);
    const auto dock = firstRun(*shot, {0, 0, 0}, 300, mainGeo->y + 10);
    ASSERT_TRUE(dock) << "Sample Dock not found on screen";
    const auto [dockX, dockY] = *dock;
    // "Sample 1" (in its frame at 480, 840) and "Done", centres in twips.
    ASSERT_TRUE(display.click(dockX + px(480 + 240 + 427), dockY + px(840 + 240 + 247)));
    const auto chooser = display.findWindow("^Open$", 10.0);
    ASSERT_TRUE(chooser) << "file dialog did not open";
    ASSERT_TRUE(display.focus(*chooser));
    ASSERT_TRUE(display.type(tone));
    ASSERT_TRUE(display.key("Return"));
    ASSERT_TRUE(display.waitWindowGone("^Open$", 10.0));
    sleepSeconds(0.3);
    ASSERT_TRUE(display.click(dockX + px(6480 + 427), dockY + px(120 + 187)));
    sleepSeconds(0.5);

    // Tools > Key Board through the menu bar's keyboard navigation; the
    // window opens with the focus on "Play as well", which Space ticks.
    ASSERT_TRUE(display.focus(*main));
    ASSERT_TRUE(display.key("alt"));
    sleepSeconds(0.3);
    ASSERT_TRUE(display.key("Right Down"));
    sleepSeconds(0.3);
    ASSERT_TRUE(display.key("Return"));
    sleepSeconds(0.5);
    ASSERT_TRUE(display.key("space"));
    sleepSeconds(0.3);

    MonitorRecording rec(audio, shots + "/keyboard_e2e.wav");
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
    ASSERT_TRUE(display.screenshot(shots + "/keyboard_e2e_window.png"));
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
    shot = grab(display, shots + "/keyboard_e2e_window.png");
    ASSERT_TRUE(shot);
    long face = 0;
    for (int y = 0; y < shot->height; ++y) {
        for (int x = 0; x < shot->width; ++x) face += shot->at(x, y) == Rgb{0xD4, 0xD0, 0xC8};
    }
    EXPECT_GT(face, 18L * 20 * 60) << "white keys not visible";
    EXPECT_TRUE(app.alive());
}

}  // namespace
}  // namespace zendra::test
