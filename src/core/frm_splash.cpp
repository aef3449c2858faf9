#include "core/frm_splash.h"

#include "core/dialogs.h"
#include "core/tool_form.h"

namespace zendra {

namespace {
const char* kDisclaimer =
    "This software is distributed as it is, without any warranty of any kind, express or implied. "
    "The developer accepts no liability for any loss or damage caused directly or indirectly by this "
    "program, including loss of data and any consequential damages. Zendra is for personal use only; "
    "distributing it commercially needs the author's written consent.";
}

frmSplash::frmSplash() {
    // No caption: an empty title would make the window system show the
    // program's name instead, a lone space shows nothing.
    setWindowTitle(QStringLiteral(" "));
    setFixedSize(tw(6045), tw(2865));
    Label2 = new QLabel(QStringLiteral("Disclaimer"), this);
    QFont heading = Label2->font();
    heading.setBold(true);
    Label2->setFont(heading);
    placeTw(Label2, 60, 60, 5955, 195);
    Label1 = new QLabel(QString::fromUtf8(kDisclaimer), this);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeTw(Label1, 60, 300, 5955, 1995);
    Command1 = new QPushButton(QStringLiteral("I Agree"), this);
    placeTw(Command1, 3300, 2400, 1335, 435);
    Command2 = new QPushButton(QStringLiteral("I Disagree"), this);
    placeTw(Command2, 4680, 2400, 1335, 435);
    setTabOrder(Command1, Command2);
    Command1->setDefault(true);
    Command1->setFocus();
    connect(Command1, &QPushButton::clicked, this, &frmSplash::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmSplash::Command2_Click);
}

void frmSplash::Command1_Click() {
    // The main window's load starts the sound and shows the Sample Dock;
    // only then does the disclaimer go.
    if (!startMain_ || !startMain_()) return;  // start-up failed: the program has ended
    close();
    deleteLater();
}

void frmSplash::Command2_Click() { dialogs::endProgram(0); }

void frmSplash::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    if (painted_) return;
    painted_ = true;
    emit firstPainted();
}

}  // namespace zendra
