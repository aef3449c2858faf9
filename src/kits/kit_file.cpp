#include "kits/kit_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "sound/atomic_file.h"

namespace zendra::kits {

namespace {
const QString kFormatName = QStringLiteral("zendra-kit");

ReadResult fail(const QString& why) { return {std::nullopt, why}; }

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

bool readBool(const QJsonObject& o, const char* name, bool& out) {
    const QJsonValue v = o.value(QLatin1String(name));
    if (v.isUndefined()) return true;
    if (!v.isBool()) return false;
    out = v.toBool();
    return true;
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
                        (key.isUndefined() || (key.isString() && s.key.size() <= 1));
        if (!ok) return fail(QStringLiteral("the settings of sample %1 are damaged.").arg(n));
        s.file = QDir::cleanPath(base.absoluteFilePath(file));
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
