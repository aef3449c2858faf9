#include "kits/kit_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "model/slot_units.h"
#include "sound/atomic_file.h"

namespace zendra::kits {

namespace {
const QString kFormatName = QStringLiteral("zendra-kit");

ReadResult fail(const QString& why) { return {std::nullopt, why}; }

// A sample's path as the kit names it, against the kit's folder. A name
// beginning with ':' is a file of that name, not one of Qt's resources.
QString resolve(const QDir& base, const QString& file) {
    return QDir::cleanPath(file.startsWith(QLatin1Char(':')) ? base.filePath(QStringLiteral("./") + file)
                                                             : base.absoluteFilePath(file));
}

// An optional whole number within [lo, hi]; false when present but not one.
bool readInt(const QJsonObject& o, const char* name, int lo, int hi, int& out) {
    const QJsonValue v = o.value(QLatin1String(name));
    if (v.isUndefined()) return true;
    if (!v.isDouble()) return false;
    const double d = v.toDouble();
    if (d < lo || d > hi || d != std::floor(d)) return false;
    out = static_cast<int>(d);
    return true;
}

// An optional number within [lo, hi]; `whole`: a whole number.
template <typename T>
bool readNumber(const QJsonObject& o, const char* name, double lo, double hi, T& out, bool whole = false) {
    const QJsonValue v = o.value(QLatin1String(name));
    if (v.isUndefined()) return true;
    if (!v.isDouble()) return false;
    const double d = v.toDouble();
    if (!(d >= lo && d <= hi) || (whole && d != std::floor(d))) return false;
    out = static_cast<T>(d);
    return true;
}

bool readBool(const QJsonObject& o, const char* name, bool& out) {
    const QJsonValue v = o.value(QLatin1String(name));
    if (v.isUndefined()) return true;
    if (!v.isBool()) return false;
    out = v.toBool();
    return true;
}
constexpr double kMaxEnvelopeMs = 600000.0;  // ten minutes
constexpr double kMaxLayerGainDb = 20.0;
constexpr double kMaxFrame = 9007199254740992.0;  // 2^53: exact in JSON

bool readEnvelope(const QJsonObject& o, model::Envelope& e) {
    const QJsonValue v = o.value(QStringLiteral("envelope"));
    if (v.isUndefined()) return true;
    if (!v.isObject()) return false;
    const QJsonObject env = v.toObject();
    return readNumber(env, "attackMs", 0, kMaxEnvelopeMs, e.attackMs) &&
           readNumber(env, "decayMs", 0, kMaxEnvelopeMs, e.decayMs) && readNumber(env, "sustain", 0, 1, e.sustain) &&
           readNumber(env, "releaseMs", 0, kMaxEnvelopeMs, e.releaseMs) &&
           readBool(env, "releaseOnNoteOff", e.releaseOnNoteOff);
}

bool readLayers(const QJsonObject& o, const QDir& base, std::vector<model::Layer>& layers) {
    const QJsonValue v = o.value(QStringLiteral("layers"));
    if (v.isUndefined()) return true;
    if (!v.isArray() || v.toArray().size() > model::kMaxLayers) return false;
    for (const QJsonValue& entry : v.toArray()) {
        const QJsonObject l = entry.toObject();
        model::Layer layer;
        const QString file = l.value(QStringLiteral("file")).toString();
        if (!entry.isObject() || file.isEmpty() || !readNumber(l, "minVelocity", 1, 127, layer.minVelocity, true) ||
            !readNumber(l, "maxVelocity", 1, 127, layer.maxVelocity, true) || layer.minVelocity > layer.maxVelocity ||
            !readNumber(l, "gainDb", -100, kMaxLayerGainDb, layer.gainDb))
            return false;
        layer.file = resolve(base, file);
        layers.push_back(layer);
    }
    return true;
}

// The settings format 2 added; a kit of format 1 takes the bars' gain and pan.
bool readExact(const QJsonObject& o, const QDir& base, KitSample& s) {
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (!name.isUndefined() && (!name.isString() || name.toString().size() > 256)) return false;
    s.name = name.toString();
    s.gainDb = model::gainDbOfVolumeBar(s.volume);
    s.balance = model::panOfBar(s.pan);
    if (!readNumber(o, "gainDb", -100, 0, s.gainDb) || !readNumber(o, "balance", -1, 1, s.balance) ||
        !readLayers(o, base, s.layers) || !readNumber(o, "muteGroup", 0, model::kMuteGroups, s.muteGroup, true) ||
        !readEnvelope(o, s.envelope) || !readNumber(o, "startFrame", 0, kMaxFrame, s.startFrame, true) ||
        !readNumber(o, "endFrame", -1, kMaxFrame, s.endFrame, true))
        return false;
    if (s.endFrame >= 0 && s.endFrame <= s.startFrame) return false;
    return readNumber(o, "defaultLayer", -1, static_cast<double>(s.layers.size()) - 1, s.defaultLayer, true);
}
}  // namespace

ReadResult parseKit(const QByteArray& bytes, const QString& folder) {
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &err);
    if (err.error != QJsonParseError::NoError)
        return fail(
            QStringLiteral("it is damaged or cut short (%1 at byte %2).").arg(err.errorString()).arg(err.offset));
    const QJsonObject root = doc.object();
    if (!doc.isObject() || root.value(QStringLiteral("format")).toString() != kFormatName)
        return fail(QStringLiteral("it is not a Zendra kit."));
    const QJsonValue version = root.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() < 1)
        return fail(QStringLiteral("its format version is missing or wrong."));
    if (version.toDouble() > kFormatVersion)
        return fail(QStringLiteral("it was written by a newer Zendra (kit format %1; this one reads up to %2).")
                        .arg(version.toDouble())
                        .arg(kFormatVersion));
    const QJsonValue list = root.value(QStringLiteral("samples"));
    if (!list.isArray() || list.toArray().isEmpty() || list.toArray().size() > kMaxSamples)
        return fail(QStringLiteral("it must list from 1 to %1 samples.").arg(kMaxSamples));
    Kit kit;
    const QDir base(folder);
    for (const QJsonValue& entry : list.toArray()) {
        const int n = static_cast<int>(kit.samples.size()) + 1;
        const QJsonObject o = entry.toObject();
        KitSample s;
        const QString file = o.value(QStringLiteral("file")).toString();
        const QJsonValue key = o.value(QStringLiteral("key"));
        s.key = key.toString();
        const bool ok = entry.isObject() && !file.isEmpty() && readBool(o, "loop", s.loop) &&
                        readInt(o, "volume", -5, 0, s.volume) && readInt(o, "pan", -3, 3, s.pan) &&
                        readInt(o, "frequency", 0, 1000000, s.frequency) && readBool(o, "paused", s.paused) &&
                        (key.isUndefined() || (key.isString() && s.key.size() <= 1)) && readExact(o, base, s);
        if (!ok) return fail(QStringLiteral("the settings of sample %1 are damaged.").arg(n));
        s.file = resolve(base, file);
        kit.samples.push_back(s);
    }
    kit.midi = root.value(QStringLiteral("midi")).toObject();
    return {kit, QString()};
}

ReadResult readKit(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return fail(f.errorString() + QStringLiteral("."));
    // A kit is a few kilobytes; anything far larger is not one.
    if (f.size() > 1 << 20) return fail(QStringLiteral("it is not a Zendra kit."));
    return parseKit(f.readAll(), QFileInfo(path).absolutePath());
}

QByteArray serializeKit(const Kit& kit, const QString& folder) {
    const QDir base(folder);
    QJsonArray samples;
    for (const KitSample& s : kit.samples) {
        QJsonObject o{{QStringLiteral("file"), folder.isEmpty() ? s.file : base.relativeFilePath(s.file)},
                      {QStringLiteral("loop"), s.loop},
                      {QStringLiteral("volume"), s.volume},
                      {QStringLiteral("pan"), s.pan},
                      {QStringLiteral("paused"), s.paused},
                      {QStringLiteral("key"), s.key}};
        if (s.frequency > 0) o.insert(QStringLiteral("frequency"), s.frequency);
        if (!s.name.isEmpty()) o.insert(QStringLiteral("name"), s.name);
        o.insert(QStringLiteral("gainDb"), s.gainDb);
        o.insert(QStringLiteral("balance"), s.balance);
        if (!s.layers.empty()) {
            QJsonArray layers;
            for (const model::Layer& l : s.layers) {
                layers.append(
                    QJsonObject{{QStringLiteral("file"), folder.isEmpty() ? l.file : base.relativeFilePath(l.file)},
                                {QStringLiteral("minVelocity"), l.minVelocity},
                                {QStringLiteral("maxVelocity"), l.maxVelocity},
                                {QStringLiteral("gainDb"), l.gainDb}});
            }
            o.insert(QStringLiteral("layers"), layers);
        }
        if (s.defaultLayer >= 0) o.insert(QStringLiteral("defaultLayer"), s.defaultLayer);
        if (s.muteGroup != 0) o.insert(QStringLiteral("muteGroup"), s.muteGroup);
        if (s.envelope.shapes()) {
            o.insert(QStringLiteral("envelope"),
                     QJsonObject{{QStringLiteral("attackMs"), s.envelope.attackMs},
                                 {QStringLiteral("decayMs"), s.envelope.decayMs},
                                 {QStringLiteral("sustain"), s.envelope.sustain},
                                 {QStringLiteral("releaseMs"), s.envelope.releaseMs},
                                 {QStringLiteral("releaseOnNoteOff"), s.envelope.releaseOnNoteOff}});
        }
        if (s.startFrame != 0) o.insert(QStringLiteral("startFrame"), static_cast<double>(s.startFrame));
        if (s.endFrame >= 0) o.insert(QStringLiteral("endFrame"), static_cast<double>(s.endFrame));
        samples.append(o);
    }
    QJsonObject root{{QStringLiteral("format"), kFormatName},
                     {QStringLiteral("version"), kFormatVersion},
                     {QStringLiteral("samples"), samples}};
    if (!kit.midi.isEmpty()) root.insert(QStringLiteral("midi"), kit.midi);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QString writeKit(const Kit& kit, const QString& path, bool absolutePaths) {
    return writeWhole(serializeKit(kit, absolutePaths ? QString() : QFileInfo(path).absolutePath()), path);
}

QString writeWhole(const QByteArray& bytes, const QString& path) {
    AtomicFile f(QFile::encodeName(path).toStdString());
    if (f.open() && f.write(bytes.constData(), static_cast<size_t>(bytes.size())) && f.commit()) return QString();
    return QStringLiteral("Cannot write \"%1\": %2.").arg(path, QString::fromStdString(f.error()));
}

}  // namespace zendra::kits
