#include "core/dx_module.h"

#include <QFile>
#include <QPointer>
#include <QWidget>

#include "sound/bank_decoder.h"

namespace zendra::DXMoudule {

std::shared_ptr<DirectX7> dx;
std::shared_ptr<DirectSound> ds;
QVariant CaptureGuid;
QVariant CaptureDescription;
DSBUFFERDESC BufferDesc;
WAVEFORMATEX WaveFormat;
int32_t KeyBoardFrequency = 0;

namespace {
std::shared_ptr<SamplePlayer> g_player;
QPointer<model::SampleBank> g_bank;
QPointer<QObject> g_binding;  // the bank's connections to the player

// The player follows the bank: each setting as it changes. Loop acts on a
// playing sound as its box does: one playing once plays on as the box says,
// one looping plays to its end.
void bindPlayer() {
    delete g_binding.data();
    g_binding = new QObject(&Bank());
    QObject::connect(&Bank(), &model::SampleBank::changed, g_binding, [](int i, model::Field f) {
        SamplePlayer* p = g_player.get();
        if (p == nullptr || !p->has(i)) return;
        const model::SampleSlot& s = Bank().slot(i);
        switch (f) {
        case model::Field::Loop: {
            const bool wasLooping = p->looping(i), wasPlaying = p->playing(i);
            p->setLoop(i, s.loop);
            if (wasPlaying) p->playOn(i, wasLooping ? false : s.loop);
            break;
        }
        case model::Field::Gain: p->setGainDb(i, s.gainDb); break;
        case model::Field::Pan: p->setPan(i, s.pan); break;
        case model::Field::Rate: p->setRateHz(i, s.rateHz); break;
        default: break;
        }
    });
    // A new bank's sounds start afresh, but a start loops as the slot says.
    QObject::connect(&Bank(), &model::SampleBank::replaced, g_binding, [] {
        if (SamplePlayer* p = g_player.get())
            for (int i = 0; i < p->count(); ++i) p->setLoop(i, Bank().slot(i).loop);
    });
}
std::function<std::shared_ptr<AudioBackend>()>& backendFactory() {
    static std::function<std::shared_ptr<AudioBackend>()> f;
    return f;
}
}  // namespace

void setBackendFactory(std::function<std::shared_ptr<AudioBackend>()> factory) {
    backendFactory() = std::move(factory);
}

model::SampleBank& Bank() {
    if (!g_bank) {
        g_bank = new model::SampleBank();
        bindPlayer();
    }
    return *g_bank;
}

SamplePlayer* Player() { return g_player.get(); }
std::shared_ptr<SamplePlayer> sharedPlayer() { return g_player; }

DirectX7& DX() {
    if (!dx) {
        auto& f = backendFactory();
        dx = f ? std::make_shared<DirectX7>(f()) : std::make_shared<DirectX7>();
    }
    return *dx;
}

void InitDirectSound(QWidget* mainWindow) {
    ds = DX().DirectSoundCreate("");
    g_player = std::make_shared<SamplePlayer>(ds->engine());
    Bank();
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

void LoadSampleBuffers(const QStringList& files, std::vector<std::shared_ptr<SampleData>> decoded) {
    if (!ds || !g_player) throw SoundError(DSERR_INVALIDCALL, "The sound device has not been started.");
    if (files.isEmpty() || files.size() > model::kSlots)
        throw SoundError(DSERR_INVALIDCALL, "A bank holds one to sixteen samples.");
    if (decoded.empty()) {
        std::vector<std::string> paths;
        for (const QString& f : files) paths.push_back(QFile::encodeName(f).toStdString());
        BankDecoder decoder(std::move(paths));
        decoder.wait();
        if (const auto failed = decoder.failures(); !failed.empty()) throw SoundError(DSERR_FILEIO, failed[0].message);
        decoded = decoder.take();
    }
    if (decoded.size() != static_cast<size_t>(files.size()))
        throw SoundError(DSERR_INVALIDCALL, "The decoded sound does not match the sample files.");
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (!decoded[static_cast<size_t>(i)] || decoded[static_cast<size_t>(i)]->frames() == 0)
            throw SoundError(DSERR_INVALIDPARAM, "Cannot load \"" + QFile::encodeName(files[i]).toStdString() +
                                                     "\": Creating a sound buffer: there is no sound.");
    }
    g_player->load(std::move(decoded));  // the old sounds are released here
    Bank().replace(files);
}

void releaseSound() {
    g_player.reset();
    ds.reset();
    dx.reset();
}

void reset() {
    g_player.reset();
    delete g_bank.data();
    ds.reset();
    dx.reset();
    CaptureGuid = QVariant();
    CaptureDescription = QVariant();
    BufferDesc = DSBUFFERDESC{};
    WaveFormat = WAVEFORMATEX{};
    KeyBoardFrequency = 0;
}

}  // namespace zendra::DXMoudule
