// Sample Pad: sixteen pads; cmbSample_Click is the one way to start a sample.
#pragma once
#include <QPushButton>
#include <array>
#include <cstdint>

#include "core/tool_form.h"

namespace zendra {

class frmSamplePlay : public ToolForm {
    Q_OBJECT
public:
    frmSamplePlay();

    std::array<QPushButton*, 16> cmbSample{};

    // Stop, rewind, play looping by the sample's Loop box. `level` scales
    // this play only (a struck MIDI note's velocity); the sample's own volume
    // and pan stay as set.
    void cmbSample_Click(int16_t Index, float level = 1.0f);
};

}  // namespace zendra
