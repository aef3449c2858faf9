#include "core/frm_about.h"

#include <QFrame>
#include <QLinearGradient>
#include <QPainter>
#include <algorithm>

namespace zendra {

namespace {
QPixmap aboutPicture() {
    QPixmap pm(320, 132);
    QPainter p(&pm);
    QLinearGradient g(0, 0, 320, 132);
    g.setColorAt(0, QColor(10, 10, 40));
    g.setColorAt(1, QColor(90, 20, 60));
    p.fillRect(pm.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    // A stylised waveform across the picture.
    QPen pen(QColor(240, 160, 30), 2);
    p.setPen(pen);
    QPointF last(0, 66);
    for (int x = 1; x < 320; ++x) {
        const double env = std::exp(-((x % 80) / 18.0));
        const QPointF pt(x, 66 + 50 * env * std::sin(x * 0.45));
        p.drawLine(last, pt);
        last = pt;
    }
    return pm;
}

const char* kNotes[7] = {
    "Zendra began as a way to play your own sounds by tapping keys instead of programming a drum machine.",
    "It grew a piano keyboard, a cross-fader, pads and a recorder along the way.",
    "You may pass Zendra on to friends for free, unchanged and with this notice.",
    "Commercial distribution needs the author's consent.",
    "Questions, bugs and ideas are welcome at the addresses below.",
    "Thanks to everyone who tested early versions and sent samples.",
    "Have fun, and beat it!",
};
}  // namespace

frmAbout::frmAbout() : ToolForm(QStringLiteral("About"), 4950, 6300) {
    picture = new QLabel(this);
    picture->setPixmap(aboutPicture());
    picture->setGeometry(tw(90), tw(90), 320, 132);
    Label1 = new QLabel(QStringLiteral("Zendra... Beat Me..."), this);
    QFont heading = Label1->font();
    heading.setPointSize(14);
    heading.setBold(true);
    Label1->setFont(heading);
    placeTw(Label1, 90, 2160, 4770, 360);
    // The notes fill the band of seven rows from 2580 twips on; a note that
    // wraps takes the height of its lines and the rows share what is left.
    int used = 0;
    for (int i = 0; i < 7; ++i) {
        notes[i] = new QLabel(QString::fromUtf8(kNotes[i]), this);
        notes[i]->setWordWrap(true);
        notes[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        used += notes[i]->heightForWidth(tw(4770));
    }
    const int gap = std::max(0, (tw(7 * 360) - used) / 7);
    for (int i = 0, top = tw(2580); i < 7; ++i) {
        const int h = notes[i]->heightForWidth(tw(4770));
        notes[i]->setGeometry(tw(90), top, tw(4770), h);
        top += h + gap;
    }
    auto* line1 = new QFrame(this);
    line1->setFrameShape(QFrame::HLine);
    line1->setStyleSheet(QStringLiteral("color: white"));
    placeTw(line1, 90, 2100, 4770, 30);
    Text1 = new QLineEdit(QStringLiteral("zendra@example.org"), this);
    Text1->setReadOnly(true);
    placeTw(Text1, 90, 5160, 2300, 300);
    Text2 = new QLineEdit(QStringLiteral("https://zendra.example.org"), this);
    Text2->setReadOnly(true);
    placeTw(Text2, 2480, 5160, 2380, 300);
    // Shown from their start: a field too narrow cuts the end, not the scheme.
    Text1->setCursorPosition(0);
    Text2->setCursorPosition(0);
    auto* line2 = new QFrame(this);
    line2->setFrameShape(QFrame::HLine);
    line2->setStyleSheet(QStringLiteral("color: white"));
    placeTw(line2, 90, 5550, 4770, 30);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 3960, 5700, 900, 375);
    connect(cmbDone, &QPushButton::clicked, this, &ToolForm::hideForm);
}

}  // namespace zendra
