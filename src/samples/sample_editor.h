// The Sample Editor: the chosen slot's waveform with the part of it that
// plays between a start and an end marker (dragged, or typed in
// milliseconds), its envelope's shape, and Play, which starts the slot; the
// playhead moves over the waveform while the slot plays.
// Threads: the window thread only.
#pragma once
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "core/tool_form.h"
#include "model/sample_bank.h"
#include "samples/waveform_overview.h"
#include "samples/waveform_view.h"

namespace zendra {

class SamplePlayer;

class SampleEditor : public ToolForm {
    Q_OBJECT
public:
    // How often the playhead moves while the slot plays.
    static constexpr int kPlayheadMs = 33;

    // `player` gives the player, or null while there is none.
    SampleEditor(model::SampleBank& bank, std::function<SamplePlayer*()> player);

    QComboBox* cmbSample = nullptr;  // the loaded slots, "1".."n", each with its name as tooltip
    // The slot's mute group: "None", "1".."8"; starting a slot stops the
    // other slots of its group.
    QComboBox* cmbGroup = nullptr;
    QLabel* lblStart = nullptr;
    QDoubleSpinBox* spnStart = nullptr;  // the start marker, ms into the sound
    QLabel* lblEnd = nullptr;
    QDoubleSpinBox* spnEnd = nullptr;  // the end marker, ms into the sound
    samples::WaveformView* wave = nullptr;
    QLabel* lblSound = nullptr;  // the sound's name, length and kind
    QPushButton* cmdPlay = nullptr;
    QPushButton* cmdDone = nullptr;
    QTimer* tmrPlayhead = nullptr;  // runs only while the slot plays and the window shows

    // The slot shown; -1: none (no bank yet).
    int slot() const { return slot_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void fillChooser();
    void choose(int slot);
    void showSound();  // the slot's waveform, when the window shows
    void followRange();
    void followGroup();
    void setTyped();
    void play();
    void movePlayhead();
    const SampleData* sound() const;
    double msOf(int64_t frames) const;

    model::SampleBank& bank_;
    std::function<SamplePlayer*()> player_;
    samples::OverviewCache overviews_;
    int slot_ = -1;
    bool soundShown_ = false;  // the waveform is the slot's sound
};

}  // namespace zendra
