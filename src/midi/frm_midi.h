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

class frmMidi : public ToolForm {
    Q_OBJECT
public:
    // `player` answers the MIDI player, null until the main window has loaded.
    explicit frmMidi(std::function<midi::MidiPlayer*()> player);

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
    std::function<midi::MidiPlayer*()> player_;
    bool updating_ = false;
};

}  // namespace zendra
