// Closing a sound device never holds up the window thread: a capture source
// that delivers nothing can keep its close waiting as long as it likes.
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/device_watch.h"
#include "recording/frm_record.h"
#include "sound/device_closer.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

using namespace std::chrono_literals;

// Every close waits here until the test lets it go (at most 5 s), noting its thread.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    int closing = 0;
    std::thread::id thread;
    void pass() {
        std::unique_lock<std::mutex> l(m);
        ++closing, thread = std::this_thread::get_id();
        cv.notify_all();
        cv.wait_for(l, 5s, [this] { return open; });
    }
};

template <typename Device>
struct Stuck : Device {
    std::shared_ptr<Gate> gate;
    ~Stuck() override { gate->pass(); }
};
struct StuckOutput : Stuck<OutputDevice> {
    std::unique_ptr<OutputDevice> inner;
    int rate() const override { return inner->rate(); }
    int bufferFrames() const override { return inner->bufferFrames(); }
    bool realtime() const override { return false; }
    bool lost() const override { return inner->lost(); }
};

struct StuckBackend : OfflineBackend {
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
    std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames, OutputCallback* callback) override {
        auto d = std::make_unique<StuckOutput>();
        d->gate = gate, d->inner = OfflineBackend::openOutput(device, frames, callback);
        return d;
    }
    std::unique_ptr<CaptureStream> openCapture(const std::string&, int, int, int) override {
        auto c = std::make_unique<Stuck<FakeCaptureStream>>();
        c->gate = gate;
        return c;
    }
};

class DeviceCloseTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        backend = stuck;
        setBackendFactory([b = stuck] { return b; });
    }
    void TearDown() override {
        release();
        UiTest::TearDown();
    }
    void release() {
        std::lock_guard<std::mutex> l(stuck->gate->m);
        stuck->gate->open = true;
        stuck->gate->cv.notify_all();
    }
    // The window thread went on while a close was held on another thread.
    void expectClosingAside() {
        std::unique_lock<std::mutex> l(stuck->gate->m);
        ASSERT_TRUE(stuck->gate->cv.wait_for(l, 2s, [&] { return stuck->gate->closing > 0; }));
        EXPECT_NE(stuck->gate->thread, std::this_thread::get_id());
        EXPECT_FALSE(waitForClosedDevices(0ms));
    }
    std::shared_ptr<StuckBackend> stuck = std::make_shared<StuckBackend>();
};

TEST_F(DeviceCloseTest, StartRecordingGoesOnWhileThePreviousCaptureIsStillClosing) {
    startSound();
    frmRecord& w = forms::frmRecord();
    w.showForm();
    QTest::mouseClick(w.cmdStartRec, Qt::LeftButton);  // closes the load's capture device
    expectClosingAside();
    QTest::mouseClick(w.cmdStopRec, Qt::LeftButton);
    QTest::mouseClick(w.cmdStartRec, Qt::LeftButton);  // the first take's device queues behind
    EXPECT_FALSE(w.cmdStartRec->isEnabled());
    EXPECT_TRUE(w.cmdStopRec->isEnabled());
    EXPECT_TRUE(messages.empty());
    release();
    EXPECT_TRUE(waitForClosedDevices(2s));
    EXPECT_EQ(stuck->gate->closing, 2);
}

TEST_F(DeviceCloseTest, ALostOutputIsReopenedWhileTheOldOneIsStillClosing) {
    hooks.notice = [](const QString&, const QString&) {};
    dialogs::setHooks(&hooks);
    startSound();
    DeviceWatch watch(forms::shared());
    backend->loseOutput();
    watch.check();
    expectClosingAside();
    EXPECT_FALSE(watch.lostNow());
    EXPECT_EQ(backend->outputsOpened(), 2);
}

}  // namespace
}  // namespace zendra::test
