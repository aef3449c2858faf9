// Cross Fade: the fade law, its tie with the Sample Properties volume bars,
// picks from the choosers, the swap, and the levels it leaves on the output.
#include <QAbstractItemView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <complex>
#include <cstring>

#include "mixing/frm_cross_fade.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "signal_measure.h"
#include "sound/wav_file.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// A 16-bit mono sine file at 22050 Hz.
QString writeTone(const QString& path, double hz, double seconds, double amplitude) {
    SampleData d;
    d.format = SampleFormat::S16;
    d.channels = 1;
    d.rate = 22050;
    const auto n = static_cast<size_t>(seconds * d.rate);
    d.bytes.resize(2 * n);
    for (size_t i = 0; i < n; ++i) {
        const auto v = static_cast<int16_t>(std::lround(32767.0 * amplitude * std::sin(2.0 * M_PI * hz * i / d.rate)));
        std::memcpy(&d.bytes[2 * i], &v, 2);
    }
    writeWavFile(path.toStdString(), d);
    return path;
}

class CrossFadeTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        startSound();
    }

    // A bank of n short drum sounds; the window's sides show "1" and "2".
    void loadDrums(int n) {
        const char* names[] = {"kick.wav", "snare.wav", "hat.wav", "clap.wav"};
        QStringList paths;
        for (int i = 0; i < n; ++i) paths << demo(names[i % 4]);
        loadBank(paths);
        ASSERT_EQ(DXMoudule::LastSample, n - 1);
        cf().comSample[1]->setEditText("2");
    }

    static frmCrossFade& cf() { return forms::frmCrossFade(); }
    static frmVar& var() { return forms::frmVar(); }
    static int vol(int s) { return var().hscVol[s]->value(); }
    static int fader(int k) { return cf().vscVol[k]->value(); }
    static int bufVol(int s) { return DXMoudule::bufferAt(s)->GetVolume(); }
    static void couple(bool on) {
        if (cf().coupled() != on) cf().cmbEnable->click();
    }

    // Picks list entry `row` of a side the way a user does: open the list, click.
    static void pick(int side, int row) {
        QComboBox* c = cf().comSample[side];
        c->showPopup();
        QAbstractItemView* view = c->view();
        const QRect r = view->visualRect(view->model()->index(row, 0));
        ASSERT_TRUE(r.isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        ASSERT_EQ(c->currentText(), QString::number(row + 1));
    }
};

// Counts the change handlers run on each fader and volume bar.
struct RunCounter {
    explicit RunCounter(int samples) {
        for (int k = 0; k < 2; ++k) faders.emplace_back(std::make_unique<QSignalSpy>(forms::frmCrossFade().vscVol[k], &QScrollBar::valueChanged));
        for (int s = 0; s < samples; ++s) bars.emplace_back(std::make_unique<QSignalSpy>(forms::frmVar().hscVol[s], &QScrollBar::valueChanged));
    }
    int fader(int k) const { return static_cast<int>(faders[k]->count()); }
    int bar(int s) const { return static_cast<int>(bars[s]->count()); }
    std::vector<std::unique_ptr<QSignalSpy>> faders, bars;
};

TEST_F(CrossFadeTest, StartsUncoupledWithFadersAtTopAndArrowsMoveTowardsThem) {
    frmCrossFade& w = cf();
    EXPECT_EQ(w.windowTitle(), "Cross Fade");
    EXPECT_FALSE(w.isShown());
    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(w.comSample[k]->isEditable());
        EXPECT_EQ(w.comSample[k]->currentText(), "1");
        EXPECT_EQ(w.comSample[k]->count(), 0);
        EXPECT_EQ(w.vscVol[k]->orientation(), Qt::Vertical);
        EXPECT_EQ(w.vscVol[k]->minimum(), -5);
        EXPECT_EQ(w.vscVol[k]->maximum(), 0);
        EXPECT_EQ(w.vscVol[k]->singleStep(), 1);
        EXPECT_EQ(w.vscVol[k]->pageStep(), 1);
        EXPECT_EQ(w.vscVol[k]->value(), 0);
    }
    EXPECT_EQ(w.cmbFlick->text(), "[]");
    EXPECT_EQ(w.cmbEnable->text(), "Enable");
    EXPECT_EQ(w.cmbDone->text(), "Done");
    EXPECT_FALSE(w.coupled());
    // The swap button stands tall and narrow between the faders.
    const QRect l = w.vscVol[0]->geometry(), r = w.vscVol[1]->geometry(), f = w.cmbFlick->geometry();
    EXPECT_GT(f.left(), l.right());
    EXPECT_LT(f.right(), r.left());
    EXPECT_GT(f.height(), 3 * f.width());

    w.showForm();
    QScrollBar* bar = w.vscVol[0];
    auto thumb = [bar] {
        QStyleOptionSlider o;
        o.initFrom(bar);
        o.orientation = Qt::Vertical;
        o.minimum = bar->minimum();
        o.maximum = bar->maximum();
        o.sliderPosition = bar->sliderPosition();
        o.sliderValue = bar->value();
        o.singleStep = bar->singleStep();
        o.pageStep = bar->pageStep();
        o.upsideDown = bar->invertedAppearance();
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &o, QStyle::SC_ScrollBarSlider, bar);
    };
    const QRect atTop = thumb();
    bar->setValue(-5);
    const QRect atBottom = thumb();
    EXPECT_LT(atTop.center().y(), atBottom.center().y()) << "0 must be at the top";

    const int x = bar->width() / 2;
    bar->setValue(-2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, 3));  // up arrow
    EXPECT_EQ(bar->value(), -1);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, bar->height() - 3));  // down arrow
    EXPECT_EQ(bar->value(), -2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, thumb().bottom() + 4));  // trough below the thumb
    EXPECT_EQ(bar->value(), -3);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, thumb().top() - 4));  // trough above the thumb
    EXPECT_EQ(bar->value(), -2);
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Up);
    EXPECT_EQ(bar->value(), -1);
    QTest::keyClick(bar, Qt::Key_Down);
    EXPECT_EQ(bar->value(), -2);

    w.cmbDone->click();
    EXPECT_FALSE(w.isShown());
    EXPECT_EQ(bar->value(), -2);
    w.showForm();
    EXPECT_TRUE(w.isShown());
}

TEST_F(CrossFadeTest, CoupledFadersAlwaysSumToMinusFiveAndEachHandlerRunsOnce) {
    loadDrums(2);
    couple(true);
    EXPECT_EQ(cf().cmbEnable->text(), "Enabled");
    for (int k = 0; k < 2; ++k) {
        for (int v : {-1, -5, 0, -3, -2, -4}) {
            if (fader(k) == v) continue;
            RunCounter runs(2);
            cf().vscVol[k]->setValue(v);
            const int o = 1 - k;
            EXPECT_EQ(fader(k), v);
            EXPECT_EQ(fader(o), -5 - v) << "side " << k << " at " << v;
            EXPECT_EQ(vol(k), v);
            EXPECT_EQ(vol(o), -5 - v);
            EXPECT_EQ(bufVol(k), 500 * v);
            EXPECT_EQ(bufVol(o), 500 * (-5 - v));
            EXPECT_EQ(runs.fader(k), 1);
            EXPECT_LE(runs.fader(o), 1);
            EXPECT_LE(runs.bar(0), 1);
            EXPECT_LE(runs.bar(1), 1);
        }
    }
    // The edge case spelled out: left to -1 puts sample 2 at -4.
    cf().vscVol[0]->setValue(0);
    cf().vscVol[0]->setValue(-1);
    EXPECT_EQ(vol(0), -1);
    EXPECT_EQ(fader(1), -4);
    EXPECT_EQ(vol(1), -4);
}

TEST_F(CrossFadeTest, UncoupledFaderSetsOnlyItsOwnSample) {
    loadDrums(2);
    cf().vscVol[0]->setValue(-3);
    EXPECT_EQ(vol(0), -3);
    EXPECT_EQ(bufVol(0), -1500);
    EXPECT_EQ(fader(1), 0);
    EXPECT_EQ(vol(1), 0);
    cf().vscVol[1]->setValue(-1);
    EXPECT_EQ(vol(1), -1);
    EXPECT_EQ(fader(0), -3);
    EXPECT_EQ(vol(0), -3);

    // Switching coupling on moves nothing until a fader moves.
    RunCounter runs(2);
    couple(true);
    EXPECT_EQ(runs.fader(0) + runs.fader(1) + runs.bar(0) + runs.bar(1), 0);
    EXPECT_EQ(fader(0), -3);
    EXPECT_EQ(fader(1), -1);
    cf().cmbEnable->click();
    EXPECT_EQ(cf().cmbEnable->text(), "Enable");
    EXPECT_FALSE(cf().coupled());
}

TEST_F(CrossFadeTest, SidesShowingTheSameTextAreNeverCoupled) {
    loadDrums(3);
    cf().comSample[0]->setEditText("3");
    cf().comSample[1]->setEditText("3");
    for (bool on : {false, true}) {
        couple(on);
        for (int k = 0; k < 2; ++k) {
            const int v = fader(k) == -2 ? -4 : -2;
            RunCounter runs(3);
            cf().vscVol[k]->setValue(v);
            EXPECT_EQ(vol(2), v);
            EXPECT_EQ(bufVol(2), 500 * v);
            // Sample 3's bar pulls the other fader to the same place.
            EXPECT_EQ(fader(1 - k), v) << "coupling " << on;
            EXPECT_EQ(runs.fader(k), 1);
            EXPECT_EQ(runs.fader(1 - k), 1);
            EXPECT_EQ(runs.bar(2), 1);
            EXPECT_EQ(vol(0), 0);
            EXPECT_EQ(vol(1), 0);
        }
    }
}

TEST_F(CrossFadeTest, DifferentTextsForOneSampleEndWithoutFightingOverItsBar) {
    loadDrums(2);
    couple(true);
    cf().comSample[0]->setEditText("2");
    cf().comSample[1]->setEditText(" 2.0");
    RunCounter runs(2);
    cf().vscVol[0]->setValue(-1);
    EXPECT_EQ(vol(1), -1);
    EXPECT_EQ(fader(0), -1);
    EXPECT_EQ(fader(1), -1);
    EXPECT_LE(runs.fader(0), 2);
    EXPECT_LE(runs.fader(1), 2);
    EXPECT_EQ(vol(0), 0);
}

TEST_F(CrossFadeTest, SamplePropertiesBarMovesEveryFaderShowingItsSample) {
    loadDrums(3);
    cf().comSample[0]->setEditText("3");
    cf().comSample[1]->setEditText("2");
    var().hscVol[2]->setValue(-4);
    EXPECT_EQ(fader(0), -4);
    EXPECT_EQ(fader(1), 0);
    EXPECT_EQ(bufVol(2), -2000);

    // Coupled: the bar moves its fader, which pulls the other side and its sample.
    couple(true);
    RunCounter runs(3);
    var().hscVol[2]->setValue(-1);
    EXPECT_EQ(fader(0), -1);
    EXPECT_EQ(fader(1), -4);
    EXPECT_EQ(vol(1), -4);
    EXPECT_EQ(bufVol(1), -2000);
    EXPECT_EQ(runs.bar(2), 1);
    EXPECT_EQ(runs.bar(1), 1);
    EXPECT_EQ(runs.fader(0), 1);
    EXPECT_EQ(runs.fader(1), 1);
    EXPECT_EQ(runs.bar(0), 0);

    // The bar of a sample no side shows moves no fader.
    var().hscVol[0]->setValue(-5);
    EXPECT_EQ(fader(0), -1);
    EXPECT_EQ(fader(1), -4);
}

TEST_F(CrossFadeTest, SwapExchangesFadersWithAndWithoutCoupling) {
    loadDrums(2);
    // Uncoupled: the two samples trade volumes.
    cf().vscVol[1]->setValue(-5);
    cf().cmbFlick->click();
    EXPECT_EQ(fader(0), -5);
    EXPECT_EQ(fader(1), 0);
    EXPECT_EQ(vol(0), -5);
    EXPECT_EQ(vol(1), 0);
    EXPECT_EQ(bufVol(0), -2500);
    EXPECT_EQ(bufVol(1), 0);

    // Coupled and complementary: the same swap.
    couple(true);
    cf().vscVol[0]->setValue(-1);
    ASSERT_EQ(fader(1), -4);
    {
        RunCounter runs(2);
        cf().cmbFlick->click();
        EXPECT_EQ(fader(0), -4);
        EXPECT_EQ(fader(1), -1);
        EXPECT_EQ(vol(0), -4);
        EXPECT_EQ(vol(1), -1);
        EXPECT_LE(runs.fader(0), 2);
        EXPECT_LE(runs.fader(1), 2);
    }

    // Coupled, not complementary: the law re-applies at each step, so the
    // right fader ends at the old left value t and the left at -5 - t.
    couple(false);
    cf().vscVol[0]->setValue(-2);
    cf().vscVol[1]->setValue(-1);
    couple(true);
    RunCounter runs(2);
    cf().cmbFlick->click();
    EXPECT_EQ(fader(1), -2);
    EXPECT_EQ(fader(0), -3);
    EXPECT_EQ(vol(1), -2);
    EXPECT_EQ(vol(0), -3);
    EXPECT_EQ(bufVol(0), -1500);
    EXPECT_EQ(bufVol(1), -1000);
    EXPECT_LE(runs.fader(0), 2);
    EXPECT_LE(runs.fader(1), 2);
}

TEST_F(CrossFadeTest, PickFromListShowsThatSamplesVolumeButTypingRunsNothing) {
    loadDrums(4);
    cf().showForm();
    ASSERT_EQ(cf().comSample[1]->count(), 4);
    var().hscVol[3]->setValue(-2);
    ASSERT_EQ(fader(1), 0);

    // Typing "4" (and Return) changes the text only.
    QLineEdit* edit = cf().comSample[1]->lineEdit();
    edit->selectAll();
    QTest::keyClicks(edit, "4");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(cf().comSample[1]->currentText(), "4");
    EXPECT_EQ(fader(1), 0);
    EXPECT_EQ(cf().comSample[1]->count(), 4);

    couple(true);
    pick(1, 3);
    EXPECT_EQ(fader(1), -2);
    EXPECT_EQ(fader(0), -3);
    EXPECT_EQ(vol(0), -3);
    EXPECT_EQ(vol(3), -2);

    // Picking the entry already at the fader's value runs nothing further.
    RunCounter runs(4);
    pick(1, 3);
    EXPECT_EQ(runs.fader(0) + runs.fader(1), 0);
    // A pick on the left: sample 2 at 0 moves the left fader to 0 and the right to -5.
    pick(0, 1);
    EXPECT_EQ(fader(0), 0);
    EXPECT_EQ(fader(1), -5);
    EXPECT_EQ(vol(3), -5);
}

TEST_F(CrossFadeTest, TextsThatNameNoLoadedSampleAreSkipped) {
    loadDrums(2);
    for (const char* text : {"abc", "", "3", "0", "-1", "1e9", "nan"}) {
        cf().comSample[0]->setEditText(text);
        const int v = fader(0) == -2 ? -3 : -2;
        cf().vscVol[0]->setValue(v);
        EXPECT_EQ(vol(0), 0) << '"' << text << '"';
        EXPECT_EQ(vol(1), 0) << '"' << text << '"';
        EXPECT_EQ(bufVol(0), 0);
        cf().comSample_Click(0);  // a pick naming nothing moves nothing
        EXPECT_EQ(fader(0), v);
    }
    // Coupled, the valid side still follows the law.
    couple(true);
    cf().comSample[0]->setEditText("x");
    cf().vscVol[0]->setValue(-1);
    EXPECT_EQ(fader(1), -4);
    EXPECT_EQ(vol(1), -4);
    EXPECT_EQ(vol(0), 0);
}

TEST_F(CrossFadeTest, DecimalTextsRoundToTheNearestIndexHalvesToEven) {
    loadDrums(3);
    // Less one, "1.5" is index 0.5 -> 0, "2.5" is 1.5 -> 2, "3.5" is 2.5 -> 2.
    int v = 0;
    for (auto [text, index] : {std::pair{"1.5", 0}, {"2.5", 2}, {"3.5", 2}, {" 2 ", 1}}) {
        cf().comSample[0]->setEditText(text);
        --v;  // a value no bar holds yet
        cf().vscVol[0]->setValue(v);
        for (int s = 0; s < 3; ++s) {
            if (s == index) {
                EXPECT_EQ(vol(s), v) << '"' << text << '"';
            } else {
                EXPECT_NE(vol(s), v) << '"' << text << '"';
            }
        }
    }
}

TEST_F(CrossFadeTest, NoBankLoadedMovesNothing) {
    couple(true);
    cf().comSample[1]->setEditText("2");
    cf().vscVol[0]->setValue(-2);
    EXPECT_EQ(fader(1), -3);
    EXPECT_EQ(vol(0), 0);
    EXPECT_EQ(vol(1), 0);
    cf().cmbFlick->click();
    EXPECT_FALSE(ended);
    EXPECT_TRUE(messages.empty());
}

TEST_F(CrossFadeTest, CoupledMoveSetsRenderedLevelsOfBothSamples) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString second = writeTone(dir.filePath("tone-1000.wav"), 1000.0, 2.0, 0.5);
    loadBank({demo("tone-22050.wav"), second});
    cf().comSample[1]->setEditText("2");
    const int rate = engine().rate();
    frmSamplePlay& pad = forms::frmSamplePlay();

    // Each band measured 0.2 s..1.2 s after a start, well clear of the loop's ends.
    auto measure = [&](std::initializer_list<int> samples) {
        for (int s = 0; s < 2; ++s) DXMoudule::bufferAt(s)->Stop();
        for (int s : samples) pad.cmbSample_Click(static_cast<int16_t>(s));
        render(0.2);
        const Stereo out = splitInterleaved(render(1.0), rate);
        return std::pair{bandDb(out.left, rate, 440.0, 0, out.left.size()),
                         bandDb(out.left, rate, 1000.0, 0, out.left.size())};
    };
    const double full1 = measure({0}).first;
    const double full2 = measure({1}).second;
    ASSERT_GT(full1, -20.0);
    ASSERT_GT(full2, -20.0);

    couple(true);
    cf().vscVol[0]->setValue(-1);
    ASSERT_EQ(fader(1), -4);
    const auto [level1, level2] = measure({0, 1});
    EXPECT_NEAR(level1 - full1, -5.0, 0.2);
    EXPECT_NEAR(level2 - full2, -20.0, 0.2);

    // Swapping trades the levels.
    cf().cmbFlick->click();
    const auto [swapped1, swapped2] = measure({0, 1});
    EXPECT_NEAR(swapped1 - full1, -20.0, 0.2);
    EXPECT_NEAR(swapped2 - full2, -5.0, 0.2);
}

}  // namespace
}  // namespace zendra::test
