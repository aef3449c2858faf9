// Key Associations: the caption of each label holds its sample's key. The
// binding of sample i is the last character of lblSample(i)'s caption.
#pragma once
#include <QFrame>
#include <QLabel>
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
    QLabel* lblKeys = nullptr;
    std::array<QFrame*, 3> Line{};
    QPushButton* cmbDone = nullptr;

    // Asks for the key of sample Index + 1 and writes it into the caption.
    void lblSample_Click(int16_t Index);
    void cmbDone_Click();
};

}  // namespace zendra
