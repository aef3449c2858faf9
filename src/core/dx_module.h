// Values shared by more than one window: the sound objects, the sample bank
// and its player, the records used to create sound buffers, the keyboard's
// base frequency and the chosen capture device. One object, made by the
// program and handed to each window that needs it. Window thread only.
#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "model/sample_bank.h"
#include "sound/direct_sound.h"
#include "sound/sample_player.h"

class QWidget;

namespace zendra {

class DXMoudule {
public:
    // Which audio system the root object uses; the process's own when empty
    // (tests install an offline one).
    using BackendFactory = std::function<std::shared_ptr<AudioBackend>()>;
    explicit DXMoudule(BackendFactory backend = {});
    ~DXMoudule();
    DXMoudule(const DXMoudule&) = delete;
    DXMoudule& operator=(const DXMoudule&) = delete;

    std::shared_ptr<DirectX7> dx;  // made at first use: see DX()
    std::shared_ptr<DirectSound> ds;
    QVariant CaptureGuid;
    QVariant CaptureDescription;
    DSBUFFERDESC BufferDesc;
    WAVEFORMATEX WaveFormat;
    int32_t KeyBoardFrequency = 0;

    // The bank: the loaded files and what the player set for each slot.
    model::SampleBank& Bank() { return bank_; }
    const model::SampleBank& Bank() const { return bank_; }
    // Plays the bank's sounds; made with ds, null before. Follows the bank's
    // settings as they change (see bindPlayer).
    SamplePlayer* Player() const { return player_.get(); }
    std::shared_ptr<SamplePlayer> sharedPlayer() const { return player_; }  // for a thread of its own (MIDI)
    // A slot of the loaded bank that holds a sound.
    bool loaded(int slot) const { return bank_.loaded(slot) && player_ && player_->has(slot); }

    // The root sound object, created at its first use.
    DirectX7& DX();

    // Starts the sound device for the main window: creates ds on the default
    // device at priority level and fills BufferDesc and WaveFormat. Throws
    // SoundError on failure.
    void InitDirectSound(QWidget* mainWindow);

    // Makes `files` the bank: their sound, `decoded` (already read, in slot
    // order) when given, else read here (in parallel, blocking), goes to the
    // player, then the bank takes the files. All-or-nothing: on a failure the
    // bank and the player keep what they had and the SoundError names the file.
    void LoadSampleBuffers(const QStringList& files, std::vector<std::shared_ptr<SampleData>> decoded = {});

    // Makes `wanted` the bank, whole: every slot's sound files (its layers',
    // else its own) go to the player, `decoded` holding them in that order
    // (read here, in parallel, blocking, when empty), then the bank takes
    // the slots. All-or-nothing, as LoadSampleBuffers.
    void LoadSlots(const std::vector<model::SampleSlot>& wanted, std::vector<std::shared_ptr<SampleData>> decoded = {});

    // Lets go of the player and the sound objects (the program is ending).
    void releaseSound();

private:
    void bindPlayer();

    BackendFactory backend_;
    model::SampleBank bank_;
    std::shared_ptr<SamplePlayer> player_;
};

}  // namespace zendra
