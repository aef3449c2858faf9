// Properties: choice of the capture device that recordings are made from.
#pragma once
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <memory>

#include "core/tool_form.h"

namespace zendra {

class DXMoudule;

class DirectSoundEnum;

class frmProperties : public ToolForm {
    Q_OBJECT
public:
    explicit frmProperties(DXMoudule& shared);

    QLabel* lblExplanation = nullptr;
    QComboBox* cboCapture = nullptr;
    QPushButton* cmdOK = nullptr;
    std::array<QFrame*, 4> Line1{};

    // Lists the capture devices in the order the audio system gives them
    // and selects the first, or the one kept from an earlier run when it is
    // listed. Runs at the first showing after each unload.
    void Form_Load();
    // Stores the chosen device in CaptureGuid and CaptureDescription and hides.
    void cmdOK_Click();
    bool loaded() const { return loaded_; }

    // Where the chosen device is kept between runs, in the settings.
    static inline const QString kKeptGuid = QStringLiteral("capture/guid");
    static inline const QString kKeptDescription = QStringLiteral("capture/description");

signals:
    // OK stored a capture device.
    void captureChosen();

protected:
    void showEvent(QShowEvent* e) override;
    // The window system's close unloads the window: it is hidden, and the
    // next showing enumerates the devices afresh.
    void closeEvent(QCloseEvent* e) override;

private:
    std::shared_ptr<DirectSoundEnum> CaptureEnum;
    bool loaded_ = false;
    DXMoudule& shared_;
};

}  // namespace zendra
