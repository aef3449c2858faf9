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

// Every close waits here until the test lets it go, and notes its thread.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    int closing = 0;
    std::thread::id thread;
    void pass() {
        std::unique_lock<std::mutex> l(m);
        ++closing;
        thread = std::this_thread::get_id();
        cv.notify_all();
        cv.wait_for(l, 5s, [this] { return open; });
    }
    bool closingWithin(int n, std::chrono::milliseconds t) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, t, [&] { return closing >= n; });
    }
    void release() {
        std::lock_guard<std::mutex> l(m);
        open = true;
        cv.notify_all();
    }
};

class StuckCapture : public FakeCaptureStream {
public:
    explicit StuckCapture(std::shared_ptr<Gate> g) : gate_(std::move(g)) {}
    ~StuckCapture() override { gate_->pass(); }
    std::shared_ptr<Gate> gate_;
};

class StuckOutput : public OutputDevice {
public:
    StuckOutput(std::unique_ptr<OutputDevice> d, std::shared_ptr<Gate> g) : inner_(std::move(d)), gate_(std::move(g)) {}
    ~StuckOutput() override { gate_->pass(); }
    int rate() const override { return inner_->rate(); }
    int bufferFrames() const override { return inner_->bufferFrames(); }
    bool realtime() const override { return false; }
    bool lost() const override { return inner_->lost(); }
    std::unique_ptr<OutputDevice> inner_;
    std::shared_ptr<Gate> gate_;
};

class StuckBackend : public OfflineBackend {
public:
    std::unique_ptr<OutputDevice> openOutput(const std::string& device, OutputCallback* callback) override {
        return std::make_unique<StuckOutput>(OfflineBackend::openOutput(device, callback), gate);
    }
    std::unique_ptr<CaptureStream> openCapture(const std::string&, int, int, int) override {
        return std::make_unique<StuckCapture>(gate);
    }
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
};

class DeviceCloseTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        stuck = std::make_shared<StuckBackend>();
        backend = stuck;
        DXMoudule::setBackendFactory([b = stuck] { return b; });
    }
    void TearDown() override {
        stuck->gate->release();
        UiTest::TearDown();
        EXPECT_TRUE(waitForClosedDevices(2s));
    }
    // The window thread went on while `n` closes were still held on another thread.
    void expectClosingAside(int n) {
        ASSERT_TRUE(stuck->gate->closingWithin(n, 2s));
        EXPECT_NE(stuck->gate->thread, std::this_thread::get_id());
        EXPECT_FALSE(waitForClosedDevices(0ms));
    }
    std::shared_ptr<StuckBackend> stuck;
};

TEST_F(DeviceCloseTest, StartRecordingGoesOnWhileThePreviousCaptureIsStillClosing) {
    startSound();
    frmRecord& w = forms::frmRecord();
    w.showForm();
    ASSERT_TRUE(w.loaded());
    QTest::mouseClick(w.cmdStartRec, Qt::LeftButton);  // closes the load's capture device
    expectClosingAside(1);
    EXPECT_FALSE(w.cmdStartRec->isEnabled());
    EXPECT_TRUE(w.cmdStopRec->isEnabled());
    EXPECT_TRUE(w.tmrCount->isActive());
    QTest::mouseClick(w.cmdStopRec, Qt::LeftButton);
    QTest::mouseClick(w.cmdStartRec, Qt::LeftButton);  // the first take's device queues behind
    EXPECT_FALSE(w.cmdStartRec->isEnabled());
    EXPECT_TRUE(messages.empty());
    stuck->gate->release();
    EXPECT_TRUE(waitForClosedDevices(2s));
    EXPECT_EQ(stuck->gate->closing, 2);
}

TEST_F(DeviceCloseTest, ALostOutputIsReopenedWhileTheOldOneIsStillClosing) {
    hooks.notice = [](const QString&, const QString&) {};
    dialogs::setHooks(&hooks);
    startSound();
    DeviceWatch watch;
    backend->loseOutput();
    watch.check();
    expectClosingAside(1);
    EXPECT_FALSE(watch.lostNow());
    EXPECT_EQ(backend->outputsOpened(), 2);
}

}  // namespace
}  // namespace zendra::test
