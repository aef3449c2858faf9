#include "mixing/frm_sample_play.h"

#include "core/control_glue.h"
#include "core/dx_module.h"

namespace zendra {

namespace {
// Square pads on a 4 x 4 grid, in twips.
constexpr int kMargin = 120, kPad = 720, kPitch = 840;
constexpr int kSide = 2 * kMargin + 3 * kPitch + kPad;
}  // namespace

frmSamplePlay::frmSamplePlay(DXMoudule& shared)
    : ToolForm(QStringLiteral("Sample Pad"), kSide, kSide),
      shared_(shared) {
    for (int i = 0; i < 16; ++i) {
        const auto idx = static_cast<int16_t>(i);
        cmbSample[i] = new QPushButton(QString::number(i + 1), this);
        // Index = 4 x column + row: "1".."4" run down the first column.
        placeTw(cmbSample[i], kMargin + (i / 4) * kPitch, kMargin + (i % 4) * kPitch, kPad, kPad);
        glue::focusFollowsMouse(cmbSample[i]);
        connect(cmbSample[i], &QPushButton::clicked, this, [this, idx] { cmbSample_Click(idx); });
        if (i > 0) setTabOrder(cmbSample[i - 1], cmbSample[i]);
    }
    // A loaded sample's pad tells its name.
    auto name = [this](int i) {
        const model::SampleBank& bank = shared_.Bank();
        cmbSample[i]->setToolTip(bank.loaded(i) ? bank.displayName(i) : QString());
    };
    // The loaded samples' pads are enabled, the others not; before the first bank every pad is.
    auto enable = [this, name] {
        const int n = shared_.Bank().count();
        for (int i = 0; i < 16; ++i) {
            if (n > 0) cmbSample[i]->setEnabled(i < n);
            name(i);
        }
    };
    enable();
    connect(&shared_.Bank(), &model::SampleBank::replaced, this, enable);
    connect(&shared_.Bank(), &model::SampleBank::changed, this, [name](int i, model::Field f) {
        if (f == model::Field::Name) name(i);
    });
}

void frmSamplePlay::cmbSample_Click(int16_t Index, float level) {
    if (SamplePlayer* p = shared_.Player()) p->start(Index, level);
}

}  // namespace zendra
