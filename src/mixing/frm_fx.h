// Simple FX: stop every sample and start one.
#pragma once
#include <QComboBox>
#include <QPushButton>

#include "core/tool_form.h"

namespace zendra {

class DXMoudule;

class frmFX : public ToolForm {
    Q_OBJECT
public:
    explicit frmFX(DXMoudule& shared);

    QPushButton* cmbPauseNPlay = nullptr;
    QComboBox* comSamplePlay = nullptr;  // the sample to start
    QPushButton* cmbDone = nullptr;

    // Stops and rewinds every loaded sample, then starts the chosen one.
    void cmbPauseNPlay_Click();
    void cmbDone_Click();

private:
    DXMoudule& shared_;
};

}  // namespace zendra
