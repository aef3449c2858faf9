#include "tappad/frm_settings.h"

namespace zendra {

frmSettings::frmSettings() : ToolForm(QStringLiteral("Settings"), 6000, 3000) {
    for (int i = 0; i < 16; ++i) lblSample[i] = new ClickLabel(QString::number(i + 1) + " =", this);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
}

void frmSettings::lblSample_Click(int16_t) {}

}  // namespace zendra
