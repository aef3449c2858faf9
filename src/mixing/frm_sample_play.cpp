#include "mixing/frm_sample_play.h"

#include <QEvent>

#include "core/dx_module.h"
#include "core/forms.h"
#include "mixing/frm_var.h"

namespace zendra {

frmSamplePlay::frmSamplePlay() : ToolForm(QStringLiteral("Sample Pad"), 4000, 4000) {
    for (int i = 0; i < 16; ++i) {
        const auto idx = static_cast<int16_t>(i);
        cmbSample[i] = new QPushButton(QString::number(i + 1), this);
        cmbSample[i]->setMouseTracking(true);
        cmbSample[i]->installEventFilter(this);
        connect(cmbSample[i], &QPushButton::clicked, this, [this, idx] { cmbSample_Click(idx); });
    }
}

void frmSamplePlay::cmbSample_Click(int16_t Index) {
    DirectSoundBuffer* b = DXMoudule::bufferAt(Index);
    if (b == nullptr) return;  // no sample in this slot
    b->Stop();
    b->SetCurrentPosition(0);
    b->Play(forms::frmVar().chkLoop[Index]->isChecked() ? 1 : 0);
}

bool frmSamplePlay::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        for (QPushButton* pad : cmbSample) {
            if (pad == watched && pad->isEnabled()) pad->setFocus(Qt::MouseFocusReason);
        }
    }
    return ToolForm::eventFilter(watched, event);
}

}  // namespace zendra
