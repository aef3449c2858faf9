#include "sound/audio_systems.h"

#include <algorithm>
#include <thread>

#include "sound/ds_types.h"

namespace zendra {

std::optional<AudioSystem> parseAudioSystem(std::string_view name) {
    for (AudioSystem s : {AudioSystem::Automatic, AudioSystem::PipeWire, AudioSystem::Jack, AudioSystem::Sdl})
        if (name == audioSystemKey(s)) return s;
    return std::nullopt;
}

const char* audioSystemKey(AudioSystem system) {
    switch (system) {
    case AudioSystem::PipeWire: return "pipewire";
    case AudioSystem::Jack: return "jack";
    case AudioSystem::Sdl: return "sdl";
    case AudioSystem::Automatic: break;
    }
    return "auto";
}

const char* audioSystemTitle(AudioSystem system) {
    switch (system) {
    case AudioSystem::PipeWire: return "PipeWire";
    case AudioSystem::Jack: return "JACK";
    case AudioSystem::Sdl: return "SDL";
    case AudioSystem::Automatic: break;
    }
    return "automatic";
}

std::vector<AudioSystem> audioSystemsToTry(AudioSystem chosen) {
    // SDL's own PipeWire driver is never among them by default: its callback
    // thread is not realtime and it is silent when the server dies.
    std::vector<AudioSystem> order{AudioSystem::PipeWire, AudioSystem::Sdl};
    if (chosen != AudioSystem::Automatic) {
        order.erase(std::remove(order.begin(), order.end(), chosen), order.end());
        order.insert(order.begin(), chosen);
    }
    return order;
}

ChosenAudio::ChosenAudio(AudioSystem chosen, Factory factory) : chosen_(chosen), factory_(std::move(factory)) {}

AudioBackend& ChosenAudio::backend(AudioSystem system) {
    std::lock_guard<std::mutex> hold(backendsLock_);
    auto& slot = backends_[system];
    if (!slot) slot = factory_(system);
    return *slot;
}

AudioBackend& ChosenAudio::current() { return backend(inUse_.value_or(audioSystemsToTry(chosen_).front())); }

std::unique_ptr<OutputDevice> ChosenAudio::openOutput(const std::string& device, int frames, OutputCallback* callback) {
    if (inUse_) return backend(*inUse_).openOutput(device, frames, callback);
    std::string failures;
    for (AudioSystem s : audioSystemsToTry(chosen_)) {
        try {
            auto out = backend(s).openOutput(device, frames, callback);
            inUse_ = s;
            // Automatic choice passing over an absent PipeWire is no failure.
            if (!failures.empty() && chosen_ != AudioSystem::Automatic) note_ = failures;
            return out;
        } catch (const SoundError& e) {
            failures += (failures.empty() ? "" : "; ") + std::string(audioSystemTitle(s)) + " could not be opened (" +
                        e.what() + ")";
        }
    }
    throw SoundError(DSERR_NODRIVER, "No sound output device could be opened: " + failures + ".");
}

std::vector<CaptureDeviceInfo> ChosenAudio::captureDevices() { return current().captureDevices(); }

std::unique_ptr<CaptureStream> ChosenAudio::openCapture(const std::string& device, int rate, int channels, int bits) {
    return current().openCapture(device, rate, channels, bits);
}

bool ChosenAudio::prepare() {
    for (AudioSystem s : audioSystemsToTry(chosen_))
        if (backend(s).prepare()) return true;
    return false;
}

std::string ChosenAudio::name() const {
    if (!inUse_) return "no sound system yet";
    auto* self = const_cast<ChosenAudio*>(this);
    return self->backend(*inUse_).name();
}

namespace {
AudioSystem& chosenSystem() {
    static AudioSystem chosen = AudioSystem::Automatic;
    return chosen;
}
}  // namespace

void chooseSystemAudio(AudioSystem chosen) { chosenSystem() = chosen; }

std::shared_ptr<AudioBackend> systemAudioBackend() {
    static std::shared_ptr<AudioBackend> chosen = std::make_shared<ChosenAudio>(chosenSystem(), [](AudioSystem s) {
        switch (s) {
        case AudioSystem::PipeWire: return pipewireAudioBackend();
        case AudioSystem::Jack: return jackAudioBackend();
        default: return sdlAudioBackend();
        }
    });
    return chosen;
}

void prepareSystemAudio() {
    auto backend = systemAudioBackend();
    std::thread([backend] { backend->prepare(); }).detach();
}

}  // namespace zendra
