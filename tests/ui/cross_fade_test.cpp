// Cross Fade: the fade law, its tie with the Sample Properties volume bars,
// the choosers (typed or picked) and the swap.
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
        cf().showForm();
    }

    static frmCrossFade& cf() { return forms::frmCrossFade(); }
    static frmVar& var() { return forms::frmVar(); }
    // The two faders, then the volume bars of the first `samples` samples.
    static std::vector<int> state(int samples = 3) {
        std::vector<int> s = {cf().vscVol[0]->value(), cf().vscVol[1]->value()};
        for (int i = 0; i < samples; ++i) s.push_back(var().hscVol[i]->value());
        return s;
    }
    static void couple(bool on) {
        if (cf().coupled() != on) QTest::mouseClick(cf().cmbEnable, Qt::LeftButton);
        ASSERT_EQ(cf().cmbEnable->text(), on ? "Enabled" : "Enable");
    }
    // Types over a side's text with the keyboard; nothing ends the edit.
    static void type(int side, const QString& text) {
        QComboBox* c = cf().comSample[side];
        focus(c);
        QTest::keyClick(c, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(c, text);
        ASSERT_EQ(c->currentText(), text);
    }
};

TEST_F(CrossFadeTest, StartsUncoupledAtTheTopAndEveryStepMovesTowardsWhereThePointerIs) {
    frmCrossFade& w = cf();
    EXPECT_EQ(QStringList({w.windowTitle(), w.cmbFlick->text(), w.cmbEnable->text(), w.cmbDone->text(),
                           w.comSample[0]->currentText(), w.comSample[1]->currentText()}),
              QStringList({"Cross Fade", "[]", "Enable", "Done", "1", "1"}));
    EXPECT_EQ(state(0), (std::vector<int>{0, 0}));
    QScrollBar* bar = w.vscVol[1];
    // 0 is at the top: at -5 the trough under the top arrow is free. Then the
    // arrows at the top and bottom and the keys, each from the last step.
    const int x = bar->width() / 2;
    bar->setValue(-5);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, bar->width() + 4));
    EXPECT_EQ(bar->value(), -4);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, 3));
    EXPECT_EQ(bar->value(), -3);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(x, bar->height() - 3));
    EXPECT_EQ(bar->value(), -4);
    focus(bar);
    QTest::keyClick(bar, Qt::Key_Up);
    EXPECT_EQ(bar->value(), -3);
    QTest::keyClick(bar, Qt::Key_Down);
    EXPECT_EQ(bar->value(), -4);
    QTest::mouseClick(w.cmbDone, Qt::LeftButton);
    EXPECT_FALSE(w.isShown());
    w.showForm();
    EXPECT_EQ(bar->value(), -4);
}

TEST_F(CrossFadeTest, CoupledFadersSumToMinusFiveUncoupledOnlyTheirOwnSampleAndSwapExchangesThem) {
    loadDrums(2);
    type(1, "2");
    cf().vscVol[0]->setValue(-3);
    EXPECT_EQ(state(2), (std::vector<int>{-3, 0, -3, 0}));
    EXPECT_EQ(sound(0).GetVolume(), -1500);
    couple(true);  // moves nothing by itself
    EXPECT_EQ(state(2), (std::vector<int>{-3, 0, -3, 0}));
    for (int k = 0; k < 2; ++k) {
        for (int v : {-1, -5, 0, -4, -2}) {
            SCOPED_TRACE(testing::Message() << "side " << k << " at " << v);
            cf().vscVol[k]->setValue(v);
            const int o = -5 - v;
            EXPECT_EQ(state(2), k == 0 ? (std::vector<int>{v, o, v, o}) : (std::vector<int>{o, v, o, v}));
            EXPECT_EQ(sound(1 - k).GetVolume(), 500 * o);
        }
    }
    // The swap exchanges the faders, with and without coupling.
    struct Case {
        bool coupled;
        int left, right, swappedLeft, swappedRight;
    };
    // Coupled but not complementary, the law re-applies at each step: the
    // right fader ends at the old left value t and the left at -5 - t.
    for (const Case& c : {Case{false, 0, -5, -5, 0}, Case{true, -1, -4, -4, -1}, Case{true, -2, -1, -3, -2}}) {
        SCOPED_TRACE(testing::Message() << c.coupled << ' ' << c.left << ' ' << c.right);
        couple(false);
        cf().vscVol[0]->setValue(c.left);
        cf().vscVol[1]->setValue(c.right);
        couple(c.coupled);
        QTest::mouseClick(cf().cmbFlick, Qt::LeftButton);
        EXPECT_EQ(state(2), (std::vector<int>{c.swappedLeft, c.swappedRight, c.swappedLeft, c.swappedRight}));
    }
}

TEST_F(CrossFadeTest, SidesNamingOneSampleShareItsBarAndEveryFaderShowingASampleFollowsItsBar) {
    struct Case {
        const char *left, *right;
        int sample;
    };
    for (const Case& c : {Case{"3", "3", 2}, Case{"2", " 2.0", 1}}) {
        for (bool on : {false, true}) {
            SCOPED_TRACE(testing::Message() << '"' << c.left << "\" \"" << c.right << "\" coupled " << on);
            loadDrums(3);
            couple(false);
            type(0, c.left);
            type(1, c.right);
            couple(on);
            for (int k = 0; k < 2; ++k) {
                const int v = k == 0 ? -2 : -4;
                cf().vscVol[k]->setValue(v);
                std::vector<int> expected = {v, v, 0, 0, 0};
                expected[2 + c.sample] = v;
                EXPECT_EQ(state(), expected);
            }
            var().hscVol[c.sample]->setValue(0);
        }
    }
    // A Sample Properties bar moves every fader showing its sample; coupled,
    // that fader pulls the other side and its sample.
    type(0, "3");
    type(1, "2");
    var().hscVol[2]->setValue(-4);
    EXPECT_EQ(state(), (std::vector<int>{-4, -1, 0, -1, -4}));
    var().hscVol[2]->setValue(-1);
    EXPECT_EQ(state(), (std::vector<int>{-1, -4, 0, -4, -1}));
    var().hscVol[0]->setValue(-5);  // no side shows sample 1
    EXPECT_EQ(state(), (std::vector<int>{-1, -4, -5, -4, -1}));
}

// Typing "2" and ending the edit in any way leaves every fader and volume
// where it was; only a pick from the list shows the sample's volume.
TEST_F(CrossFadeTest, TypingIntoAChooserRunsNothingAndAPickFromTheListActs) {
    loadDrums(3);
    var().hscVol[1]->setValue(-2);
    const std::pair<const char*, std::function<void()>> endings[] = {
        {"Tab", [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }},
        {"Return", [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }},
        {"[]", [] { QTest::mouseClick(cf().cmbFlick, Qt::LeftButton); }},
        {"Enable", [] { QTest::mouseClick(cf().cmbEnable, Qt::LeftButton); }},
        {"Done", [] { QTest::mouseClick(cf().cmbDone, Qt::LeftButton); }},
    };
    for (const auto& [what, end] : endings) {
        SCOPED_TRACE(what);
        cf().showForm();
        couple(true);
        pick(cf().comSample[1], 0);  // "1", at the faders' volume: nothing moves
        type(1, "2");
        end();
        EXPECT_EQ(state(), (std::vector<int>{0, 0, 0, -2, 0}));
    }
    cf().showForm();
    couple(true);
    pick(cf().comSample[1], 1);
    EXPECT_EQ(state(), (std::vector<int>{-3, -2, -3, -2, 0}));
    pick(cf().comSample[0], 2);  // sample 3 at 0: the right side goes to -5
    EXPECT_EQ(state(), (std::vector<int>{0, -5, -3, -5, 0}));
}

}  // namespace
}  // namespace zendra::test
