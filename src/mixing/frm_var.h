// Sample Properties: per-sample pause, loop, volume, pan and frequency, a
// view of the bank's slots. The bars move in their designed steps: volume
// 5 dB a step (-5..0), pan a third of the way a step (-3..3), frequency 10 Hz
// a step (10..10000).
#pragma once
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <cstdint>

#include "core/tool_form.h"

namespace zendra {

class DXMoudule;

class frmVar : public ToolForm {
    Q_OBJECT
public:
    explicit frmVar(DXMoudule& shared);

    std::array<QLabel*, 16> lblSampleNum{};
    std::array<QPushButton*, 16> cmbPause{};
    std::array<QCheckBox*, 16> chkLoop{};
    std::array<QScrollBar*, 16> hscVol{};
    std::array<QScrollBar*, 16> hscPan{};
    std::array<QScrollBar*, 16> hscFre{};
    // Column headings and the decorative lines.
    QLabel* lblSampleTitle = nullptr;
    QLabel* lblPause = nullptr;
    QLabel* lblloop = nullptr;
    QLabel* lblVol = nullptr;
    QLabel* lblPan = nullptr;
    QLabel* lblFre = nullptr;
    std::array<QFrame*, 5> Line{};

    // The controls' actions: each sets the bank's slot.
    void chkLoop_Click(int16_t Index);
    void hscVol_Change(int16_t Index);
    void hscPan_Change(int16_t Index);
    void hscFre_Change(int16_t Index);
    void cmbPause_Click(int16_t Index);

private:
    // Shows what the bank holds for slot i, without running any action.
    void showSlot(int i);
    void enableRows();
    DXMoudule& shared_;
};

}  // namespace zendra
