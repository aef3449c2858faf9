// One opened output device and the mixer that feeds it.
#pragma once
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "sound/audio_backend.h"
#include "sound/mixer.h"

namespace zendra {

class OutputEngine : public OutputCallback {
public:
    // Opens the device; throws SoundError when it cannot be opened.
    OutputEngine(AudioBackend& backend, const std::string& device);
    ~OutputEngine() override;

    Mixer& mixer() { return *mixer_; }
    int rate() const { return device_->rate(); }
    int bufferFrames() const { return device_->bufferFrames(); }
    bool realtime() const { return device_->realtime(); }
    bool lost() const { return device_->lost(); }

    void render(float* interleavedStereo, int frames) noexcept override;

    // Offline devices only: publish pending commands and mix the next frames.
    std::vector<float> renderOffline(int frames);

private:
    std::unique_ptr<Mixer> mixer_;
    std::unique_ptr<OutputDevice> device_;
    std::atomic<Mixer*> live_{nullptr};
};

}  // namespace zendra
