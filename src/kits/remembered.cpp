#include "kits/remembered.h"

#include "core/dx_module.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "kits/session_keeper.h"
#include "recording/frm_properties.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

QString lastSessionPath() { return settings::configFolder() + QStringLiteral("/last-session") + kExtension; }

void restoreCaptureDevice() {
    const QString guid = settings::text(frmProperties::kKeptGuid).value_or(QString());
    if (guid.isEmpty()) return;
    DXMoudule::CaptureGuid = guid;
    DXMoudule::CaptureDescription = settings::text(frmProperties::kKeptDescription).value_or(QString());
}

namespace {
void keepText(const QString& key, const QString& value) {
    if (!value.isEmpty() && settings::text(key) != value) settings::setText(key, value);
}
}  // namespace

void keepSettings() {
    keepText(frmProperties::kKeptGuid, DXMoudule::CaptureGuid.toString());
    keepText(frmProperties::kKeptDescription, DXMoudule::CaptureDescription.toString());
    keepText(QStringLiteral("folders/samples"), frmLoadSamples::dialogFolder());
}

QByteArray lastSessionBytes() {
    return DXMoudule::Bank().count() == 0 ? QByteArray() : serializeKit(currentKit(), QString());
}

void keepForNextRun() {
    if (SessionKeeper* keeper = SessionKeeper::running()) keeper->finish();
}

}  // namespace zendra::kits
