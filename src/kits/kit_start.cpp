#include "kits/kit_start.h"

#include <QTimer>

#include "core/dialogs.h"
#include "core/forms.h"
#include "core/frm_reworked.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "kits/remembered.h"
#include "kits/session_keeper.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {
QString& startKit() {
    static QString path;
    return path;
}
}  // namespace

void rememberBetweenRuns(bool on) {
    settings::setRemembering(on);
    dialogs::setEndAction(on ? std::function<void()>(&keepForNextRun) : nullptr);
}

void chooseRemembering(bool on) {
    settings::chooseKeeping(on);
    SessionKeeper* keeper = SessionKeeper::running();
    if (!settings::remembering()) {
        delete keeper;
        return;
    }
    if (keeper == nullptr) keeper = new SessionKeeper(forms::mainWindowIfAny());
    keeper->keepNow();
}

void openAtStart(const QString& path) { startKit() = path; }

void mainWindowLoaded() {
    if (settings::remembering()) {
        restoreCaptureDevice();
        const QString folder = settings::folder(QStringLiteral("samples"));
        if (!folder.isEmpty()) frmLoadSamples::setLastFolder(folder);
        // A damaged or newer last session is passed over in silence.
        if (const ReadResult last = readKit(lastSessionPath()); last.kit) fillDock(*last.kit);
        new SessionKeeper(forms::mainWindowIfAny());  // ends with the main window
    }
    if (!startKit().isEmpty()) {
        QTimer::singleShot(0, [path = startKit()] { openKit(path); });
        startKit().clear();
    }
}

}  // namespace zendra::kits
