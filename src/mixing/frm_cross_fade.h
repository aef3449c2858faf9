// Cross Fade: two samples' volumes on two faders, optionally coupled.
#pragma once
#include <QComboBox>
#include <QPushButton>
#include <QScrollBar>
#include <array>
#include <cstdint>
#include <optional>

#include "core/tool_form.h"

namespace zendra {

class DXMoudule;

class frmCrossFade : public ToolForm {
    Q_OBJECT
public:
    explicit frmCrossFade(DXMoudule& shared);

    std::array<QComboBox*, 2> comSample{};  // 0 = left, 1 = right
    std::array<QScrollBar*, 2> vscVol{};    // 0 at the top .. -5 at the bottom
    QPushButton* cmbFlick = nullptr;
    QPushButton* cmbEnable = nullptr;
    QPushButton* cmbDone = nullptr;

    // The fade law: the side's sample volume follows the fader and, when
    // coupled, the other fader goes to the complement (-5 - value).
    void vscVol_Change(int16_t Index);
    // A pick from a side's list: the fader shows that sample's volume.
    void comSample_Click(int16_t Index);
    void cmbEnable_Click();
    // Swaps the two faders.
    void cmbFlick_Click();
    void cmbDone_Click();

    bool coupled() const;
    // The loaded sample a side's chooser names, if any.
    std::optional<int16_t> sampleOf(int side) const;

private:
    int following_ = -1;  // the side whose fader is moving with its sample's volume
    DXMoudule& shared_;
};

}  // namespace zendra
