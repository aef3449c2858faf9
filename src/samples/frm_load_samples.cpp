#include "samples/frm_load_samples.h"

#include <cmath>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/forms.h"
#include "keyboard/frm_key_board.h"
#include "mixing/frm_cross_fade.h"
#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "tappad/frm_settings.h"

namespace zendra {

frmLoadSamples::frmLoadSamples() : ToolForm(QStringLiteral("Sample Dock"), 7425, 3600) {
    lblNumber = new QLabel(QStringLiteral("# Of Samples :"), this);
    placeTw(lblNumber, 120, 240, 1095, 255);
    lblAmount = new QLabel(QStringLiteral("4"), this);
    placeTw(lblAmount, 1320, 240, 255, 255);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 6480, 120, 855, 375);
    hscrollNumber = new QScrollBar(Qt::Horizontal, this);
    hscrollNumber->setRange(0, 3);
    placeTw(hscrollNumber, 480, 600, 6855, 255);
    vscrollSample = new QScrollBar(Qt::Vertical, this);
    vscrollSample->setRange(0, 0);
    placeTw(vscrollSample, 120, 960, 255, 2535);
    for (int k = 0; k < 4; ++k) {
        frm[k] = new QFrame(this);
        placeTw(frm[k], 480, 840, 6855, 2655);
        frm[k]->setVisible(k == 0);
    }
    for (int i = 0; i < 16; ++i) {
        const int r = i % 4;
        cmbSelect[i] = new QPushButton(QStringLiteral("Sample %1").arg(i + 1), frm[i / 4]);
        placeTw(cmbSelect[i], 240, 240 + 600 * r, 855, 495);
        lblSample[i] = new QLabel(frm[i / 4]);
        placeTw(lblSample[i], 1200, 360 + 600 * r, 5535, 255);
        const auto idx = static_cast<int16_t>(i);
        connect(cmbSelect[i], &QPushButton::clicked, this, [this, idx] { cmbSelect_Click(idx); });
    }
    connect(hscrollNumber, &QScrollBar::valueChanged, this, &frmLoadSamples::hscrollNumber_Change);
    connect(vscrollSample, &QScrollBar::valueChanged, this, &frmLoadSamples::vscrollSample_Change);
    connect(cmbDone, &QPushButton::clicked, this, &frmLoadSamples::cmbDone_Click);
}

void frmLoadSamples::hscrollNumber_Change() {
    const int v = hscrollNumber->value();
    if (v < 0 || v > 3) return;
    lblAmount->setText(QString::number(4 * (v + 1)));
    vscrollSample->setMaximum(v);  // a page above v falls to v
}

void frmLoadSamples::vscrollSample_Change() {
    for (QFrame* page : frm) page->hide();
    frm[vscrollSample->value()]->show();
}

void frmLoadSamples::cmbSelect_Click(int16_t Index) {
    const auto path = dialogs::openFile({QString(), QStringLiteral("Wave Files (*.Wav *.wav *.WAV)"), QString(), QString()});
    lblSample[Index]->setText(path ? *path : QString());
}

void frmLoadSamples::cmbDone_Click() {
    using namespace DXMoudule;
    if (lblSample[0]->text().isEmpty()) {
        dialogs::msgBox(QStringLiteral("No samples were selected to be loaded. They must be placed from the first position on."),
                        dialogs::Buttons::Ok, dialogs::Icon::None, QStringLiteral("Try Again..."));
        return;
    }
    const int n = lblAmount->text().toInt();
    int16_t last = static_cast<int16_t>(n - 1);
    std::vector<QString> files;
    for (int i = 0; i < n; ++i) {
        if (lblSample[i]->text().isEmpty()) {
            last = static_cast<int16_t>(i - 1);
            break;
        }
        files.push_back(lblSample[i]->text());
    }
    LastSample = last;
    SampleFile = files;
    LoadSampleBuffers();

    frmVar& var = forms::frmVar();
    for (int i = 0; i <= LastSample; ++i) {
        Frequency = SampleBuffer[static_cast<size_t>(i)]->GetFrequency();
        var.hscFre[i]->setValue(static_cast<int>(std::nearbyint(Frequency / 10.0)));
    }
    frmSamplePlay& pad = forms::frmSamplePlay();
    frmSettings& keys = forms::frmSettings();
    auto enableRow = [&](int i, bool on) {
        var.lblSampleNum[i]->setEnabled(on);
        var.cmbPause[i]->setEnabled(on);
        var.chkLoop[i]->setEnabled(on);
        var.hscVol[i]->setEnabled(on);
        var.hscPan[i]->setEnabled(on);
        var.hscFre[i]->setEnabled(on);
        pad.cmbSample[i]->setEnabled(on);
        keys.lblSample[i]->setEnabled(on);
    };
    for (int i = 0; i < 16; ++i) enableRow(i, true);
    for (int i = LastSample + 1; i < 16; ++i) enableRow(i, false);

    frmCrossFade& cf = forms::frmCrossFade();
    frmFX& fx = forms::frmFX();
    frmKeyBoard& kb = forms::frmKeyBoard();
    QComboBox* lists[4] = {cf.comSample[0], cf.comSample[1], fx.comSamplePlay, kb.ComSampleKeyBoard};
    for (QComboBox* c : lists) c->clear();
    for (int k = 1; k <= LastSample + 1; ++k) {
        for (QComboBox* c : lists) c->addItem(QString::number(k));
    }
    for (QComboBox* c : lists) {
        if (c->isEditable()) {
            c->setEditText(QStringLiteral("1"));
        } else {
            c->setCurrentIndex(c->findText(QStringLiteral("1")));
        }
    }
    hideForm();
}

}  // namespace zendra
