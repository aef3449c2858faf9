// Keyboard: one sample played at 31 pitches from the computer keyboard.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

#include "core/tool_form.h"

namespace zendra {

class frmKeyBoard : public ToolForm {
    Q_OBJECT
public:
    frmKeyBoard();

    QComboBox* ComSampleKeyBoard = nullptr;
    QCheckBox* chkplay = nullptr;
    QPushButton* cmbSet = nullptr;
    QPushButton* cmbDone = nullptr;
};

}  // namespace zendra
