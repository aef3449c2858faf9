// Cross Fade: the fade law, its tie with the Sample Properties volume bars,
// picks from the choosers and the swap. Texts naming no sample are in
// any_text_test; the rendered levels in the end-to-end test.
#include <QAbstractItemView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTest>
#include <functional>

#include "mixing/frm_cross_fade.h"
#include "mixing/frm_var.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class CrossFadeTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        startSound();
    }

    // A bank of n drum sounds; the window's sides show "1" and "2".
    void loadSides(int n) {
        loadDrums(n);
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
    static void setFaders(int left, int right) {
        cf().vscVol[0]->setValue(left);
        cf().vscVol[1]->setValue(right);
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

TEST_F(CrossFadeTest, FadersRunFromZeroAtTheTopAndArrowsMoveTowardsThem) {
    frmCrossFade& w = cf();
    EXPECT_FALSE(w.coupled());
    EXPECT_EQ(w.cmbEnable->text(), "Enable");
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(w.comSample[k]->currentText(), "1");
        EXPECT_EQ(w.vscVol[k]->minimum(), -5);
        EXPECT_EQ(w.vscVol[k]->maximum(), 0);
        EXPECT_EQ(w.vscVol[k]->value(), 0);
    }
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
    EXPECT_LT(atTop.center().y(), thumb().center().y()) << "0 must be at the top";

    // Each way of stepping, and the value it must leave from -2 or the last step.
    const int x = bar->width() / 2;
    const std::pair<std::function<void()>, int> steps[] = {
        {[&] { QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, 3)); }, -1},                      // up arrow
        {[&] { QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, bar->height() - 3)); }, -2},      // down arrow
        {[&] { QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, thumb().bottom() + 4)); }, -3},   // trough below
        {[&] { QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, thumb().top() - 4)); }, -2},      // trough above
        {[&] { bar->setFocus(); QTest::keyClick(bar, Qt::Key_Up); }, -1},
        {[&] { QTest::keyClick(bar, Qt::Key_Down); }, -2},
    };
    bar->setValue(-2);
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i].first();
        EXPECT_EQ(bar->value(), steps[i].second) << "step " << i;
    }

    w.cmbDone->click();
    EXPECT_FALSE(w.isShown());
    EXPECT_EQ(bar->value(), -2);
}

TEST_F(CrossFadeTest, CoupledFadersAlwaysSumToMinusFiveAndEachHandlerRunsOnce) {
    loadSides(2);
    couple(true);
    EXPECT_EQ(cf().cmbEnable->text(), "Enabled");
    for (int k = 0; k < 2; ++k) {
        for (int v : {-1, -5, 0, -3, -2, -4}) {
            if (fader(k) == v) continue;
            SCOPED_TRACE(testing::Message() << "side " << k << " at " << v);
            RunCounter runs(2);
            cf().vscVol[k]->setValue(v);
            const int o = 1 - k;
            EXPECT_EQ(fader(o), -5 - v);
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
}

TEST_F(CrossFadeTest, UncoupledFaderSetsOnlyItsOwnSampleAndCouplingMovesNothingByItself) {
    loadSides(2);
    cf().vscVol[0]->setValue(-3);
    EXPECT_EQ(bufVol(0), -1500);
    EXPECT_EQ(fader(1), 0);
    EXPECT_EQ(vol(1), 0);
    cf().vscVol[1]->setValue(-1);
    EXPECT_EQ(vol(1), -1);
    EXPECT_EQ(vol(0), -3);

    RunCounter runs(2);
    couple(true);
    EXPECT_EQ(runs.fader(0) + runs.fader(1) + runs.bar(0) + runs.bar(1), 0);
    EXPECT_EQ(fader(0), -3);
    EXPECT_EQ(fader(1), -1);
    cf().cmbEnable->click();
    EXPECT_FALSE(cf().coupled());
}

TEST_F(CrossFadeTest, SidesNamingOneSampleShareItsBarAndNeverFightOverIt) {
    struct Case {
        const char *left, *right;
        int sample, maxRuns;
    };
    // The same text, or two texts for one sample: the sample's bar pulls the
    // other fader to the same place, coupled or not.
    for (const Case& c : {Case{"3", "3", 2, 1}, Case{"2", " 2.0", 1, 2}}) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(testing::Message() << '"' << c.left << "\" \"" << c.right << "\" coupled " << on);
            forms::destroyAll();
            DXMoudule::reset();
            startSound();
            loadSides(3);
            cf().comSample[0]->setEditText(c.left);
            cf().comSample[1]->setEditText(c.right);
            couple(on);
            for (int k = 0; k < 2; ++k) {
                const int v = fader(k) == -2 ? -4 : -2;
                RunCounter runs(3);
                cf().vscVol[k]->setValue(v);
                EXPECT_EQ(vol(c.sample), v);
                EXPECT_EQ(bufVol(c.sample), 500 * v);
                EXPECT_EQ(fader(1 - k), v);
                EXPECT_LE(runs.fader(k), c.maxRuns);
                EXPECT_LE(runs.fader(1 - k), c.maxRuns);
                EXPECT_LE(runs.bar(c.sample), c.maxRuns);
                for (int s = 0; s < 3; ++s) {
                    if (s != c.sample) {
                        EXPECT_EQ(vol(s), 0) << s;
                    }
                }
            }
        }
    }
}

TEST_F(CrossFadeTest, SamplePropertiesBarMovesEveryFaderShowingItsSample) {
    loadSides(3);
    cf().comSample[0]->setEditText("3");
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
    loadSides(2);
    struct Case {
        bool coupled;
        int left, right;          // before the swap
        int swappedLeft, swappedRight;
    };
    // Coupled but not complementary, the law re-applies at each step: the
    // right fader ends at the old left value t and the left at -5 - t.
    const Case cases[] = {{false, 0, -5, -5, 0}, {true, -1, -4, -4, -1}, {true, -2, -1, -3, -2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.coupled << ' ' << c.left << ' ' << c.right);
        couple(false);
        setFaders(c.left, c.right);
        couple(c.coupled);
        RunCounter runs(2);
        cf().cmbFlick->click();
        EXPECT_EQ(fader(0), c.swappedLeft);
        EXPECT_EQ(fader(1), c.swappedRight);
        EXPECT_EQ(bufVol(0), 500 * c.swappedLeft);
        EXPECT_EQ(bufVol(1), 500 * c.swappedRight);
        EXPECT_LE(runs.fader(0), 2);
        EXPECT_LE(runs.fader(1), 2);
    }
}

TEST_F(CrossFadeTest, PickFromListShowsThatSamplesVolumeButTypingRunsNothing) {
    loadSides(4);
    cf().showForm();
    ASSERT_EQ(cf().comSample[1]->count(), 4);
    var().hscVol[3]->setValue(-2);

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

}  // namespace
}  // namespace zendra::test
