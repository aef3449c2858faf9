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

// Largest difference between a and b over n frames from their starts.
double maxDiff(const std::vector<float>& a, size_t aBegin, const std::vector<float>& b, size_t bBegin, size_t n) {
    double m = 0;
    for (size_t i = 0; i < n; ++i) m = std::max(m, static_cast<double>(std::fabs(a[aBegin + i] - b[bBegin + i])));
    return m;
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

TEST_F(BankTest, VolumePanAndFrequencyBarsChangeTheRenderedSound) {
    playTone(true);
    const double full = rmsDb(out(0.5).left, frames(0.05));
    struct Case {
        const char* what;
        QScrollBar* bar;
        QAbstractSlider::SliderAction step;
        int times;                              // or, with no step, the value set
        double leftDb, rightDb, tolerance, hz;  // levels relative to the start
    };
    QScrollBar *vol = var().hscVol[0], *pan = var().hscPan[0], *fre = var().hscFre[0];
    const auto none = QAbstractSlider::SliderNoAction;
    const Case cases[] = {
        {"volume five pages down", vol, QAbstractSlider::SliderPageStepSub, 5, -25.0, -25.0, 0.2, 440.0},
        {"volume one arrow up", vol, QAbstractSlider::SliderSingleStepAdd, 1, -20.0, -20.0, 0.2, 440.0},
        {"volume back at 0", vol, none, 0, 0.0, 0.0, 0.05, 440.0},
        // The far side is 99.99 dB down at the ends, 33.33 dB one step in.
        {"pan full left", pan, none, -3, 0.0, -99.99, 0.5, 440.0},
        {"pan full right", pan, none, 3, -99.99, 0.0, 0.5, 440.0},
        {"pan one step left", pan, none, -1, 0.0, -33.33, 0.2, 440.0},
        {"pan centre", pan, none, 0, 0.0, 0.0, 0.05, 440.0},
        // One arrow step is 1000 Hz of playback rate, a page 10000 Hz.
        {"frequency arrow up", fre, QAbstractSlider::SliderSingleStepAdd, 1, 0.0, 0.0, 0.2, 440.0 * 23050 / 22050},
        {"frequency page down", fre, QAbstractSlider::SliderPageStepSub, 1, 0.0, 0.0, 0.2, 440.0 * 13050 / 22050},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.step == none) c.bar->setValue(c.times);
        for (int k = 0; c.step != none && k < c.times; ++k) c.bar->triggerAction(c.step);
        click(pad().cmbSample[0]);  // from the start: no loop seam in the measurement
        const Stereo s = out(0.5);
        EXPECT_NEAR(rmsDb(s.left, frames(0.05)) - full, c.leftDb, c.tolerance);
        EXPECT_NEAR(rmsDb(s.right, frames(0.05)) - full, c.rightDb, c.tolerance);
        EXPECT_NEAR(frequencyHz(c.leftDb > -50 ? s.left : s.right, engine().rate(), frames(0.05)), c.hz, 0.2);
    }
    EXPECT_EQ(sound(0).GetFrequency(), 13050);
}

// Pause and resume continue from the same frame, once or looping as the Loop box says.
TEST_F(BankTest, PauseAndResumeContinueFromTheSameFrameAndKeepLooping) {
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop ? "looping" : "once");
        playTone(loop);
        const Stereo ref = out(1.0);  // uninterrupted first second
        click(pad().cmbSample[0]);    // from the start again
        const Stereo a = out(0.4);
        click(var().cmbPause[0]);
        const QString paused = var().cmbPause[0]->text();
        const Stereo gap = out(0.3);
        click(var().cmbPause[0]);
        EXPECT_EQ(paused + var().cmbPause[0]->text(), ">| |");
        const Stereo b = out(0.6);
        const Stereo tail = out(3.0);
        const size_t skip = 100;  // the fades at the cut and the resumption
        EXPECT_LT(maxDiff(a.left, skip, ref.left, skip, frames(0.4) - skip), 1e-4);
        EXPECT_LT(peakAbs(gap.left, skip), kSilence);
        EXPECT_LT(maxDiff(b.left, skip, ref.left, frames(0.4) + skip, frames(0.6) - skip), 1e-4);
        // The sample's second second follows; then it ends, or starts over.
        if (loop) {
            EXPECT_GT(rmsDb(tail.left, frames(2.5)), -6.0);
        } else {
            EXPECT_NEAR(static_cast<double>(endOfSound(tail.left)) / engine().rate(), 1.0, 0.01);
        }
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

TEST_F(BankTest, PadRestartsFromTheStartAndPlaysOnceOrLoopsByTheLoopBox) {
    playTone(false);
    const Stereo first = out(1.0);
    click(pad().cmbSample[0]);
    const Stereo second = out(2.5);
    EXPECT_LT(maxDiff(second.left, 100, first.left, 100, frames(0.5)), 1e-4);  // past the cut-off tail
    EXPECT_NEAR(static_cast<double>(endOfSound(second.left)) / engine().rate(), 2.0, 0.01);
    var().chkLoop[0]->setChecked(true);
    click(pad().cmbSample[0]);
    EXPECT_GT(rmsDb(out(5.0).left, frames(4.5)), -6.0);
    EXPECT_EQ(sound(0).GetStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(var().cmbPause[0]->text(), "| |");  // playing from the pad leaves the caption
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
