#include "mixing/frm_cross_fade.h"

namespace zendra {

frmCrossFade::frmCrossFade() : ToolForm(QStringLiteral("Cross Fade"), 4000, 4000) {
    for (int k = 0; k < 2; ++k) {
        comSample[k] = new QComboBox(this);
        comSample[k]->setEditable(true);
        comSample[k]->setEditText(QStringLiteral("1"));
        vscVol[k] = new QScrollBar(Qt::Vertical, this);
        vscVol[k]->setRange(-5, 0);
    }
    cmbFlick = new QPushButton(QStringLiteral("[]"), this);
    cmbEnable = new QPushButton(QStringLiteral("Enable"), this);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
}

void frmCrossFade::vscVol_Change(int16_t) {}

}  // namespace zendra
