// Values shared by more than one window: the sound objects, the sample bank
// and its player, the records used to create sound buffers, the keyboard's
// base frequency and the chosen capture device.
#pragma once
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "model/sample_bank.h"
#include "sound/direct_sound.h"
#include "sound/sample_player.h"

class QWidget;

namespace zendra::DXMoudule {

extern std::shared_ptr<DirectX7> dx;  // made at first use: see DX()
extern std::shared_ptr<DirectSound> ds;
extern QVariant CaptureGuid;
extern QVariant CaptureDescription;
extern DSBUFFERDESC BufferDesc;
extern WAVEFORMATEX WaveFormat;
extern int32_t KeyBoardFrequency;

// The bank: the loaded files and what the player set for each slot.
model::SampleBank& Bank();
// Plays the bank's sounds; made with ds, null before. Follows the bank's
// settings as they change (see bindPlayer in the source).
SamplePlayer* Player();
std::shared_ptr<SamplePlayer> sharedPlayer();  // for a thread of its own (MIDI)

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

// Which audio system the root object uses (tests install an offline one).
void setBackendFactory(std::function<std::shared_ptr<AudioBackend>()> factory);
// Lets go of the player and the sound objects (the program is ending).
void releaseSound();
// Forgets every shared value (tests).
void reset();

}  // namespace zendra::DXMoudule
