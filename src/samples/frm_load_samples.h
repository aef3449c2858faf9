// Sample Dock: choose the sample files and build the bank.
#pragma once
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <cstdint>

#include "core/tool_form.h"

namespace zendra {

class frmLoadSamples : public ToolForm {
    Q_OBJECT
public:
    frmLoadSamples();

    QLabel* lblNumber = nullptr;
    QLabel* lblAmount = nullptr;
    QPushButton* cmbDone = nullptr;
    QScrollBar* hscrollNumber = nullptr;
    QScrollBar* vscrollSample = nullptr;
    std::array<QFrame*, 4> frm{};
    std::array<QPushButton*, 16> cmbSelect{};
    std::array<QLabel*, 16> lblSample{};

    void hscrollNumber_Change();
    void vscrollSample_Change();
    void cmbSelect_Click(int16_t Index);
    void cmbDone_Click();
};

}  // namespace zendra
