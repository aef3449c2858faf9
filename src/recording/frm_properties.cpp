#include "recording/frm_properties.h"

#include <QCloseEvent>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/settings.h"

namespace zendra {

frmProperties::frmProperties(DXMoudule& shared) : ToolForm(QStringLiteral("Properties"), 4110, 2070), shared_(shared) {
    lblExplanation = new QLabel(
        QStringLiteral("Please chose your sound cards emulated wave device so that you can record your work. "
                       "I record each take from this device and save it as an 8-bit mono WAV file under the name "
                       "you pick in the Record window."),
        this);
    lblExplanation->setWordWrap(true);
    lblExplanation->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTw(lblExplanation, 120, 120, 3915, 1035);

    cboCapture = new QComboBox(this);
    cboCapture->setEditable(false);
    placeTw(cboCapture, 68, 1200, 3975, 315);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    placeTw(cmdOK, 1208, 1620, 1695, 375);
    connect(cmdOK, &QPushButton::clicked, this, &frmProperties::cmdOK_Click);

    // A frame around the device list.
    const int lines[4][4] = {{30, 1170, 4050, 15}, {30, 1545, 4050, 15}, {30, 1170, 15, 390}, {4065, 1170, 15, 390}};
    for (int i = 0; i < 4; ++i) {
        Line1[i] = new QFrame(this);
        Line1[i]->setStyleSheet(QStringLiteral("background-color: gray"));
        placeTw(Line1[i], lines[i][0], lines[i][1], lines[i][2], lines[i][3]);
        Line1[i]->lower();
    }
}

void frmProperties::Form_Load() {
    loaded_ = true;
    cboCapture->clear();
    try {
        CaptureEnum = shared_.DX().GetDSCaptureEnum();
        const auto n = static_cast<int16_t>(CaptureEnum->GetCount());
        for (int i = 1; i <= n; ++i) cboCapture->addItem(QString::fromStdString(CaptureEnum->GetDescription(i)));
    } catch (const SoundError& e) {
        CaptureEnum.reset();
        cboCapture->clear();
        dialogs::msgBox(
            QStringLiteral("The capture devices could not be listed: %1").arg(QString::fromStdString(e.what())),
            dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
    }
    if (cboCapture->count() == 0) return;
    int row = 0;
    if (const auto kept = settings::text(kKeptGuid)) {
        for (int i = 1; i <= cboCapture->count(); ++i)
            if (QString::fromStdString(CaptureEnum->GetGuid(static_cast<int16_t>(i))) == *kept) row = i - 1;
    }
    cboCapture->setCurrentIndex(row);
}

void frmProperties::cmdOK_Click() {
    // With no device listed there is nothing to store.
    if (CaptureEnum && cboCapture->currentIndex() >= 0) {
        const auto i = static_cast<int16_t>(cboCapture->currentIndex() + 1);
        shared_.CaptureGuid = QString::fromStdString(CaptureEnum->GetGuid(i));
        shared_.CaptureDescription = cboCapture->currentText();
        emit captureChosen();
    }
    hideForm();
}

void frmProperties::showEvent(QShowEvent* e) {
    ToolForm::showEvent(e);
    if (!loaded_) Form_Load();
}

void frmProperties::closeEvent(QCloseEvent* e) {
    emit closedByUser();
    loaded_ = false;
    CaptureEnum.reset();
    cboCapture->clear();
    e->ignore();  // the frame stays; it is only hidden
    hideForm();
}

}  // namespace zendra
