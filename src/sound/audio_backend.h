// What the sound interface needs from an audio system: an output stream that
// pulls mixed frames, capture streams, and the list of capture devices.
// Threads, as tagged below: [window] the window thread, which opens, lists,
// starts, stops and detaches devices; [closing] the closing thread (see
// device_closer.h), which destroys them; [audio] the device's own thread,
// which calls back; [any] any of them.
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

class OutputCallback {
public:
    virtual ~OutputCallback() = default;
    // [audio] Realtime-safe: never waits, never allocates.
    virtual void render(float* interleavedStereo, int frames) noexcept = 0;
    // [audio] The device's buffer is now `frames` long: told before the
    // first callback with the new size. Realtime-safe.
    virtual void bufferResized(int /*frames*/) noexcept {}
    // The device stopped (its server went away, ...): told as soon as the
    // audio system knows, on whichever of its threads learns it (perhaps the
    // realtime one). Realtime-safe.
    virtual void deviceLost() noexcept {}
};

class OutputDevice {
public:
    virtual ~OutputDevice() = default;  // [closing] closes the device; no callback runs after it
    // [window] As opened.
    virtual int rate() const = 0;
    virtual int bufferFrames() const = 0;
    virtual bool realtime() const = 0;  // false: frames are rendered on demand (offline)
    // [window] The device stopped (its server went away, ...). A device
    // that learns it from an event also tells its callback's deviceLost().
    virtual bool lost() const { return false; }
    // [window] A device that may give no sign of being lost other than its
    // callbacks stopping (or never starting) counts as lost after this long
    // without one; 0: never.
    virtual int64_t quietLossNanos() const { return 0; }
    // A device whose sound server took it but never runs it counts as lost after this.
    static constexpr int64_t kServerQuietLossNanos = 2'000'000'000;
    // [window] The buffer belongs to the audio server (JACK): asking for
    // another size changes nothing.
    virtual bool bufferFixed() const { return false; }
    // [window] Asks for another buffer size without closing: true when the
    // device took it in place, its callbacks going on without a gap (the new
    // size comes with them); false when it must be reopened for it.
    virtual bool resize(int frames) { return false; }
    // [window] No callback reaches the callback object after this returns (it
    // waits only for a callback in progress); the device may then be closed
    // later.
    virtual void detach() {}
};

class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // [audio] Realtime-safe.
    virtual void deliver(const uint8_t* bytes, size_t count) noexcept = 0;
};

class CaptureStream {
public:
    virtual ~CaptureStream() = default;  // [closing] closes the device; may wait on its thread
    // [window] After setSink returns, the sink that was set before gets no more bytes.
    virtual void setSink(CaptureSink* sink) = 0;
    virtual void start() = 0;  // [window]
    virtual void stop() = 0;   // [window]
};

class AudioBackend {
public:
    virtual ~AudioBackend() = default;
    // [window] Throws SoundError when no output can be opened.
    // `frames`: the device buffer wanted; the device may grant another.
    virtual std::unique_ptr<OutputDevice> openOutput(const std::string& device, int frames,
                                                     OutputCallback* callback) = 0;
    // [window]
    virtual std::vector<CaptureDeviceInfo> captureDevices() = 0;
    // [window] Bytes delivered are unsigned 8-bit or signed 16-bit
    // little-endian PCM, as asked.
    virtual std::unique_ptr<CaptureStream> openCapture(const std::string& device, int rate, int channels, int bits) = 0;

    // [any] Starts the audio system (its connection to the server, no
    // device), so that the first device opens sooner. False when no server
    // answers.
    virtual bool prepare() { return true; }
    // [window] The system as players know it, e.g. "PipeWire" or "SDL (pulseaudio)".
    virtual std::string name() const { return "offline"; }
    // [window] What could not be opened before this system was, if anything.
    virtual std::string fallbackNote() const { return {}; }

    // [window] One engine per output device, shared by every device object on it.
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
