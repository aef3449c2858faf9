// The control glue driven through real events on a throwaway window: key
// preview once per press (a chooser acting only on a pick: cross_fade_test).
#include <QLineEdit>
#include <QPushButton>
#include <utility>

#include "core/control_glue.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class ControlGlueTest : public UiTest {
protected:
    QWidget window;
    QLineEdit* edit = new QLineEdit(&window);
    QPushButton* button = new QPushButton(QStringLiteral("Go"), &window);
    std::vector<std::pair<int, bool>> presses;  // key, auto-repeat

    void SetUp() override {
        UiTest::SetUp();
        glue::KeyPreview::install(&window,
                                  [this](const QKeyEvent& e) { presses.emplace_back(e.key(), e.isAutoRepeat()); });
    }
    // Auto-repeat presses, with no release between them.
    static void repeat(QWidget* w, Qt::Key key, int times) {
        for (int i = 0; i < times; ++i) QTest::simulateEvent(w, true, key, Qt::NoModifier, {}, true);
    }
};

TEST_F(ControlGlueTest, KeyPreviewReportsEveryPressOnceWhereverItLands) {
    focus(edit);
    QTest::keyClicks(edit, "ab");  // the line edit takes these
    EXPECT_EQ(edit->text(), "ab");
    focus(button);
    QTest::keyClick(button, Qt::Key_X);  // the button ignores it: passed up to the window
    repeat(button, Qt::Key_Y, 3);
    // A control made after install, inside a box: it takes Z and passes Up
    // to the box, which passes it to the window.
    auto* box = new QWidget(&window);
    auto* late = new QLineEdit(box);
    box->show();
    focus(late);
    QTest::keyClick(late, Qt::Key_Z);
    repeat(late, Qt::Key_Up, 2);
    EXPECT_EQ(late->text(), "z");
    const std::vector<std::pair<int, bool>> want{{Qt::Key_A, false}, {Qt::Key_B, false}, {Qt::Key_X, false},
                                                 {Qt::Key_Y, true},  {Qt::Key_Y, true},  {Qt::Key_Y, true},
                                                 {Qt::Key_Z, false}, {Qt::Key_Up, true}, {Qt::Key_Up, true}};
    EXPECT_EQ(presses, want);
}

}  // namespace
}  // namespace zendra::test
