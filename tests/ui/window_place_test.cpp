// Where tool windows open inside the main window: fully in view, or, when
// the view is too small for one, at its top left with scroll bars that reach
// the rest; a window always keeps its designed size.
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>

#include "core/frm_reworked.h"
#include "mixing/frm_var.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class WindowPlaceTest : public UiTest {
protected:
    FrmReworked& mainAt(int width, int height) {
        EXPECT_TRUE(startMain());
        FrmReworked& main = forms::FrmReworked();
        main.resize(width, height);
        QApplication::processEvents();  // laid out anew
        QApplication::setActiveWindow(&main);
        return main;
    }
    // Runs a menu entry as a user does: Alt with the menu's letter, then the entry's.
    static void menu(Qt::Key menuKey, Qt::Key itemKey) {
        QWidget* to = QApplication::focusWidget();
        QTest::keyClick(to != nullptr ? to : forms::mainWindowIfAny(), menuKey, Qt::AltModifier);
        ASSERT_NE(QApplication::activePopupWidget(), nullptr);
        QTest::keyClick(QApplication::activePopupWidget(), itemKey);
    }
    static QRect inView(const FrmReworked& main, const QWidget* w) {
        return QRect(w->mapTo(main.mdi->viewport(), QPoint(0, 0)), w->size());
    }
};

TEST_F(WindowPlaceTest, EveryToolWindowOpensWhollyInViewAt1280x720) {
    FrmReworked& main = mainAt(1280, 720);
    const std::pair<Qt::Key, Qt::Key> entries[] = {
        {Qt::Key_F, Qt::Key_P}, {Qt::Key_F, Qt::Key_M}, {Qt::Key_F, Qt::Key_K}, {Qt::Key_T, Qt::Key_K},
        {Qt::Key_T, Qt::Key_P}, {Qt::Key_T, Qt::Key_T}, {Qt::Key_T, Qt::Key_S}, {Qt::Key_T, Qt::Key_F},
        {Qt::Key_T, Qt::Key_C}, {Qt::Key_T, Qt::Key_R}, {Qt::Key_F, Qt::Key_L},
    };
    QStringList opened;
    for (const auto& [menuKey, itemKey] : entries) {
        ASSERT_NO_FATAL_FAILURE(menu(menuKey, itemKey));
        QMdiSubWindow* sub = main.mdi->activeSubWindow();
        ASSERT_NE(sub, nullptr);
        opened << sub->widget()->windowTitle();
        const QRect view = main.mdi->viewport()->rect();
        EXPECT_TRUE(view.contains(sub->geometry())) << opened.back().toStdString();
    }
    EXPECT_EQ(opened.join('|'), "Properties|MIDI|Settings|Keyboard|Sample Pad|Tap Pad|Sample Properties|Simple FX|"
                                "Cross Fade|Record|Sample Dock");
    // A message in the status bar leaves them in view.
    main.statusBar()->showMessage(QStringLiteral("The sound device is back."));
    QApplication::processEvents();
    for (QMdiSubWindow* sub : main.mdi->subWindowList())
        EXPECT_TRUE(main.mdi->viewport()->rect().contains(sub->geometry()))
            << sub->widget()->windowTitle().toStdString();
    const frmVar& var = forms::frmVar();  // its last row too
    EXPECT_TRUE(main.mdi->viewport()->rect().contains(inView(main, var.hscFre[15])));
}

TEST_F(WindowPlaceTest, AWindowLargerThanTheViewKeepsItsSizeAndTheViewScrollsToItsLastRow) {
    FrmReworked& main = mainAt(560, 420);
    ASSERT_NO_FATAL_FAILURE(menu(Qt::Key_T, Qt::Key_S));
    frmVar& var = forms::frmVar();
    ASSERT_EQ(main.mdi->activeSubWindow(), var.frame());
    EXPECT_EQ(var.size(), QSize(tw(9360), tw(7140)));
    EXPECT_EQ(var.frame()->pos(), QPoint(0, 0));
    QScrollBar* bar = main.mdi->verticalScrollBar();
    QApplication::processEvents();  // the scroll bars follow when the area is next laid out
    ASSERT_TRUE(bar->isVisible());
    const QRect view = main.mdi->viewport()->rect();
    const QLabel* lastRow = var.lblSampleNum[15];
    ASSERT_FALSE(view.contains(inView(main, lastRow)));
    // Clicks under the handle page down to the end.
    for (int i = 0; i < 20 && bar->value() < bar->maximum(); ++i)
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - bar->width() - 2));
    EXPECT_TRUE(view.contains(inView(main, lastRow)));
}

}  // namespace
}  // namespace zendra::test
