#include "sound/offline_backend.h"

#include <chrono>
#include <thread>

#include "sound/ds_types.h"

namespace zendra {

namespace {
class OfflineOutput : public OutputDevice {
public:
    OfflineOutput(int rate, bool realtime, bool inPlace, std::shared_ptr<OfflineBackend::OutputState> state)
        : rate_(rate),
          realtime_(realtime),
          inPlace_(inPlace),
          state_(std::move(state)) {}
    int rate() const override { return rate_; }
    int bufferFrames() const override { return state_->frames; }
    bool realtime() const override { return realtime_; }
    bool lost() const override { return state_->lost; }
    void detach() override {
        const std::lock_guard lock(state_->calling);
        state_->callback = nullptr;
    }
    bool resize(int frames) override {
        if (!inPlace_) return false;
        state_->frames = frames;
        return true;
    }

private:
    int rate_;
    bool realtime_;
    bool inPlace_;
    std::shared_ptr<OfflineBackend::OutputState> state_;
};

class OwnedFakeCapture : public FakeCaptureStream {
public:
    explicit OwnedFakeCapture(FakeCaptureStream** registry) : registry_(registry) { *registry_ = this; }
    // Its capture buffer lets go of it before it is closed (perhaps later, on
    // another thread): from then on it is no longer the backend's.
    void setSink(CaptureSink* sink) override {
        FakeCaptureStream::setSink(sink);
        if (sink == nullptr) unregister();
    }
    ~OwnedFakeCapture() override { unregister(); }

private:
    void unregister() {
        if (registry_ != nullptr && *registry_ == this) *registry_ = nullptr;
        registry_ = nullptr;
    }
    FakeCaptureStream** registry_;
};
}  // namespace

std::unique_ptr<OutputDevice> OfflineBackend::openOutput(const std::string& device, int, OutputCallback* callback) {
    if (failOutput) throw SoundError(DSERR_NODRIVER, "No sound output device could be opened.");
    if (!device.empty()) throw SoundError(DSERR_NODRIVER, "The sound output device \"" + device + "\" does not exist.");
    if (openOutputMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(openOutputMs));
    lastOutput_ = std::make_shared<OutputState>();
    lastOutput_->frames = outputBufferFrames;
    lastOutput_->callback = callback;
    {
        const std::lock_guard lock(outputsLock_);
        outputs_.push_back(lastOutput_);
    }
    ++outputsOpened_;
    return std::make_unique<OfflineOutput>(outputRate, outputRealtime, resizeInPlace, lastOutput_);
}

void OfflineBackend::loseOutput() {
    if (!lastOutput_) return;
    lastOutput_->lost = true;
    if (lastOutput_->callback != nullptr) lastOutput_->callback->deviceLost();
}

bool OfflineBackend::renderOutput(int index, float* out, int frames) {
    std::shared_ptr<OutputState> state;
    {
        const std::lock_guard lock(outputsLock_);
        if (index < 0 || index >= static_cast<int>(outputs_.size())) return false;
        state = outputs_[static_cast<size_t>(index)];
    }
    const std::lock_guard lock(state->calling);
    if (state->callback == nullptr) return false;
    state->callback->render(out, frames);
    return true;
}

void OfflineBackend::resizeOutput(int frames) {
    if (!lastOutput_) return;
    lastOutput_->frames = frames;
    if (lastOutput_->callback != nullptr) lastOutput_->callback->bufferResized(frames);
}

std::unique_ptr<CaptureStream> OfflineBackend::openCapture(const std::string& device, int rate, int channels,
                                                           int bits) {
    if (failCapture) throw SoundError(DSERR_NODRIVER, "No capture device could be opened.");
    if (!device.empty()) {
        bool known = false;
        for (const auto& d : devices) known = known || d.id == device;
        if (!known) throw SoundError(DSERR_NODRIVER, "The capture device \"" + device + "\" does not exist.");
    } else if (devices.empty()) {
        throw SoundError(DSERR_NODRIVER, "There is no capture device.");
    }
    auto stream = std::make_unique<OwnedFakeCapture>(&lastCapture_);
    stream->rate = rate;
    stream->channels = channels;
    stream->bits = bits;
    stream->device = device;
    return stream;
}

}  // namespace zendra
