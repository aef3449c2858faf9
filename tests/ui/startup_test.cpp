// Start-up and main window flows, offscreen with offline sound.
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTest>

#include "core/frm_about.h"
#include "core/frm_reworked.h"
#include "core/frm_splash.h"
#include "samples/frm_load_samples.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class StartupTest : public UiTest {};

TEST_F(StartupTest, AgreeOpensMainWindowStartsSoundAndShowsDock) {
    frmSplash& splash = forms::frmSplash();
    splash.show();
    EXPECT_TRUE(splash.Command1->hasFocus() || splash.focusWidget() == splash.Command1);
    splash.Command1_Click();
    ASSERT_NE(forms::mainWindowIfAny(), nullptr);
    EXPECT_EQ(forms::FrmReworked().windowTitle(), "Zendra.");
    EXPECT_TRUE(forms::FrmReworked().isVisible());
    ASSERT_TRUE(DXMoudule::ds);
    EXPECT_EQ(DXMoudule::ds->cooperativeLevel(), DSSCL_PRIORITY);
    EXPECT_EQ(DXMoudule::BufferDesc.lFlags, 480);
    EXPECT_EQ(DXMoudule::WaveFormat.nChannels, 2);
    EXPECT_EQ(DXMoudule::WaveFormat.lSamplesPerSec, 22050);
    EXPECT_EQ(DXMoudule::WaveFormat.nBlockAlign, 4);
    EXPECT_EQ(DXMoudule::WaveFormat.lAvgBytesPerSec, 88200);
    EXPECT_TRUE(forms::frmLoadSamples().isShown());
    EXPECT_FALSE(ended);
    EXPECT_TRUE(messages.empty());
}

TEST_F(StartupTest, DisagreeEndsWithoutTouchingSound) {
    forms::frmSplash().Command2_Click();
    EXPECT_TRUE(ended);
    EXPECT_EQ(forms::mainWindowIfAny(), nullptr);
    EXPECT_EQ(backend->outputsOpened(), 0);
}

TEST_F(StartupTest, DeviceFailureShowsMessageOnceAndLeavesNoWindow) {
    backend->failOutput = true;
    forms::frmSplash().Command1_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Oh o, Somethings wrong!");
    EXPECT_TRUE(messages[0].text.startsWith("Unable to start DirectSound, this program requires Direct X 7. Check to "
                                            "see that your sound card is properly installed and that no other "
                                            "applications are curently using your sound card. If you don't have "
                                            "Direct X 7 goto "));
    EXPECT_EQ(messages[0].icon, dialogs::Icon::Exclamation);
    EXPECT_TRUE(ended);
    EXPECT_EQ(forms::mainWindowIfAny(), nullptr);
    EXPECT_FALSE(forms::exists("frmLoadSamples"));
}

TEST_F(StartupTest, ExitAsksAndOnlyYesEnds) {
    ASSERT_TRUE(startMain());
    answers = {dialogs::Answer::No, dialogs::Answer::Yes};
    forms::FrmReworked().Exit->trigger();
    expectOnlyMessage("Are you sure you want to go?", "Leaving So Soon?", dialogs::Icon::None, dialogs::Buttons::YesNo);
    EXPECT_FALSE(ended);
    EXPECT_TRUE(DXMoudule::ds);
    forms::FrmReworked().Exit->trigger();
    EXPECT_TRUE(ended);
}

TEST_F(StartupTest, MenusHoldEveryItemInOrderAndToolItemsOpenTheirWindows) {
    ASSERT_TRUE(startMain());
    FrmReworked& main = forms::FrmReworked();
    auto texts = [](const QList<QAction*>& actions) {
        QStringList t;
        for (QAction* a : actions) t << a->text();
        return t;
    };
    EXPECT_EQ(texts(main.menuBar()->actions()), QStringList({"File", "Tools", "About"}));
    EXPECT_EQ(texts(main.File->actions()), QStringList({"Load Samples", "Properties", "Key Associations", "Exit"}));
    EXPECT_EQ(texts(main.Tools->actions()),
              QStringList({"Key Board", "Sample Pad", "Tap Pad", "Sample Properties", "F X", "Cross Fader", "Record"}));

    // Before any bank, each item brings its own window to the front.
    const std::pair<QAction*, QString> items[] = {
        {main.KeyBoard, "Keyboard"}, {main.SamplePad, "Sample Pad"}, {main.samplekeypad, "Tap Pad"},
        {main.SampleProperties, "Sample Properties"}, {main.FX, "Simple FX"}, {main.CrossFader, "Cross Fade"},
        {main.KeySettings, "Settings"}, {main.LoadSamples, "Sample Dock"}, {main.About, "About"},
    };
    for (const auto& [action, caption] : items) {
        SCOPED_TRACE(caption.toStdString());
        action->trigger();
        QMdiSubWindow* active = main.mdi->activeSubWindow();
        ASSERT_NE(active, nullptr);
        EXPECT_EQ(active->widget()->windowTitle(), caption);
        EXPECT_TRUE(active->widget()->isVisible());
    }
    EXPECT_FALSE(ended);
}

TEST_F(StartupTest, AboutTwiceIsTheSameWindowAndDoneHides) {
    ASSERT_TRUE(startMain());
    forms::FrmReworked().About->trigger();
    frmAbout* first = &forms::frmAbout();
    EXPECT_TRUE(first->isShown());
    EXPECT_EQ(first->Label1->text(), "Zendra... Beat Me...");
    QTest::mouseClick(first->cmbDone, Qt::LeftButton);
    EXPECT_FALSE(first->isShown());
    forms::FrmReworked().About->trigger();
    EXPECT_EQ(&forms::frmAbout(), first);
    EXPECT_TRUE(first->isShown());
}

}  // namespace
}  // namespace zendra::test
