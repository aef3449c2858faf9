// MIDI window: its place in the File menu, what it says with no MIDI system,
// and a note learned by clicking a sample's note and striking a key, which
// then plays that sample; velocity turned off; both kept for the next run
// only while the program remembers.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

#include "allocation_count.h"
#include "core/frm_reworked.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "midi/frm_midi.h"
#include "midi/midi_player.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class MidiWindowTest : public ConfigTest {
protected:
    void SetUp() override {
        ConfigTest::SetUp();
        openMidiWindow();
    }
    void openMidiWindow() {
        ASSERT_TRUE(startMain());
        forms::FrmReworked().Midi->trigger();
    }
    // A new run of the program: fresh windows, the same configuration folder.
    void restart(bool remember) {
        UiTest::TearDown();
        UiTest::SetUp();
        settings::setRemembering(remember);
        openMidiWindow();
    }
    // A note-on as the MIDI input delivers it, then the window thread's turn.
    static void strike(int note, int velocity) {
        const uint8_t m[3] = {0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)};
        forms::app().midi()->receive(m, 3);
        QCoreApplication::processEvents();
    }
};

TEST_F(MidiWindowTest, SaysWhenThereIsNoMidiSystem) {
    if (forms::app().midi()->anySystem()) GTEST_SKIP() << "this machine has a MIDI system";
    EXPECT_FALSE(forms::frmMidi().cboInput->isEnabled());
    EXPECT_EQ(forms::frmMidi().cboInput->currentText(), "No MIDI system here (no ALSA sequencer, no JACK server)");
}

TEST_F(MidiWindowTest, EachSamplesNumberAndNoteTellItsName) {
    frmMidi& w = forms::frmMidi();
    loadDrums(2);
    for (int i = 0; i < 3; ++i) {
        const QString name = i == 0 ? "kick" : i == 1 ? "snare" : "";
        EXPECT_EQ(std::pair(w.lblSampleNum[i]->toolTip(), w.cmdNote[i]->toolTip()), std::pair(name, name)) << i;
    }
    bank().setName(1, "Big Snare");
    EXPECT_EQ(std::pair(w.lblSampleNum[1]->toolTip(), w.cmdNote[1]->toolTip()),
              std::pair(QString("Big Snare"), QString("Big Snare")));
    loadBank({demo("hat.wav")});
    EXPECT_EQ(w.cmdNote[0]->toolTip(), "hat");
    EXPECT_TRUE(w.cmdNote[1]->toolTip().isEmpty());
}

TEST_F(MidiWindowTest, ClickedSampleLearnsTheNextNoteAndVelocityCanBeTurnedOff) {
    loadDrums(2);
    frmMidi& w = forms::frmMidi();
    ASSERT_TRUE(w.isShown());
    QTest::mouseClick(w.cmdNote[1], Qt::LeftButton);
    EXPECT_EQ(w.cmdNote[1]->text(), "strike a pad or key");
    strike(60, 127);
    EXPECT_EQ(w.cmdNote[1]->text(), "60  C4");
    EXPECT_EQ(playing(), std::vector<int>{1});
    const double full = peakAbs(out(0.1).left);
    QTest::mouseClick(w.chkVelocity, Qt::LeftButton);  // off: every note at full level
    stopAll();
    render(0.05);
    strike(60, 1);
    EXPECT_NEAR(peakAbs(out(0.1).left), full, full * 0.005);

    // A kit carries the mapping: saved, reset, opened again.
    const kits::Kit kit = kits::currentKit(forms::app().kits());
    QTest::mouseClick(w.cmdDefaults, Qt::LeftButton);
    ASSERT_EQ(forms::app().midi()->mapping().noteOf(1), 37);
    kits::applySettings(forms::app().kits(), kits::parseKit(kits::serializeKit(kit, {}), {}).kit.value());
    EXPECT_EQ(forms::app().midi()->mapping().noteOf(1), 60);
}

TEST_F(MidiWindowTest, ANoteFromTheInputsThreadAllocatesNothingAndSoundsInTheNextBlockWhileTheWindowThreadDoesNothing) {
    loadDrums(2);
    render(0.01);  // the bank is with the audio thread
    ASSERT_LT(peakAbs(render(0.05)), 1e-4f);
    long allocated = -1;
    std::thread input([&] {
        const long before = allocationsOnThisThread();
        const uint8_t m[3] = {0x90, 37, 127};  // sample 2's note
        forms::app().midi()->receive(m, 3);
        allocated = allocationsOnThisThread() - before;
    });
    input.join();
    EXPECT_EQ(allocated, 0);
    // No event handled since: the audio thread's next 5 ms hold the note.
    std::vector<float> block(2 * 240);
    engine().render(block.data(), 240);
    EXPECT_GT(peakAbs(block), 0.01);
    EXPECT_EQ(playing(), std::vector<int>{1});
    EXPECT_EQ(forms::app().midi()->dropped(), 0u);
    // Its velocity sets the level on that thread as well.
    const double full = std::max(peakAbs(block), peakAbs(render(0.2)));
    stopAll();
    render(0.05);
    std::thread soft([] {
        const uint8_t m[3] = {0x90, 37, 90};
        forms::app().midi()->receive(m, 3);
    });
    soft.join();
    const double level = (90.0 / 127) * (90.0 / 127);
    EXPECT_NEAR(peakAbs(render(0.205)), full * level, full * 0.01);
}

TEST_F(MidiWindowTest, NotesTheAudioThreadCannotHoldAreCountedNotWaitedFor) {
    loadDrums(1);
    render(0.01);
    std::thread input([] {
        const uint8_t m[3] = {0x90, 36, 127};
        for (int i = 0; i < 2000; ++i) forms::app().midi()->receive(m, 3);
    });
    input.join();
    const uint64_t dropped = forms::app().midi()->dropped();
    EXPECT_GT(dropped, 0u);
    EXPECT_LT(dropped, 2000u);
    EXPECT_GT(peakAbs(render(0.05)), 0.1);
}

TEST_F(MidiWindowTest, ANoteStruckWhileLearningWaitsForTheWindowThreadWhichLearnsAndPlaysIt) {
    loadDrums(2);
    render(0.01);
    frmMidi& w = forms::frmMidi();
    QTest::mouseClick(w.cmdNote[1], Qt::LeftButton);
    std::thread input([] {
        const uint8_t m[3] = {0x90, 60, 127};
        forms::app().midi()->receive(m, 3);
    });
    input.join();
    EXPECT_LT(peakAbs(render(0.05)), 1e-4f);  // not played by the input's thread
    EXPECT_EQ(w.cmdNote[1]->text(), "strike a pad or key");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.cmdNote[1]->text(), "60  C4");
    EXPECT_EQ(forms::app().midi()->learning(), -1);
    EXPECT_EQ(playing(), std::vector<int>{1});
    EXPECT_GT(peakAbs(render(0.05)), 0.01);
}

TEST_F(MidiWindowTest, TheMappingIsKeptForTheNextRunOnlyWhileRemembering) {
    for (const bool remember : {false, true}) {
        restart(remember);
        loadDrums(2);
        QTest::mouseClick(forms::frmMidi().cmdNote[1], Qt::LeftButton);  // sample 2 learns note 60
        strike(60, 127);
        QTest::mouseClick(forms::frmMidi().chkVelocity, Qt::LeftButton);
        restart(remember);
        EXPECT_EQ(forms::frmMidi().cmdNote[1]->text(), remember ? "60  C4" : "37  C#2") << remember;
        EXPECT_EQ(forms::frmMidi().chkVelocity->isChecked(), !remember) << remember;
    }
}

TEST_F(MidiWindowTest, MidiSettingsKeptByAnEarlierVersionAreTakenOverOnce) {
    const QString earlier = config.filePath("Zendra/Zendra.conf");
    {
        QSettings old(earlier, QSettings::IniFormat);  // as an earlier version wrote it
        midi::MidiMapping m;
        m.learn(3, 70);
        old.setValue("midi/mapping", QJsonDocument(m.toJson()).toJson(QJsonDocument::Compact));
        old.setValue("midi/input", "JACK: pads:out");
    }
    restart(true);
    EXPECT_EQ(forms::frmMidi().cmdNote[3]->text(), "70  A#4");
    EXPECT_EQ(forms::app().midi()->chosenInput(), "JACK: pads:out");
    EXPECT_FALSE(QFile::exists(earlier));
    QTest::mouseClick(forms::frmMidi().cmdDefaults, Qt::LeftButton);  // a later change is not undone by it
    restart(true);
    EXPECT_EQ(forms::frmMidi().cmdNote[3]->text(), "39  D#2");
}

}  // namespace
}  // namespace zendra::test
