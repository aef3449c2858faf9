#include "tappad/frm_sample_key_pad.h"

#include <QKeyEvent>

#include "core/control_glue.h"
#include "core/dx_module.h"

namespace zendra {

frmSampleKeyPad::frmSampleKeyPad(DXMoudule& shared) : ToolForm(QStringLiteral("Tap Pad"), 6480, 3240), shared_(shared) {
    Label1 = new QLabel(QStringLiteral("Place focus on this window and tap out your tune If you haven't set up key "
                                       "associations do so first."),
                        this);
    Label1->setWordWrap(true);
    placeTw(Label1, 240, 120, 6000, 615);

    Line[0] = new QFrame(this);
    Line[1] = new QFrame(this);
    for (QFrame* l : Line) {
        l->setFrameShape(QFrame::HLine);
        l->setFrameShadow(QFrame::Plain);
    }
    placeTw(Line[0], 120, 840, 6240, 30);
    placeTw(Line[1], 120, 2280, 6240, 30);

    Shape1 = new QFrame(this);
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setFrameShadow(QFrame::Plain);
    placeTw(Shape1, 600, 1140, 5280, 855);
    QFont big = courierFont();
    big.setPointSize(18);
    big.setBold(true);
    for (int k = 0; k < 8; ++k) {
        lblPrev[k] = new QLabel(this);
        lblPrev[k]->setTextFormat(Qt::PlainText);
        lblPrev[k]->setAlignment(Qt::AlignCenter);
        lblPrev[k]->setFont(big);
        placeTw(lblPrev[k], 720 + 630 * k, 1260, 600, 615);
    }

    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 5280, 2520, 975, 495);
    connect(cmbDone, &QPushButton::clicked, this, &frmSampleKeyPad::cmbDone_Click);

    // Key preview: the window sees each typed character before the focused
    // control, which then gets it unchanged. Delete types no character,
    // although the key event carries one.
    glue::KeyPreview::install(this, [this](const QKeyEvent& key) {
        if (key.key() == Qt::Key_Delete) return;
        for (const QChar c : key.text()) Form_KeyPress(c);
    });
}

void frmSampleKeyPad::Form_KeyPress(QChar KeyAscii) {
    for (int k = 0; k < 7; ++k) lblPrev[k]->setText(lblPrev[k + 1]->text());
    lblPrev[7]->setText(QString(KeyAscii));

    SamplePlayer* player = shared_.Player();
    if (player == nullptr) return;
    const model::SampleBank& bank = shared_.Bank();
    for (int i = 0; i < bank.count(); ++i) {
        if (model::tapCharacter(bank.slot(i)) == KeyAscii) player->start(i);
    }
}

void frmSampleKeyPad::cmbDone_Click() { hideForm(); }

}  // namespace zendra
