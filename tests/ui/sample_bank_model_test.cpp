// The sample bank's model on its own: what each setter keeps and signals,
// keys, a new bank of files, and the steps of the bars that show a slot.
#include <QObject>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <utility>
#include <vector>

#include "model/sample_bank.h"
#include "model/slot_units.h"

namespace zendra::test {
namespace {

using model::Field;
using model::SampleBank;
using Signal = SampleBank::Signal;

class SampleBankModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        QObject::connect(&bank, &SampleBank::changed, [this](int slot, Field f) { changes.emplace_back(slot, f); });
        QObject::connect(&bank, &SampleBank::replaced, [this] { ++replaced; });
    }
    // The changes signalled since the last call.
    std::vector<std::pair<int, Field>> taken() { return std::exchange(changes, {}); }
    using Changes = std::vector<std::pair<int, Field>>;

    SampleBank bank;
    Changes changes;
    int replaced = 0;
};

TEST_F(SampleBankModelTest, EachRealChangeIsSignalledOnceAnEqualValueOnlyWhenAskedFor) {
    // Each setter with a value other than the default; the last three have no Signal::Always.
    const std::pair<Field, std::function<void(int, Signal)>> setters[] = {
        {Field::Loop, [this](int i, Signal s) { bank.setLoop(i, false, s); }},
        {Field::Gain, [this](int i, Signal s) { bank.setGainDb(i, -12.5, s); }},
        {Field::Pan, [this](int i, Signal s) { bank.setPan(i, 0.25, s); }},
        {Field::Rate, [this](int i, Signal s) { bank.setRateHz(i, 11025, s); }},
        {Field::Paused, [this](int i, Signal) { bank.setPaused(i, true); }},
        {Field::Key, [this](int i, Signal) { bank.setKey(i, "q"); }},
        {Field::Name, [this](int i, Signal) { bank.setName(i, "Kick"); }}};
    // Changed, the same again, the same again asked to signal, then slots outside the sixteen.
    for (const auto& [slot, signal, expectSignalled] : {std::tuple{3, Signal::IfChanged, 7},
                                                        {3, Signal::IfChanged, 0},
                                                        {3, Signal::Always, 4},
                                                        {-1, Signal::Always, 0},
                                                        {model::kSlots, Signal::Always, 0}}) {
        Changes expected;
        for (const auto& [field, set] : setters) {
            set(slot, signal);
            if (std::ssize(expected) < expectSignalled) expected.emplace_back(slot, field);
        }
        EXPECT_EQ(taken(), expected) << slot;
    }
    const model::SampleSlot& s = bank.slot(3);
    EXPECT_TRUE(std::tuple(s.loop, s.gainDb, s.pan, s.rateHz, s.paused, s.key, bank.displayName(3)) ==
                std::tuple(false, -12.5, 0.25, 11025, true, QString("q"), QString("Kick")));
    EXPECT_EQ(bank.slot(2), model::SampleSlot{});  // its neighbours untouched
    EXPECT_EQ(replaced, 0);
}

TEST_F(SampleBankModelTest, SettingsAreClampedAndWhatIsNoSettingIsIgnored) {
    bank.setGainDb(0, 6);
    bank.setPan(0, -3);
    bank.setGainDb(1, -250);
    bank.setPan(1, 1.5);
    EXPECT_TRUE(std::tuple(bank.slot(0).gainDb, bank.slot(0).pan, bank.slot(1).gainDb, bank.slot(1).pan) ==
                std::tuple(0.0, -1.0, -100.0, 1.0));
    // Slot 0 was already at full gain: clamped to what it holds, no change.
    EXPECT_EQ(taken(), (Changes{{0, Field::Pan}, {1, Field::Gain}, {1, Field::Pan}}));
    bank.setGainDb(1, -100.5);  // clamped to the same silence
    EXPECT_TRUE(taken().empty());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    bank.setGainDb(1, nan, Signal::Always);
    bank.setPan(1, nan, Signal::Always);
    bank.setRateHz(1, 0, Signal::Always);
    bank.setRateHz(1, -22050, Signal::Always);
    EXPECT_TRUE(taken().empty());
    EXPECT_TRUE(std::tuple(bank.slot(1).gainDb, bank.slot(1).pan, bank.slot(1).rateHz) ==
                std::tuple(-100.0, 1.0, 1000));
    bank.setRateHz(1, 1);  // the least rate there is
    EXPECT_EQ(bank.slot(1).rateHz, 1);
}

// What each such key plays on the Tap Pad: tap_pad_test.
TEST_F(SampleBankModelTest, AKeyNeverAskedForDiffersFromOneBoundToNothing) {
    EXPECT_TRUE(bank.slot(5).key.isNull());
    bank.setKey(5, QString(""));  // asked, nothing typed
    EXPECT_FALSE(bank.slot(5).key.isNull());
    EXPECT_EQ(model::boundKey(bank.slot(5)), QString());
    bank.setKey(5, QString(""));
    EXPECT_EQ(taken(), (Changes{{5, Field::Key}}));
    bank.setKey(5, "abc");  // the last character typed is the key
    EXPECT_EQ(model::boundKey(bank.slot(5)), "c");
    bank.setKey(5, QString());  // back to never asked
    EXPECT_EQ(taken(), (Changes{{5, Field::Key}, {5, Field::Key}}));
    EXPECT_TRUE(bank.slot(5).key.isNull());
}

TEST_F(SampleBankModelTest, ANewBankChangesTheFilesAndKeepsEverySlotsSettings) {
    EXPECT_EQ(bank.count(), 0);
    EXPECT_FALSE(bank.loaded(0));
    bank.replace({"/k/kick.wav", "/k/snare.wav", "/k/hat.wav"});
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(bank.count(), 3);
    EXPECT_TRUE(bank.loaded(2));
    EXPECT_FALSE(bank.loaded(3));
    EXPECT_FALSE(bank.loaded(-1));
    EXPECT_EQ(bank.files(), QStringList({"/k/kick.wav", "/k/snare.wav", "/k/hat.wav"}));
    EXPECT_EQ(bank.displayName(1), "snare");

    bank.setGainDb(1, -10);
    bank.setPan(2, -0.5);
    bank.setLoop(2, false);
    bank.setKey(1, "s");
    bank.setRateHz(9, 8000);  // above the bank: kept as well
    taken();
    bank.replace({"/other/a.wav", "/other/b.wav"});
    EXPECT_EQ(replaced, 2);
    EXPECT_TRUE(taken().empty());  // one signal for all of it
    EXPECT_EQ(bank.count(), 2);
    EXPECT_EQ(bank.files(), QStringList({"/other/a.wav", "/other/b.wav"}));
    EXPECT_EQ(bank.slot(2).file, QString());  // above the bank: no file
    EXPECT_TRUE(std::tuple(bank.slot(1).gainDb, bank.slot(1).key, bank.slot(2).pan, bank.slot(2).loop,
                           bank.slot(9).rateHz) == std::tuple(-10.0, QString("s"), -0.5, false, 8000));

    QStringList many;
    for (int i = 0; i < 20; ++i) many << QString("/m/%1.wav").arg(i);
    bank.replace(many);
    EXPECT_EQ(bank.count(), model::kSlots);
    EXPECT_EQ(bank.slot(15).file, "/m/15.wav");

    bank.clear();
    EXPECT_EQ(replaced, 4);
    EXPECT_EQ(bank.count(), 0);
    EXPECT_EQ(bank.slot(1), model::SampleSlot{});
}

TEST(SlotUnits, BarsStepInFiveDecibelsThirdsOfPanAndTenHertz) {
    using namespace model;
    EXPECT_EQ(gainDbOfVolumeBar(-3), -15.0);
    EXPECT_EQ((std::vector{volumeBarOf(-15.0), volumeBarOf(-12.4), volumeBarOf(-12.6), volumeBarOf(-100.0),
                           volumeBarOf(3.0)}),
              (std::vector{-3, -2, -3, kVolumeBarMin, kVolumeBarMax}));
    EXPECT_DOUBLE_EQ(panOfBar(1), 0.3333);
    EXPECT_DOUBLE_EQ(panOfBar(-3), -0.9999);
    EXPECT_EQ((std::vector{panBarOf(0.3333), panBarOf(-0.6666), panBarOf(0.16), panBarOf(0.17), panBarOf(1.0),
                           panBarOf(-1.0)}),
              (std::vector{1, -2, 0, 1, kPanBarMax, kPanBarMin}));
    EXPECT_EQ(rateHzOfFrequencyBar(2205), 22050);
    // Halves go to the even neighbour; beyond the bar, its end (unless unclamped).
    EXPECT_EQ((std::vector{frequencyBarOf(11025), frequencyBarOf(11035), frequencyBarOf(11024), frequencyBarOf(11026),
                           frequencyBarOf(50), frequencyBarOf(200000), frequencyBarUnclamped(200000)}),
              (std::vector{1102, 1104, 1102, 1103, kFrequencyBarMin, kFrequencyBarMax, 20000}));
    EXPECT_EQ((std::vector{frequencyBarShows(10000), frequencyBarShows(20000), frequencyBarShows(9)}),
              (std::vector{true, false, false}));
}

}  // namespace
}  // namespace zendra::test
