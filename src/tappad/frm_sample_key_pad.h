// Tap Pad: every typed character plays the samples bound to it.
#pragma once
#include <QLabel>
#include <QPushButton>
#include <array>

#include "core/tool_form.h"

namespace zendra {

class frmSampleKeyPad : public ToolForm {
    Q_OBJECT
public:
    frmSampleKeyPad();

    std::array<QLabel*, 8> lblPrev{};
    QPushButton* cmbDone = nullptr;
};

}  // namespace zendra
