// Simple FX: one press silences and rewinds every loaded sample and starts
// the chosen one from its beginning, once or looping by its Loop box. Any
// text typed into its chooser names a sample as every chooser reads it.
#include <cmath>

#include "mixing/frm_fx.h"
#include "mixing/frm_var.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class SimpleFxTest : public UiTest {
protected:
    static frmFX& fx() { return forms::frmFX(); }
};

TEST_F(SimpleFxTest, OnlyTheChosenSampleSoundsAfterThePressFromItsStartAsItsLoopBoxSays) {
    startSound();
    loadDrums(3);
    frmVar& var = forms::frmVar();
    var.chkLoop[2]->setChecked(false);
    fx().showForm();
    EXPECT_EQ(fx().windowTitle() + "|" + fx().cmbPauseNPlay->text(), "Simple FX|Stop all sound and play");
    for (int s = 0; s < 3; ++s) sound(s).Play(1);
    render(0.3);
    QTest::mouseClick(var.cmbPause[0], Qt::LeftButton);
    for (int chosen : {1, 2}) {
        pick(fx().comSamplePlay, chosen);
        QTest::mouseClick(fx().cmbPauseNPlay, Qt::LeftButton);
        EXPECT_EQ(playing(), std::vector<int>{chosen});
        EXPECT_EQ(sound(chosen).GetStatus(), chosen == 1 ? 5 : 1);  // looping as its Loop box says
        for (int s = 0; s < 3; ++s) EXPECT_EQ(sound(s).GetCurrentPosition(), 0) << s;
        render(0.02);
        EXPECT_LT(sound(chosen).GetCurrentPosition(), 2000);  // from its start
    }
    EXPECT_EQ(var.cmbPause[0]->text(), ">");  // a paused one keeps its caption
    render(2.0);
    EXPECT_TRUE(playing().empty());
    QTest::mouseClick(fx().cmbDone, Qt::LeftButton);
    EXPECT_FALSE(fx().isShown());
}

// Texts a user, a paste or an odd keyboard layout could produce, and the
// sample each names: the number rounded half to even, if loaded.
TEST_F(SimpleFxTest, ATypedTextStartsTheSampleItNamesAndAnyOtherOnlyStops) {
    startSound();
    loadDrums(4);
    fx().showForm();
    const std::pair<QString, int> cases[] = {
        {"2", 1},           {" 3 ", 2},
        {"+1", 0},          {"4.0", 3},
        {"1.5", 0},         {"2.5", 2},
        {"3.5", 2},         {"0.5", 0},
        {"4.5", -1},        {"", -1},
        {"0", -1},          {"-1", -1},
        {"5", -1},          {"1e309", -1},
        {"nan", -1},        {"inf", -1},
        {"0x1", -1},        {"1,5", -1},
        {"2147483648", -1}, {QString(300, QChar('9')), -1},
        {"\u0661", -1},     {QString::fromUtf8("ß日本🎹"), -1},
    };
    for (const auto& [text, slot] : cases) {
        SCOPED_TRACE(text.left(20).toStdString());
        for (int s = 0; s < player().count(); ++s) sound(s).Play(1);
        render(0.05);
        focus(fx().comSamplePlay);
        QTest::keyClick(fx().comSamplePlay, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(fx().comSamplePlay, Qt::Key_Delete);
        typeText(text);
        ASSERT_EQ(fx().comSamplePlay->currentText(), text);
        QTest::mouseClick(fx().cmbPauseNPlay, Qt::LeftButton);
        EXPECT_EQ(playing(), slot < 0 ? std::vector<int>{} : std::vector<int>{slot});
        for (int s = 0; s < 4; ++s) EXPECT_TRUE(s == slot || sound(s).GetCurrentPosition() == 0) << s;
        for (float v : render(0.02)) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 8.0f);
    }
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace zendra::test
