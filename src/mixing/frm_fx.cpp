#include "mixing/frm_fx.h"

namespace zendra {

frmFX::frmFX() : ToolForm(QStringLiteral("Simple FX"), 4000, 2000) {
    cmbPauseNPlay = new QPushButton(QStringLiteral("Stop all sound and play"), this);
    comSamplePlay = new QComboBox(this);
    comSamplePlay->setEditable(true);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
}

void frmFX::cmbPauseNPlay_Click() {}

}  // namespace zendra
