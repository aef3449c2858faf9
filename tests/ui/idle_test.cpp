// Idle: once a bank is loaded, a pad played, a setting changed and the
// set-up kept, no timer on the window thread fires more than twice a second
// while nothing happens.
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimerEvent>
#include <map>
#include <utility>

#include "kits/kit_start.h"
#include "kits/session_keeper.h"
#include "mixing/frm_var.h"
#include "tappad/frm_sample_key_pad.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// Counts the timer events every object of the window thread gets, timer by timer.
class TimerCount : public QObject {
public:
    TimerCount() { QCoreApplication::instance()->installEventFilter(this); }
    ~TimerCount() override { QCoreApplication::instance()->removeEventFilter(this); }
    TimerCount(const TimerCount&) = delete;
    TimerCount& operator=(const TimerCount&) = delete;

    struct Timer {
        QString owner;  // the receiver's class, and its parent's
        int fired = 0;
    };
    std::map<std::pair<const QObject*, int>, Timer> timers;

protected:
    bool eventFilter(QObject* receiver, QEvent* e) override {
        if (e->type() == QEvent::Timer) {
            Timer& t = timers[{receiver, static_cast<QTimerEvent*>(e)->timerId()}];
            if (t.fired++ == 0) {
                t.owner = QString::fromLatin1(receiver->metaObject()->className());
                if (receiver->parent() != nullptr)
                    t.owner += QStringLiteral(" in ") + receiver->parent()->metaObject()->className();
            }
        }
        return false;
    }
};

using IdleTest = ConfigTest;

TEST_F(IdleTest, NoTimerFiresMoreThanTwiceASecondWhileNothingHappens) {
    kits::rememberBetweenRuns(true);
    ASSERT_TRUE(startMain());
    ASSERT_NO_FATAL_FAILURE(loadDrums(2));
    frmSampleKeyPad& pad = forms::frmSampleKeyPad();
    pad.showForm();
    ASSERT_NO_FATAL_FAILURE(focus(pad.cmbDone));
    QTest::keyClick(pad.cmbDone, '=');  // plays every slot never bound to a key
    ASSERT_FALSE(playing().empty());
    forms::frmVar().showForm();
    QScrollBar* pan = forms::frmVar().hscPan[0];
    QTest::mouseClick(pan, Qt::LeftButton, {}, QPoint(3, pan->height() / 2));  // its left arrow
    ASSERT_LT(bank().slot(0).pan, 0.0);
    stopAll();
    kits::SessionKeeper* keeper = kits::SessionKeeper::running();
    ASSERT_NE(keeper, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper->due(); }, 3000));  // the change is kept

    constexpr int kSeconds = 2;
    TimerCount count;
    QTest::qWait(kSeconds * 1000);
    ASSERT_FALSE(count.timers.empty());           // the device watch looks twice a second
    for (const auto& [id, timer] : count.timers)  // one more for a timer whose phase fits one in at each end
        EXPECT_LE(timer.fired, 2 * kSeconds + 1) << timer.owner.toStdString();
}

}  // namespace
}  // namespace zendra::test
