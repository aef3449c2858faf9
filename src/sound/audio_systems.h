// Which audio system plays: PipeWire's own API, JACK, or SDL (PulseAudio,
// then ALSA). By default PipeWire when a PipeWire server answers, else SDL;
// JACK only when asked for. A system that cannot be opened gives way to the
// next one, and the one that opened stays for the rest of the run (a lost
// device is reopened on it).
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sound/audio_backend.h"

namespace zendra {

enum class AudioSystem { Automatic, PipeWire, Jack, Sdl };

// "auto", "pipewire", "jack", "sdl"; nullopt for anything else.
std::optional<AudioSystem> parseAudioSystem(std::string_view name);
const char* audioSystemKey(AudioSystem system);    // the name parseAudioSystem takes
const char* audioSystemTitle(AudioSystem system);  // as players know it: "PipeWire", "JACK", "SDL"
// The systems to try, in order, for a choice.
std::vector<AudioSystem> audioSystemsToTry(AudioSystem chosen);

// Tries the systems of a choice in order. Window thread, except prepare().
class ChosenAudio : public AudioBackend {
public:
    using Factory = std::function<std::shared_ptr<AudioBackend>(AudioSystem)>;
    ChosenAudio(AudioSystem chosen, Factory factory);

    std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames, OutputCallback* callback) override;
    std::vector<CaptureDeviceInfo> captureDevices() override;
    std::unique_ptr<CaptureStream> openCapture(const std::string& device, int rate, int channels, int bits) override;
    // Any thread: starts the first system that answers.
    bool prepare() override;
    std::string name() const override;
    // e.g. "JACK could not be opened (no JACK server is running)" when the
    // system asked for gave way to another.
    std::string fallbackNote() const override { return note_; }

    // The system whose output opened (nullopt before one has).
    std::optional<AudioSystem> inUse() const { return inUse_; }

private:
    AudioBackend& backend(AudioSystem system);
    AudioBackend& current();

    AudioSystem chosen_;
    Factory factory_;
    std::mutex backendsLock_;  // prepare() may run beside the window thread
    std::map<AudioSystem, std::shared_ptr<AudioBackend>> backends_;
    std::optional<AudioSystem> inUse_;
    std::string note_;
};

// The process's real audio, as chosen (window thread, before the first
// device opens; automatic unless called).
void chooseSystemAudio(AudioSystem chosen);
// The real backends, one object each per process.
std::shared_ptr<AudioBackend> pipewireAudioBackend();
std::shared_ptr<AudioBackend> jackAudioBackend();
std::shared_ptr<AudioBackend> sdlAudioBackend();

}  // namespace zendra
