// The sample bank: the Sample Dock's Done, Sample Properties and the Sample
// Pad, measured on the rendered output.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <functional>

#include "keyboard/frm_key_board.h"
#include "mixing/frm_cross_fade.h"
#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

constexpr float kSilence = 1e-4f;

// Index just past the last sample above the threshold, or 0.
size_t endOfSound(const std::vector<float>& x, float threshold = 0.01f) {
    for (size_t i = x.size(); i > 0; --i) {
        if (std::fabs(x[i - 1]) > threshold) return i;
    }
    return 0;
}

class BankTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        frmLoadSamples::forgetLastFolder();
        startSound();
    }

    size_t frames(double seconds) { return static_cast<size_t>(std::lround(seconds * engine().rate())); }
    static frmVar& var() { return forms::frmVar(); }
    static frmSamplePlay& pad() { return forms::frmSamplePlay(); }
    static frmLoadSamples& dock() { return forms::frmLoadSamples(); }
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

    // Loads the two-second 440 Hz tone and starts it from the pad, looping or once.
    void playTone(bool loop) {
        loadBank({demo("tone-22050.wav")});
        var().chkLoop[0]->setChecked(loop);
        click(pad().cmbSample[0]);
    }
};

TEST_F(BankTest, DoneTakesFilledSlotsUpToFirstGapAndPreparesEveryWindow) {
    // Before the first load every control does nothing.
    pad().showForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pad()));
    QTest::mouseMove(pad().cmbSample[6], pad().cmbSample[6]->rect().center());
    EXPECT_EQ(pad().focusWidget(), pad().cmbSample[6]);  // focus follows the pointer over the pads
    var().showForm();
    for (int i = 0; i < 16; ++i) {
        click(var().cmbPause[i]);
        click(var().chkLoop[i]);
        var().hscVol[i]->triggerAction(QAbstractSlider::SliderPageStepSub);
        var().hscPan[i]->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        var().hscFre[i]->triggerAction(QAbstractSlider::SliderPageStepSub);
        click(pad().cmbSample[i]);
        EXPECT_EQ(var().cmbPause[i]->text(), "| |");
    }
    EXPECT_TRUE(messages.empty() && !ended);
    EXPECT_LT(peakAbs(out(0.3).left), kSilence);
    dock().showForm();
    // Slots 1, 2 and 4 filled, 3 empty: two samples; slot 4 is ignored.
    const QString files[4] = {demo("kick.wav"), demo("snare.wav"), QString(), demo("hat.wav")};
    for (int i = 0; i < 4; ++i) dock().lblSample[i]->setText(files[i]);
    click(dock().cmbDone);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(dock().isShown());
    EXPECT_EQ(bank().files(), (QStringList{demo("kick.wav"), demo("snare.wav")}));
    ASSERT_EQ(player().count(), 2);
    for (int i = 0; i < 16; ++i) {
        for (QWidget* w : std::initializer_list<QWidget*>{var().lblSampleNum[i], var().cmbPause[i], var().chkLoop[i],
                                                          var().hscVol[i], var().hscPan[i], var().hscFre[i],
                                                          pad().cmbSample[i], forms::frmSettings().lblSample[i]})
            EXPECT_EQ(w->isEnabled(), i < 2) << i << ' ' << w->metaObject()->className();
    }
    for (QComboBox* c : {forms::frmCrossFade().comSample[0], forms::frmCrossFade().comSample[1],
                         forms::frmFX().comSamplePlay, forms::frmKeyBoard().ComSampleKeyBoard}) {
        ASSERT_EQ(c->count(), 2);
        EXPECT_EQ(c->itemText(0) + c->itemText(1) + "|" + c->currentText(), "12|1");
    }
    click(pad().cmbSample[1]);  // the snare, not silence
    EXPECT_GT(peakAbs(out(0.2).left), 0.1);
}

TEST_F(BankTest, CountBarOffersSlotsAndLoweringItDropsTheSurplusSamples) {
    EXPECT_EQ(dock().lblAmount->text(), "4");
    dock().hscrollNumber->setValue(3);
    EXPECT_EQ(dock().lblAmount->text(), "16");
    dock().vscrollSample->setValue(3);
    EXPECT_TRUE(dock().frm[3]->isVisibleTo(&dock()) && !dock().frm[0]->isVisibleTo(&dock()));
    const QStringList kit = {demo("kick.wav"), demo("snare.wav"), demo("hat.wav"), demo("tone-44100.wav")};
    for (int i = 0; i < 16; ++i) dock().lblSample[i]->setText(kit[i % 4]);
    click(dock().cmbDone);
    ASSERT_EQ(player().count(), 16);
    click(pad().cmbSample[15]);  // loops

    dock().hscrollNumber->setValue(0);
    EXPECT_EQ(dock().lblAmount->text(), "4");
    EXPECT_EQ(dock().vscrollSample->maximum(), 0);
    EXPECT_TRUE(dock().frm[0]->isVisibleTo(&dock()) && !dock().frm[3]->isVisibleTo(&dock()));  // the page followed
    click(dock().cmbDone);
    EXPECT_EQ(player().count(), 4);
    EXPECT_FALSE(pad().cmbSample[4]->isEnabled());
    EXPECT_LT(peakAbs(out(0.5).left, frames(0.01)), kSilence);  // the dropped sample fell silent
}

TEST_F(BankTest, EmptyFirstSlotOnlyShowsTryAgainAndChangesNothing) {
    loadBank({demo("kick.wav"), demo("snare.wav")});
    const auto before = sounds();
    dock().showForm();
    dock().lblSample[0]->setText(QString());
    dock().lblSample[1]->setText(demo("hat.wav"));
    click(dock().cmbDone);
    expectOnlyMessage("No samples were selected to be loaded. They must be placed from the first position on.",
                      "Try Again...", dialogs::Icon::None);
    EXPECT_EQ(sounds(), before);
    EXPECT_EQ(bank().slot(0).file, demo("kick.wav"));
    EXPECT_TRUE(dock().isShown());
    // Files deleted or cut short between being chosen and Done: one message
    // naming each with its reason, and the old bank stays whole.
    QTemporaryDir tmp;
    const QString gone = tmp.filePath("gone.wav"), cut = tmp.filePath("cut.wav");
    ASSERT_TRUE(QFile::copy(demo("kick.wav"), cut) && QFile(cut).resize(3000));
    for (int i = 0; i < 3; ++i) dock().lblSample[i]->setText(i == 0 ? demo("snare.wav") : i == 1 ? gone : cut);
    messages.clear();
    click(dock().cmbDone);
    expectOnlyMessage("Cannot load \"" + gone + "\": the file does not exist.\nCannot load \"" + cut +
                          "\": the file is cut short (truncated): its header announces 39690 bytes of sound but only "
                          "2956 are there.\n\nNothing was changed: the samples loaded before are still in place.",
                      "Zendra", dialogs::Icon::Exclamation);
    EXPECT_EQ(std::tuple(sounds(), bank().files()),
              std::tuple(before, QStringList{demo("kick.wav"), demo("snare.wav")}));
    EXPECT_TRUE(pad().cmbSample[1]->isEnabled() && !pad().cmbSample[2]->isEnabled() && dock().isShown());
}

TEST_F(BankTest, SlotButtonFillsFromTheDialogAndCancelEmptiesTheSlot) {
    QTemporaryDir tmp;
    const QString kit = tmp.path() + "/kit", mine = tmp.path() + "/a.wav";
    QDir().mkpath(kit);
    const QByteArray oldEnv = qgetenv("ZENDRA_DEMO_KIT");
    qputenv("ZENDRA_DEMO_KIT", QFile::encodeName(kit));
    dock().showForm();
    openFiles = {mine, std::nullopt};
    click(dock().cmbSelect[2]);
    EXPECT_EQ(dock().lblSample[2]->text(), mine);
    click(dock().cmbSelect[2]);  // cancelled: even a filled slot empties
    EXPECT_EQ(dock().lblSample[2]->text(), QString());
    qputenv("ZENDRA_DEMO_KIT", oldEnv);
    ASSERT_EQ(fileCalls.size(), 2u);
    // WAV is the preset; the second filter offers every sound file.
    EXPECT_EQ(
        fileCalls[0].filter + "|" + fileCalls[0].suggested,
        "Wave Files (*.Wav);;Sound Files (*.wav *.flac *.ogg *.oga *.opus *.mp3 *.aif *.aiff *.aifc *.caf *.au)|*.Wav");
    EXPECT_EQ(fileCalls[0].folder, QDir(kit).absolutePath());         // first: the demo kit
    EXPECT_EQ(fileCalls[1].folder, QDir(tmp.path()).absolutePath());  // then the last folder
}

TEST_F(BankTest, FrequencyBarsFollowTheBuffersAndA11025HzFilePlaysAt11020) {
    const QStringList files = {demo("tone-22050.wav"), demo("tone-11025.wav"), demo("tone-44100.wav")};
    loadBank(files);
    const int bars[] = {2205, 1102, 4410}, rates[] = {22050, 11020, 44100};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::pair(var().hscFre[i]->value(), sound(i).GetFrequency()), std::pair(bars[i], rates[i]));
    click(pad().cmbSample[1]);
    EXPECT_NEAR(frequencyHz(out(1.5).left, engine().rate(), frames(0.2), frames(1.4)), 440.0 * 11020 / 11025, 0.05);
    // Done again with the same files: the bar does not change, so the new
    // buffer keeps the file's own rate.
    loadBank(files);
    EXPECT_EQ(sound(1).GetFrequency(), 11025);
}

// The bars' steps reach the sound (the sound itself is measured at the player's level).
TEST_F(BankTest, VolumePanAndFrequencyBarsStepTheSlotsSound) {
    loadBank({demo("tone-22050.wav")});
    QScrollBar *vol = var().hscVol[0], *pan = var().hscPan[0], *fre = var().hscFre[0];
    const std::tuple<QScrollBar*, QAbstractSlider::SliderAction, int, std::function<int()>, int> cases[] = {
        {vol, QAbstractSlider::SliderPageStepSub, 5, [] { return sound(0).GetVolume(); }, -2500},
        {vol, QAbstractSlider::SliderSingleStepAdd, 1, [] { return sound(0).GetVolume(); }, -2000},
        {pan, QAbstractSlider::SliderSingleStepSub, 3, [] { return sound(0).GetPan(); }, -9999},
        {pan, QAbstractSlider::SliderPageStepAdd, 4, [] { return sound(0).GetPan(); }, 3333},
        {fre, QAbstractSlider::SliderSingleStepAdd, 1, [] { return sound(0).GetFrequency(); }, 23050},
        {fre, QAbstractSlider::SliderPageStepSub, 1, [] { return sound(0).GetFrequency(); }, 13050}};
    for (const auto& [bar, step, times, read, want] : cases) {
        for (int k = 0; k < times; ++k) bar->triggerAction(step);
        EXPECT_EQ(read(), want) << bar->value();
    }
}

// Pause stops where the sample is; resume goes on from there, once or looping
// as before, and the pad starts it over (the sound across the cut: sample_player_test).
TEST_F(BankTest, PauseAndResumeContinueFromTheSameFrameAndKeepLooping) {
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "looping" : "once");
        playTone(loop);
        render(0.4);
        click(var().cmbPause[0]);
        const int64_t at = player().position(0);
        const QString paused = var().cmbPause[0]->text();
        EXPECT_LT(peakAbs(out(0.3).left, 100), kSilence);
        click(var().cmbPause[0]);
        EXPECT_EQ(paused + var().cmbPause[0]->text(), ">| |");
        EXPECT_EQ(sound(0).GetStatus(), loop ? 5 : 1);
        render(0.1);
        EXPECT_NEAR(static_cast<double>(player().position(0) - at), 2205.0, 50.0) << at;
        click(pad().cmbSample[0]);  // the pad starts it over
        render(0.1);
        EXPECT_NEAR(static_cast<double>(player().position(0)), 2205.0, 50.0);
        stopAll();
        render(0.05);
    }
}

TEST_F(BankTest, ClearingLoopLetsTheCurrentPassFinishAndTickingStartsNothing) {
    playTone(true);
    EXPECT_GT(rmsDb(out(2.5).left, frames(2.1)), -6.0);  // into the second pass
    click(var().chkLoop[0]);
    EXPECT_FALSE(var().chkLoop[0]->isChecked());
    EXPECT_NEAR(static_cast<double>(endOfSound(out(2.5).left)) / engine().rate(), 1.5, 0.01);
    EXPECT_EQ(sound(0).GetStatus(), 0);
    click(var().chkLoop[0]);  // stopped: nothing starts
    EXPECT_LT(peakAbs(out(0.5).left), kSilence);
}

TEST_F(BankTest, PropertiesStartWithDefaultsUnderTheirHeadingsAndThePadIsAGridByColumn) {
    frmVar& v = var();
    QString headings = v.windowTitle() + "|";
    for (QLabel* l : {v.lblSampleTitle, v.lblPause, v.lblloop, v.lblVol, v.lblPan, v.lblFre})
        headings += l->text() + "|";
    EXPECT_EQ(headings, "Sample Properties|#|Pause|Loop|Volume|Pan|Frequency|");
    const int pitch = v.lblSampleNum[1]->y() - v.lblSampleNum[0]->y();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(std::tuple(v.lblSampleNum[i]->text(), v.cmbPause[i]->text(), v.chkLoop[i]->isChecked(),
                             v.hscVol[i]->value(), v.hscPan[i]->value(), v.hscFre[i]->value()),
                  std::tuple(QString::number(i + 1), QString("| |"), true, 0, 0, 100));
        // A wider gap after every fourth row.
        EXPECT_TRUE(i == 0 || (v.lblSampleNum[i]->y() - v.lblSampleNum[i - 1]->y() > pitch) == (i % 4 == 0)) << i;
        // Pads: index = 4 x column + row.
        const QRect g = pad().cmbSample[i]->geometry();
        EXPECT_EQ(pad().cmbSample[i]->text(), QString::number(i + 1));
        EXPECT_EQ(g.x(), pad().cmbSample[(i / 4) * 4]->x()) << i;
        EXPECT_EQ(g.y(), pad().cmbSample[i % 4]->y()) << i;
        EXPECT_TRUE(i % 4 == 0 || g.y() > pad().cmbSample[i - 1]->geometry().bottom()) << i;
    }
}

}  // namespace
}  // namespace zendra::test
