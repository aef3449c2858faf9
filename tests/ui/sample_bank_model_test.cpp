// The sample bank's model on its own: what each setter keeps and signals,
// keys, a new bank of files, and the steps of the bars that show a slot.
#include <QObject>
#include <cmath>
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
    bank.setLoop(3, false);
    bank.setGainDb(3, -12.5);
    bank.setPan(3, 0.25);
    bank.setRateHz(3, 11025);
    bank.setPaused(3, true);
    bank.setKey(3, "q");
    bank.setName(3, "Kick");
    EXPECT_EQ(taken(), (Changes{{3, Field::Loop},
                                {3, Field::Gain},
                                {3, Field::Pan},
                                {3, Field::Rate},
                                {3, Field::Paused},
                                {3, Field::Key},
                                {3, Field::Name}}));
    const model::SampleSlot& s = bank.slot(3);
    EXPECT_FALSE(s.loop);
    EXPECT_EQ(s.gainDb, -12.5);
    EXPECT_EQ(s.pan, 0.25);
    EXPECT_EQ(s.rateHz, 11025);
    EXPECT_TRUE(s.paused);
    EXPECT_EQ(s.key, "q");
    EXPECT_EQ(bank.displayName(3), "Kick");
    EXPECT_EQ(bank.slot(2), model::SampleSlot{});  // its neighbours untouched

    // The same values again: nothing.
    bank.setLoop(3, false);
    bank.setGainDb(3, -12.5);
    bank.setPan(3, 0.25);
    bank.setRateHz(3, 11025);
    bank.setPaused(3, true);
    bank.setKey(3, "q");
    bank.setName(3, "Kick");
    EXPECT_TRUE(taken().empty());
    // Unless told to signal anyway.
    bank.setLoop(3, false, Signal::Always);
    bank.setGainDb(3, -12.5, Signal::Always);
    bank.setPan(3, 0.25, Signal::Always);
    bank.setRateHz(3, 11025, Signal::Always);
    EXPECT_EQ(taken(), (Changes{{3, Field::Loop}, {3, Field::Gain}, {3, Field::Pan}, {3, Field::Rate}}));

    // A slot outside the sixteen: nothing.
    for (const int i : {-1, model::kSlots}) {
        bank.setLoop(i, false, Signal::Always);
        bank.setGainDb(i, -6, Signal::Always);
        bank.setPan(i, 0.5, Signal::Always);
        bank.setRateHz(i, 8000, Signal::Always);
        bank.setPaused(i, true);
        bank.setKey(i, "a");
        bank.setName(i, "x");
    }
    EXPECT_TRUE(taken().empty());
    EXPECT_EQ(replaced, 0);
}

TEST_F(SampleBankModelTest, SettingsAreClampedAndWhatIsNoSettingIsIgnored) {
    bank.setGainDb(0, 6);
    bank.setPan(0, -3);
    bank.setGainDb(1, -250);
    bank.setPan(1, 1.5);
    EXPECT_EQ(bank.slot(0).gainDb, 0.0);
    EXPECT_EQ(bank.slot(0).pan, -1.0);
    EXPECT_EQ(bank.slot(1).gainDb, -100.0);
    EXPECT_EQ(bank.slot(1).pan, 1.0);
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
    EXPECT_EQ(bank.slot(1).gainDb, -100.0);
    EXPECT_EQ(bank.slot(1).pan, 1.0);
    EXPECT_EQ(bank.slot(1).rateHz, 1000);
    bank.setRateHz(1, 1);  // the least rate there is
    EXPECT_EQ(bank.slot(1).rateHz, 1);
}

TEST_F(SampleBankModelTest, AKeyNeverAskedForDiffersFromOneBoundToNothing) {
    EXPECT_TRUE(bank.slot(5).key.isNull());
    EXPECT_EQ(model::tapCharacter(bank.slot(5)), QChar('='));
    EXPECT_EQ(model::boundKey(bank.slot(5)), QString());

    bank.setKey(5, QString(""));  // asked, nothing typed
    EXPECT_EQ(taken(), (Changes{{5, Field::Key}}));
    EXPECT_FALSE(bank.slot(5).key.isNull());
    EXPECT_EQ(model::tapCharacter(bank.slot(5)), QChar(' '));
    EXPECT_EQ(model::boundKey(bank.slot(5)), QString());
    bank.setKey(5, QString(""));
    EXPECT_TRUE(taken().empty());

    bank.setKey(5, "abc");  // the last character typed is the key
    EXPECT_EQ(model::tapCharacter(bank.slot(5)), QChar('c'));
    EXPECT_EQ(model::boundKey(bank.slot(5)), "c");
    bank.setKey(5, QString());  // back to never asked
    EXPECT_EQ(taken(), (Changes{{5, Field::Key}, {5, Field::Key}}));
    EXPECT_TRUE(bank.slot(5).key.isNull());
    EXPECT_EQ(model::tapCharacter(bank.slot(5)), QChar('='));
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
    EXPECT_EQ(bank.slot(1).gainDb, -10);
    EXPECT_EQ(bank.slot(1).key, "s");
    EXPECT_EQ(bank.slot(2).pan, -0.5);
    EXPECT_FALSE(bank.slot(2).loop);
    EXPECT_EQ(bank.slot(9).rateHz, 8000);

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
    EXPECT_EQ(gainDbOfVolumeBar(0), 0.0);
    EXPECT_EQ(volumeBarOf(-15.0), -3);
    EXPECT_EQ(volumeBarOf(-12.4), -2);
    EXPECT_EQ(volumeBarOf(-12.6), -3);
    EXPECT_EQ(volumeBarOf(-100.0), kVolumeBarMin);
    EXPECT_EQ(volumeBarOf(3.0), kVolumeBarMax);

    EXPECT_DOUBLE_EQ(panOfBar(1), 0.3333);
    EXPECT_DOUBLE_EQ(panOfBar(-3), -0.9999);
    EXPECT_EQ(panOfBar(0), 0.0);
    EXPECT_EQ(panBarOf(0.3333), 1);
    EXPECT_EQ(panBarOf(-0.6666), -2);
    EXPECT_EQ(panBarOf(0.16), 0);
    EXPECT_EQ(panBarOf(0.17), 1);
    EXPECT_EQ(panBarOf(1.0), kPanBarMax);
    EXPECT_EQ(panBarOf(-1.0), kPanBarMin);

    EXPECT_EQ(rateHzOfFrequencyBar(2205), 22050);
    EXPECT_EQ(frequencyBarOf(22050), 2205);
    EXPECT_EQ(frequencyBarOf(11025), 1102);  // halves go to the even neighbour
    EXPECT_EQ(frequencyBarOf(11035), 1104);
    EXPECT_EQ(frequencyBarOf(11024), 1102);
    EXPECT_EQ(frequencyBarOf(11026), 1103);
    EXPECT_EQ(frequencyBarOf(50), kFrequencyBarMin);
    EXPECT_EQ(frequencyBarOf(200000), kFrequencyBarMax);
    EXPECT_EQ(frequencyBarUnclamped(200000), 20000);
    EXPECT_TRUE(frequencyBarShows(10000));
    EXPECT_FALSE(frequencyBarShows(20000));
    EXPECT_FALSE(frequencyBarShows(9));
}

}  // namespace
}  // namespace zendra::test
