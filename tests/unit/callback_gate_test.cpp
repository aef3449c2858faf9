// What a device's thread may still do while the window thread takes things
// away: the callback gate's promise, and capture buffers stopped, restarted
// and read while a delivery is in flight.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <future>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <semaphore>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "sound/callback_gate.h"
#include "sound/direct_sound.h"
#include "sound_fixtures.h"

namespace zendra::test {
namespace {

// Runs `step` on a thread of its own while the device is held inside a call,
// then lets the device go. A step that rightly waits for the device cannot be
// told from one that is merely slow, so it is given a moment before the
// device goes on; the outcome is judged on what the step saw, never on time.
template <typename Step, typename Release>
void whileDeviceHeld(Step step, Release release) {
    std::promise<void> done;
    std::future<void> returned = done.get_future();
    std::thread t([&] {
        step();
        done.set_value();
    });
    returned.wait_for(std::chrono::milliseconds(200));
    release();
    t.join();
}

// ------------------------------------------------------------------ the gate

TEST(CallbackGateTest, NoCallRunsAfterCloseReturnsAndCloseWaitsForTheCallInside) {
    // The device thread calls into an object that the closing side poisons as
    // soon as close() returns, many times over: a call that runs late, or
    // that is still running then, sees the poison.
    constexpr int kAlive = 1, kDead = 2, kRounds = 3000;
    CallbackGate gate(false);
    std::atomic<int> object{kAlive};
    std::atomic<int> calls{0}, attempts{0}, late{0};
    std::atomic<bool> quit{false};
    std::thread device([&] {
        while (!quit.load()) {
            gate.pass([&] {
                if (object.load(std::memory_order_relaxed) != kAlive) late.fetch_add(1);
                calls.fetch_add(1);
                if (object.load(std::memory_order_relaxed) != kAlive) late.fetch_add(1);
            });
            attempts.fetch_add(1);
        }
    });
    for (int round = 0; round < kRounds; ++round) {
        const int before = calls.load();
        gate.open();
        while (calls.load() == before) std::this_thread::yield();
        gate.close();
        object.store(kDead, std::memory_order_relaxed);
        // Two whole attempts after the poison: any call let through would have seen it.
        const int tried = attempts.load();
        while (attempts.load() < tried + 2) std::this_thread::yield();
        object.store(kAlive, std::memory_order_relaxed);
    }
    quit.store(true);
    device.join();
    EXPECT_EQ(late.load(), 0);

    // A call held inside: close() returns only once it is over.
    gate.open();
    std::binary_semaphore inside{0}, goOn{0};
    std::atomic<bool> over{false};
    std::thread held([&] {
        gate.pass([&] {
            inside.release();
            goOn.acquire();
            over.store(true);
        });
    });
    inside.acquire();
    bool overWhenClosed = false;
    whileDeviceHeld(
        [&] {
            gate.close();
            overWhenClosed = over.load();
        },
        [&] { goOn.release(); });
    held.join();
    EXPECT_TRUE(overWhenClosed);
    EXPECT_FALSE(gate.pass([] {}));
}

// ------------------------------------------------------------------ capture

// A capture stream whose bytes the test delivers, from threads of its own.
class HandStream : public CaptureStream {
public:
    void setSink(CaptureSink* s) override { sink.store(s); }
    void start() override {}
    void stop() override {}
    std::atomic<CaptureSink*> sink{nullptr};
};

// Two pages of source bytes (`first`, then `second`) whose second page cannot
// be read until release(): a delivery copying them stops inside deliver(),
// partway, until then.
class HeldSource {
public:
    HeldSource(uint8_t first, uint8_t second) {
        void* m = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(m, MAP_FAILED);
        bytes_ = static_cast<uint8_t*>(m);
        std::memset(bytes_, first, page);
        std::memset(bytes_ + page, second, page);
        mprotect(bytes_ + page, page, PROT_NONE);
        sem_init(&held_, 0, 0);
        sem_init(&release_, 0, 0);
        current_ = this;
        struct sigaction a {};
        a.sa_sigaction = onFault;
        a.sa_flags = SA_SIGINFO;
        sigemptyset(&a.sa_mask);
        sigaction(SIGSEGV, &a, &previous_);
    }
    ~HeldSource() {
        sigaction(SIGSEGV, &previous_, nullptr);
        current_ = nullptr;
        munmap(bytes_, 2 * page);
        sem_destroy(&held_);
        sem_destroy(&release_);
    }
    HeldSource(const HeldSource&) = delete;
    HeldSource& operator=(const HeldSource&) = delete;

    // Delivers all of it from a thread of its own, returning once the
    // delivery is stuck at the second page.
    void deliverTo(CaptureSink* sink) {
        device_ = std::thread([this, sink] { sink->deliver(bytes_, 2 * page); });
        while (sem_wait(&held_) != 0) {}
    }
    void release() { sem_post(&release_); }
    void finish() { device_.join(); }

    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));

private:
    static void onFault(int, siginfo_t* info, void*) {
        HeldSource* s = current_;
        auto* at = static_cast<uint8_t*>(info->si_addr);
        if (s == nullptr || at < s->bytes_ + s->page || at >= s->bytes_ + 2 * s->page) {
            signal(SIGSEGV, SIG_DFL);  // not ours: fault again, and end the program
            return;
        }
        sem_post(&s->held_);
        while (sem_wait(&s->release_) != 0) {}
        mprotect(s->bytes_ + s->page, s->page, PROT_READ);
    }

    static inline HeldSource* current_ = nullptr;
    uint8_t* bytes_ = nullptr;
    struct sigaction previous_ {};
    sem_t held_{}, release_{};
    std::thread device_;
};

class CaptureRaceTest : public ::testing::Test {
protected:
    // A mono 8-bit buffer of `pages` pages.
    void make(int pages) {
        auto s = std::make_unique<HandStream>();
        stream = s.get();
        buffer = std::make_unique<DirectSoundCaptureBuffer>(std::move(s), pages * static_cast<int32_t>(source.page),
                                                            pcmFormat(1, 22050, 8));
    }
    int32_t position() const {
        DSCURSORS c{};
        buffer->GetCurrentPosition(c);
        return c.lWrite;
    }
    std::vector<uint8_t> contents() const {
        std::vector<uint8_t> out(static_cast<size_t>(buffer->bufferBytes()));
        buffer->ReadBuffer(0, buffer->bufferBytes(), out.data(), 0);
        return out;
    }
    void push(size_t count, uint8_t value) {
        const std::vector<uint8_t> bytes(count, value);
        stream->sink.load()->deliver(bytes.data(), bytes.size());
    }

    HeldSource source{1, 2};
    HandStream* stream = nullptr;
    std::unique_ptr<DirectSoundCaptureBuffer> buffer;
};

TEST_F(CaptureRaceTest, StopWaitsForADeliveryInFlight) {
    make(4);
    buffer->Start(DSCBSTART_DEFAULT);
    source.deliverTo(stream->sink.load());  // one page written, the second on its way
    int32_t stoppedAt = -1;
    std::vector<uint8_t> stoppedWith;
    whileDeviceHeld(
        [&] {
            buffer->Stop();
            stoppedAt = position();
            stoppedWith = contents();
        },
        [&] { source.release(); });
    source.finish();
    EXPECT_EQ(stoppedAt, 2 * static_cast<int32_t>(source.page));
    EXPECT_EQ(position(), stoppedAt);  // nothing written after Stop returned
    EXPECT_EQ(contents(), stoppedWith);
    EXPECT_EQ(buffer->GetStatus(), 0);
}

TEST_F(CaptureRaceTest, RestartDuringADeliveryBeginsAtTheStartOfTheBuffer) {
    // The delivery held inside fills the buffer; Stop and Start meanwhile
    // must begin a new take at 0, not be undone by the delivery ending.
    make(2);
    buffer->Start(DSCBSTART_DEFAULT);
    source.deliverTo(stream->sink.load());
    whileDeviceHeld(
        [&] {
            buffer->Stop();
            buffer->Start(DSCBSTART_DEFAULT);
        },
        [&] { source.release(); });
    source.finish();
    EXPECT_EQ(position(), 0);
    EXPECT_EQ(buffer->GetStatus(), DSCBSTATUS_CAPTURING);
    push(10, 9);
    EXPECT_EQ(position(), 10);
}

TEST_F(CaptureRaceTest, ReadingWhatALoopingCaptureWritesGivesTheBytesOfOneMoment) {
    // Three pages, written up to half a page before the end: the held
    // delivery fills that half page, wraps round and is stopped halfway
    // through the first page, at the second page of its source.
    make(3);
    const size_t page = source.page, half = page / 2;
    buffer->Start(DSCBSTART_LOOPING);
    push(2 * page + half, 7);
    source.deliverTo(stream->sink.load());
    std::vector<uint8_t> read(page);
    whileDeviceHeld([&] { buffer->ReadBuffer(0, static_cast<int32_t>(page), read.data(), 0); },
                    [&] { source.release(); });
    source.finish();
    std::vector<uint8_t> before(page, 7), after(half, 1);
    after.resize(page, 2);
    EXPECT_TRUE(read == before || read == after) << "a copy torn by the device's writing";
    EXPECT_EQ(position(), static_cast<int32_t>(page + half));
    EXPECT_EQ(buffer->GetStatus(), DSCBSTATUS_CAPTURING | DSCBSTATUS_LOOPING);
}

}  // namespace
}  // namespace zendra::test
