#include "core/dx_module.h"

#include <QFile>
#include <QWidget>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "sound/bank_decoder.h"
#include "sound/output_engine.h"
#include "sound/start_trace.h"

namespace zendra {

namespace {
Envelope envelopeOf(const model::SampleSlot& s) {
    Envelope e;
    e.attackMs = static_cast<float>(s.envelope.attackMs);
    e.decayMs = static_cast<float>(s.envelope.decayMs);
    e.sustain = static_cast<float>(s.envelope.sustain);
    e.releaseMs = static_cast<float>(s.envelope.releaseMs);
    e.releaseOnNoteOff = s.envelope.releaseOnNoteOff;
    return e;
}

std::vector<std::shared_ptr<SampleData>> decodeAll(const QStringList& files) {
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(QFile::encodeName(f).toStdString());
    BankDecoder decoder(std::move(paths));
    decoder.wait();
    if (const auto failed = decoder.failures(); !failed.empty()) throw SoundError(DSERR_FILEIO, failed[0].message);
    return decoder.take();
}
}  // namespace

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
        case model::Field::MuteGroup: p->setMuteGroup(i, s.muteGroup); break;
        case model::Field::Envelope: p->setEnvelope(i, envelopeOf(s)); break;
        case model::Field::Range: p->setRange(i, s.startFrame, s.endFrame); break;
        default: break;
        }
    });
    // A new bank's sounds start afresh, with the designed settings' defaults,
    // but a start loops as the slot says, and plays its range, envelope and
    // mute group.
    QObject::connect(&bank_, &model::SampleBank::replaced, &bank_, [this] {
        SamplePlayer* p = player_.get();
        if (p == nullptr) return;
        for (int i = 0; i < p->count(); ++i) {
            const model::SampleSlot& s = bank_.slot(i);
            p->setLoop(i, s.loop);
            p->setMuteGroup(i, s.muteGroup);
            p->setEnvelope(i, envelopeOf(s));
            p->setRange(i, s.startFrame, s.endFrame);
        }
    });
}

DirectX7& DXMoudule::DX() {
    if (!dx) dx = backend_ ? std::make_shared<DirectX7>(backend_()) : std::make_shared<DirectX7>();
    return *dx;
}

void DXMoudule::InitDirectSound(QWidget* mainWindow) {
    ds = DX().DirectSoundCreate("");
    player_ = std::make_shared<SamplePlayer>(ds->engine());
    if (const char* path = std::getenv("ZENDRA_START_TRACE"); path != nullptr && *path != '\0') {
        // One file a process: PATH.PID. It outlives the audio thread: never freed.
        static StartTrace* trace = new StartTrace(std::string(path) + "." + std::to_string(getpid()));
        ds->engine()->mixer().traceStarts(trace);
    }
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
    if (decoded.empty()) decoded = decodeAll(files);
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

void DXMoudule::LoadSlots(const std::vector<model::SampleSlot>& wanted,
                          std::vector<std::shared_ptr<SampleData>> decoded) {
    if (!ds || !player_) throw SoundError(DSERR_INVALIDCALL, "The sound device has not been started.");
    if (wanted.empty() || wanted.size() > static_cast<size_t>(model::kSlots))
        throw SoundError(DSERR_INVALIDCALL, "A bank holds one to sixteen samples.");
    QStringList files;
    for (const model::SampleSlot& s : wanted) files << s.soundFiles();
    if (decoded.empty()) decoded = decodeAll(files);
    if (decoded.size() != static_cast<size_t>(files.size()))
        throw SoundError(DSERR_INVALIDCALL, "The decoded sound does not match the sample files.");
    std::vector<SamplePlayer::SlotSounds> sounds;
    size_t next = 0;
    for (const model::SampleSlot& s : wanted) {
        SamplePlayer::SlotSounds slot;
        const auto addLayer = [&](int minVelocity, int maxVelocity, double gainDb) {
            const std::shared_ptr<SampleData>& d = decoded[next];
            if (!d || d->frames() == 0)
                throw SoundError(DSERR_INVALIDPARAM,
                                 "Cannot load \"" +
                                     QFile::encodeName(files[static_cast<qsizetype>(next)]).toStdString() +
                                     "\": Creating a sound buffer: there is no sound.");
            slot.layers.push_back({d, minVelocity, maxVelocity, gainDb});
            ++next;
        };
        if (s.layers.empty()) {
            addLayer(1, 127, 0.0);
        } else {
            for (const model::Layer& l : s.layers) addLayer(l.minVelocity, l.maxVelocity, l.gainDb);
            slot.defaultLayer = s.defaultLayer;
        }
        sounds.push_back(std::move(slot));
    }
    player_->load(std::move(sounds));  // the old sounds are released here
    bank_.replaceSlots(wanted);
}

void DXMoudule::releaseSound() {
    player_.reset();
    ds.reset();
    dx.reset();
}

}  // namespace zendra
