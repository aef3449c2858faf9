// Start-up and main window flows, offscreen with offline sound.
#include <QAccessible>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QSignalSpy>

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
    forms::destroyAll();
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
    QStringList menus;  // as a screen reader names them
    for (QWidget* menu :
         {static_cast<QWidget*>(main.menuBar()), static_cast<QWidget*>(main.File), static_cast<QWidget*>(main.Tools)}) {
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(menu);
        ASSERT_NE(list, nullptr);
        for (int i = 0; i < list->childCount(); ++i)
            if (list->child(i)->role() != QAccessible::Separator) menus << list->child(i)->text(QAccessible::Name);
    }
    EXPECT_EQ(menus.join('|'),
              "File|Tools|About|Load Samples|Properties|MIDI|Key Associations|Open Kit...|Save Kit "
              "As...|Import Drum Kit...|Remember Set-up|Exit|"
              "Key Board|Sample Pad|Tap Pad|Sample Properties|F X|Cross Fader|Record|Sample Editor...");
    // About twice is one window (the other items' windows: window_place_test, by their keys).
    main.About->trigger();
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

// Alt with a menu's letter opens it, the letter of an entry runs it; each
// letter is used once in its menu. F10 opens the first menu, and the arrow
// keys and Return go on from there.
TEST_F(StartupTest, EveryMenuEntryRunsFromTheKeyboard) {
    ASSERT_TRUE(startMain());
    FrmReworked& main = forms::FrmReworked();
    QApplication::setActiveWindow(&main);
    const auto press = [&](Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* to = QApplication::activePopupWidget();
        if (to == nullptr) to = QApplication::focusWidget();
        QTest::keyClick(to != nullptr ? to : &main, key, mods);
    };
    const struct {
        Qt::Key menuKey;
        QMenu* menu;
        Qt::Key itemKey;
        QAction* item;
    } entries[] = {
        // The other entries run by their keys in window_place_test, sample_editor_test and kit_test.
        {Qt::Key_F, main.File, Qt::Key_O, main.OpenKit},
        {Qt::Key_F, main.File, Qt::Key_S, main.SaveKitAs},
        {Qt::Key_F, main.File, Qt::Key_R, main.RememberSetUp},
        {Qt::Key_F, main.File, Qt::Key_X, main.Exit},
    };
    for (const auto& e : entries) {
        const std::string name = e.item->iconText().toStdString();
        QSignalSpy ran(e.item, &QAction::triggered);
        press(e.menuKey, Qt::AltModifier);
        ASSERT_EQ(QApplication::activePopupWidget(), e.menu) << name;
        press(e.itemKey);
        EXPECT_EQ(ran.size(), 1) << name;
        ASSERT_EQ(QApplication::activePopupWidget(), nullptr) << name;
    }
    EXPECT_EQ(messages.back().title, "Leaving So Soon?");  // Exit asked, and was told No
    EXPECT_FALSE(ended);
    EXPECT_FALSE(main.RememberSetUp->isChecked());  // switched off by its letter: on again
    press(Qt::Key_F, Qt::AltModifier);
    press(Qt::Key_R);
    EXPECT_TRUE(main.RememberSetUp->isChecked());
    press(Qt::Key_T, Qt::AltModifier);
    press(Qt::Key_S);
    EXPECT_EQ(main.mdi->activeSubWindow()->widget()->windowTitle(), "Sample Properties");
    press(Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(main.mdi->activeSubWindow()->widget()->windowTitle(), "About");

    press(Qt::Key_F10);
    ASSERT_EQ(QApplication::activePopupWidget(), main.File);
    press(Qt::Key_Right);
    ASSERT_EQ(QApplication::activePopupWidget(), main.Tools);
    press(Qt::Key_Down);  // from Key Board, the first entry
    press(Qt::Key_Return);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(main.mdi->activeSubWindow()->widget()->windowTitle(), "Sample Pad");
}

}  // namespace
}  // namespace zendra::test
