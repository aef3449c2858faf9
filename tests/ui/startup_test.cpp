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
    FrmReworked& main = forms::FrmReworked();
    EXPECT_EQ(main.windowTitle(), "Zendra.");
    EXPECT_TRUE(main.isVisible());
    ASSERT_TRUE(DXMoudule::ds);
    EXPECT_EQ(DXMoudule::ds->cooperativeLevel(), DSSCL_PRIORITY);
    EXPECT_EQ(DXMoudule::BufferDesc.lFlags, 480);
    EXPECT_EQ(DXMoudule::WaveFormat.nChannels, 2);
    EXPECT_EQ(DXMoudule::WaveFormat.lSamplesPerSec, 22050);
    EXPECT_EQ(DXMoudule::WaveFormat.nBlockAlign, 4);
    EXPECT_EQ(DXMoudule::WaveFormat.lAvgBytesPerSec, 88200);
    EXPECT_TRUE(forms::frmLoadSamples().isShown());
    EXPECT_EQ(forms::frmLoadSamples().windowTitle(), "Sample Dock");
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
    EXPECT_EQ(messages[0].buttons, dialogs::Buttons::Ok);
    EXPECT_TRUE(ended);
    EXPECT_EQ(forms::mainWindowIfAny(), nullptr);
    EXPECT_FALSE(forms::exists("frmLoadSamples"));
}

TEST_F(StartupTest, ExitAsksAndOnlyYesEnds) {
    ASSERT_TRUE(startMain());
    answers = {dialogs::Answer::No, dialogs::Answer::Yes};
    forms::FrmReworked().Exit->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Are you sure you want to go?");
    EXPECT_EQ(messages[0].title, "Leaving So Soon?");
    EXPECT_EQ(messages[0].buttons, dialogs::Buttons::YesNo);
    EXPECT_EQ(messages[0].icon, dialogs::Icon::None);
    EXPECT_FALSE(ended);
    EXPECT_TRUE(DXMoudule::ds);
    forms::FrmReworked().Exit->trigger();
    EXPECT_TRUE(ended);
}

TEST_F(StartupTest, MenusHoldEveryItemInOrder) {
    ASSERT_TRUE(startMain());
    QStringList tops, file, tools;
    for (QAction* a : forms::FrmReworked().menuBar()->actions()) tops << a->text();
    for (QAction* a : forms::FrmReworked().File->actions()) file << a->text();
    for (QAction* a : forms::FrmReworked().Tools->actions()) tools << a->text();
    EXPECT_EQ(tops, QStringList({"File", "Tools", "About"}));
    EXPECT_EQ(file, QStringList({"Load Samples", "Properties", "Key Associations", "Exit"}));
    EXPECT_EQ(tools, QStringList({"Key Board", "Sample Pad", "Tap Pad", "Sample Properties", "F X", "Cross Fader", "Record"}));
}

TEST_F(StartupTest, ToolItemsOpenTheirWindowsBeforeAnyBank) {
    ASSERT_TRUE(startMain());
    const std::pair<QAction*, QString> items[] = {
        {forms::FrmReworked().KeyBoard, "Keyboard"},      {forms::FrmReworked().SamplePad, "Sample Pad"},
        {forms::FrmReworked().samplekeypad, "Tap Pad"},   {forms::FrmReworked().SampleProperties, "Sample Properties"},
        {forms::FrmReworked().FX, "Simple FX"},           {forms::FrmReworked().CrossFader, "Cross Fade"},
        {forms::FrmReworked().KeySettings, "Settings"},
    };
    for (const auto& [action, caption] : items) {
        action->trigger();
        QWidget* active = forms::FrmReworked().mdi->activeSubWindow() ? forms::FrmReworked().mdi->activeSubWindow()->widget() : nullptr;
        ASSERT_NE(active, nullptr) << caption.toStdString();
        EXPECT_EQ(active->windowTitle(), caption);
        EXPECT_TRUE(active->isVisible()) << caption.toStdString();
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

TEST_F(StartupTest, ClosingTheMainWindowEndsTheProgram) {
    ASSERT_TRUE(startMain());
    forms::FrmReworked().close();
    EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace zendra::test
