#include "mixing/frm_cross_fade.h"

#include <QFrame>
#include <cmath>

#include "core/control_glue.h"
#include "core/dx_module.h"
#include "core/sample_number.h"
#include "model/slot_units.h"

namespace zendra {

namespace {

constexpr int kBottom = -5;  // fader value at the bottom; 0 is at the top

}  // namespace

frmCrossFade::frmCrossFade(DXMoudule& shared) : ToolForm(QStringLiteral("Cross Fade"), 3015, 3960), shared_(shared) {
    for (int k = 0; k < 2; ++k) {
        const auto idx = static_cast<int16_t>(k);
        comSample[k] = new QComboBox(this);
        glue::pickOnlyChooser(comSample[k], [this, idx](int) { comSample_Click(idx); });
        comSample[k]->setEditText(QStringLiteral("1"));
        placeTw(comSample[k], k == 0 ? 120 : 1800, 120, 1095, 315);
        vscVol[k] = new glue::InvertedFader(this);
        vscVol[k]->setRange(kBottom, 0);
        vscVol[k]->setSingleStep(1);
        vscVol[k]->setPageStep(1);
        placeTw(vscVol[k], k == 0 ? 540 : 2220, 600, 255, 2535);
        connect(vscVol[k], &QScrollBar::valueChanged, this, [this, idx] { vscVol_Change(idx); });
    }
    cmbFlick = new QPushButton(QStringLiteral("[]"), this);
    placeTw(cmbFlick, 1335, 600, 345, 2535);
    cmbEnable = new QPushButton(QStringLiteral("Enable"), this);
    placeTw(cmbEnable, 120, 3420, 1215, 375);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 1680, 3420, 1215, 375);
    lineTw(this, QFrame::HLine, 120, 480, 2775, 30);
    lineTw(this, QFrame::HLine, 120, 3255, 2775, 30);

    connect(cmbFlick, &QPushButton::clicked, this, &frmCrossFade::cmbFlick_Click);
    connect(cmbEnable, &QPushButton::clicked, this, &frmCrossFade::cmbEnable_Click);
    connect(cmbDone, &QPushButton::clicked, this, &frmCrossFade::cmbDone_Click);

    model::SampleBank& bank = shared_.Bank();
    for (QComboBox* c : comSample) fillSampleChooser(c, bank);
    connect(&bank, &model::SampleBank::replaced, this, [this] {
        for (QComboBox* c : comSample) fillSampleChooser(c, shared_.Bank());
    });
    // A side's fader follows its sample's volume, whoever sets it, and acts
    // as if moved (so a coupled fader follows too).
    connect(&bank, &model::SampleBank::changed, this, [this](int slot, model::Field f) {
        if (f == model::Field::Name)
            for (QComboBox* c : comSample) nameSampleChooser(c, shared_.Bank());
        if (f != model::Field::Gain) return;
        for (int side = 0; side < 2; ++side) {
            // A side whose text is no sample number is skipped.
            if (sampleIndexOf(comSample[side]->currentText()) == slot) {
                following_ = side;
                vscVol[side]->setValue(model::volumeBarOf(shared_.Bank().slot(slot).gainDb));
                following_ = -1;
            }
        }
    });
}

std::optional<int16_t> frmCrossFade::sampleOf(int side) const {
    return loadedSampleOf(comSample[side]->currentText(), shared_);
}

bool frmCrossFade::coupled() const { return cmbEnable->text() == QStringLiteral("Enabled"); }

void frmCrossFade::vscVol_Change(int16_t Index) {
    const int v = vscVol[Index]->value();
    const std::optional<int16_t> s = sampleOf(Index);
    // A fader following its sample's volume leaves that volume as it is
    // (exact, maybe between two steps); it still moves a coupled fader.
    if (s && following_ != Index) shared_.Bank().setGainDb(*s, model::gainDbOfVolumeBar(v));

    const int other = Index == 0 ? 1 : 0;
    if (!coupled() || comSample[Index]->currentText() == comSample[other]->currentText()) return;
    // Two texts naming the same sample (say "2" and "02") share one volume
    // bar: coupling them would pull that bar both ways without end.
    const std::optional<int16_t> so = sampleOf(other);
    if (s && so && *s == *so) return;
    const int complement = kBottom - v;
    if (complement < kBottom || complement > 0) return;
    vscVol[other]->setValue(complement);
}

void frmCrossFade::comSample_Click(int16_t Index) {
    const std::optional<int16_t> s = sampleOf(Index);
    if (!s) return;
    vscVol[Index]->setValue(model::volumeBarOf(shared_.Bank().slot(*s).gainDb));
}

void frmCrossFade::cmbEnable_Click() {
    cmbEnable->setText(cmbEnable->text() == QStringLiteral("Enable") ? QStringLiteral("Enabled")
                                                                     : QStringLiteral("Enable"));
}

void frmCrossFade::cmbFlick_Click() {
    const int t = vscVol[0]->value();
    vscVol[0]->setValue(vscVol[1]->value());
    vscVol[1]->setValue(t);
}

void frmCrossFade::cmbDone_Click() { hideForm(); }

}  // namespace zendra
