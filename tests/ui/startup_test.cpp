// Start-up and main window flows, offscreen with offline sound.
#include <QMdiSubWindow>
#include <QMenuBar>

#include "core/frm_about.h"
#include "core/frm_reworked.h"
#include "core/frm_splash.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class StartupTest : public UiTest {};

TEST_F(StartupTest, AgreeOpensMainWindowStartsSoundAndShowsTheDockDisagreeEnds) {
    frmSplash& splash = forms::frmSplash();
    splash.show();
    EXPECT_EQ(splash.Command1->text() + "|" + splash.Command2->text(), "I Agree|I Disagree");
    QApplication::setActiveWindow(&splash);
    ASSERT_EQ(QApplication::focusWidget(), splash.Command1);
    QTest::keyClick(splash.Command1, Qt::Key_Return);
    ASSERT_NE(forms::mainWindowIfAny(), nullptr);
    EXPECT_EQ(forms::FrmReworked().windowTitle(), "Zendra.");
    EXPECT_TRUE(forms::frmLoadSamples().isShown());
    EXPECT_TRUE(messages.empty() && !ended);
    forms::destroyAll();
    DXMoudule::reset();
    forms::frmSplash().show();
    QTest::mouseClick(forms::frmSplash().Command2, Qt::LeftButton);
    EXPECT_TRUE(ended);
    EXPECT_EQ(forms::mainWindowIfAny(), nullptr);
    EXPECT_EQ(backend->outputsOpened(), 1);  // only the first run's
}

TEST_F(StartupTest, DeviceFailureShowsMessageOnceAndLeavesNoWindow) {
    backend->failOutput = true;
    forms::frmSplash().show();
    QTest::mouseClick(forms::frmSplash().Command1, Qt::LeftButton);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Oh o, Somethings wrong!");
    EXPECT_TRUE(messages[0].text.startsWith("Unable to start DirectSound, this program requires Direct X 7. Check to "
                                            "see that your sound card is properly installed and that no other "
                                            "applications are curently using your sound card. If you don't have "
                                            "Direct X 7 goto "));
    EXPECT_EQ(messages[0].icon, dialogs::Icon::Exclamation);
    EXPECT_TRUE(ended);
    EXPECT_EQ(forms::mainWindowIfAny(), nullptr);
}

TEST_F(StartupTest, MenusHoldEveryItemInOrderOpenTheirWindowsAndExitAsks) {
    ASSERT_TRUE(startMain());
    FrmReworked& main = forms::FrmReworked();
    QStringList menus;
    for (QWidget* menu :
         {static_cast<QWidget*>(main.menuBar()), static_cast<QWidget*>(main.File), static_cast<QWidget*>(main.Tools)})
        for (QAction* a : menu->actions()) menus << a->text();
    EXPECT_EQ(menus.join('|'),
              "File|Tools|About|Load Samples|Properties|MIDI|Key Associations|Open Kit...|Save Kit As...|Exit|"
              "Key Board|Sample Pad|Tap Pad|Sample Properties|F X|Cross Fader|Record");
    // Each item brings its own window to the front; About twice is one window.
    const std::pair<QAction*, QString> items[] = {
        {main.KeyBoard, "Keyboard"},    {main.SamplePad, "Sample Pad"},
        {main.samplekeypad, "Tap Pad"}, {main.SampleProperties, "Sample Properties"},
        {main.FX, "Simple FX"},         {main.CrossFader, "Cross Fade"},
        {main.KeySettings, "Settings"}, {main.LoadSamples, "Sample Dock"},
        {main.About, "About"},
    };
    for (const auto& [action, caption] : items) {
        action->trigger();
        ASSERT_NE(main.mdi->activeSubWindow(), nullptr) << caption.toStdString();
        EXPECT_EQ(main.mdi->activeSubWindow()->widget()->windowTitle(), caption);
    }
    frmAbout* about = &forms::frmAbout();
    EXPECT_EQ(about->Label1->text(), "Zendra... Beat Me...");
    QTest::mouseClick(about->cmbDone, Qt::LeftButton);
    EXPECT_FALSE(about->isShown());
    main.About->trigger();
    EXPECT_TRUE(&forms::frmAbout() == about && about->isShown());

    answers = {dialogs::Answer::No, dialogs::Answer::Yes};
    main.Exit->trigger();
    expectOnlyMessage("Are you sure you want to go?", "Leaving So Soon?", dialogs::Icon::None, dialogs::Buttons::YesNo);
    EXPECT_FALSE(ended);
    main.Exit->trigger();
    EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace zendra::test
