#include "tappad/frm_sample_key_pad.h"

namespace zendra {

frmSampleKeyPad::frmSampleKeyPad() : ToolForm(QStringLiteral("Tap Pad"), 6000, 3000) {
    for (int k = 0; k < 8; ++k) lblPrev[k] = new QLabel(this);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
}

}  // namespace zendra
