// A drum kit's instruments as the bank's made: layers, gains, groups,
// envelopes and what is said when something cannot be kept.
#include <gtest/gtest.h>

#include "kits/drumkit_slots.h"

namespace zendra::test {
namespace {

using kits::DrumInstrument;
using kits::DrumLayer;
using kits::toSlots;

DrumLayer layer(const char* file, float min, float max, float gain = 1.0f) {
    DrumLayer l;
    l.file = QString::fromLatin1(file);
    l.minVelocity = min;
    l.maxVelocity = max;
    l.gain = gain;
    return l;
}

DrumInstrument instrument(const char* name, std::vector<DrumLayer> layers, int group = -1) {
    DrumInstrument in;
    in.name = QString::fromLatin1(name);
    in.layers = std::move(layers);
    in.muteGroup = group;
    return in;
}

TEST(DrumKitSlots, LayersBecomeVelocityRangesThatMeetAndTheLoudestIsTheFile) {
    DrumInstrument in = instrument("Kick", {layer("/k/hard.wav", 0.5f, 1.0f, 0.5f), layer("/k/soft.wav", 0.0f, 0.5f),
                                            layer("/k/ghost.wav", 0.0f, 0.0f)});
    in.volume = 0.5f;
    in.gain = 1.0f;
    in.pan = -0.25f;
    const auto made = toSlots({in}, {QStringLiteral("k")}).slotList;
    ASSERT_EQ(made.size(), 1u);
    const model::SampleSlot& s = made[0];
    EXPECT_EQ(s.name, "Kick");
    EXPECT_EQ(s.file, "/k/hard.wav");
    EXPECT_EQ(s.key, "k");
    EXPECT_FALSE(s.loop);
    EXPECT_DOUBLE_EQ(s.pan, -0.25);
    EXPECT_NEAR(s.gainDb, -6.0206, 1e-3);
    ASSERT_EQ(s.layers.size(), 3u);
    // 0..0 is velocity 1; 0..0.5 shares 64 with 0.5..1, which starts above it.
    const std::vector<std::tuple<QString, int, int>> ranges = {
        {"/k/ghost.wav", 1, 1}, {"/k/soft.wav", 2, 64}, {"/k/hard.wav", 65, 127}};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::tuple(s.layers[i].file, s.layers[i].minVelocity, s.layers[i].maxVelocity), ranges[i]) << i;
    EXPECT_NEAR(s.layers[2].gainDb, -6.0206, 1e-3);
    EXPECT_DOUBLE_EQ(s.layers[1].gainDb, 0.0);
    EXPECT_EQ(s.muteGroup, 0);
    EXPECT_FALSE(s.envelope.shapes());  // Hydrogen's own one-shot envelope
}

TEST(DrumKitSlots, GainAboveFullGoesToTheLayersAndSilenceIsMinus100) {
    DrumInstrument loud = instrument("Loud", {layer("/a.wav", 0, 1, 2.0f)});
    loud.volume = 2.0f;
    DrumInstrument mute = instrument("Mute", {layer("/b.wav", 0, 1, 0.0f)});
    mute.volume = 0.0f;
    const auto made = toSlots({loud, mute}).slotList;
    ASSERT_EQ(made.size(), 2u);
    EXPECT_DOUBLE_EQ(made[0].gainDb, 0.0);
    EXPECT_NEAR(made[0].layers[0].gainDb, 12.0412, 1e-3);  // 6 dB of the layer + 6 dB of the volume
    EXPECT_DOUBLE_EQ(made[1].gainDb, -100.0);
    EXPECT_DOUBLE_EQ(made[1].layers[0].gainDb, -100.0);
}

TEST(DrumKitSlots, MoreThanEightLayersKeepEightAcrossTheWholeRange) {
    std::vector<DrumLayer> layers;
    for (int i = 0; i < 12; ++i)
        layers.push_back(layer(QByteArray("/l" + QByteArray::number(i) + ".wav").constData(), i / 12.0f,
                               (i + 1) / 12.0f - (i < 11 ? 0.01f : 0.0f)));
    const auto result = toSlots({instrument("Snare", layers)});
    const auto& kept = result.slotList[0].layers;
    ASSERT_EQ(kept.size(), 8u);
    EXPECT_EQ(kept.front().file, "/l0.wav");
    EXPECT_EQ(kept.back().file, "/l11.wav");
    EXPECT_EQ(kept.front().minVelocity, 1);
    EXPECT_EQ(kept.back().maxVelocity, 127);
    for (size_t i = 1; i < kept.size(); ++i) EXPECT_EQ(kept[i].minVelocity, kept[i - 1].maxVelocity + 1) << i;
    EXPECT_EQ(result.slotList[0].file, "/l11.wav");
    EXPECT_EQ(result.notKept, QStringList{"eight layers kept, spread across the velocities, on 1 instrument"});
}

TEST(DrumKitSlots, MuteGroupsAreNumberedInOrderOfUseUpToEight) {
    std::vector<DrumInstrument> chosen;
    for (int g : {7, 3, 7, -1, 10, 11, 12, 13, 14, 15, 16})
        chosen.push_back(instrument("x", {layer("/x.wav", 0, 1)}, g));
    chosen.push_back(instrument("silent", {}, 2));  // no sound: no slot
    const auto result = toSlots(chosen);
    std::vector<int> groups;
    for (const auto& s : result.slotList) groups.push_back(s.muteGroup);
    EXPECT_EQ(groups, (std::vector<int>{1, 2, 1, 0, 3, 4, 5, 6, 7, 8, 0}));
    EXPECT_EQ(result.notKept, QStringList{"mute groups past the eighth left out on 1 instrument"});
}

TEST(DrumKitSlots, AnEnvelopeOfItsOwnIsKeptInMillisecondsAndReleasedOnNoteOff) {
    DrumInstrument in = instrument("Hat", {layer("/h.wav", 0, 1)});
    in.envelope = {441.0, 4410.0, 0.5f, 44100.0};
    const model::Envelope e = toSlots({in}).slotList[0].envelope;
    EXPECT_DOUBLE_EQ(e.attackMs, 10.0);
    EXPECT_DOUBLE_EQ(e.decayMs, 100.0);
    EXPECT_DOUBLE_EQ(e.sustain, 0.5);
    EXPECT_DOUBLE_EQ(e.releaseMs, 1000.0);
    EXPECT_TRUE(e.releaseOnNoteOff);
}

TEST(DrumKitSlots, SixteenSlotsAtMostAndPitchIsSaid) {
    std::vector<DrumInstrument> chosen(20, instrument("x", {layer("/x.wav", 0, 1)}));
    chosen[0].layers[0].pitch = 2.0f;
    const auto result = toSlots(chosen);
    EXPECT_EQ(result.slotList.size(), 16u);
    EXPECT_EQ(result.notKept, QStringList{"pitch on 1 layer"});
}

}  // namespace
}  // namespace zendra::test
