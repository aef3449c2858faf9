// Hydrogen drum kits (drumkit.xml, a folder holding one, or a packed
// .h2drumkit archive) read into instruments and velocity layers. No windows
// here. Every function may be called from any thread but the audio callback
// ([any]): they read files, unpack and allocate.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace zendra::kits {

// One sample of an instrument, played for velocities in [minVelocity, maxVelocity].
struct DrumLayer {
    QString file;              // absolute, inside the kit's folder, present when read
    float minVelocity = 0.0f;  // 0..1
    float maxVelocity = 1.0f;  // 0..1, never below minVelocity
    float gain = 1.0f;         // linear, 0..kMaxDrumGain (the component's gain folded in)
    float pitch = 0.0f;        // semitones, -kMaxDrumPitch..kMaxDrumPitch
};

// Attack, decay and release are lengths in sample frames, as Hydrogen keeps
// them (at the rate the sample plays: Hydrogen counts them per rendered frame);
// sustain is the level held after the decay, 0..1.
struct DrumEnvelope {
    double attackFrames = 0.0;
    double decayFrames = 0.0;
    float sustain = 1.0f;
    double releaseFrames = 1000.0;
};

struct DrumInstrument {
    int id = 0;
    QString name;
    float volume = 1.0f;  // linear, 0..kMaxDrumGain
    float pan = 0.0f;     // -1 left .. 0 centre .. 1 right
    float gain = 1.0f;    // linear, 0..kMaxDrumGain
    int muteGroup = -1;   // instruments of one group cut each other off; -1 none
    DrumEnvelope envelope;
    bool filterActive = false;      // Hydrogen's low-pass: read, not played
    std::vector<DrumLayer> layers;  // in file order
    bool hasSound() const { return !layers.empty(); }
};

inline constexpr float kMaxDrumGain = 5.0f;  // the top of Hydrogen's own gain controls
inline constexpr float kMaxDrumPitch = 24.0f;
inline constexpr double kMaxEnvelopeFrames = 48000.0 * 600;  // ten minutes at 48 kHz

struct DrumKitLimits {
    int maxInstruments = 128;  // further ones are left out, said in the summary
    int maxLayers = 64;        // per instrument
    qint64 maxXmlBytes = qint64{16} << 20;
    // A packed kit is refused when it holds more entries, or unpacks to more bytes.
    int maxEntries = 10000;
    qint64 maxUnpackedBytes = qint64{2} << 30;
};

struct ImportedKit {
    bool ok = false;
    QString error;   // when !ok: names the file and why it was refused; nothing else is set then
    QString name;    // the kit's own name (the folder's when the file has none)
    QString folder;  // where the samples are: the kit file's folder
    std::vector<DrumInstrument> instruments;  // in file order
    // What could not be kept, one plain line each ("filter on 3 instruments",
    // "files missing: a.wav, b.wav"); empty when everything was.
    QStringList notKept;
    // A packed kit's private unpacked folder: removed when the last copy of
    // this handle goes, so whoever loads the samples keeps it until they are
    // read. Empty for kits read in place.
    std::shared_ptr<const QTemporaryDir> unpacked;
};

// Reads a kit from a drumkit.xml, a folder holding one, or a .h2drumkit
// archive. An archive is unpacked into a new private folder under
// `unpackParent` (the system's temporary folder when empty); nothing is
// written anywhere else.
ImportedKit importDrumKit(const QString& path, const DrumKitLimits& limits = {}, const QString& unpackParent = {});

// Makes a packed kit's unpacked folder last: moved to `<parent>/<kit name>-<n>`
// (n the first number free; `parent` on the same disk as the unpacked folder)
// and no longer removed with the handle, the kit's folder and files pointing
// there. Returns the kept folder; empty for a kit read in place (left as it
// is) or when the folder cannot be moved (the kit unchanged, `error` says why).
QString keepUnpacked(ImportedKit& kit, const QString& parent, QString& error);

// The same from drumkit.xml's bytes; `shownName` is the file named in
// messages, samples are looked up (never opened) in `kitFolder`.
ImportedKit parseDrumKit(const QByteArray& xml, const QString& kitFolder, const QString& shownName,
                         const DrumKitLimits& limits = {});

// A drumkit.xml, a .h2drumkit, or a folder holding a drumkit.xml.
bool isDrumKitPath(const QString& path);

// Hydrogen's older two-channel pan (each side's level, 0..1, both 1 at the
// centre) as one position in -1..1.
float panFromSides(float left, float right);

}  // namespace zendra::kits
