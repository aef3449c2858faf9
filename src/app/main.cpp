#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <thread>

#include "app/app.h"
#include "core/audio_choice.h"
#include "core/callback_report.h"
#include "core/command_line.h"
#include "core/dialogs.h"
#include "core/frm_splash.h"
#include "core/program_fonts.h"
#include "kits/kit_start.h"
#include "sound/mixer.h"
#include "sound/realtime.h"
#include "sound/sinc_kernel.h"

int main(int argc, char** argv) {
    // --help and --version answer without a display.
    const zendra::CommandLine commandLine = zendra::parseCommandLine(argc, argv);
    if (commandLine.exitCode) return *commandLine.exitCode;
    // Before any thread starts, so that the window thread and Qt's X reader
    // (the two a key press wakes) have it.
    zendra::askShortSlice();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zendra"));
    // The last session (unless --fresh) or the files named come back after "I Agree".
    zendra::kits::startWith(commandLine);
    zendra::chooseSystemAudio(zendra::decideAudioSystem(commandLine.audio));
    zendra::useProgramFonts();
    zendra::prepareCallbackReport();
    // What one event does to the sound reaches the audio thread in one piece,
    // right after the event has been handled.
    zendra::Mixer::setFlushPoster(
        [](std::function<void()> flush) { QMetaObject::invokeMethod(qApp, std::move(flush), Qt::QueuedConnection); });
    // The resampling tables (~30 ms of work), the main window and the
    // connection to the sound server (~4 ms; no device is opened before
    // "I Agree") are made while the disclaimer is read, once it is on screen:
    // on two cores, earlier work would hold up the disclaimer itself.
    zendra::app::App program;
    QObject::connect(&program.frmSplash(), &zendra::frmSplash::firstPainted, [&program] {
        std::thread([] { zendra::SincKernels::instance(); }).detach();
        zendra::prepareSystemAudio();
        QTimer::singleShot(0, [&program] { program.prepareMainWindow(); });
    });
    program.frmSplash().show();
    const int rc = QApplication::exec();
    zendra::dialogs::endProgram(rc);
    return rc;
}
