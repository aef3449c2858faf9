#include "core/dx_module.h"

#include <QWidget>

namespace zendra::DXMoudule {

std::shared_ptr<DirectX7> dx;
std::shared_ptr<DirectSound> ds;
QVariant CaptureGuid;
QVariant CaptureDescription;
std::vector<std::shared_ptr<DirectSoundBuffer>> SampleBuffer;
DSBUFFERDESC BufferDesc;
WAVEFORMATEX WaveFormat;
int16_t LastSample = 0;
std::vector<QString> SampleFile;
int32_t KeyBoardFrequency = 0;
int32_t Frequency = 0;

namespace {
std::function<std::shared_ptr<AudioBackend>()>& backendFactory() {
    static std::function<std::shared_ptr<AudioBackend>()> f;
    return f;
}
}  // namespace

void setBackendFactory(std::function<std::shared_ptr<AudioBackend>()> factory) {
    backendFactory() = std::move(factory);
}

DirectX7& DX() {
    if (!dx) {
        auto& f = backendFactory();
        dx = f ? std::make_shared<DirectX7>(f()) : std::make_shared<DirectX7>();
    }
    return *dx;
}

void InitDirectSound(QWidget* mainWindow) {
    ds = DX().DirectSoundCreate("");
    ds->SetCooperativeLevel(mainWindow ? static_cast<uintptr_t>(mainWindow->winId()) : 0, DSSCL_PRIORITY);
    BufferDesc.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY;
    WaveFormat.nFormatTag = WAVE_FORMAT_PCM;
    WaveFormat.nChannels = 2;
    WaveFormat.lSamplesPerSec = 22050;
    WaveFormat.nBitsPerSample = 16;
    WaveFormat.nBlockAlign = static_cast<int16_t>(WaveFormat.nBitsPerSample / 8 * WaveFormat.nChannels);
    WaveFormat.lAvgBytesPerSec = static_cast<int32_t>(WaveFormat.nBlockAlign) * WaveFormat.lSamplesPerSec;
    WaveFormat.nSize = 0;
}

void LoadSampleBuffers() {
    if (!ds) throw SoundError(DSERR_INVALIDCALL, "The sound device has not been started.");
    const int count = LastSample + 1;
    std::vector<std::shared_ptr<DirectSoundBuffer>> fresh;
    fresh.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        DSBUFFERDESC desc = BufferDesc;
        WAVEFORMATEX format = WaveFormat;
        fresh.push_back(ds->CreateSoundBufferFromFile(SampleFile.at(static_cast<size_t>(i)).toStdString(), desc, format));
    }
    SampleBuffer = std::move(fresh);  // the old buffers are released here
}

DirectSoundBuffer* bufferAt(int index) {
    if (index < 0 || static_cast<size_t>(index) >= SampleBuffer.size()) return nullptr;
    return SampleBuffer[static_cast<size_t>(index)].get();
}

void reset() {
    SampleBuffer.clear();
    SampleFile.clear();
    ds.reset();
    dx.reset();
    CaptureGuid = QVariant();
    CaptureDescription = QVariant();
    BufferDesc = DSBUFFERDESC{};
    WaveFormat = WAVEFORMATEX{};
    LastSample = 0;
    KeyBoardFrequency = 0;
    Frequency = 0;
}

}  // namespace zendra::DXMoudule
