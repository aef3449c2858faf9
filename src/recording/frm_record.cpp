#include "recording/frm_record.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/settings.h"
#include "recording/take.h"

namespace zendra {

namespace {
const char* kLoadFailure = "Unable to initialize sound card for capture.  Exiting this application";
const char* kNotSupported = "Capture is not supported with your sound card!";
const char* kNoFullDuplex = "This card does not support full duplex.  You may still record sound.";
const char* kRecordFirst = "Please record a sound first";
}  // namespace

frmRecord::frmRecord(DXMoudule& shared) : ToolForm(QStringLiteral("Record"), 1665, 3240), shared_(shared) {
    lblLTime = new QLabel(QStringLiteral("Time:"), this);
    placeTw(lblLTime, 60, 60, 795, 255);
    lblTIME = new QLabel(this);
    placeTw(lblTIME, 960, 60, 675, 255);

    auto button = [this](const char* caption, int top, int height, void (frmRecord::*handler)()) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        placeTw(b, 120, top, 1455, height);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    cmdStartRec = button("Start Recording", 420, 375, &frmRecord::cmdStartRec_Click);
    cmdStopRec = button("Stop Recording", 900, 375, &frmRecord::cmdStopRec_Click);
    cmdPlayRec = button("Play", 1380, 375, &frmRecord::cmdPlayRec_Click);
    cmdStopPlaying = button("Stop Playing", 1860, 375, &frmRecord::cmdStopPlaying_Click);
    cmdSaveToFile = button("Save to File", 2340, 375, &frmRecord::cmdSaveToFile_Click);
    cmbDone = button("Done", 2820, 315, &frmRecord::cmbDone_Click);

    tmrCount = new QTimer(this);
    tmrCount->setInterval(0);
    connect(tmrCount, &QTimer::timeout, this, &frmRecord::tmrCount_Timer);
}

// ------------------------------------------------------------------ timer

void frmRecord::setTimerEnabled(bool on) {
    tmrEnabled_ = on;
    if (!on) {
        tmrCount->stop();
    } else if (tmrCount->interval() > 0 && !tmrCount->isActive()) {
        tmrCount->start();
    }
}

void frmRecord::setTimerInterval(int ms) {
    tmrCount->setInterval(ms);
    if (tmrEnabled_ && ms > 0) {
        tmrCount->start();  // a new interval counts from now
    } else {
        tmrCount->stop();
    }
}

// ------------------------------------------------------------------ load

void frmRecord::beforeShowing() {
    if (!loaded_) Form_Load();
}

void frmRecord::showEvent(QShowEvent* e) {
    ToolForm::showEvent(e);
    if (!loaded_) Form_Load();
}

int32_t frmRecord::offeredFormats() {
    CaptureCaps = CaptureDevice->GetCaps();
    return CaptureCaps.lFormats;
}

bool frmRecord::Form_Load() {
    loaded_ = true;
    auto loadFailure = [] {
        dialogs::msgBox(QString::fromLatin1(kLoadFailure), dialogs::Buttons::Ok, dialogs::Icon::Critical);
        dialogs::endProgram(1);
        return false;
    };

    // The device chosen in Properties, if any; an empty identifier is the default device.
    std::string device = shared_.CaptureGuid.toString().toStdString();
    try {
        if (!device.empty()) {
            const auto devices = shared_.DX().GetDSCaptureEnum();
            bool present = false;
            for (int i = 1; i <= devices->GetCount(); ++i) present = present || devices->GetGuid(i) == device;
            if (!present) {
                device.clear();
                if (devices->GetCount() > 0) {
                    dialogs::msgBox(QStringLiteral("The capture device \"%1\" chosen in Properties is no longer "
                                                   "available. Recording from the default capture device instead.")
                                        .arg(shared_.CaptureDescription.toString()),
                                    dialogs::Buttons::Ok, dialogs::Icon::Information);
                }
            }
        }
        CaptureDevice = shared_.DX().DirectSoundCaptureCreate(device);
    } catch (const SoundError&) {
        return loadFailure();
    }

    // Full-duplex test: a second output object while capture is open.
    FullDuplex = true;
    try {
        shared_.ds = shared_.DX().DirectSoundCreate("");
    } catch (const SoundError& e) {
        if (e.code() == DSERR_ALLOCATED) {
            FullDuplex = false;
            dialogs::msgBox(QString::fromLatin1(kNoFullDuplex), dialogs::Buttons::Ok, dialogs::Icon::Information,
                            QStringLiteral("No full duplex"));
        }
    }
    if (FullDuplex) {
        try {
            if (shared_.ds) shared_.ds->SetCooperativeLevel(static_cast<uintptr_t>(effectiveWinId()), DSSCL_NORMAL);
        } catch (const SoundError&) {}
    }

    try {
        if (!InitCapture()) return false;
    } catch (const SoundError&) {
        return loadFailure();
    }

    cmdSaveToFile->setEnabled(false);
    cmdPlayRec->setEnabled(false);
    cmdStopPlaying->setEnabled(false);
    cmdStopRec->setEnabled(false);
    lblTIME->setText(QString());
    return true;
}

bool frmRecord::InitCapture() {
    const auto format = take::captureFormatFor(offeredFormats());
    if (!format) {
        dialogs::msgBox(QString::fromLatin1(kNotSupported));
        dialogs::endProgram(1);
        return false;
    }
    CaptureFormat = *format;
    CaptureDesc = take::captureDescFor(CaptureFormat);
    CaptureBuffer = CaptureDevice->CreateCaptureBuffer(CaptureDesc, CaptureFormat);
    return true;
}

void frmRecord::report(const QString& what, const SoundError& e) {
    dialogs::msgBox(what + "\n" + QString::fromStdString(e.what()), dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
}

// ------------------------------------------------------------------ recording

void frmRecord::cmdStartRec_Click() {
    CaptureBuffer.reset();  // the previous take is gone
    try {
        if (!InitCapture()) return;
        CaptureBuffer->Start(DSCBSTART_DEFAULT);  // stops by itself when the buffer is full
    } catch (const SoundError& e) {
        report(QStringLiteral("Recording could not start."), e);
        return;
    }
    setTimerInterval(1000);
    setTimerEnabled(true);
    cmdStopRec->setEnabled(true);
    cmdStartRec->setEnabled(false);
}

void frmRecord::tmrCount_Timer() {
    // A failing step is skipped; the others still run.
    if (SecondCount < INT16_MAX) ++SecondCount;
    if (SecondCount == 19) {
        try {
            if (CaptureBuffer) CaptureBuffer->Stop();
        } catch (const SoundError&) {}
        lblTIME->setText(QStringLiteral("Full"));
        setTimerEnabled(false);
        cmdSaveToFile->setEnabled(true);
        if (FullDuplex) {
            cmdPlayRec->setEnabled(true);
            cmdStopPlaying->setEnabled(true);
        }
        return;
    }
    lblTIME->setText(QString::number(SecondCount));
    bool playbackOver = false;
    try {
        playbackOver = PlayBuffer && (PlayBuffer->GetStatus() & DSBSTATUS_PLAYING) == 0 && cmdStartRec->isEnabled();
    } catch (const SoundError&) {}
    if (playbackOver) {
        setTimerEnabled(false);
        SecondCount = 1;
        lblTIME->setText(QString());
        cmdStopPlaying->setEnabled(false);
    }
}

void frmRecord::cmdStopRec_Click() {
    if (!CaptureBuffer) return;
    cmdSaveToFile->setEnabled(true);
    if (FullDuplex) cmdPlayRec->setEnabled(true);
    try {
        if ((CaptureBuffer->GetStatus() & DSCBSTATUS_CAPTURING) != 0) CaptureBuffer->Stop();
    } catch (const SoundError& e) {
        report(QStringLiteral("Recording could not be stopped."), e);
    }
    setTimerEnabled(false);
    SecondCount = 0;
    lblTIME->setText(QString());
    cmdStartRec->setEnabled(true);
    cmdStopRec->setEnabled(false);
}

// ------------------------------------------------------------------ playback

void frmRecord::CopyCaptureToPlayBuffer() {
    if (!CaptureBuffer || !shared_.ds) return;
    if (auto copy = take::copyToPlayBuffer(*CaptureBuffer, *shared_.ds, CaptureDesc.fxFormat, TransferData))
        PlayBuffer = std::move(copy);  // the previous copy is released
}

void frmRecord::cmdPlayRec_Click() {
    try {
        CopyCaptureToPlayBuffer();
        if (!PlayBuffer) return;
        PlayBuffer->Play(DSBPLAY_DEFAULT);
    } catch (const SoundError& e) {
        report(QStringLiteral("The take could not be played."), e);
        return;
    }
    setTimerEnabled(true);
    SecondCount = 0;
    lblTIME->setText(QString());
    if (FullDuplex) cmdStopPlaying->setEnabled(true);
}

void frmRecord::cmdStopPlaying_Click() {
    if (!PlayBuffer) return;
    try {
        if (CaptureBuffer && (CaptureBuffer->GetStatus() & DSCBSTATUS_CAPTURING) != 0) CaptureBuffer->Stop();
        if ((PlayBuffer->GetStatus() & DSBSTATUS_PLAYING) != 0) {
            PlayBuffer->Stop();
            PlayBuffer->SetCurrentPosition(0);
        }
    } catch (const SoundError& e) {
        report(QStringLiteral("Playing could not be stopped."), e);
    }
    setTimerEnabled(false);
    SecondCount = 0;
    lblTIME->setText(QString());
    cmdStopPlaying->setEnabled(false);
}

// ------------------------------------------------------------------ saving

void frmRecord::cmdSaveToFile_Click() {
    try {
        CopyCaptureToPlayBuffer();
    } catch (const SoundError& e) {
        report(QStringLiteral("The take could not be prepared for saving; nothing was saved."), e);
        return;
    }
    if (!PlayBuffer) {
        dialogs::msgBox(QString::fromLatin1(kRecordFirst));
        return;
    }
    cmdStopPlaying->setEnabled(false);
    setTimerEnabled(false);
    lblTIME->setText(QString());
    SecondCount = 0;

    dialogs::FileCall call;
    call.title = QStringLiteral("Save Wave File");
    call.filter = QStringLiteral("*.wav");
    call.suggested = saveName_;  // the dialog opens with the name chosen last
    if (saveName_.isEmpty()) call.folder = settings::folder(QStringLiteral("takes"));  // or where a past run saved
    const auto chosen = dialogs::saveFile(call);
    if (!chosen) return;  // cancelled: nothing is saved
    saveName_ = *chosen;
    settings::setFolder(QStringLiteral("takes"), QFileInfo(*chosen).absolutePath());
    const QString name = QString::fromStdString(take::fileNameFor(chosen->toStdString()));
    if (name.isEmpty()) return;
    if (!QDir::isAbsolutePath(name)) {
        dialogs::msgBox(QStringLiteral("\"%1\" is not a full path; nothing was saved.").arg(name), dialogs::Buttons::Ok,
                        dialogs::Icon::Exclamation);
        return;
    }
    try {
        PlayBuffer->SaveToFile(name.toStdString());  // written aside, then renamed into place
    } catch (const SoundError& e) {
        dialogs::msgBox(QStringLiteral("The take was not saved.\n%1").arg(QString::fromStdString(e.what())),
                        dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
    }
}

void frmRecord::cmbDone_Click() { hideForm(); }

// ------------------------------------------------------------------ closing

void frmRecord::ReleaseSound() {
    shared_.releaseSound();
    PlayBuffer.reset();
    CaptureBuffer.reset();
    CaptureDevice.reset();
    TransferData.clear();
    TransferData.shrink_to_fit();
}

void frmRecord::closeEvent(QCloseEvent* e) {
    if (!loaded_) {
        ToolForm::closeEvent(e);
        return;
    }
    emit closedByUser();
    ReleaseSound();
    e->accept();
    dialogs::endProgram(0);
}

}  // namespace zendra
