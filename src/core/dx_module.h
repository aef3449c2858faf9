// Values shared by more than one window: the sound objects, the sample bank,
// the records used to create sample buffers, the keyboard's base frequency,
// a frequency working value and the chosen capture device.
#pragma once
#include <QString>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "sound/direct_sound.h"

class QWidget;

namespace zendra::DXMoudule {

extern std::shared_ptr<DirectX7> dx;  // made at first use: see DX()
extern std::shared_ptr<DirectSound> ds;
extern QVariant CaptureGuid;
extern QVariant CaptureDescription;
extern std::vector<std::shared_ptr<DirectSoundBuffer>> SampleBuffer;
extern DSBUFFERDESC BufferDesc;
extern WAVEFORMATEX WaveFormat;
extern int16_t LastSample;
extern std::vector<QString> SampleFile;
extern int32_t KeyBoardFrequency;
extern int32_t Frequency;

// The root sound object, created at its first use.
DirectX7& DX();

// Starts the sound device for the main window: creates ds on the default
// device at priority level and fills BufferDesc and WaveFormat. Throws
// SoundError on failure.
void InitDirectSound(QWidget* mainWindow);

// Replaces SampleBuffer with one buffer per SampleFile element 0..LastSample,
// made from `decoded` (the files' sound, already read, in slot order) when
// given, else by reading the files (in parallel, blocking). All-or-nothing: on
// a failure SampleBuffer keeps its previous buffers and the SoundError names
// the file.
void LoadSampleBuffers(std::vector<std::shared_ptr<SampleData>> decoded = {});

// The buffer of slot i, or null when the slot holds none.
DirectSoundBuffer* bufferAt(int index);

// Which audio system the root object uses (tests install an offline one).
void setBackendFactory(std::function<std::shared_ptr<AudioBackend>()> factory);
// Forgets every shared value (tests).
void reset();

}  // namespace zendra::DXMoudule
