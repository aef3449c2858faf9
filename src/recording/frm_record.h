// Record: record a take from the capture device, play it back and save it.
#pragma once
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/tool_form.h"
#include "sound/direct_sound.h"

namespace zendra {

class DXMoudule;

class frmRecord : public ToolForm {
    Q_OBJECT
public:
    explicit frmRecord(DXMoudule& shared);

    QLabel* lblLTime = nullptr;
    QLabel* lblTIME = nullptr;
    QPushButton* cmdStartRec = nullptr;
    QPushButton* cmdStopRec = nullptr;
    QPushButton* cmdPlayRec = nullptr;
    QPushButton* cmdStopPlaying = nullptr;
    QPushButton* cmdSaveToFile = nullptr;
    QPushButton* cmbDone = nullptr;
    // Ticks once a second while enabled with a non-zero interval.
    QTimer* tmrCount = nullptr;

    // Opens the capture device, tests for full duplex and prepares the
    // capture buffer. Runs before the first showing; false when it failed and
    // the program was ended.
    bool Form_Load();
    void cmdStartRec_Click();
    void cmdStopRec_Click();
    void cmdPlayRec_Click();
    void cmdStopPlaying_Click();
    void cmdSaveToFile_Click();
    void cmbDone_Click();
    void tmrCount_Timer();

    // The timer's enabled flag: it ticks only when also given an interval.
    bool tmrCountEnabled() const { return tmrEnabled_; }
    bool loaded() const { return loaded_; }

    // Window state, readable by tests.
    int16_t SecondCount = 0;
    bool FullDuplex = false;
    std::shared_ptr<DirectSoundCapture> CaptureDevice;
    std::shared_ptr<DirectSoundCaptureBuffer> CaptureBuffer;
    std::shared_ptr<DirectSoundBuffer> PlayBuffer;
    WAVEFORMATEX CaptureFormat;
    DSCBUFFERDESC CaptureDesc;

protected:
    // The load runs before the window first appears.
    void beforeShowing() override;
    void showEvent(QShowEvent* e) override;
    // Closing releases every sound object and ends the program.
    void closeEvent(QCloseEvent* e) override;
    // The capture formats the device offers (a bit mask).
    virtual int32_t offeredFormats();

private:
    // Chooses the format and creates the capture buffer. Throws SoundError;
    // false when the device offers no usable format and the program ended.
    bool InitCapture();
    void CopyCaptureToPlayBuffer();
    void ReleaseSound();
    void setTimerEnabled(bool on);
    void setTimerInterval(int ms);
    void report(const QString& what, const SoundError& e);

    DSCCAPS CaptureCaps;
    std::vector<int16_t> TransferData;
    QString saveName_;  // the save dialog's file name, kept between showings
    bool tmrEnabled_ = true;
    bool loaded_ = false;
    DXMoudule& shared_;
};

}  // namespace zendra
