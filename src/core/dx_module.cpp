#include "core/dx_module.h"

#include <QFile>
#include <QWidget>

#include "sound/bank_decoder.h"

namespace zendra {

DXMoudule::DXMoudule(BackendFactory backend) : backend_(std::move(backend)) { bindPlayer(); }

DXMoudule::~DXMoudule() { releaseSound(); }

// The player follows the bank: each setting as it changes. Loop acts on a
// playing sound as its box does: one playing once plays on as the box says,
// one looping plays to its end.
void DXMoudule::bindPlayer() {
    QObject::connect(&bank_, &model::SampleBank::changed, &bank_, [this](int i, model::Field f) {
        SamplePlayer* p = player_.get();
        if (p == nullptr || !p->has(i)) return;
        const model::SampleSlot& s = bank_.slot(i);
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
    QObject::connect(&bank_, &model::SampleBank::replaced, &bank_, [this] {
        if (SamplePlayer* p = player_.get())
            for (int i = 0; i < p->count(); ++i) p->setLoop(i, bank_.slot(i).loop);
    });
}

DirectX7& DXMoudule::DX() {
    if (!dx) dx = backend_ ? std::make_shared<DirectX7>(backend_()) : std::make_shared<DirectX7>();
    return *dx;
}

void DXMoudule::InitDirectSound(QWidget* mainWindow) {
    ds = DX().DirectSoundCreate("");
    player_ = std::make_shared<SamplePlayer>(ds->engine());
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

void DXMoudule::LoadSampleBuffers(const QStringList& files, std::vector<std::shared_ptr<SampleData>> decoded) {
    if (!ds || !player_) throw SoundError(DSERR_INVALIDCALL, "The sound device has not been started.");
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
    player_->load(std::move(decoded));  // the old sounds are released here
    bank_.replace(files);
}

void DXMoudule::releaseSound() {
    player_.reset();
    ds.reset();
    dx.reset();
}

}  // namespace zendra
