#include "kits/drumkit_import.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cmath>

namespace zendra::kits {

namespace {

const QString kKitFileName = QStringLiteral("drumkit.xml");
constexpr int kNamesShown = 5;  // per line of the summary

ImportedKit refuse(const QString& file, const QString& why) {
    ImportedKit k;
    k.error = QStringLiteral("%1: %2").arg(file, why);
    return k;
}

// "a, b, c and 4 more", each name once.
QString someNames(QStringList names) {
    names.removeDuplicates();
    const QStringList shown = names.mid(0, kNamesShown);
    QString s = shown.join(QStringLiteral(", "));
    if (names.size() > kNamesShown) s += QStringLiteral(" and %1 more").arg(names.size() - kNamesShown);
    return s;
}

QString plural(qsizetype n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// What the reading met on the way, turned into the summary at the end.
struct Notes {
    int filters = 0;
    int randomPitch = 0;
    int extraComponents = 0;
    int layersLeftOut = 0;
    int firstLeftOut = 0, lastLeftOut = 0;  // instruments past the cap, 1-based positions
    QStringList missing, outside, swapped, clamped, silent;

    QStringList lines() const {
        QStringList out;
        if (lastLeftOut > 0) {
            out << (firstLeftOut == lastLeftOut
                        ? QStringLiteral("instrument %1 left out (too many instruments)").arg(firstLeftOut)
                        : QStringLiteral("instruments %1 to %2 left out (too many instruments)")
                              .arg(firstLeftOut)
                              .arg(lastLeftOut));
        }
        if (layersLeftOut > 0)
            out << QStringLiteral("%1 left out (too many on one instrument)")
                       .arg(plural(layersLeftOut, "layer", "layers"));
        if (!missing.isEmpty()) out << QStringLiteral("files missing: ") + someNames(missing);
        if (!outside.isEmpty()) out << QStringLiteral("outside the kit: ") + someNames(outside);
        if (!silent.isEmpty()) out << QStringLiteral("no sound: ") + someNames(silent);
        if (filters > 0) out << QStringLiteral("filter on ") + plural(filters, "instrument", "instruments");
        if (randomPitch > 0)
            out << QStringLiteral("random pitch on ") + plural(randomPitch, "instrument", "instruments");
        if (extraComponents > 0)
            out << QStringLiteral("only the first sound component kept on ") +
                       plural(extraComponents, "instrument", "instruments");
        if (!swapped.isEmpty()) out << QStringLiteral("velocity range reversed (swapped): ") + someNames(swapped);
        if (!clamped.isEmpty()) out << QStringLiteral("values out of range (set within range): ") + someNames(clamped);
        return out;
    }
};

struct Reader {
    QXmlStreamReader& xml;
    const DrumKitLimits& limits;
    QString folder;     // the kit file's folder, as given (absolute)
    QString canonical;  // the same with links resolved; empty when it does not exist
    Notes notes;

    // A number within [lo, hi]; `fallback` when unreadable or not finite.
    double number(double fallback, double lo, double hi, const QString& what) {
        bool ok = false;
        const double v = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            notes.clamped << what;
            return fallback;
        }
        if (v < lo || v > hi) {
            notes.clamped << what;
            return std::clamp(v, lo, hi);
        }
        return v;
    }

    bool flag() {
        return xml.readElementText(QXmlStreamReader::SkipChildElements)
                   .trimmed()
                   .compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
    }

    // The sample's absolute path when it is a file inside the kit's folder;
    // else noted as missing or outside and empty.
    QString sample(const QString& name) {
        if (name.isEmpty()) return {};
        const QString path = QDir::cleanPath(QDir(folder).absoluteFilePath(name));
        if (!path.startsWith(QDir::cleanPath(folder) + QLatin1Char('/'))) {
            notes.outside << name;
            return {};
        }
        const QFileInfo info(path);
        if (!info.exists() || canonical.isEmpty()) {
            notes.missing << name;
            return {};
        }
        if (!info.canonicalFilePath().startsWith(canonical + QLatin1Char('/'))) {
            notes.outside << name;
            return {};
        }
        if (!info.isFile()) {
            notes.missing << name;
            return {};
        }
        return path;
    }

    // <layer>: one file over a velocity range.
    void layer(std::vector<DrumLayer>& layers, const QString& instrument) {
        DrumLayer l;
        QString file;
        while (xml.readNextStartElement()) {
            const auto tag = xml.name();
            if (tag == u"filename")
                file = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            else if (tag == u"min") {
                l.minVelocity = float(number(0.0, 0.0, 1.0, QStringLiteral("velocity of ") + instrument));
            } else if (tag == u"max") {
                l.maxVelocity = float(number(1.0, 0.0, 1.0, QStringLiteral("velocity of ") + instrument));
            } else if (tag == u"gain")
                l.gain = float(number(1.0, 0.0, kMaxDrumGain, QStringLiteral("gain of ") + file));
            else if (tag == u"pitch")
                l.pitch = float(number(0.0, -kMaxDrumPitch, kMaxDrumPitch, QStringLiteral("pitch of ") + file));
            else
                xml.skipCurrentElement();
        }
        if (l.minVelocity > l.maxVelocity) {
            std::swap(l.minVelocity, l.maxVelocity);
            notes.swapped << (file.isEmpty() ? instrument : file);
        }
        l.file = sample(file);
        if (l.file.isEmpty()) return;
        if (int(layers.size()) >= limits.maxLayers) {
            ++notes.layersLeftOut;
            return;
        }
        layers.push_back(std::move(l));
    }

    // <instrumentComponent>: its layers, its gain folded into theirs.
    std::vector<DrumLayer> component(const QString& instrument) {
        std::vector<DrumLayer> layers;
        double gain = 1.0;
        while (xml.readNextStartElement()) {
            if (xml.name() == u"layer")
                layer(layers, instrument);
            else if (xml.name() == u"gain")
                gain = number(1.0, 0.0, kMaxDrumGain, QStringLiteral("gain of ") + instrument);
            else
                xml.skipCurrentElement();
        }
        for (DrumLayer& l : layers) l.gain = float(std::min<double>(l.gain * gain, kMaxDrumGain));
        return layers;
    }

    DrumInstrument instrument(int position) {
        DrumInstrument in;
        in.id = position - 1;
        in.name = QStringLiteral("instrument %1").arg(position);
        std::vector<DrumLayer> flat;  // layers straight on the instrument (older kits)
        std::vector<DrumLayer> firstComponent;
        int components = 0;
        double panL = 1.0, panR = 1.0, pan = 0.0;
        bool hasPan = false;
        const QString what = QStringLiteral("instrument %1").arg(position);
        while (xml.readNextStartElement()) {
            const auto tag = xml.name();
            if (tag == u"id")
                in.id = int(number(position - 1, 0, 1e9, QStringLiteral("id of ") + what));
            else if (tag == u"name") {
                const QString n = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                if (!n.isEmpty()) in.name = n.left(200);
            } else if (tag == u"volume")
                in.volume = float(number(1.0, 0.0, kMaxDrumGain, QStringLiteral("volume of ") + what));
            else if (tag == u"gain")
                in.gain = float(number(1.0, 0.0, kMaxDrumGain, QStringLiteral("gain of ") + what));
            else if (tag == u"pan") {
                pan = number(0.0, -1.0, 1.0, QStringLiteral("pan of ") + what);
                hasPan = true;
            } else if (tag == u"pan_L")
                panL = number(1.0, 0.0, 1.0, QStringLiteral("pan of ") + what);
            else if (tag == u"pan_R")
                panR = number(1.0, 0.0, 1.0, QStringLiteral("pan of ") + what);
            else if (tag == u"muteGroup")
                in.muteGroup = int(number(-1, -1, 1e6, QStringLiteral("mute group of ") + what));
            else if (tag == u"Attack")
                in.envelope.attackFrames = number(0.0, 0.0, kMaxEnvelopeFrames, QStringLiteral("attack of ") + what);
            else if (tag == u"Decay")
                in.envelope.decayFrames = number(0.0, 0.0, kMaxEnvelopeFrames, QStringLiteral("decay of ") + what);
            else if (tag == u"Sustain")
                in.envelope.sustain = float(number(1.0, 0.0, 1.0, QStringLiteral("sustain of ") + what));
            else if (tag == u"Release")
                in.envelope.releaseFrames =
                    number(1000.0, 0.0, kMaxEnvelopeFrames, QStringLiteral("release of ") + what);
            else if (tag == u"filterActive")
                in.filterActive = flag();
            else if (tag == u"randomPitchFactor") {
                if (number(0.0, 0.0, 1e6, QStringLiteral("random pitch of ") + what) > 0.0) ++notes.randomPitch;
            } else if (tag == u"filename") {
                const QString file = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                DrumLayer l;
                l.file = sample(file);
                if (!l.file.isEmpty()) flat.push_back(std::move(l));
            } else if (tag == u"layer")
                layer(flat, what);
            else if (tag == u"instrumentComponent") {
                std::vector<DrumLayer> layers = component(what);
                if (layers.empty()) continue;
                if (components++ == 0) firstComponent = std::move(layers);
            } else
                xml.skipCurrentElement();
        }
        in.pan = hasPan ? float(pan) : panFromSides(float(panL), float(panR));
        in.layers = !firstComponent.empty() ? std::move(firstComponent) : std::move(flat);
        if (components > 1) ++notes.extraComponents;
        if (in.filterActive) ++notes.filters;
        if (!in.hasSound()) notes.silent << in.name;
        return in;
    }

    // <instrumentList>
    void instruments(std::vector<DrumInstrument>& out) {
        int position = 0;
        while (xml.readNextStartElement()) {
            if (xml.name() != u"instrument") {
                xml.skipCurrentElement();
                continue;
            }
            ++position;
            if (position > limits.maxInstruments) {
                if (notes.firstLeftOut == 0) notes.firstLeftOut = position;
                notes.lastLeftOut = position;
                xml.skipCurrentElement();
                continue;
            }
            out.push_back(instrument(position));
        }
    }
};

// libarchive handles, freed on every way out.
struct ReadArchive {
    archive* a = archive_read_new();
    ~ReadArchive() { archive_read_free(a); }
};
struct DiskWriter {
    archive* a = archive_write_disk_new();
    ~DiskWriter() { archive_write_free(a); }
};

struct Unpacked {
    std::shared_ptr<QTemporaryDir> dir;
    QString kitFile;  // the drumkit.xml found inside
    QString error;
    QStringList skipped;  // links and special files left out
};

QString archiveError(archive* a) {
    const char* e = archive_error_string(a);
    return e ? QString::fromLocal8Bit(e) : QStringLiteral("unknown error");
}

// The entry's path made safe, relative to the unpacking folder; empty with
// `why` set when it must not be unpacked at all.
QString safeEntryPath(const QString& name, QString& why) {
    if (name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1Char('\\'))) {
        why = QStringLiteral("an absolute path inside (%1)").arg(name);
        return {};
    }
    QStringList parts;
    for (const QString& p : name.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (p == QLatin1String("..")) {
            why = QStringLiteral("a path leading out of it (%1)").arg(name);
            return {};
        }
        if (p != QLatin1String(".")) parts << p;
    }
    return parts.join(QLatin1Char('/'));
}

Unpacked unpack(const QString& path, const DrumKitLimits& limits, const QString& parent) {
    Unpacked u;
    const QString base = parent.isEmpty() ? QDir::tempPath() : parent;
    u.dir = std::make_shared<QTemporaryDir>(QDir(base).filePath(QStringLiteral("zendra-kit-XXXXXX")));
    if (!u.dir->isValid()) {
        u.error = QStringLiteral("no private folder to unpack into (%1)").arg(u.dir->errorString());
        return u;
    }
    const QString root = QDir(u.dir->path()).canonicalPath();
    auto fail = [&u](const QString& why) {
        u.error = why;
        u.dir.reset();  // removes what was unpacked
        return std::move(u);
    };

    ReadArchive in;
    archive_read_support_filter_all(in.a);
    archive_read_support_format_tar(in.a);
    if (archive_read_open_filename(in.a, QFile::encodeName(path).constData(), 64 * 1024) != ARCHIVE_OK)
        return fail(QStringLiteral("not a packed drum kit (%1)").arg(archiveError(in.a)));
    DiskWriter out;
    // Our own checks come first; these make libarchive refuse ".." and links
    // in the paths it writes too. Entry names are never absolute by then, and
    // the folder is written to by its absolute path, so absolute paths are
    // refused by our check alone.
    archive_write_disk_set_options(out.a, ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_SYMLINKS);

    qint64 total = 0;
    int entries = 0;
    archive_entry* entry = nullptr;
    for (;;) {
        const int r = archive_read_next_header(in.a, &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN) return fail(QStringLiteral("not a packed drum kit (%1)").arg(archiveError(in.a)));
        if (++entries > limits.maxEntries)
            return fail(QStringLiteral("more than %1 files inside, not unpacked").arg(limits.maxEntries));
        const char* raw = archive_entry_pathname(entry);
        if (raw == nullptr) return fail(QStringLiteral("an entry without a name inside"));
        const QString name = QFile::decodeName(raw);
        QString why;
        const QString rel = safeEntryPath(name, why);
        if (!why.isEmpty()) return fail(QStringLiteral("not unpacked: ") + why);
        const auto type = archive_entry_filetype(entry);
        if (archive_entry_hardlink(entry) != nullptr || (type != AE_IFREG && type != AE_IFDIR)) {
            u.skipped << name;
            continue;  // the reader skips the entry's data
        }
        if (rel.isEmpty()) continue;
        const qint64 claimed = archive_entry_size_is_set(entry) ? qint64(archive_entry_size(entry)) : 0;
        if (claimed < 0 || claimed > limits.maxUnpackedBytes - total)
            return fail(QStringLiteral("unpacks to more than %1 bytes, not unpacked").arg(limits.maxUnpackedBytes));
        archive_entry_set_pathname(entry, QFile::encodeName(root + QLatin1Char('/') + rel).constData());
        archive_entry_set_perm(entry, type == AE_IFDIR ? 0700 : 0600);
        if (archive_write_header(out.a, entry) != ARCHIVE_OK)
            return fail(QStringLiteral("%1 could not be unpacked (%2)").arg(name, archiveError(out.a)));
        qint64 size = 0;
        while (type == AE_IFREG) {
            const void* block = nullptr;
            size_t length = 0;
            la_int64_t offset = 0;
            const int d = archive_read_data_block(in.a, &block, &length, &offset);
            if (d == ARCHIVE_EOF) break;
            if (d < ARCHIVE_WARN) return fail(QStringLiteral("damaged (%1)").arg(archiveError(in.a)));
            if (offset < 0 || qint64(length) > limits.maxUnpackedBytes ||
                offset > limits.maxUnpackedBytes - total - qint64(length))
                return fail(QStringLiteral("unpacks to more than %1 bytes, not unpacked").arg(limits.maxUnpackedBytes));
            size = std::max(size, qint64(offset) + qint64(length));
            if (archive_write_data_block(out.a, block, length, offset) < ARCHIVE_WARN)
                return fail(QStringLiteral("%1 could not be unpacked (%2)").arg(name, archiveError(out.a)));
        }
        total += size;
        if (archive_write_finish_entry(out.a) < ARCHIVE_WARN)
            return fail(QStringLiteral("%1 could not be unpacked (%2)").arg(name, archiveError(out.a)));
    }
    if (archive_write_close(out.a) < ARCHIVE_WARN)
        return fail(QStringLiteral("could not be unpacked (%1)").arg(archiveError(out.a)));

    // Hydrogen packs a kit as one folder holding drumkit.xml; a bare one is taken too.
    if (QFileInfo(QDir(root).filePath(kKitFileName)).isFile()) {
        u.kitFile = QDir(root).filePath(kKitFileName);
    } else {
        for (const QString& sub : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            const QString f = QDir(root).filePath(sub + QLatin1Char('/') + kKitFileName);
            if (QFileInfo(f).isFile()) {
                u.kitFile = f;
                break;
            }
        }
    }
    if (u.kitFile.isEmpty()) return fail(QStringLiteral("no drumkit.xml inside"));
    return u;
}

// Compressed or tar bytes at the start of the file.
bool looksPacked(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(512);
    return head.startsWith("\x1f\x8b") || head.startsWith("BZh") || head.startsWith("\xfd\x37\x7a\x58\x5a\x00") ||
           head.startsWith("\x28\xb5\x2f\xfd") || head.mid(257, 5) == "ustar";
}

ImportedKit readKitFile(const QString& file, const QString& shown, const DrumKitLimits& limits) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return refuse(shown, QStringLiteral("cannot be read (%1)").arg(f.errorString()));
    if (f.size() > limits.maxXmlBytes) return refuse(shown, QStringLiteral("too large for a drum kit file"));
    const QByteArray bytes = f.read(limits.maxXmlBytes + 1);
    if (bytes.size() > limits.maxXmlBytes) return refuse(shown, QStringLiteral("too large for a drum kit file"));
    return parseDrumKit(bytes, QFileInfo(file).absolutePath(), shown, limits);
}

}  // namespace

float panFromSides(float left, float right) {
    if (!(left >= 0.0f) || !(right >= 0.0f) || (left == 0.0f && right == 0.0f)) return 0.0f;
    const float pan = left >= right ? right / left - 1.0f : 1.0f - left / right;
    return std::clamp(pan, -1.0f, 1.0f);
}

ImportedKit parseDrumKit(const QByteArray& bytes, const QString& kitFolder, const QString& shownName,
                         const DrumKitLimits& limits) {
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement())
        return refuse(
            shownName,
            QStringLiteral("not an XML file (%1)").arg(xml.hasError() ? xml.errorString() : QStringLiteral("empty")));
    if (xml.name() != u"drumkit_info") return refuse(shownName, QStringLiteral("not a Hydrogen drum kit"));

    ImportedKit kit;
    Reader reader{xml, limits, QFileInfo(kitFolder).absoluteFilePath(), QFileInfo(kitFolder).canonicalFilePath(), {}};
    kit.folder = reader.folder;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"name")
            kit.name = xml.readElementText(QXmlStreamReader::SkipChildElements).trimmed().left(200);
        else if (xml.name() == u"instrumentList")
            reader.instruments(kit.instruments);
        else
            xml.skipCurrentElement();
    }
    if (xml.hasError()) {
        return refuse(
            shownName,
            QStringLiteral("not a readable XML file (line %1: %2)").arg(xml.lineNumber()).arg(xml.errorString()));
    }
    if (kit.instruments.empty()) return refuse(shownName, QStringLiteral("holds no instruments"));
    if (kit.name.isEmpty()) kit.name = QFileInfo(kitFolder).fileName();
    kit.notKept = reader.notes.lines();
    kit.ok = true;
    return kit;
}

ImportedKit importDrumKit(const QString& path, const DrumKitLimits& limits, const QString& unpackParent) {
    const QFileInfo info(path);
    const QString shown = info.fileName().isEmpty() ? path : info.fileName();
    if (!info.exists()) return refuse(shown, QStringLiteral("not found"));
    if (info.isDir()) {
        const QString file = QDir(path).filePath(kKitFileName);
        if (!QFileInfo(file).isFile()) return refuse(shown, QStringLiteral("holds no drumkit.xml"));
        return readKitFile(file, shown + QLatin1Char('/') + kKitFileName, limits);
    }
    if (info.suffix().compare(QLatin1String("h2drumkit"), Qt::CaseInsensitive) != 0 && !looksPacked(path))
        return readKitFile(path, shown, limits);

    Unpacked u = unpack(path, limits, unpackParent);
    if (!u.error.isEmpty()) return refuse(shown, u.error);
    ImportedKit kit = readKitFile(u.kitFile, shown, limits);
    if (!kit.ok) return kit;
    if (!u.skipped.isEmpty())
        kit.notKept << QStringLiteral("links and special files in the packed kit left out: ") + someNames(u.skipped);
    kit.unpacked = std::move(u.dir);
    return kit;
}

QString keepUnpacked(ImportedKit& kit, const QString& parent, QString& error) {
    if (!kit.unpacked) return {};
    QString name;
    for (const QChar c : kit.name.left(64))
        name += c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_' ? c : QChar(u'_');
    name = name.trimmed();
    if (name.isEmpty()) name = QStringLiteral("kit");
    if (!QDir().mkpath(parent)) {
        error = QStringLiteral("the folder \"%1\" cannot be made").arg(parent);
        return {};
    }
    QString to;
    for (int n = 1;; ++n) {
        to = QDir(parent).filePath(QStringLiteral("%1-%2").arg(name).arg(n));
        if (!QFileInfo::exists(to)) break;
    }
    const QString given = QDir::cleanPath(kit.unpacked->path());
    const QString canonical = QDir(given).canonicalPath();
    if (!QDir().rename(given, to)) {
        error = QStringLiteral("the unpacked kit cannot be moved to \"%1\"").arg(to);
        return {};
    }
    const QString kept = QDir(to).canonicalPath();
    auto repoint = [&](QString& path) {
        for (const QString& from : {given, canonical}) {
            if (!from.isEmpty() && (path == from || path.startsWith(from + QLatin1Char('/')))) {
                path = kept + path.mid(from.size());
                return;
            }
        }
    };
    repoint(kit.folder);
    for (DrumInstrument& in : kit.instruments)
        for (DrumLayer& l : in.layers) repoint(l.file);
    kit.unpacked.reset();  // its folder has moved: nothing is left to remove
    return kept;
}

bool isDrumKitPath(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return QFileInfo(QDir(path).filePath(kKitFileName)).isFile();
    return info.fileName().compare(kKitFileName, Qt::CaseInsensitive) == 0 ||
           info.suffix().compare(QLatin1String("h2drumkit"), Qt::CaseInsensitive) == 0;
}

}  // namespace zendra::kits
