#include "mixing/frm_fx.h"

#include <QFrame>
#include <cmath>

#include "core/control_glue.h"
#include "core/dx_module.h"
#include "core/sample_number.h"

namespace zendra {

frmFX::frmFX(DXMoudule& shared) : ToolForm(QStringLiteral("Simple FX"), 4200, 1695), shared_(shared) {
    cmbPauseNPlay = new QPushButton(QStringLiteral("Stop all sound and play"), this);
    placeTw(cmbPauseNPlay, 240, 240, 2655, 495);
    comSamplePlay = new QComboBox(this);
    glue::pickOnlyChooser(comSamplePlay);
    placeTw(comSamplePlay, 3120, 330, 855, 315);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 3120, 1080, 855, 375);
    lineTw(this, QFrame::HLine, 120, 900, 3960, 30);
    lineTw(this, QFrame::VLine, 3000, 120, 30, 1455);

    connect(cmbPauseNPlay, &QPushButton::clicked, this, &frmFX::cmbPauseNPlay_Click);
    connect(cmbDone, &QPushButton::clicked, this, &frmFX::cmbDone_Click);
    fillSampleChooser(comSamplePlay, shared_.Bank());
    connect(&shared_.Bank(), &model::SampleBank::replaced, this,
            [this] { fillSampleChooser(comSamplePlay, shared_.Bank()); });
    connect(&shared_.Bank(), &model::SampleBank::changed, this, [this](int, model::Field f) {
        if (f == model::Field::Name) nameSampleChooser(comSamplePlay, shared_.Bank());
    });
}

void frmFX::cmbPauseNPlay_Click() {
    SamplePlayer* p = shared_.Player();
    if (p == nullptr) return;
    for (int i = 0; i < p->count(); ++i) {
        p->stop(i);
        p->rewind(i);
    }
    if (const auto s = loadedSampleOf(comSamplePlay->currentText(), shared_)) p->start(*s);
}

void frmFX::cmbDone_Click() { hideForm(); }

}  // namespace zendra
