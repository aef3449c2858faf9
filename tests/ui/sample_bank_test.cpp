// The sample bank: the Sample Dock's Done, Sample Properties and the Sample
// Pad, measured on the rendered output.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "keyboard/frm_key_board.h"
#include "mixing/frm_cross_fade.h"
#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "signal_measure.h"
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

// Largest difference between a and b over [begin, end) of both.
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
    }
    void TearDown() override {
        frmLoadSamples::decodeHook = nullptr;
        frmLoadSamples::progressDelayMs = 250;
        UiTest::TearDown();
    }

    size_t frames(double seconds) const { return static_cast<size_t>(std::lround(seconds * 48000)); }
    int rate() { return engine().rate(); }

    frmVar& var() { return forms::frmVar(); }
    frmSamplePlay& pad() { return forms::frmSamplePlay(); }
    frmLoadSamples& dock() { return forms::frmLoadSamples(); }

    // Loads the tone and starts it through the pad, looping or once.
    void playTone(bool loop) {
        startSound();
        loadBank({demo("tone-22050.wav")});
        ASSERT_EQ(DXMoudule::SampleBuffer.size(), 1u);
        var().chkLoop[0]->setChecked(loop);
        pad().cmbSample[0]->click();
    }

    // Holds every decode until `release`, and runs `during` on the GUI thread
    // while the load waits; the progress shows at once.
    void holdDecodingAnd(std::function<void()> during) {
        frmLoadSamples::progressDelayMs = 0;
        frmLoadSamples::decodeHook = [this](size_t) {
            ++decoded;
            std::unique_lock<std::mutex> lock(gate);
            opened.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
        };
        QTimer::singleShot(150, [this, during] {
            during();
            {
                std::lock_guard<std::mutex> lock(gate);
                released = true;
            }
            opened.notify_all();
        });
    }

    QTemporaryDir tmp;
    std::mutex gate;
    std::condition_variable opened;
    bool released = false;
    std::atomic<int> decoded{0};
};

// ------------------------------------------------------------------ Done

TEST_F(BankTest, DoneTakesFilledSlotsUpToFirstGapAndPreparesEveryWindow) {
    startSound();
    dock().showForm();
    // Slots 1, 2 and 4 filled, 3 empty: two samples; slot 4 is ignored.
    for (int i = 0; i < 16; ++i) dock().lblSample[i]->setText(QString());
    dock().lblSample[0]->setText(demo("kick.wav"));
    dock().lblSample[1]->setText(demo("snare.wav"));
    dock().lblSample[3]->setText(demo("hat.wav"));
    dock().cmbDone->click();

    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(DXMoudule::LastSample, 1);
    ASSERT_EQ(DXMoudule::SampleFile.size(), 2u);
    EXPECT_EQ(DXMoudule::SampleFile[1], demo("snare.wav"));
    ASSERT_EQ(DXMoudule::SampleBuffer.size(), 2u);
    for (int i = 0; i < 16; ++i) {
        for (QWidget* w : {static_cast<QWidget*>(var().lblSampleNum[i]), static_cast<QWidget*>(var().cmbPause[i]),
                           static_cast<QWidget*>(var().chkLoop[i]), static_cast<QWidget*>(var().hscVol[i]),
                           static_cast<QWidget*>(var().hscPan[i]), static_cast<QWidget*>(var().hscFre[i]),
                           static_cast<QWidget*>(pad().cmbSample[i]),
                           static_cast<QWidget*>(forms::frmSettings().lblSample[i])})
            EXPECT_EQ(w->isEnabled(), i < 2) << i;
    }
    for (QComboBox* c : {forms::frmCrossFade().comSample[0], forms::frmCrossFade().comSample[1],
                         forms::frmFX().comSamplePlay, forms::frmKeyBoard().ComSampleKeyBoard}) {
        ASSERT_EQ(c->count(), 2);
        EXPECT_EQ(c->itemText(0), "1");
        EXPECT_EQ(c->itemText(1), "2");
        EXPECT_EQ(c->currentText(), "1");
    }
    EXPECT_FALSE(dock().isShown());
    // The bank plays what the slots named: sample 2 is the snare, not silence.
    pad().cmbSample[1]->click();
    EXPECT_GT(peakAbs(out(0.2).left), 0.1);
}

TEST_F(BankTest, CountBarOffersSlotsAndLoweringItDropsTheSurplusSamples) {
    startSound();
    dock().hscrollNumber->setValue(3);
    EXPECT_EQ(dock().lblAmount->text(), "16");
    dock().vscrollSample->setValue(3);
    EXPECT_TRUE(dock().frm[3]->isVisibleTo(&dock()));
    EXPECT_FALSE(dock().frm[0]->isVisibleTo(&dock()));
    const QStringList kit = {demo("kick.wav"), demo("snare.wav"), demo("hat.wav"), demo("tone-44100.wav")};
    for (int i = 0; i < 16; ++i) dock().lblSample[i]->setText(kit[i % 4]);
    dock().cmbDone_Click();
    ASSERT_EQ(DXMoudule::SampleBuffer.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(pad().cmbSample[i]->isEnabled()) << i;
    std::weak_ptr<DirectSoundBuffer> last = DXMoudule::SampleBuffer[15];
    pad().cmbSample[15]->click();  // loops
    EXPECT_NEAR(frequencyHz(out(0.5).left, rate()), 440.0, 1.0);

    dock().hscrollNumber->setValue(0);
    EXPECT_EQ(dock().lblAmount->text(), "4");
    EXPECT_EQ(dock().vscrollSample->maximum(), 0);
    EXPECT_TRUE(dock().frm[0]->isVisibleTo(&dock()));  // the page followed the bar down
    EXPECT_FALSE(dock().frm[3]->isVisibleTo(&dock()));
    dock().cmbDone_Click();
    EXPECT_EQ(DXMoudule::LastSample, 3);
    EXPECT_EQ(DXMoudule::SampleFile.size(), 4u);
    EXPECT_EQ(DXMoudule::SampleBuffer.size(), 4u);
    EXPECT_FALSE(pad().cmbSample[4]->isEnabled());
    EXPECT_TRUE(last.expired());
    EXPECT_LT(peakAbs(out(0.5).left, frames(0.01)), kSilence);  // the dropped sample fell silent
}

TEST_F(BankTest, EmptyFirstSlotOnlyShowsTryAgainAndChangesNothing) {
    startSound();
    loadBank({demo("kick.wav"), demo("snare.wav")});
    const auto before = DXMoudule::SampleBuffer;
    dock().showForm();
    dock().lblSample[0]->setText(QString());
    dock().lblSample[1]->setText(demo("hat.wav"));
    dock().lblSample[2]->setText(demo("clap.wav"));
    dock().cmbDone->click();

    expectOnlyMessage("No samples were selected to be loaded. They must be placed from the first position on.",
                      "Try Again...", dialogs::Icon::None);
    EXPECT_EQ(DXMoudule::SampleBuffer, before);
    EXPECT_EQ(DXMoudule::LastSample, 1);
    EXPECT_EQ(DXMoudule::SampleFile[0], demo("kick.wav"));
    EXPECT_TRUE(dock().isShown());
}

TEST_F(BankTest, SlotButtonFillsFromTheDialogAndCancelEmptiesTheSlot) {
    const QString kit = tmp.path() + "/kit";
    QDir().mkpath(kit);
    const QByteArray oldEnv = qgetenv("ZENDRA_DEMO_KIT");
    qputenv("ZENDRA_DEMO_KIT", QFile::encodeName(kit));
    QDir().mkpath(tmp.path() + "/mine");
    const QString mine = tmp.path() + "/mine/a.wav";

    openFiles = {mine, std::nullopt};
    dock().cmbSelect[2]->click();
    EXPECT_EQ(dock().lblSample[2]->text(), mine);
    dock().cmbSelect[2]->click();  // cancelled
    EXPECT_EQ(dock().lblSample[2]->text(), QString());
    dock().lblSample[5]->setText(mine);
    dock().cmbSelect[5]->click();  // cancelled again: even a filled slot empties
    EXPECT_EQ(dock().lblSample[5]->text(), QString());
    qputenv("ZENDRA_DEMO_KIT", oldEnv);

    ASSERT_EQ(fileCalls.size(), 3u);
    EXPECT_EQ(fileCalls[0].filter, "Wave Files (*.Wav)");
    EXPECT_EQ(fileCalls[0].suggested, "*.Wav");
    EXPECT_EQ(fileCalls[0].folder, QDir(kit).absolutePath());  // first: the demo kit
    EXPECT_EQ(fileCalls[1].folder, QDir(tmp.path() + "/mine").absolutePath());  // then the last folder
    EXPECT_EQ(fileCalls[2].folder, QDir(tmp.path() + "/mine").absolutePath());
}

TEST_F(BankTest, FrequencyBarsFollowTheBuffersAndA11025HzFilePlaysAt11020) {
    startSound();
    loadBank({demo("tone-22050.wav"), demo("tone-11025.wav"), demo("tone-44100.wav")});
    const int bars[] = {2205, 1102, 4410}, rates[] = {22050, 11020, 44100};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(var().hscFre[i]->value(), bars[i]);
        EXPECT_EQ(DXMoudule::SampleBuffer[static_cast<size_t>(i)]->GetFrequency(), rates[i]);
    }

    // Rendered: 440 Hz recorded at 11025 Hz, played at 11020 Hz.
    pad().cmbSample[1]->click();
    const Stereo s = out(1.5);
    EXPECT_NEAR(frequencyHz(s.left, rate(), frames(0.2), frames(1.4)), 440.0 * 11020 / 11025, 0.05);

    // Done again with the same files: the bar does not change, so the new
    // buffer keeps the file's own rate.
    loadBank({demo("tone-22050.wav"), demo("tone-11025.wav"), demo("tone-44100.wav")});
    EXPECT_EQ(var().hscFre[1]->value(), 1102);
    EXPECT_EQ(DXMoudule::SampleBuffer[1]->GetFrequency(), 11025);
}

TEST_F(BankTest, LoadingKeepsEventsGoingShowsProgressAndIgnoresASecondDone) {
    playTone(true);
    bool loading = false, progressShown = false;
    double levelDuringLoad = -200;
    size_t bankDuringLoad = 0;
    holdDecodingAnd([&] {
        loading = dock().isLoading();
        progressShown = dock().progressDialog() != nullptr && dock().progressDialog()->isVisible();
        bankDuringLoad = DXMoudule::SampleBuffer.size();
        levelDuringLoad = rmsDb(out(0.2).left);  // the old bank still sounds
        dock().cmbDone_Click();                  // ignored while loading
    });
    loadBank({demo("kick.wav"), demo("snare.wav"), demo("hat.wav")});

    EXPECT_TRUE(loading);
    EXPECT_TRUE(progressShown);
    EXPECT_EQ(bankDuringLoad, 1u);
    EXPECT_GT(levelDuringLoad, -6.0);
    EXPECT_EQ(decoded.load(), 3);  // one load only
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(DXMoudule::SampleBuffer.size(), 3u);
    EXPECT_FALSE(dock().isLoading());
    EXPECT_EQ(dock().progressDialog(), nullptr);
}

TEST_F(BankTest, CancellingTheProgressKeepsTheOldBank) {
    playTone(true);
    const auto before = DXMoudule::SampleBuffer;
    bool shown = false;
    holdDecodingAnd([&] {
        if (!dock().progressDialog()) return;
        shown = dock().progressDialog()->isVisible();
        if (auto* button = dock().progressDialog()->findChild<QPushButton*>()) button->click();
    });
    dock().showForm();
    loadBank({demo("kick.wav"), demo("snare.wav")});

    EXPECT_TRUE(shown);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(DXMoudule::SampleBuffer, before);
    EXPECT_EQ(DXMoudule::LastSample, 0);
    EXPECT_TRUE(dock().isShown());
    EXPECT_NEAR(frequencyHz(out(0.3).left, rate()), 440.0, 1.0);
}

// ------------------------------------------------------------------ Sample Properties

TEST_F(BankTest, VolumePanAndFrequencyBarsChangeTheRenderedSound) {
    playTone(true);
    const double full = rmsDb(out(0.5).left, frames(0.05));
    struct Case {
        const char* what;
        std::function<void()> act;
        double leftDb, rightDb, tolerance, hz;  // levels relative to the start
    };
    auto steps = [](QScrollBar* bar, QAbstractSlider::SliderAction a, int n) {
        return [=] {
            for (int k = 0; k < n; ++k) bar->triggerAction(a);
        };
    };
    const Case cases[] = {
        {"volume five pages down", steps(var().hscVol[0], QAbstractSlider::SliderPageStepSub, 5), -25.0, -25.0, 0.2, 440.0},
        {"volume back at 0", [&] { var().hscVol[0]->setValue(0); }, 0.0, 0.0, 0.05, 440.0},
        // The far side is 99.99 dB down at the ends, 33.33 dB one step in.
        {"pan full left", [&] { var().hscPan[0]->setValue(-3); }, 0.0, -99.99, 0.5, 440.0},
        {"pan full right", [&] { var().hscPan[0]->setValue(3); }, -99.99, 0.0, 0.5, 440.0},
        {"pan one step left", [&] { var().hscPan[0]->setValue(-1); }, 0.0, -33.33, 0.2, 440.0},
        {"pan centre", [&] { var().hscPan[0]->setValue(0); }, 0.0, 0.0, 0.05, 440.0},
        // One arrow step is 1000 Hz of playback rate.
        {"frequency arrow up", steps(var().hscFre[0], QAbstractSlider::SliderSingleStepAdd, 1), 0.0, 0.0, 0.2,
         440.0 * 23050 / 22050},
        {"frequency arrow down twice", steps(var().hscFre[0], QAbstractSlider::SliderSingleStepSub, 2), 0.0, 0.0, 0.2,
         440.0 * 21050 / 22050},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        pad().cmbSample[0]->click();  // from the start: no loop seam in the measurement
        const Stereo s = out(0.5);
        EXPECT_NEAR(rmsDb(s.left, frames(0.05)) - full, c.leftDb, c.tolerance);
        EXPECT_NEAR(rmsDb(s.right, frames(0.05)) - full, c.rightDb, c.tolerance);
        EXPECT_NEAR(frequencyHz(c.leftDb > -50 ? s.left : s.right, rate(), frames(0.05)), c.hz, 0.2);
    }
    EXPECT_EQ(var().hscVol[0]->value(), 0);
    EXPECT_EQ(var().hscFre[0]->value(), 2105);
    EXPECT_EQ(DXMoudule::Frequency, 21050);
}

TEST_F(BankTest, PauseAndResumeContinueFromTheSameFrame) {
    playTone(false);
    const Stereo ref = out(1.0);  // uninterrupted first second
    pad().cmbSample[0]->click();  // from the start again
    const Stereo a = out(0.4);
    var().cmbPause[0]->click();
    EXPECT_EQ(var().cmbPause[0]->text(), ">");
    const Stereo gap = out(0.3);
    var().cmbPause[0]->click();
    EXPECT_EQ(var().cmbPause[0]->text(), "| |");
    const Stereo b = out(0.6);
    const Stereo tail = out(1.5);

    const size_t skip = 100;  // the fades at the cut and the resumption
    EXPECT_LT(maxDiff(a.left, skip, ref.left, skip, frames(0.4) - skip), 1e-4);
    EXPECT_LT(peakAbs(gap.left, skip), kSilence);
    EXPECT_LT(maxDiff(b.left, skip, ref.left, frames(0.4) + skip, frames(0.6) - skip), 1e-4);
    // The second second of the sample follows, then it ends.
    EXPECT_NEAR(static_cast<double>(endOfSound(tail.left)) / rate(), 1.0, 0.01);
}

TEST_F(BankTest, ClearingLoopLetsTheCurrentPassFinishAndTickingStartsNothing) {
    playTone(true);
    const Stereo first = out(2.5);  // into the second pass
    EXPECT_GT(rmsDb(first.left, frames(2.1), frames(2.5)), -6.0);
    var().chkLoop[0]->click();
    EXPECT_FALSE(var().chkLoop[0]->isChecked());
    const Stereo rest = out(2.5);
    EXPECT_NEAR(static_cast<double>(endOfSound(rest.left)) / rate(), 1.5, 0.01);
    EXPECT_EQ(DXMoudule::SampleBuffer[0]->GetStatus(), 0);

    var().chkLoop[0]->click();  // stopped: nothing starts
    EXPECT_LT(peakAbs(out(0.5).left), kSilence);
}

// ------------------------------------------------------------------ Sample Pad

TEST_F(BankTest, PadRestartsFromTheStartAndPlaysOnceOrLoopsByTheLoopBox) {
    playTone(false);
    const Stereo first = out(1.0);
    pad().cmbSample[0]->click();
    const Stereo second = out(2.5);
    const size_t skip = 100;  // the cut-off tail of the first start
    EXPECT_LT(maxDiff(second.left, skip, first.left, skip, frames(0.5)), 1e-4);
    EXPECT_NEAR(static_cast<double>(endOfSound(second.left)) / rate(), 2.0, 0.01);

    var().chkLoop[0]->setChecked(true);
    pad().cmbSample[0]->click();
    EXPECT_GT(rmsDb(out(5.0).left, frames(4.5)), -6.0);
    EXPECT_EQ(DXMoudule::SampleBuffer[0]->GetStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
    EXPECT_EQ(var().cmbPause[0]->text(), "| |");  // playing from the pad leaves the caption
}

TEST_F(BankTest, FocusFollowsTheMouseOverThePads) {
    startSound();
    loadDrums(12);
    pad().showForm();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pad()));
    QTest::mouseMove(pad().cmbSample[6], pad().cmbSample[6]->rect().center());
    EXPECT_EQ(pad().focusWidget(), pad().cmbSample[6]);
    QTest::mouseMove(pad().cmbSample[11], pad().cmbSample[11]->rect().center());
    EXPECT_EQ(pad().focusWidget(), pad().cmbSample[11]);
    EXPECT_LT(peakAbs(out(0.2).left), kSilence);  // pointing plays nothing
}

// ------------------------------------------------------------------ guards

TEST_F(BankTest, BeforeTheFirstLoadEveryControlDoesNothing) {
    startSound();
    var().showForm();
    pad().showForm();
    for (int i = 0; i < 16; ++i) {
        var().cmbPause[i]->click();
        var().chkLoop[i]->click();
        var().hscVol[i]->setValue(-3);
        var().hscPan[i]->setValue(2);
        var().hscFre[i]->setValue(500);
        QTest::mouseClick(pad().cmbSample[i], Qt::LeftButton);
        pad().cmbSample_Click(static_cast<int16_t>(i));
    }
    EXPECT_EQ(var().cmbPause[0]->text(), "| |");
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(ended);
    EXPECT_LT(peakAbs(out(0.3).left), kSilence);

    // A slot above the bank: the same.
    loadBank({demo("tone-22050.wav")});
    pad().cmbSample_Click(5);
    var().cmbPause[5]->click();
    var().hscFre[5]->setValue(900);
    EXPECT_LT(peakAbs(out(0.3).left), kSilence);
    EXPECT_EQ(DXMoudule::SampleBuffer[0]->GetFrequency(), 22050);
}

// ------------------------------------------------------------------ layout

// Saves a window's picture when ZENDRA_UI_SHOTS names a folder (to look at).
QImage picture(QWidget& w, const char* name) {
    const QImage img = w.grab().toImage();
    const QByteArray dir = qgetenv("ZENDRA_UI_SHOTS");
    if (!dir.isEmpty()) img.save(QFile::decodeName(dir) + "/" + name + ".png");
    return img;
}

bool hasWhite(const QImage& img, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (qGray(img.pixel(x, y)) > 200) return true;
        }
    }
    return false;
}

TEST_F(BankTest, SamplePropertiesHasFourGroupsOfFourRowsUnderFixedPitchHeadings) {
    frmVar& v = var();
    v.show();
    const QImage img = picture(v, "sample-properties");
    const std::pair<QLabel*, const char*> headings[] = {{v.lblSampleTitle, "#"}, {v.lblPause, "Pause"},
                                                        {v.lblloop, "Loop"},     {v.lblVol, "Volume"},
                                                        {v.lblPan, "Pan"},       {v.lblFre, "Frequency"}};
    for (const auto& [label, text] : headings) {
        EXPECT_EQ(label->text(), text);
        EXPECT_TRUE(QFontInfo(label->font()).fixedPitch()) << text;
        EXPECT_TRUE(hasWhite(img, label->geometry())) << text;  // white on black
    }
    EXPECT_EQ(qGray(img.pixel(1, 1)), 0);
    // Rows in order, a wider gap with a line after every fourth one, every
    // control on its row, inside the window, left to right.
    const int pitch = v.lblSampleNum[1]->y() - v.lblSampleNum[0]->y();
    for (int i = 1; i < 16; ++i) {
        const int step = v.lblSampleNum[i]->y() - v.lblSampleNum[i - 1]->y();
        if (i % 4 == 0) {
            EXPECT_GT(step, pitch) << i;
            EXPECT_TRUE(hasWhite(img, v.Line[static_cast<size_t>(i / 4)]->geometry())) << i;
        } else {
            EXPECT_EQ(step, pitch) << i;
        }
        const QRect row(0, v.lblSampleNum[i]->y(), v.width(), v.lblSampleNum[i]->height());
        int right = v.lblSampleNum[i]->geometry().right();
        for (QWidget* w : {static_cast<QWidget*>(v.cmbPause[i]), static_cast<QWidget*>(v.chkLoop[i]),
                           static_cast<QWidget*>(v.hscVol[i]), static_cast<QWidget*>(v.hscPan[i]),
                           static_cast<QWidget*>(v.hscFre[i])}) {
            EXPECT_TRUE(w->geometry().intersects(row)) << i;
            EXPECT_TRUE(v.rect().contains(w->geometry())) << i;
            EXPECT_GT(w->x(), right) << i;
            right = w->geometry().right();
        }
    }
}

TEST_F(BankTest, SamplePadIsAFourByFourGridOfSquarePadsByColumn) {
    frmSamplePlay& p = pad();
    p.show();
    const QImage img = picture(p, "sample-pad");
    for (int i = 0; i < 16; ++i) {
        const QRect g = p.cmbSample[i]->geometry();
        EXPECT_EQ(g.width(), g.height()) << i;
        EXPECT_EQ(p.cmbSample[i]->text(), QString::number(i + 1));
        EXPECT_TRUE(p.rect().contains(g));
        // Index = 4 x column + row.
        EXPECT_EQ(g.x(), p.cmbSample[(i / 4) * 4]->x()) << i;
        EXPECT_EQ(g.y(), p.cmbSample[i % 4]->y()) << i;
        if (i % 4) {
            EXPECT_GT(g.y(), p.cmbSample[i - 1]->geometry().bottom()) << i;
        }
        if (i >= 4) {
            EXPECT_GT(g.x(), p.cmbSample[i - 4]->geometry().right()) << i;
        }
        if (i < 15) {
            EXPECT_EQ(p.cmbSample[i]->nextInFocusChain(), p.cmbSample[i + 1]) << i;
        }
    }
    // Black between the pads.
    const QRect a = p.cmbSample[0]->geometry(), b = p.cmbSample[4]->geometry();
    EXPECT_EQ(qGray(img.pixel((a.right() + b.left()) / 2, a.center().y())), 0);
}

TEST_F(BankTest, SampleDockShowsTheChosenFileWhiteOnBlack) {
    frmLoadSamples& d = dock();
    d.lblSample[0]->setText(demo("kick.wav"));
    d.show();
    const QImage img = picture(d, "sample-dock");
    EXPECT_EQ(qGray(img.pixel(1, 1)), 0);
    EXPECT_TRUE(hasWhite(img, d.lblSample[0]->geometry().translated(d.frm[0]->pos())));
    for (int i = 0; i < 16; ++i) EXPECT_TRUE(d.frm[static_cast<size_t>(i / 4)]->rect().contains(d.cmbSelect[i]->geometry()));
}

}  // namespace
}  // namespace zendra::test
