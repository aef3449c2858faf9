#include "mixing/frm_var.h"

#include <cmath>

#include "core/dx_module.h"
#include "core/forms.h"
#include "mixing/frm_cross_fade.h"

namespace zendra {

frmVar::frmVar() : ToolForm(QStringLiteral("Sample Properties"), 8000, 7000) {
    for (int i = 0; i < 16; ++i) {
        const auto idx = static_cast<int16_t>(i);
        lblSampleNum[i] = new QLabel(QString::number(i + 1), this);
        cmbPause[i] = new QPushButton(QStringLiteral("| |"), this);
        chkLoop[i] = new QCheckBox(this);
        chkLoop[i]->setChecked(true);
        hscVol[i] = new QScrollBar(Qt::Horizontal, this);
        hscVol[i]->setRange(-5, 0);
        hscVol[i]->setSingleStep(1);
        hscVol[i]->setPageStep(1);
        hscPan[i] = new QScrollBar(Qt::Horizontal, this);
        hscPan[i]->setRange(-3, 3);
        hscPan[i]->setSingleStep(1);
        hscPan[i]->setPageStep(1);
        hscFre[i] = new QScrollBar(Qt::Horizontal, this);
        hscFre[i]->setRange(10, 10000);
        hscFre[i]->setSingleStep(100);
        hscFre[i]->setPageStep(1000);
        hscFre[i]->setValue(100);
        // A dragged thumb acts on release; every other change at once.
        for (QScrollBar* bar : {hscVol[i], hscPan[i], hscFre[i]}) bar->setTracking(false);
        connect(chkLoop[i], &QCheckBox::toggled, this, [this, idx] { chkLoop_Click(idx); });
        connect(hscVol[i], &QScrollBar::valueChanged, this, [this, idx] { hscVol_Change(idx); });
        connect(hscPan[i], &QScrollBar::valueChanged, this, [this, idx] { hscPan_Change(idx); });
        connect(hscFre[i], &QScrollBar::valueChanged, this, [this, idx] { hscFre_Change(idx); });
        connect(cmbPause[i], &QPushButton::clicked, this, [this, idx] { cmbPause_Click(idx); });
    }
}

void frmVar::chkLoop_Click(int16_t Index) {
    DirectSoundBuffer* b = DXMoudule::bufferAt(Index);
    if (b == nullptr) return;
    if (b->GetStatus() == 1) {
        b->Play(chkLoop[Index]->isChecked() ? 1 : 0);
    } else if (b->GetStatus() == 5) {
        b->Play(0);
    }
}

void frmVar::hscVol_Change(int16_t Index) {
    if (DirectSoundBuffer* b = DXMoudule::bufferAt(Index)) b->SetVolume(static_cast<int16_t>(hscVol[Index]->value() * 500));
    frmCrossFade& cf = forms::frmCrossFade();
    for (int side = 0; side < 2; ++side) {
        bool ok = false;
        const double n = cf.comSample[side]->currentText().trimmed().toDouble(&ok);
        if (!ok) continue;  // not a sample number: skip this side
        if (std::nearbyint(n - 1) == Index) cf.vscVol[side]->setValue(hscVol[Index]->value());
    }
}

void frmVar::hscPan_Change(int16_t Index) {
    if (DirectSoundBuffer* b = DXMoudule::bufferAt(Index)) b->SetPan(static_cast<int16_t>(hscPan[Index]->value() * 3333));
}

void frmVar::hscFre_Change(int16_t Index) {
    DirectSoundBuffer* b = DXMoudule::bufferAt(Index);
    if (b == nullptr) return;
    DXMoudule::Frequency = hscFre[Index]->value();
    DXMoudule::Frequency = DXMoudule::Frequency * 10;
    b->SetFrequency(DXMoudule::Frequency);
}

void frmVar::cmbPause_Click(int16_t Index) {
    DirectSoundBuffer* b = DXMoudule::bufferAt(Index);
    if (cmbPause[Index]->text() == QStringLiteral("| |")) {
        if (b) b->Stop();
        cmbPause[Index]->setText(QStringLiteral(">"));
    } else {
        if (b) b->Play(chkLoop[Index]->isChecked() ? 1 : 0);
        cmbPause[Index]->setText(QStringLiteral("| |"));
    }
}

}  // namespace zendra
