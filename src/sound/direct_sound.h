// The sound interface the windows use: output device objects, sound buffers
// mixed by our own mixer, and capture. Every failure throws SoundError.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/audio_backend.h"
#include "sound/ds_types.h"
#include "sound/sample_data.h"

namespace zendra {

class OutputEngine;
class DirectSound;
class DirectSoundBuffer;
class DirectSoundCapture;
class DirectSoundCaptureBuffer;

// List of capture devices: 1-based, as the device list reports them.
class DirectSoundEnum {
public:
    explicit DirectSoundEnum(std::vector<CaptureDeviceInfo> devices) : devices_(std::move(devices)) {}
    int GetCount() const { return static_cast<int>(devices_.size()); }
    std::string GetDescription(int index) const;
    std::string GetGuid(int index) const;  // identifier to pass to DirectSoundCaptureCreate

private:
    std::vector<CaptureDeviceInfo> devices_;
};

// Root object: creates device objects and enumerations on one backend.
class DirectX7 {
public:
    DirectX7();  // the process's real audio backend
    explicit DirectX7(std::shared_ptr<AudioBackend> backend);

    std::shared_ptr<DirectSound> DirectSoundCreate(const std::string& device);
    std::shared_ptr<DirectSoundCapture> DirectSoundCaptureCreate(const std::string& device);
    std::shared_ptr<DirectSoundEnum> GetDSCaptureEnum();

    const std::shared_ptr<AudioBackend>& backend() const { return backend_; }

private:
    std::shared_ptr<AudioBackend> backend_;
};

class DirectSound : public std::enable_shared_from_this<DirectSound> {
public:
    explicit DirectSound(std::shared_ptr<OutputEngine> engine);

    void SetCooperativeLevel(uintptr_t window, int32_t level);
    std::shared_ptr<DirectSoundBuffer> CreateSoundBufferFromFile(const std::string& path, DSBUFFERDESC& desc,
                                                                 WAVEFORMATEX& format);
    std::shared_ptr<DirectSoundBuffer> CreateSoundBuffer(DSBUFFERDESC& desc, WAVEFORMATEX& format);
    // A buffer over sound already decoded (e.g. by readSoundFile on another thread).
    std::shared_ptr<DirectSoundBuffer> CreateSoundBufferFromData(std::shared_ptr<SampleData> data, DSBUFFERDESC& desc,
                                                                 WAVEFORMATEX& format);

    const std::shared_ptr<OutputEngine>& engine() const { return engine_; }

private:
    std::shared_ptr<OutputEngine> engine_;
};

class DirectSoundBuffer {
public:
    DirectSoundBuffer(std::shared_ptr<OutputEngine> engine, std::shared_ptr<SampleData> data, int32_t flags);
    ~DirectSoundBuffer();
    DirectSoundBuffer(const DirectSoundBuffer&) = delete;
    DirectSoundBuffer& operator=(const DirectSoundBuffer&) = delete;

    void Play(int32_t flags);
    void Stop();
    void SetCurrentPosition(int32_t bytes);
    int32_t GetCurrentPosition() const;  // play position in bytes
    int32_t GetStatus() const;
    int32_t GetFrequency() const;
    void SetFrequency(int32_t hz);
    int32_t GetVolume() const { return volume_; }
    void SetVolume(int32_t hundredthsDb);
    int32_t GetPan() const { return pan_; }
    void SetPan(int32_t hundredthsDb);
    // A factor (0..1) on top of volume and pan, for the plays that follow.
    void SetPlayLevel(float level);
    void WriteBuffer(int32_t start, int32_t size, const void* data, int32_t flags);
    void ReadBuffer(int32_t start, int32_t size, void* data, int32_t flags) const;
    void SaveToFile(const std::string& path) const;
    void GetFormat(WAVEFORMATEX& format) const;
    int32_t bufferBytes() const { return static_cast<int32_t>(data_->bytes.size()); }

private:
    void sendGains();

    std::shared_ptr<OutputEngine> engine_;
    std::shared_ptr<SampleData> data_;
    int voice_ = -1;
    int32_t flags_ = 0;
    int32_t frequency_ = 0;
    int32_t volume_ = 0;
    int32_t pan_ = 0;
    float playLevel_ = 1.0f;
};

class DirectSoundCapture {
public:
    DirectSoundCapture(std::shared_ptr<AudioBackend> backend, std::string device);
    DSCCAPS GetCaps();
    std::shared_ptr<DirectSoundCaptureBuffer> CreateCaptureBuffer(DSCBUFFERDESC& desc, WAVEFORMATEX& format);
    const std::string& device() const { return device_; }

private:
    std::shared_ptr<AudioBackend> backend_;
    std::string device_;
};

// Captured bytes land in the buffer on the device's thread [audio], which
// never waits and never allocates; everything else is for the window thread
// [window]. Stop() waits for a delivery in flight, so that nothing changes
// after it returns; Start() sets the position while no delivery is inside.
// The device may write into a range while ReadBuffer copies it (a looping
// capture, or a read ahead of the position): the copy is then made again, so
// that it shows the range as it stood at one moment.
class DirectSoundCaptureBuffer {
public:
    DirectSoundCaptureBuffer(std::unique_ptr<CaptureStream> stream, int32_t bytes, const WAVEFORMATEX& format);
    ~DirectSoundCaptureBuffer();
    void Start(int32_t flags);
    void Stop();
    int32_t GetStatus() const;
    void GetCurrentPosition(DSCURSORS& cursors) const;
    void ReadBuffer(int32_t start, int32_t size, void* data, int32_t flags) const;
    void GetFormat(WAVEFORMATEX& format) const { format = format_; }
    int32_t bufferBytes() const;

private:
    std::unique_ptr<CaptureStream> stream_;
    std::unique_ptr<CaptureSink> core_;
    int32_t bytes_;
    WAVEFORMATEX format_;
};

}  // namespace zendra
