// Key Associations: each label shows its sample's key binding as the bank
// holds it ("n =" never bound, "n = x" bound to what was typed, whose last
// character is the key).
#pragma once
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <cstdint>

#include "core/click_label.h"
#include "core/tool_form.h"

namespace zendra {

class DXMoudule;

class frmSettings : public ToolForm {
    Q_OBJECT
public:
    explicit frmSettings(DXMoudule& shared);

    std::array<ClickLabel*, 16> lblSample{};
    QLabel* lblKeys = nullptr;
    std::array<QFrame*, 3> Line{};
    QPushButton* cmbDone = nullptr;

    // Asks for the key of sample Index + 1 and binds what is typed.
    void lblSample_Click(int16_t Index);
    void cmbDone_Click();

private:
    void showSlot(int i);
    DXMoudule& shared_;
};

}  // namespace zendra
