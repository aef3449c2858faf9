#include "mixing/frm_sample_play.h"

namespace zendra {

frmSamplePlay::frmSamplePlay() : ToolForm(QStringLiteral("Sample Pad"), 4000, 4000) {
    for (int i = 0; i < 16; ++i) cmbSample[i] = new QPushButton(QString::number(i + 1), this);
}

void frmSamplePlay::cmbSample_Click(int16_t) {}

bool frmSamplePlay::eventFilter(QObject* watched, QEvent* event) { return ToolForm::eventFilter(watched, event); }

}  // namespace zendra
