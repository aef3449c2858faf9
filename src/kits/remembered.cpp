#include "kits/remembered.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "core/dx_module.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {
bool g_remembering = false;

QString settingsFile() { return configFolder() + QStringLiteral("/zendra.conf"); }

QString stringAt(const QSettings& s, const QString& key) {
    const QVariant v = s.value(key);
    return v.canConvert<QString>() ? v.toString() : QString();
}
}  // namespace

bool remembering() { return g_remembering; }
void setRemembering(bool on) { g_remembering = on; }

QString configFolder() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(dir);
    return dir;
}

QString lastSessionPath() { return configFolder() + QStringLiteral("/last-session") + kExtension; }

QString rememberedFolder(const QString& dialog) {
    if (!g_remembering) return QString();
    const QSettings s(settingsFile(), QSettings::IniFormat);
    const QString dir = stringAt(s, QStringLiteral("folders/") + dialog);
    return !dir.isEmpty() && QDir(dir).exists() ? dir : QString();
}

void rememberFolder(const QString& dialog, const QString& folder) {
    if (!g_remembering || folder.isEmpty()) return;
    QSettings s(settingsFile(), QSettings::IniFormat);
    s.setValue(QStringLiteral("folders/") + dialog, folder);
}

void restoreCaptureDevice() {
    const QSettings s(settingsFile(), QSettings::IniFormat);
    const QString guid = stringAt(s, QStringLiteral("capture/guid"));
    if (guid.isEmpty()) return;
    DXMoudule::CaptureGuid = guid;
    DXMoudule::CaptureDescription = stringAt(s, QStringLiteral("capture/description"));
}

void keepForNextRun() {
    QSettings s(settingsFile(), QSettings::IniFormat);
    if (!DXMoudule::CaptureGuid.toString().isEmpty()) {
        s.setValue(QStringLiteral("capture/guid"), DXMoudule::CaptureGuid.toString());
        s.setValue(QStringLiteral("capture/description"), DXMoudule::CaptureDescription.toString());
    }
    s.setValue(QStringLiteral("folders/samples"), frmLoadSamples::dialogFolder());
    s.sync();
    // No bank: the previous session stays for the next start.
    if (!DXMoudule::SampleFile.empty()) writeKit(currentKit(), lastSessionPath(), true);
}

}  // namespace zendra::kits
