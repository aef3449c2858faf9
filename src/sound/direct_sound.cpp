#include "sound/direct_sound.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

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
// Receives captured bytes on the device's thread into preallocated memory.
class CaptureCore : public CaptureSink {
public:
    explicit CaptureCore(size_t bytes) : bytes_(bytes, 0) {}
    void deliver(const uint8_t* src, size_t count) noexcept override {
        if (!capturing_.load(std::memory_order_acquire)) return;
        size_t w = written_.load(std::memory_order_relaxed);
        const size_t total = bytes_.size();
        while (count > 0) {
            if (w >= total) {
                if (!looping_.load(std::memory_order_relaxed)) {
                    capturing_.store(false, std::memory_order_release);
                    break;
                }
                w = 0;
            }
            const size_t n = std::min(count, total - w);
            std::memcpy(bytes_.data() + w, src, n);
            w += n;
            src += n;
            count -= n;
        }
        if (w >= total && !looping_.load(std::memory_order_relaxed)) capturing_.store(false, std::memory_order_release);
        written_.store(w, std::memory_order_release);
    }
    std::vector<uint8_t> bytes_;
    std::atomic<size_t> written_{0};
    std::atomic<bool> capturing_{false};
    std::atomic<bool> looping_{false};
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
      format_(format) {
    stream_->setSink(core_.get());
}

DirectSoundCaptureBuffer::~DirectSoundCaptureBuffer() {
    stream_->stop();
    stream_->setSink(nullptr);
    // Closing waits on the capture thread, which may wait for data that never comes.
    closeLater(std::move(stream_));
}

void DirectSoundCaptureBuffer::Start(int32_t flags) {
    CaptureCore& c = coreOf(core_);
    c.looping_.store((flags & DSCBSTART_LOOPING) != 0);
    if (c.capturing_.load()) return;
    if (c.written_.load() >= c.bytes_.size()) c.written_.store(0);
    c.capturing_.store(true, std::memory_order_release);
    stream_->start();
}

void DirectSoundCaptureBuffer::Stop() {
    coreOf(core_).capturing_.store(false, std::memory_order_release);
    stream_->stop();
}

int32_t DirectSoundCaptureBuffer::GetStatus() const {
    const CaptureCore& c = coreOf(core_);
    if (!c.capturing_.load(std::memory_order_acquire)) return 0;
    return DSCBSTATUS_CAPTURING | (c.looping_.load() ? DSCBSTATUS_LOOPING : 0);
}

void DirectSoundCaptureBuffer::GetCurrentPosition(DSCURSORS& cursors) const {
    const auto w = static_cast<int32_t>(coreOf(core_).written_.load(std::memory_order_acquire));
    cursors.lPlay = w;
    cursors.lWrite = w;
}

void DirectSoundCaptureBuffer::ReadBuffer(int32_t start, int32_t size, void* data, int32_t) const {
    const CaptureCore& c = coreOf(core_);
    checkRange(start, size, c.bytes_.size(), "Reading a capture buffer");
    if (size > 0) std::memcpy(data, c.bytes_.data() + start, static_cast<size_t>(size));
}

int32_t DirectSoundCaptureBuffer::bufferBytes() const { return static_cast<int32_t>(coreOf(core_).bytes_.size()); }

}  // namespace zendra
