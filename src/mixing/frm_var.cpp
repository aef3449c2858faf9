#include "mixing/frm_var.h"

namespace zendra {

frmVar::frmVar() : ToolForm(QStringLiteral("Sample Properties"), 8000, 7000) {
    for (int i = 0; i < 16; ++i) {
        lblSampleNum[i] = new QLabel(QString::number(i + 1), this);
        cmbPause[i] = new QPushButton(QStringLiteral("| |"), this);
        chkLoop[i] = new QCheckBox(this);
        chkLoop[i]->setChecked(true);
        hscVol[i] = new QScrollBar(Qt::Horizontal, this);
        hscVol[i]->setRange(-5, 0);
        hscPan[i] = new QScrollBar(Qt::Horizontal, this);
        hscPan[i]->setRange(-3, 3);
        hscFre[i] = new QScrollBar(Qt::Horizontal, this);
        hscFre[i]->setRange(10, 10000);
        hscFre[i]->setSingleStep(100);
        hscFre[i]->setPageStep(1000);
        hscFre[i]->setValue(100);
    }
}

void frmVar::chkLoop_Click(int16_t) {}
void frmVar::hscVol_Change(int16_t) {}
void frmVar::hscPan_Change(int16_t) {}
void frmVar::hscFre_Change(int16_t) {}
void frmVar::cmbPause_Click(int16_t) {}

}  // namespace zendra
