// What the sound interface needs from an audio system: an output stream that
// pulls mixed frames, capture streams, and the list of capture devices.
// Devices are opened, listed and detached on the window thread and closed on
// the closing thread (see device_closer.h); callbacks run on the device's own
// thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zendra {

class OutputEngine;

struct CaptureDeviceInfo {
    std::string description;
    std::string id;
};

// Called from the device's own thread; must be realtime-safe.
class OutputCallback {
public:
    virtual ~OutputCallback() = default;
    virtual void render(float* interleavedStereo, int frames) noexcept = 0;
};

class OutputDevice {
public:
    virtual ~OutputDevice() = default;  // closes the device; no callback runs after it
    virtual int rate() const = 0;
    virtual int bufferFrames() const = 0;
    virtual bool realtime() const = 0;  // false: frames are rendered on demand (offline)
    virtual bool lost() const { return false; }
    // A device that may give no sign of being lost other than its callbacks
    // stopping (or never starting) counts as lost after this long without
    // one; 0: never.
    virtual int64_t quietLossNanos() const { return 0; }
    // The buffer belongs to the audio server (JACK): asking for another size
    // changes nothing.
    virtual bool bufferFixed() const { return false; }
    // No callback reaches the callback object after this returns (it waits
    // only for a callback in progress); the device may then be closed later.
    virtual void detach() {}
};

class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    virtual void deliver(const uint8_t* bytes, size_t count) noexcept = 0;
};

class CaptureStream {
public:
    virtual ~CaptureStream() = default;  // closes the device; may wait on its thread
    virtual void setSink(CaptureSink* sink) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
};

class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    // Throws SoundError when no output can be opened.
    // `frames`: the device buffer wanted; the device may grant another.
    virtual std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames,
                                                     OutputCallback* callback) = 0;
    virtual std::vector<CaptureDeviceInfo> captureDevices() = 0;
    // Bytes delivered are unsigned 8-bit or signed 16-bit little-endian PCM, as asked.
    virtual std::unique_ptr<CaptureStream> openCapture(const std::string& device, int rate, int channels,
                                                       int bits) = 0;

    // Starts the audio system (its connection to the server, no device), so
    // that the first device opens sooner; any thread. False when no server
    // answers.
    virtual bool prepare() { return true; }
    // The system as players know it, e.g. "PipeWire" or "SDL (pulseaudio)".
    virtual std::string name() const { return "offline"; }
    // What could not be opened before this system was, if anything.
    virtual std::string fallbackNote() const { return {}; }

    // One engine per output device, shared by every device object on it.
    std::shared_ptr<OutputEngine> outputEngine(const std::string& device);

private:
    std::map<std::string, std::weak_ptr<OutputEngine>> engines_;
};

// The process's real audio system, as chosen (see audio_systems.h).
std::shared_ptr<AudioBackend> systemAudioBackend();
// Starts that system on a thread of its own; a failure is told when a device
// is opened.
void prepareSystemAudio();

}  // namespace zendra
