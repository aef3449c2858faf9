// Simple FX: stop every sample and start one.
#pragma once
#include <QComboBox>
#include <QPushButton>

#include "core/tool_form.h"

namespace zendra {

class frmFX : public ToolForm {
    Q_OBJECT
public:
    frmFX();

    QPushButton* cmbPauseNPlay = nullptr;
    QComboBox* comSamplePlay = nullptr;
    QPushButton* cmbDone = nullptr;

    void cmbPauseNPlay_Click();
};

}  // namespace zendra
