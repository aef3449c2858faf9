#include "keyboard/frm_key_board.h"

namespace zendra {

frmKeyBoard::frmKeyBoard() : ToolForm(QStringLiteral("Keyboard"), 7710, 4305, false) {
    ComSampleKeyBoard = new QComboBox(this);
    chkplay = new QCheckBox(QStringLiteral("Play as well"), this);
    cmbSet = new QPushButton(QStringLiteral("Set Frequency"), this);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
}

}  // namespace zendra
