// Sample Properties: per-sample pause, loop, volume, pan and frequency. The
// controls themselves are where these settings are kept.
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

class frmVar : public ToolForm {
    Q_OBJECT
public:
    frmVar();

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

    // Sample i's settings as its controls hold them, for kits.
    bool loops(int i) const { return chkLoop[i]->isChecked(); }
    int volume(int i) const { return hscVol[i]->value(); }
    int pan(int i) const { return hscPan[i]->value(); }
    int frequencyBar(int i) const { return hscFre[i]->value(); }
    bool isPaused(int i) const;
    // Set sample i's control and run its change action once, even when the
    // control already shows the value (a kit's setting reaches a new buffer).
    void applyLoop(int i, bool on);
    void applyVolume(int i, int value);
    void applyPan(int i, int value);
    void applyFrequencyBar(int i, int value);  // a value the bar cannot show changes nothing
    // Pausing runs the button's own action; un-pausing only turns the button
    // back, as playing would start the sample.
    void applyPaused(int i, bool paused);

    void chkLoop_Click(int16_t Index);
    void hscVol_Change(int16_t Index);
    void hscPan_Change(int16_t Index);
    void hscFre_Change(int16_t Index);
    void cmbPause_Click(int16_t Index);
};

}  // namespace zendra
