#include "core/settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

namespace zendra::settings {

namespace {
bool g_remembering = false;
bool g_chosen = true;  // the player's switch
const QString kChosenKey = QStringLiteral("general/remember");

QString settingsFile() { return configFolder() + QStringLiteral("/zendra.conf"); }

// Earlier versions kept the MIDI settings in Qt's default file for the
// program, beside this one. Its values are copied where this file has none,
// then it is removed, so that it is read once only.
void takeOverEarlierFile() {
    const QString earlier = configFolder() + QStringLiteral("/Zendra.conf");
    if (!QFile::exists(earlier)) return;
    const QSettings from(earlier, QSettings::IniFormat);
    QSettings to(settingsFile(), QSettings::IniFormat);
    for (const QString& key : from.allKeys()) {
        const QVariant v = from.value(key);
        if (!to.contains(key) && v.canConvert<QString>()) to.setValue(key, v.toString());
    }
    to.sync();
    if (to.status() == QSettings::NoError) QFile::remove(earlier);
}
}  // namespace

bool remembering() { return g_remembering && g_chosen; }

void setRemembering(bool on) {
    g_remembering = on;
    g_chosen = !on || QSettings(settingsFile(), QSettings::IniFormat).value(kChosenKey, true).toBool();
    if (remembering()) takeOverEarlierFile();
}

bool keepingChosen() { return g_chosen; }

void chooseKeeping(bool on) {
    g_chosen = on;
    if (!g_remembering) return;
    QSettings s(settingsFile(), QSettings::IniFormat);
    s.setValue(kChosenKey, on);
    if (on) takeOverEarlierFile();
}

QString configFolder() {
    // The same folder whether or not the application's name is set yet.
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Zendra");
    QDir().mkpath(dir);
    return dir;
}

std::optional<QString> text(const QString& key) {
    if (!remembering()) return std::nullopt;
    const QSettings s(settingsFile(), QSettings::IniFormat);
    const QVariant v = s.value(key);
    if (!v.isValid() || !v.canConvert<QString>()) return std::nullopt;
    return v.toString();
}

void setText(const QString& key, const QString& value) {
    if (!remembering()) return;
    QSettings s(settingsFile(), QSettings::IniFormat);
    s.setValue(key, value);
}

QString folder(const QString& dialog) {
    const QString dir = text(QStringLiteral("folders/") + dialog).value_or(QString());
    return !dir.isEmpty() && QDir(dir).exists() ? dir : QString();
}

void setFolder(const QString& dialog, const QString& path) {
    if (!path.isEmpty()) setText(QStringLiteral("folders/") + dialog, path);
}

}  // namespace zendra::settings
