// MIDI: the input to play from, which note plays each sample (learned by
// striking a pad or key), and whether velocity sets the level.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <functional>

#include "core/tool_form.h"

namespace zendra {

namespace midi {
class MidiPlayer;
}
namespace model {
class SampleBank;
}

class frmMidi : public ToolForm {
    Q_OBJECT
public:
    // `player` answers the MIDI player, null until the main window has loaded;
    // `bank` names the samples.
    frmMidi(std::function<midi::MidiPlayer*()> player, const model::SampleBank& bank);

    QLabel* lblInput = nullptr;
    QComboBox* cboInput = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblExplanation = nullptr;
    std::array<QLabel*, 16> lblSampleNum{};
    // The note of each sample; clicking one learns a new note for it.
    std::array<QPushButton*, 16> cmdNote{};
    QCheckBox* chkVelocity = nullptr;
    QPushButton* cmdDefaults = nullptr;
    QPushButton* cmbDone = nullptr;

    // Shows what the player has now: inputs, mapping, learning.
    void refreshView();

private:
    void cboInput_Activated(int index);
    void nameSlot(int i);
    std::function<midi::MidiPlayer*()> player_;
    const model::SampleBank& bank_;
    bool updating_ = false;
};

}  // namespace zendra
