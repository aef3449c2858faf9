// The kit file: a whole set-up (the samples' files, their settings and key
// bindings) as versioned JSON. No windows here: reading, writing, checking.
#pragma once
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "model/sample_bank.h"

namespace zendra::kits {

inline constexpr int kFormatVersion = 2;
inline constexpr int kMaxSamples = 16;
inline const QString kExtension = QStringLiteral(".zkit");
inline const QString kDialogFilter = QStringLiteral("Zendra Kits (*.zkit)");

// One slot. Volume and pan are the Sample Properties bars' positions, kept
// for the eye; gainDb and balance are the exact settings (a kit of format 1
// has none: they are the bars' then). Frequency is in Hz, 0 meaning the
// sample's own rate. Format 2 added the name, gainDb, balance, layers,
// defaultLayer, muteGroup, envelope and the frames that play.
struct KitSample {
    QString file;  // absolute in memory, relative to the kit file on disk
    bool loop = true;
    int volume = 0;  // -5..0
    int pan = 0;     // -3..3
    int frequency = 0;
    bool paused = false;
    QString key;  // the bound character, empty for none
    QString name;
    double gainDb = 0.0;               // -100..0
    double balance = 0.0;              // -1..1
    std::vector<model::Layer> layers;  // files as `file`
    int defaultLayer = -1;
    int muteGroup = 0;
    model::Envelope envelope;
    int64_t startFrame = 0;
    int64_t endFrame = -1;
    bool operator==(const KitSample&) const = default;
};

struct Kit {
    std::vector<KitSample> samples;
    QJsonObject midi;  // the MIDI note mapping as its own object; empty when the kit has none
    bool operator==(const Kit&) const = default;
};

struct ReadResult {
    std::optional<Kit> kit;
    QString error;  // what is wrong, when kit is empty
};

// Reads a kit; sample paths come back absolute.
ReadResult readKit(const QString& path);
// The same from the file's bytes, paths resolved against `folder`.
ReadResult parseKit(const QByteArray& bytes, const QString& folder);
// The file's bytes, paths written relative to `folder` (absolute when empty).
QByteArray serializeKit(const Kit& kit, const QString& folder);
// Writes atomically (a temporary file renamed into place); empty on success,
// else why it failed (the old file is then untouched). Paths are relative to
// the kit's folder unless `absolutePaths`.
QString writeKit(const Kit& kit, const QString& path, bool absolutePaths = false);
// The same for a kit's bytes: written to a temporary file, flushed to the
// disk and renamed into place. Any thread.
QString writeWhole(const QByteArray& bytes, const QString& path);

}  // namespace zendra::kits
