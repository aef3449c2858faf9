#include "sound/direct_sound.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "sound/callback_gate.h"
#include "sound/device_closer.h"
#include "sound/output_engine.h"
#include "sound/sound_file.h"
#include "sound/wav_file.h"

namespace zendra {

namespace {

[[noreturn]] void fail(uint32_t code, const std::string& what) { throw SoundError(code, what); }

// Checks a PCM format record and returns its sample format.
SampleFormat checkPcmFormat(const WAVEFORMATEX& f, const char* who) {
    const std::string prefix = std::string(who) + ": ";
    if (f.nFormatTag != WAVE_FORMAT_PCM) fail(DSERR_BADFORMAT, prefix + "only PCM sound is supported.");
    if (f.nChannels != 1 && f.nChannels != 2) fail(DSERR_BADFORMAT, prefix + "only mono or stereo sound is supported.");
    if (f.nBitsPerSample != 8 && f.nBitsPerSample != 16)
        fail(DSERR_BADFORMAT, prefix + "only 8-bit or 16-bit sound is supported.");
    if (f.lSamplesPerSec < DSBFREQUENCY_MIN || f.lSamplesPerSec > DSBFREQUENCY_MAX)
        fail(DSERR_BADFORMAT, prefix + "the sample rate must be between 100 and 100000 Hz.");
    if (f.nBlockAlign != f.nBitsPerSample / 8 * f.nChannels)
        fail(DSERR_BADFORMAT, prefix + "the block alignment does not match the channels and bits.");
    return f.nBitsPerSample == 8 ? SampleFormat::U8 : SampleFormat::S16;
}

void describe(const SampleData& d, WAVEFORMATEX& f) {
    f.nFormatTag = d.format == SampleFormat::F32 ? 3 : WAVE_FORMAT_PCM;
    f.nChannels = static_cast<int16_t>(d.channels);
    f.lSamplesPerSec = d.rate;
    f.nBitsPerSample = static_cast<int16_t>(bytesPerSample(d.format) * 8);
    f.nBlockAlign = static_cast<int16_t>(d.blockAlign());
    f.lAvgBytesPerSec = f.nBlockAlign * f.lSamplesPerSec;
    f.nSize = 0;
}

void checkRange(int32_t start, int32_t size, size_t total, const char* who) {
    if (start < 0 || size < 0 || static_cast<size_t>(start) + static_cast<size_t>(size) > total)
        fail(DSERR_INVALIDPARAM, std::string(who) + ": the range lies outside the buffer.");
}

constexpr int32_t kMaxBufferBytes = 0x0FFFFFFF;

}  // namespace

// ------------------------------------------------------------------ enumeration

std::string DirectSoundEnum::GetDescription(int index) const {
    if (index < 1 || index > GetCount())
        fail(DSERR_INVALIDPARAM, "There is no capture device number " + std::to_string(index) + ".");
    return devices_[static_cast<size_t>(index - 1)].description;
}

std::string DirectSoundEnum::GetGuid(int index) const {
    if (index < 1 || index > GetCount())
        fail(DSERR_INVALIDPARAM, "There is no capture device number " + std::to_string(index) + ".");
    return devices_[static_cast<size_t>(index - 1)].id;
}

// ------------------------------------------------------------------ root

DirectX7::DirectX7() : backend_(systemAudioBackend()) {}
DirectX7::DirectX7(std::shared_ptr<AudioBackend> backend) : backend_(std::move(backend)) {}

std::shared_ptr<DirectSound> DirectX7::DirectSoundCreate(const std::string& device) {
    return std::make_shared<DirectSound>(backend_->outputEngine(device));
}

std::shared_ptr<DirectSoundCapture> DirectX7::DirectSoundCaptureCreate(const std::string& device) {
    const auto devices = backend_->captureDevices();
    if (devices.empty()) fail(DSERR_NODRIVER, "There is no capture device.");
    if (!device.empty()) {
        bool found = false;
        for (const auto& d : devices) found = found || d.id == device;
        if (!found) fail(DSERR_NODRIVER, "The capture device \"" + device + "\" is not available.");
    }
    return std::make_shared<DirectSoundCapture>(backend_, device);
}

std::shared_ptr<DirectSoundEnum> DirectX7::GetDSCaptureEnum() {
    return std::make_shared<DirectSoundEnum>(backend_->captureDevices());
}

// ------------------------------------------------------------------ output device

DirectSound::DirectSound(std::shared_ptr<OutputEngine> engine) : engine_(std::move(engine)) {}

void DirectSound::SetCooperativeLevel(uintptr_t, int32_t level) {
    // Every level plays the same through our own mixer: the level is only checked.
    if (level < DSSCL_NORMAL || level > 4)
        fail(DSERR_INVALIDPARAM, "Unknown cooperative level " + std::to_string(level) + ".");
}

std::shared_ptr<DirectSoundBuffer> DirectSound::CreateSoundBufferFromFile(const std::string& path, DSBUFFERDESC& desc,
                                                                          WAVEFORMATEX& format) {
    return CreateSoundBufferFromData(std::make_shared<SampleData>(readSoundFile(path)), desc, format);
}

std::shared_ptr<DirectSoundBuffer> DirectSound::CreateSoundBufferFromData(std::shared_ptr<SampleData> data,
                                                                          DSBUFFERDESC& desc, WAVEFORMATEX& format) {
    if (!data || data->frames() == 0) fail(DSERR_INVALIDPARAM, "Creating a sound buffer: there is no sound.");
    auto buffer = std::make_shared<DirectSoundBuffer>(engine_, data, desc.lFlags);
    describe(*data, format);
    desc.lBufferBytes = static_cast<int32_t>(data->bytes.size());
    return buffer;
}

std::shared_ptr<DirectSoundBuffer> DirectSound::CreateSoundBuffer(DSBUFFERDESC& desc, WAVEFORMATEX& format) {
    const SampleFormat sf = checkPcmFormat(format, "Creating a sound buffer");
    if (desc.lBufferBytes <= 0 || desc.lBufferBytes > kMaxBufferBytes || desc.lBufferBytes % format.nBlockAlign != 0)
        fail(DSERR_INVALIDPARAM, "Creating a sound buffer: the size must be a positive whole number of frames.");
    auto data = std::make_shared<SampleData>();
    data->format = sf;
    data->channels = format.nChannels;
    data->rate = format.lSamplesPerSec;
    data->bytes.assign(static_cast<size_t>(desc.lBufferBytes), sf == SampleFormat::U8 ? 128 : 0);
    return std::make_shared<DirectSoundBuffer>(engine_, data, desc.lFlags);
}

// ------------------------------------------------------------------ sound buffer

DirectSoundBuffer::DirectSoundBuffer(std::shared_ptr<OutputEngine> engine, std::shared_ptr<SampleData> data,
                                     int32_t flags)
    : engine_(std::move(engine)),
      data_(std::move(data)),
      flags_(flags),
      frequency_(data_->rate) {
    voice_ = engine_->mixer().attach(data_.get(), data_->rate);
    if (voice_ < 0) fail(DSERR_ALLOCATED, "Too many sound buffers are in use.");
}

DirectSoundBuffer::~DirectSoundBuffer() {
    if (voice_ >= 0) engine_->mixer().detach(voice_, data_);
}

void DirectSoundBuffer::Play(int32_t flags) { engine_->mixer().play(voice_, (flags & DSBPLAY_LOOPING) != 0); }

void DirectSoundBuffer::Stop() { engine_->mixer().stop(voice_); }

void DirectSoundBuffer::SetCurrentPosition(int32_t bytes) {
    if (bytes < 0 || static_cast<size_t>(bytes) > data_->bytes.size())
        fail(DSERR_INVALIDPARAM, "The play position " + std::to_string(bytes) + " lies outside the buffer.");
    engine_->mixer().setPosition(voice_, bytes / data_->blockAlign());
}

int32_t DirectSoundBuffer::GetCurrentPosition() const {
    return static_cast<int32_t>(engine_->mixer().position(voice_) * data_->blockAlign());
}

int32_t DirectSoundBuffer::GetStatus() const { return engine_->mixer().status(voice_); }

int32_t DirectSoundBuffer::GetFrequency() const { return frequency_; }

void DirectSoundBuffer::SetFrequency(int32_t hz) {
    if ((flags_ & DSBCAPS_CTRLFREQUENCY) == 0)
        fail(DSERR_CONTROLUNAVAIL, "This sound buffer has no frequency control.");
    if (hz == 0) hz = data_->rate;  // the buffer's original rate
    if (hz < DSBFREQUENCY_MIN || hz > DSBFREQUENCY_MAX)
        fail(DSERR_INVALIDPARAM, "The frequency " + std::to_string(hz) + " Hz is outside 100..100000 Hz.");
    frequency_ = hz;
    engine_->mixer().setRate(voice_, hz);
}

void DirectSoundBuffer::SetVolume(int32_t v) {
    if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) fail(DSERR_CONTROLUNAVAIL, "This sound buffer has no volume control.");
    if (v < DSBVOLUME_MIN || v > DSBVOLUME_MAX)
        fail(DSERR_INVALIDPARAM, "The volume " + std::to_string(v) + " is outside -10000..0.");
    volume_ = v;
    sendGains();
}

void DirectSoundBuffer::SetPan(int32_t p) {
    if ((flags_ & DSBCAPS_CTRLPAN) == 0) fail(DSERR_CONTROLUNAVAIL, "This sound buffer has no pan control.");
    if (p < DSBPAN_LEFT || p > DSBPAN_RIGHT)
        fail(DSERR_INVALIDPARAM, "The pan " + std::to_string(p) + " is outside -10000..10000.");
    pan_ = p;
    sendGains();
}

void DirectSoundBuffer::SetPlayLevel(float level) {
    level = std::clamp(level, 0.0f, 1.0f);
    if (level == playLevel_) return;
    playLevel_ = level;
    sendGains();
}

void DirectSoundBuffer::sendGains() {
    // Hundredths of a decibel of attenuation; pan attenuates only the far side.
    auto gain = [](int32_t hundredthsDb) {
        return hundredthsDb <= DSBVOLUME_MIN ? 0.0f : static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
    };
    const int32_t left = volume_ + (pan_ > 0 ? -pan_ : 0);
    const int32_t right = volume_ + (pan_ < 0 ? pan_ : 0);
    engine_->mixer().setGain(voice_, playLevel_ * gain(std::max(left, DSBVOLUME_MIN)),
                             playLevel_ * gain(std::max(right, DSBVOLUME_MIN)));
}

void DirectSoundBuffer::WriteBuffer(int32_t start, int32_t size, const void* data, int32_t) {
    checkRange(start, size, data_->bytes.size(), "Writing a sound buffer");
    if (size == 0) return;
    // Copy on write: the audio thread may be reading the old bytes right now.
    auto fresh = std::make_shared<SampleData>(*data_);
    std::memcpy(fresh->bytes.data() + start, data, static_cast<size_t>(size));
    engine_->mixer().replaceData(voice_, fresh.get(), data_);
    data_ = std::move(fresh);
}

void DirectSoundBuffer::ReadBuffer(int32_t start, int32_t size, void* data, int32_t) const {
    checkRange(start, size, data_->bytes.size(), "Reading a sound buffer");
    if (size > 0) std::memcpy(data, data_->bytes.data() + start, static_cast<size_t>(size));
}

void DirectSoundBuffer::SaveToFile(const std::string& path) const { writeWavFile(path, *data_); }

void DirectSoundBuffer::GetFormat(WAVEFORMATEX& format) const { describe(*data_, format); }

// ------------------------------------------------------------------ capture

namespace {
// Receives captured bytes on the device's thread into preallocated memory
// (see DirectSoundCaptureBuffer for who may do what, and when).
class CaptureCore : public CaptureSink {
public:
    static constexpr uint8_t kCapturing = 1, kLooping = 2;

    explicit CaptureCore(size_t bytes) : bytes_(std::make_unique<std::atomic<uint8_t>[]>(bytes)), total_(bytes) {}
    void deliver(const uint8_t* src, size_t count) noexcept override {
        gate_.pass([&] { take(src, count); });
    }

    // [window] Copies a range as it stood at one moment: a copy the device
    // wrote into meanwhile is made again.
    void read(size_t start, size_t size, uint8_t* out) const {
        for (;;) {
            const uint64_t from = done_.load(std::memory_order_acquire);
            for (size_t i = 0; i < size; ++i) out[i] = bytes_[start + i].load(std::memory_order_relaxed);
            // Any byte read from a write not yet done at `from` was announced in begun_ before it was written.
            std::atomic_thread_fence(std::memory_order_acquire);
            const uint64_t to = begun_.load(std::memory_order_relaxed);
            if (!touches(from, to, start, size)) return;
            std::this_thread::yield();
        }
    }

    CallbackGate gate_{false};  // open while capture may write; closed, no delivery is inside
    std::atomic<uint8_t> mode_{0};
    std::atomic<size_t> written_{0};  // the write position, 0..total_

private:
    // [audio] Writes at the write position; a full buffer stops unless looping.
    void take(const uint8_t* src, size_t count) noexcept {
        if ((mode_.load(std::memory_order_acquire) & kCapturing) == 0) return;
        size_t w = written_.load(std::memory_order_relaxed);
        while (count > 0) {
            if (w >= total_) {
                if ((mode_.load(std::memory_order_relaxed) & kLooping) == 0) break;
                w = 0;
            }
            const size_t n = std::min(count, total_ - w);
            const uint64_t end = done_.load(std::memory_order_relaxed) + n;
            begun_.store(end, std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_release);
            for (size_t i = 0; i < n; ++i) bytes_[w + i].store(src[i], std::memory_order_relaxed);
            done_.store(end, std::memory_order_release);
            w += n;
            src += n;
            count -= n;
        }
        written_.store(w, std::memory_order_release);
        // A full buffer ends the capture, unless Start() has just turned looping on: the next delivery then wraps.
        uint8_t plain = kCapturing;
        if (w >= total_) mode_.compare_exchange_strong(plain, 0, std::memory_order_acq_rel);
    }
    // Whether any of the bytes from..to (counted since the buffer was made,
    // so that byte k lies at k % total_) falls into start..start+size. Two
    // stretches of a ring meet when either begins inside the other.
    bool touches(uint64_t from, uint64_t to, size_t start, size_t size) const {
        if (size == 0 || to <= from) return false;
        if (to - from >= total_) return true;
        const size_t first = static_cast<size_t>(from % total_);
        return (start + total_ - first) % total_ < to - from || (first + total_ - start) % total_ < size;
    }

    std::unique_ptr<std::atomic<uint8_t>[]> bytes_;
    size_t total_;
    // Bytes written since the buffer was made: begun_ counts a write as it
    // starts, done_ as it ends. Only the device thread stores them.
    std::atomic<uint64_t> begun_{0};
    std::atomic<uint64_t> done_{0};
};

CaptureCore& coreOf(const std::unique_ptr<CaptureSink>& sink) { return static_cast<CaptureCore&>(*sink); }
}  // namespace

DirectSoundCapture::DirectSoundCapture(std::shared_ptr<AudioBackend> backend, std::string device)
    : backend_(std::move(backend)),
      device_(std::move(device)) {}

DSCCAPS DirectSoundCapture::GetCaps() {
    DSCCAPS caps;
    // The audio system converts to any rate and depth we ask for.
    caps.lFormats = WAVE_FORMAT_1M08 | WAVE_FORMAT_2M08;
    caps.lChannels = 1;
    return caps;
}

std::shared_ptr<DirectSoundCaptureBuffer> DirectSoundCapture::CreateCaptureBuffer(DSCBUFFERDESC& desc,
                                                                                  WAVEFORMATEX& format) {
    checkPcmFormat(format, "Creating a capture buffer");
    if (desc.lBufferBytes <= 0 || desc.lBufferBytes > kMaxBufferBytes || desc.lBufferBytes % format.nBlockAlign != 0)
        fail(DSERR_INVALIDPARAM, "Creating a capture buffer: the size must be a positive whole number of frames.");
    auto stream = backend_->openCapture(device_, format.lSamplesPerSec, format.nChannels, format.nBitsPerSample);
    desc.fxFormat = format;
    return std::make_shared<DirectSoundCaptureBuffer>(std::move(stream), desc.lBufferBytes, format);
}

DirectSoundCaptureBuffer::DirectSoundCaptureBuffer(std::unique_ptr<CaptureStream> stream, int32_t bytes,
                                                   const WAVEFORMATEX& format)
    : stream_(std::move(stream)),
      core_(std::make_unique<CaptureCore>(static_cast<size_t>(bytes))),
      bytes_(bytes),
      format_(format) {
    stream_->setSink(core_.get());
}

DirectSoundCaptureBuffer::~DirectSoundCaptureBuffer() {
    coreOf(core_).gate_.close();
    stream_->stop();
    stream_->setSink(nullptr);
    // Closing waits on the capture thread, which may wait for data that never comes.
    closeLater(std::move(stream_));
}

void DirectSoundCaptureBuffer::Start(int32_t flags) {
    CaptureCore& c = coreOf(core_);
    const uint8_t wanted = CaptureCore::kCapturing | ((flags & DSCBSTART_LOOPING) != 0 ? CaptureCore::kLooping : 0);
    // Capturing: only whether it loops changes, without shutting a delivery out.
    uint8_t mode = c.mode_.load();
    while ((mode & CaptureCore::kCapturing) != 0)
        if (c.mode_.compare_exchange_weak(mode, wanted)) return;
    // Stopped: the position is set while no delivery is inside.
    c.gate_.close();
    if (c.written_.load() >= static_cast<size_t>(bytes_)) c.written_.store(0);
    c.mode_.store(wanted);
    c.gate_.open();
    stream_->start();
}

void DirectSoundCaptureBuffer::Stop() {
    CaptureCore& c = coreOf(core_);
    c.gate_.close();  // waits for a delivery in flight
    c.mode_.store(0);
    stream_->stop();
}

int32_t DirectSoundCaptureBuffer::GetStatus() const {
    const uint8_t mode = coreOf(core_).mode_.load(std::memory_order_acquire);
    if ((mode & CaptureCore::kCapturing) == 0) return 0;
    return DSCBSTATUS_CAPTURING | ((mode & CaptureCore::kLooping) != 0 ? DSCBSTATUS_LOOPING : 0);
}

void DirectSoundCaptureBuffer::GetCurrentPosition(DSCURSORS& cursors) const {
    const auto w = static_cast<int32_t>(coreOf(core_).written_.load(std::memory_order_acquire));
    cursors.lPlay = w;
    cursors.lWrite = w;
}

void DirectSoundCaptureBuffer::ReadBuffer(int32_t start, int32_t size, void* data, int32_t) const {
    checkRange(start, size, static_cast<size_t>(bufferBytes()), "Reading a capture buffer");
    coreOf(core_).read(static_cast<size_t>(start), static_cast<size_t>(size), static_cast<uint8_t*>(data));
}

int32_t DirectSoundCaptureBuffer::bufferBytes() const { return bytes_; }

}  // namespace zendra
