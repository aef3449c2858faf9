#include "sound/output_engine.h"

#include <algorithm>

#include "sound/ds_types.h"

namespace zendra {

std::shared_ptr<OutputEngine> AudioBackend::outputEngine(const std::string& device) {
    auto& slot = engines_[device];
    if (auto engine = slot.lock()) return engine;
    auto engine = std::make_shared<OutputEngine>(*this, device);
    slot = engine;
    return engine;
}


OutputEngine::OutputEngine(AudioBackend& backend, const std::string& device) {
    device_ = backend.openOutput(device, this);
    mixer_ = std::make_unique<Mixer>(device_->rate());
    live_.store(mixer_.get(), std::memory_order_release);
}

OutputEngine::~OutputEngine() {
    device_.reset();  // no callback after this
    live_.store(nullptr);
    mixer_.reset();
}

void OutputEngine::render(float* out, int frames) noexcept {
    Mixer* m = live_.load(std::memory_order_acquire);
    if (m == nullptr) {
        std::fill(out, out + 2 * static_cast<size_t>(frames), 0.0f);
        return;
    }
    while (frames > 0) {
        const int n = std::min(frames, Mixer::kMaxBlock);
        m->render(out, n);
        out += 2 * n;
        frames -= n;
    }
}

std::vector<float> OutputEngine::renderOffline(int frames) {
    if (device_->realtime()) throw SoundError(DSERR_INVALIDCALL, "The output device renders in real time.");
    mixer_->flush();
    std::vector<float> out(2 * static_cast<size_t>(frames));
    render(out.data(), frames);
    mixer_->collectGarbage();
    return out;
}

}  // namespace zendra
