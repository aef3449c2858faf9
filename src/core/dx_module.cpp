#include "core/dx_module.h"

#include <QFile>
#include <QWidget>

#include "sound/bank_decoder.h"

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

void LoadSampleBuffers(std::vector<std::shared_ptr<SampleData>> decoded) {
    if (!ds) throw SoundError(DSERR_INVALIDCALL, "The sound device has not been started.");
    const size_t count = static_cast<size_t>(LastSample) + 1;
    if (SampleFile.size() < count) throw SoundError(DSERR_INVALIDCALL, "There are fewer sample files than samples.");
    if (decoded.empty()) {
        std::vector<std::string> paths;
        for (size_t i = 0; i < count; ++i) paths.push_back(QFile::encodeName(SampleFile[i]).toStdString());
        BankDecoder decoder(std::move(paths));
        decoder.wait();
        if (const auto failed = decoder.failures(); !failed.empty()) throw SoundError(DSERR_FILEIO, failed[0].message);
        decoded = decoder.take();
    }
    if (decoded.size() != count)
        throw SoundError(DSERR_INVALIDCALL, "The decoded sound does not match the sample files.");
    std::vector<std::shared_ptr<DirectSoundBuffer>> fresh;
    fresh.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        DSBUFFERDESC desc = BufferDesc;
        WAVEFORMATEX format = WaveFormat;
        try {
            fresh.push_back(ds->CreateSoundBufferFromData(decoded[i], desc, format));
        } catch (const SoundError& e) {
            throw SoundError(e.code(),
                             "Cannot load \"" + QFile::encodeName(SampleFile[i]).toStdString() + "\": " + e.what());
        }
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
