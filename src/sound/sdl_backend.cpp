// SDL2 playback and capture streams: PulseAudio (and PipeWire's PulseAudio
// layer), then ALSA. Threads as tagged in audio_backend.h; [audio] is SDL's
// audio thread of the device, which holds the device's lock while it calls
// back (so detach() and setSink() wait for a callback in progress).
#include <SDL.h>
#include <mutex>
#include <string>

#include "sound/audio_systems.h"
#include "sound/ds_types.h"
#include "sound/realtime.h"

namespace zendra {

namespace {

constexpr int kOutputRate = 48000;
// SDL's own PipeWire driver (only where SDL_AUDIODRIVER asks for it) just
// stops calling back when its server dies; its buffers are a few ms.
constexpr int64_t kQuietLossNanos = 500'000'000;

bool initAudio(std::string& error) {
    static std::once_flag once;
    static bool ok = false;
    static std::string initError;
    std::call_once(once, [] {
        // Signals belong to the application, not to the audio library.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, "Zendra");
        SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, "Zendra");
        // Monitors let a take capture what the sound card plays.
        SDL_SetHint(SDL_HINT_AUDIO_INCLUDE_MONITORS, "1");
        // PulseAudio, then ALSA, unless SDL_AUDIODRIVER says otherwise.
        SDL_SetHint(SDL_HINT_AUDIODRIVER, "pulseaudio,alsa");
        // The mixing thread asks for realtime scheduling (through rtkit where
        // the desktop has it, directly where the process may: see
        // realtime.h); without it the thread is pre-empted by everything else
        // on a busy machine.
        if (realtimeWanted()) SDL_SetHint(SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL, "1");
        ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!ok) initError = SDL_GetError();
    });
    error = initError;
    return ok;
}

class SdlOutput : public OutputDevice {
public:
    SdlOutput(const std::string& device, int frames, OutputCallback* callback) : callback_(callback) {
        std::string error;
        if (!initAudio(error)) throw SoundError(DSERR_NODRIVER, "The audio system could not start: " + error);
        SDL_AudioSpec want{};
        want.freq = kOutputRate;
        want.format = AUDIO_F32SYS;
        want.channels = 2;
        want.samples = static_cast<Uint16>(frames);
        want.callback = &SdlOutput::callback;
        want.userdata = this;
        id_ = SDL_OpenAudioDevice(device.empty() ? nullptr : device.c_str(), 0, &want, &have_,
                                  SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
        if (id_ == 0) {
            throw SoundError(DSERR_NODRIVER, std::string("No sound output device could be opened: ") + SDL_GetError());
        }
        const char* driver = SDL_GetCurrentAudioDriver();
        silentLoss_ = driver != nullptr && std::string(driver) == "pipewire";
        SDL_PauseAudioDevice(id_, 0);
    }
    ~SdlOutput() override { SDL_CloseAudioDevice(id_); }
    int rate() const override { return have_.freq; }
    int bufferFrames() const override { return have_.samples; }
    bool realtime() const override { return true; }
    bool lost() const override { return SDL_GetAudioDeviceStatus(id_) == SDL_AUDIO_STOPPED; }
    int64_t quietLossNanos() const override { return silentLoss_ ? kQuietLossNanos : 0; }
    void detach() override {
        SDL_LockAudioDevice(id_);
        callback_ = nullptr;
        SDL_UnlockAudioDevice(id_);
    }

private:
    // [audio]
    static void callback(void* user, Uint8* stream, int len) {
        auto* self = static_cast<SdlOutput*>(user);
        self->askRealtime_();
        if (self->callback_ == nullptr) {
            SDL_memset(stream, 0, static_cast<size_t>(len));
            return;
        }
        self->callback_->render(reinterpret_cast<float*>(stream), len / static_cast<int>(2 * sizeof(float)));
    }
    OutputCallback* callback_;
    RealtimeOnce askRealtime_;  // [audio] once started
    SDL_AudioDeviceID id_ = 0;
    SDL_AudioSpec have_{};
    bool silentLoss_ = false;  // the pipewire driver's callbacks just stop when its server dies
};

class SdlCapture : public CaptureStream {
public:
    SdlCapture(const std::string& device, int rate, int channels, int bits) {
        std::string error;
        if (!initAudio(error)) throw SoundError(DSERR_NODRIVER, "The audio system could not start: " + error);
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
        want.channels = static_cast<Uint8>(channels);
        want.samples = 512;
        want.callback = &SdlCapture::callback;
        want.userdata = this;
        id_ = SDL_OpenAudioDevice(device.empty() ? nullptr : device.c_str(), 1, &want, &have_, 0);
        if (id_ == 0) {
            throw SoundError(DSERR_NODRIVER, "The capture device " +
                                                 (device.empty() ? std::string("(default)") : "\"" + device + "\"") +
                                                 " could not be opened: " + SDL_GetError());
        }
    }
    ~SdlCapture() override { SDL_CloseAudioDevice(id_); }
    void setSink(CaptureSink* sink) override {
        SDL_LockAudioDevice(id_);
        sink_ = sink;
        SDL_UnlockAudioDevice(id_);
    }
    void start() override { SDL_PauseAudioDevice(id_, 0); }
    void stop() override { SDL_PauseAudioDevice(id_, 1); }

private:
    // [audio]
    static void callback(void* user, Uint8* stream, int len) {
        auto* self = static_cast<SdlCapture*>(user);
        if (self->sink_ != nullptr) self->sink_->deliver(stream, static_cast<size_t>(len));
    }
    CaptureSink* sink_ = nullptr;
    SDL_AudioDeviceID id_ = 0;
    SDL_AudioSpec have_{};
};

class SdlBackend : public AudioBackend {
public:
    bool prepare() override {
        std::string error;
        return initAudio(error);
    }
    std::string name() const override {
        const char* driver = SDL_GetCurrentAudioDriver();
        return std::string("SDL (") + (driver != nullptr ? driver : "no driver") + ")";
    }
    std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames, OutputCallback* callback) override {
        return std::make_unique<SdlOutput>(device, frames, callback);
    }
    std::vector<CaptureDeviceInfo> captureDevices() override {
        std::vector<CaptureDeviceInfo> list;
        std::string error;
        if (!initAudio(error)) return list;
        const int n = SDL_GetNumAudioDevices(1);
        for (int i = 0; i < n; ++i) {
            const char* name = SDL_GetAudioDeviceName(i, 1);
            if (name != nullptr) list.push_back({name, name});
        }
        return list;
    }
    std::unique_ptr<CaptureStream> openCapture(const std::string& device, int rate, int channels, int bits) override {
        return std::make_unique<SdlCapture>(device, rate, channels, bits);
    }
};

}  // namespace

std::shared_ptr<AudioBackend> sdlAudioBackend() {
    static std::shared_ptr<AudioBackend> backend = std::make_shared<SdlBackend>();
    return backend;
}

}  // namespace zendra
