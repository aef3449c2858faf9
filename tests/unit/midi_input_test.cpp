// MIDI input: which bytes make note-ons, which note plays which sample, and
// the velocity curve.
#include <gtest/gtest.h>
#include <vector>

#include "midi/midi_mapping.h"
#include "midi/midi_parser.h"

namespace zendra::midi {
namespace {

struct ParseCase {
    const char* what;
    std::vector<std::vector<uint8_t>> messages;  // as the input delivers them
    std::vector<std::vector<int>> notes;         // {channel, note, velocity}
};

TEST(MidiParser, FindsNoteOnsInEveryShapeOfInput) {
    const ParseCase cases[] = {
        {"note-on", {{0x90, 36, 100}}, {{0, 36, 100}}},
        {"velocity 0 is a note-off", {{0x90, 36, 0}}, {}},
        {"note-off", {{0x80, 36, 64}}, {}},
        {"running status", {{0x90, 36, 100, 37, 90, 38, 0, 39, 80}}, {{0, 36, 100}, {0, 37, 90}, {0, 39, 80}}},
        {"running status across messages", {{0x99, 36, 100}, {38, 1}}, {{9, 36, 100}, {9, 38, 1}}},
        {"split message", {{0x90}, {36}, {100}}, {{0, 36, 100}}},
        {"system exclusive, then data without status", {{0x90, 1, 1, 0xF0, 36, 100, 0xF7}, {36, 100}}, {{0, 1, 1}}},
        {"status ends an unfinished exclusive", {{0xF0, 1, 2, 0x90, 36, 100}}, {{0, 36, 100}}},
        {"real-time inside a note-on", {{0x90, 36, 0xF8, 100, 0xFE}}, {{0, 36, 100}}},
        {"program change, pressure, control", {{0xC0, 5, 0xD0, 36, 0xB0, 36, 100, 0xE0, 0, 64}}, {}},
        {"data without status", {{36, 100, 37}}, {}},
        {"system common cancels running status", {{0x90, 36, 100, 0xF3, 1, 37, 100}}, {{0, 36, 100}}},
    };
    for (const auto& c : cases) {
        MidiParser p;
        std::vector<std::vector<int>> got;
        for (const auto& m : c.messages)
            p.feed(m.data(), m.size(), [&](const NoteOn& n) { got.push_back({n.channel, n.note, n.velocity}); });
        EXPECT_EQ(got, c.notes) << c.what;
    }
}

TEST(MidiMapping, PadNotesByDefaultAndLearningMovesANote) {
    MidiMapping m;
    auto samples = [&](std::vector<int> notes) {
        for (int& n : notes) n = m.sampleFor(n);
        return notes;
    };
    EXPECT_EQ(samples({35, 36, 40, 51, 52}), (std::vector<int>{-1, 0, 4, 15, -1}));
    m.learn(4, 60);  // sample 5 moves from 40 to 60
    m.learn(2, 36);  // 36 leaves sample 1 for sample 3, whose 38 plays nothing now
    EXPECT_EQ(samples({36, 38, 40, 60}), (std::vector<int>{2, -1, -1, 4}));
    EXPECT_EQ(m.noteOf(0), -1);
}

TEST(MidiMapping, VelocityCurveIsTheSquareUnlessTurnedOff) {
    MidiMapping m;
    const std::pair<int, float> points[] = {{127, 1.0f}, {64, 0.2540f}, {32, 0.0635f}, {1, 0.000062f}};
    for (const auto& [v, level] : points) EXPECT_NEAR(m.levelOf(v), level, level * 0.01f) << v;
    m.velocity = false;
    EXPECT_EQ(m.levelOf(1), 1.0f);
}

}  // namespace
}  // namespace zendra::midi
