#include "kits/start_files.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "kits/drumkit_import.h"
#include "kits/kit_file.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {

bool isKitName(const QString& path) { return path.endsWith(kExtension, Qt::CaseInsensitive); }

QString quoted(const QString& path) { return QStringLiteral("\"%1\"").arg(path); }

// Name order as people count: runs of digits by their value ("kick2"
// before "kick10"), letters with case ignored, the same in every locale.
bool nameBefore(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            auto run = [](const QString& s, qsizetype& at) {
                while (at < s.size() && s[at] == u'0') ++at;
                const qsizetype from = at;
                while (at < s.size() && s[at].isDigit()) ++at;
                return QStringView(s).mid(from, at - from);
            };
            const QStringView x = run(a, i), y = run(b, j);
            if (x.size() != y.size()) return x.size() < y.size();
            if (const int c = x.compare(y); c != 0) return c < 0;
            continue;
        }
        const char32_t x = a[i].toCaseFolded().unicode(), y = b[j].toCaseFolded().unicode();
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a < b;
}

// The sound files in a folder, in name order.
QStringList soundsIn(const QDir& folder) {
    QStringList names;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Readable))
        if (frmLoadSamples::isSoundFileName(name)) names << name;
    std::sort(names.begin(), names.end(), nameBefore);
    QStringList paths;
    for (const QString& name : names) paths << folder.absoluteFilePath(name);
    return paths;
}
}  // namespace

StartFiles sortStartFiles(const QStringList& paths) {
    StartFiles result;
    if (paths.size() == 1 && isKitName(paths[0]) && QFileInfo(paths[0]).isFile()) {
        result.kit = paths[0];
        return result;
    }
    if (paths.size() == 1 && isDrumKitPath(paths[0])) {
        result.drumKit = paths[0];
        return result;
    }
    QStringList sounds;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            result.problems << quoted(path) + QStringLiteral(": no such file or folder.");
        } else if (info.isDir()) {
            const QDir folder(path);
            if (!info.isReadable() || !info.isExecutable()) {
                result.problems << quoted(path) + QStringLiteral(": the folder cannot be read.");
                continue;
            }
            const QStringList found = soundsIn(folder);
            if (found.isEmpty()) result.problems << quoted(path) + QStringLiteral(": the folder holds no sound files.");
            sounds << found;
        } else if (isKitName(path)) {
            result.problems << quoted(path) + QStringLiteral(": a kit opens only when it is named alone.");
        } else if (!frmLoadSamples::isSoundFileName(path) || !info.isFile()) {
            result.problems << quoted(path) + QStringLiteral(": not a sound file.");
        } else if (!info.isReadable()) {
            result.problems << quoted(path) + QStringLiteral(": the file cannot be read.");
        } else {
            sounds << info.absoluteFilePath();
        }
    }
    result.sounds = sounds.mid(0, kMaxSamples);
    if (sounds.size() > kMaxSamples) {
        QStringList left;
        for (const QString& s : sounds.mid(kMaxSamples)) left << quoted(s);
        result.problems << QStringLiteral("The Sample Dock holds sixteen samples; these were left out: %1.")
                               .arg(left.join(QStringLiteral(", ")));
    }
    return result;
}

}  // namespace zendra::kits
