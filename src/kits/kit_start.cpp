#include "kits/kit_start.h"

#include <QFileInfo>
#include <QTimer>
#include <utility>

#include "core/dialogs.h"
#include "core/settings.h"
#include "kits/drumkit_session.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "kits/remembered.h"
#include "kits/session_keeper.h"
#include "kits/start_files.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {
StartFiles& startFiles() {
    static StartFiles files;
    return files;
}

// The sound files named at start, in the dock's slots from the first on and
// loaded as its Done loads them; the dock stays up when they do not load.
void loadSounds(const KitContext& ctx, const StartFiles& files) {
    if (!files.problems.isEmpty()) {
        dialogs::msgBox(QStringLiteral("Not everything named at start can be loaded:\n\n") +
                            files.problems.join(QLatin1Char('\n')),
                        dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
    }
    const int n = static_cast<int>(files.sounds.size());
    frmLoadSamples& dock = ctx.dock();
    if (n == 0 || dock.isLoading()) return;
    dock.hscrollNumber->setValue((n - 1) / 4);
    for (int i = 0; i < 16; ++i) dock.lblSample[i]->setText(i < n ? files.sounds[i] : QString());
    frmLoadSamples::setLastFolder(QFileInfo(files.sounds.back()).absolutePath());
    if (!dock.loadBank()) dock.showForm();
}
}  // namespace

void rememberBetweenRuns(bool on) {
    settings::setRemembering(on);
    dialogs::setEndAction(on ? std::function<void()>(&keepForNextRun) : nullptr);
}

void chooseRemembering(const KitContext& ctx, bool on) {
    settings::chooseKeeping(on);
    SessionKeeper* keeper = SessionKeeper::running();
    if (!settings::remembering()) {
        delete keeper;
        return;
    }
    if (keeper == nullptr) keeper = startKeeping(ctx, ctx.mainWindow());
    keeper->keepNow();
}

void openAtStart(const QStringList& paths) { startFiles() = sortStartFiles(paths); }

void startWith(const CommandLine& commandLine) {
    rememberBetweenRuns(!commandLine.fresh);
    openAtStart(commandLine.files);
}

void mainWindowLoaded(const KitContext& ctx) {
    const StartFiles files = std::exchange(startFiles(), StartFiles{});
    if (settings::remembering()) {
        restoreCaptureDevice(ctx.shared);
        const QString folder = settings::folder(QStringLiteral("samples"));
        if (!folder.isEmpty()) frmLoadSamples::setLastFolder(folder);
        // A damaged or newer last session is passed over in silence; sound
        // files named at start take its place.
        if (files.sounds.isEmpty()) {
            if (const ReadResult last = readKit(lastSessionPath()); last.kit) fillDock(ctx, *last.kit);
        }
        startKeeping(ctx, ctx.mainWindow());  // ends with the main window
    }
    if (!files.kit.isEmpty()) {
        QTimer::singleShot(0, [&ctx, path = files.kit] { openKit(ctx, path); });
    } else if (!files.drumKit.isEmpty()) {
        QTimer::singleShot(0, [&ctx, path = files.drumKit] { importDrumKitIntoBank(ctx, path); });
    } else if (!files.sounds.isEmpty() || !files.problems.isEmpty()) {
        QTimer::singleShot(0, [&ctx, files] { loadSounds(ctx, files); });
    }
}

}  // namespace zendra::kits
