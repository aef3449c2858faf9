#include "kits/remembered.h"

#include "core/dx_module.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
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

void keepForNextRun() {
    if (!settings::remembering()) return;
    if (!DXMoudule::CaptureGuid.toString().isEmpty()) {
        settings::setText(frmProperties::kKeptGuid, DXMoudule::CaptureGuid.toString());
        settings::setText(frmProperties::kKeptDescription, DXMoudule::CaptureDescription.toString());
    }
    settings::setFolder(QStringLiteral("samples"), frmLoadSamples::dialogFolder());
    // No bank: the previous session stays for the next start.
    if (!DXMoudule::SampleFile.empty()) writeKit(currentKit(), lastSessionPath(), true);
}

}  // namespace zendra::kits
