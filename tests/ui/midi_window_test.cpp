// MIDI window: its place in the File menu, what it says with no MIDI system,
// and a note learned by clicking a sample's note and striking a key, which
// then plays that sample; velocity turned off; both kept in the settings.
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "core/frm_reworked.h"
#include "midi/frm_midi.h"
#include "midi/midi_player.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class MidiWindowTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        ASSERT_TRUE(startMain());
        forms::FrmReworked().Midi->trigger();
    }
    // A note-on as the MIDI input delivers it, then the window thread's turn.
    static void strike(int note, int velocity) {
        const uint8_t m[3] = {0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)};
        midi::MidiPlayer::instance()->receive(m, 3);
        QCoreApplication::processEvents();
    }
    QTemporaryDir settingsDir;
};

TEST_F(MidiWindowTest, SaysWhenThereIsNoMidiSystem) {
    if (midi::MidiPlayer::instance()->anySystem()) GTEST_SKIP() << "this machine has a MIDI system";
    EXPECT_FALSE(forms::frmMidi().cboInput->isEnabled());
    EXPECT_EQ(forms::frmMidi().cboInput->currentText(), "No MIDI system here (no ALSA sequencer, no JACK server)");
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

    const QSettings s(QStringLiteral("Zendra"), QStringLiteral("Zendra"));
    const auto kept = midi::MidiMapping::fromJson(QJsonDocument::fromJson(s.value("midi/mapping").toByteArray()).object());
    EXPECT_EQ(kept.noteOf(1), 60);
    EXPECT_FALSE(kept.velocity);

    // A kit carries the mapping: saved, reset, opened again.
    const kits::Kit kit = kits::currentKit();
    QTest::mouseClick(w.cmdDefaults, Qt::LeftButton);
    ASSERT_EQ(midi::MidiPlayer::instance()->mapping().noteOf(1), 37);
    kits::applySettings(kits::parseKit(kits::serializeKit(kit, {}), {}).kit.value());
    EXPECT_EQ(midi::MidiPlayer::instance()->mapping().noteOf(1), 60);
}

}  // namespace
}  // namespace zendra::test
