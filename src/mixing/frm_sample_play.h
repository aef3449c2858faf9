// Sample Pad: sixteen pads, each starting its sample.
#pragma once
#include <QPushButton>
#include <array>
#include <cstdint>

#include "core/tool_form.h"

namespace zendra {

class DXMoudule;

class frmSamplePlay : public ToolForm {
    Q_OBJECT
public:
    explicit frmSamplePlay(DXMoudule& shared);

    std::array<QPushButton*, 16> cmbSample{};

    // Starts the sample (see SamplePlayer::start). `level` scales this play
    // only; the sample's own volume and pan stay as set.
    void cmbSample_Click(int16_t Index, float level = 1.0f);

private:
    DXMoudule& shared_;
};

}  // namespace zendra
