// Key Associations: the caption of each label holds its sample's key.
#pragma once
#include <QPushButton>
#include <array>
#include <cstdint>

#include "core/click_label.h"
#include "core/tool_form.h"

namespace zendra {

class frmSettings : public ToolForm {
    Q_OBJECT
public:
    frmSettings();

    std::array<ClickLabel*, 16> lblSample{};
    QPushButton* cmbDone = nullptr;

    void lblSample_Click(int16_t Index);
};

}  // namespace zendra
