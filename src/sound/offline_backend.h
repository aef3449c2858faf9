// An audio backend with no device: output is rendered on demand into memory
// and capture is fed by the caller. Used by tests and offline rendering.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "sound/audio_backend.h"

namespace zendra {

class FakeCaptureStream : public CaptureStream {
public:
    void setSink(CaptureSink* sink) override { sink_ = sink; }
    void start() override { running_ = true; }
    void stop() override { running_ = false; }
    bool running() const { return running_; }
    // Delivers bytes as a device would, only while started.
    void push(const std::vector<uint8_t>& bytes) {
        if (running_ && sink_ != nullptr) sink_->deliver(bytes.data(), bytes.size());
    }
    int rate = 0, channels = 0, bits = 0;
    std::string device;

private:
    CaptureSink* sink_ = nullptr;
    bool running_ = false;
};

class OfflineBackend : public AudioBackend {
public:
    int outputRate = 48000;
    int outputBufferFrames = 128;
    bool resizeInPlace = false;  // an output takes another buffer size without reopening
    bool failOutput = false;     // openOutput throws, as with no usable device
    bool failCapture = false;    // openCapture throws
    int openOutputMs = 0;        // opening an output takes this long, as a server's can
    // The output claims to call back in real time: its lateness is judged,
    // and the caller calls the engine's render itself, as the device's thread.
    bool outputRealtime = false;
    std::vector<CaptureDeviceInfo> devices{{"Offline Microphone", "offline-mic"}};

    // Renders in blocks of outputBufferFrames, whatever buffer is asked for.
    std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames, OutputCallback* callback) override;
    std::vector<CaptureDeviceInfo> captureDevices() override { return devices; }
    std::unique_ptr<CaptureStream> openCapture(const std::string& device, int rate, int channels, int bits) override;

    // The capture stream opened last (owned by its capture buffer), or null.
    FakeCaptureStream* lastCapture() const { return lastCapture_; }
    int outputsOpened() const { return outputsOpened_.load(); }
    // Marks the output opened last as lost, as when its server goes away, and
    // tells its callback at once, as a server's event does.
    void loseOutput();
    // What an output shares with the backend that opened it.
    struct OutputState {
        bool lost = false;
        int frames = 0;
        std::mutex calling;                  // held by a callback; detaching waits for it
        OutputCallback* callback = nullptr;  // null once detached
    };
    // Calls back the output opened `index`-th (from 0) for `frames`, as its
    // device thread would, from any one thread per output; false once it is
    // detached.
    bool renderOutput(int index, float* interleavedStereo, int frames);

    // Gives the output opened last (still open) a buffer of `frames`, as a server that
    // changes its buffer size does; the caller's thread plays the device's
    // thread, which tells the engine (as before a callback).
    void resizeOutput(int frames);

private:
    FakeCaptureStream* lastCapture_ = nullptr;
    std::shared_ptr<OutputState> lastOutput_;
    std::mutex outputsLock_;
    std::vector<std::shared_ptr<OutputState>> outputs_;  // every output opened, in order
    std::atomic<int> outputsOpened_{0};
};

}  // namespace zendra
