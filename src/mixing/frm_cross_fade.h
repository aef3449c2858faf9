// Cross Fade: two samples' volumes on two faders, optionally coupled.
#pragma once
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <cstdint>

#include "core/tool_form.h"

namespace zendra {

class frmCrossFade : public ToolForm {
    Q_OBJECT
public:
    frmCrossFade();

    std::array<QComboBox*, 2> comSample{};
    std::array<QScrollBar*, 2> vscVol{};  // 0 at the top .. -5 at the bottom
    QPushButton* cmbFlick = nullptr;
    QPushButton* cmbEnable = nullptr;
    QPushButton* cmbDone = nullptr;

    void vscVol_Change(int16_t Index);
};

}  // namespace zendra
