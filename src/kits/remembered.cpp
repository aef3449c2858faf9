#include "kits/remembered.h"

#include "core/dx_module.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {
const QString kCaptureGuid = QStringLiteral("capture/guid");
const QString kCaptureDescription = QStringLiteral("capture/description");
}  // namespace

QString lastSessionPath() { return settings::configFolder() + QStringLiteral("/last-session") + kExtension; }

void restoreCaptureDevice() {
    const QString guid = settings::text(kCaptureGuid).value_or(QString());
    if (guid.isEmpty()) return;
    DXMoudule::CaptureGuid = guid;
    DXMoudule::CaptureDescription = settings::text(kCaptureDescription).value_or(QString());
}

void keepForNextRun() {
    if (!settings::remembering()) return;
    if (!DXMoudule::CaptureGuid.toString().isEmpty()) {
        settings::setText(kCaptureGuid, DXMoudule::CaptureGuid.toString());
        settings::setText(kCaptureDescription, DXMoudule::CaptureDescription.toString());
    }
    settings::setFolder(QStringLiteral("samples"), frmLoadSamples::dialogFolder());
    // No bank: the previous session stays for the next start.
    if (!DXMoudule::SampleFile.empty()) writeKit(currentKit(), lastSessionPath(), true);
}

}  // namespace zendra::kits
