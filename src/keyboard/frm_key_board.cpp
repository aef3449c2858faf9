#include "keyboard/frm_key_board.h"

#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPixmap>

#include "core/control_glue.h"
#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/sample_number.h"
#include "keyboard/key_codes.h"
#include "keyboard/note_map.h"
#include "model/slot_units.h"

namespace zendra {

namespace {

constexpr int kBlackLeft[13] = {300, 720, 1140, 1980, 2400, 3240, 3660, 4140, 4980, 5400, 6120, 6600, 7020};
constexpr int kPrevLeft[8] = {2205, 2625, 3045, 3480, 3900, 4320, 4740, 5160};

const QString kOutOfRange = QStringLiteral(
    "You are trying to play a frequency out of range. Samples for use with the keyboard are best at either 22000 "
    "or 44000.");

void outOfRange() { dialogs::msgBox(kOutOfRange, dialogs::Buttons::Ok, dialogs::Icon::None); }

}  // namespace

QPixmap frmKeyBoard::whiteKeyPicture() {
    QImage img(29, 141, QImage::Format_RGB888);
    img.fill(QColor(0xD4, 0xD0, 0xC8));  // light grey face
    QPainter p(&img);
    const int r = img.width() - 1, b = img.height() - 1;
    // Outer edge: white top and left, black bottom and right.
    p.setPen(Qt::white);
    p.drawLine(0, 0, r - 1, 0);
    p.drawLine(0, 0, 0, b - 1);
    p.setPen(Qt::black);
    p.drawLine(0, b, r, b);
    p.drawLine(r, 0, r, b);
    // Inner bevel.
    p.setPen(QColor(0xF0, 0xF0, 0xF0));
    p.drawLine(1, 1, r - 2, 1);
    p.drawLine(1, 1, 1, b - 2);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawLine(1, b - 1, r - 1, b - 1);
    p.drawLine(r - 1, 1, r - 1, b - 1);
    p.end();
    return QPixmap::fromImage(img);
}

frmKeyBoard::frmKeyBoard(DXMoudule& shared) : ToolForm(QStringLiteral("Keyboard"), 7710, 4305, false), shared_(shared) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    const QPixmap face = whiteKeyPicture();
    for (int i = 0; i < 18; ++i) {
        picKey[i] = new QLabel(this);
        picKey[i]->setPixmap(face);
        picKey[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        placeTw(picKey[i], 60 + 420 * i, 60, 435, 2115);
    }
    QPalette blackPal = pal;
    blackPal.setColor(QPalette::Window, Qt::black);
    blackPal.setColor(QPalette::WindowText, Qt::white);
    for (int i = 0; i < 13; ++i) {
        picKeyBlack[i] = new QLabel(this);
        picKeyBlack[i]->setAutoFillBackground(true);
        picKeyBlack[i]->setPalette(blackPal);
        placeTw(picKeyBlack[i], kBlackLeft[i], 60, 315, 1095);
    }
    for (const keyboard::Note& n : keyboard::kNotes) {
        auto* l = new QLabel(QString(QChar::fromLatin1(n.caption)), this);
        l->setAlignment(Qt::AlignCenter);
        int left = 120 + 420 * n.drawn, top = 2580;
        if (n.black) {
            left = kBlackLeft[n.drawn];
            top = (n.caption >= '0' && n.caption <= '9') ? 2280 : 2880;
            l->setAutoFillBackground(true);
            l->setPalette(blackPal);
        }
        placeTw(l, left, top, 315, 255);
        lblKey[n.label] = l;
    }
    Shape1 = new QFrame(this);
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setLineWidth(1);
    placeTw(Shape1, 2160, 3000, 3375, 375);
    for (int i = 0; i < 8; ++i) {
        lblPrev[i] = new QLabel(this);
        lblPrev[i]->setAlignment(Qt::AlignCenter);
        placeTw(lblPrev[i], kPrevLeft[i], 3060, 315, 255);
    }

    ComSampleKeyBoard = new QComboBox(this);
    ComSampleKeyBoard->setEditable(false);
    placeTw(ComSampleKeyBoard, 2198, 3480, 615, 330);
    chkplay = new QCheckBox(QStringLiteral("Play as well"), this);
    placeTw(chkplay, 2918, 3480, 1260, 330);
    cmbSet = new QPushButton(QStringLiteral("Set Frequency"), this);
    placeTw(cmbSet, 4178, 3480, 1357, 375);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 3098, 3900, 1515, 375);
    setTabOrder(chkplay, cmbSet);
    setTabOrder(cmbSet, cmbDone);
    setTabOrder(cmbDone, ComSampleKeyBoard);
    // Focus given to the window goes to the first control in the tab order.
    setFocusProxy(chkplay);

    // "Play as well" needs no click action of its own: the note action reads
    // the box at every key.
    connect(cmbSet, &QPushButton::clicked, this, &frmKeyBoard::cmbSet_Click);
    connect(cmbDone, &QPushButton::clicked, this, &frmKeyBoard::cmbDone_Click);

    fillSampleChooser(ComSampleKeyBoard, shared_.Bank());
    connect(&shared_.Bank(), &model::SampleBank::replaced, this,
            [this] { fillSampleChooser(ComSampleKeyBoard, shared_.Bank()); });
    connect(&shared_.Bank(), &model::SampleBank::changed, this, [this](int, model::Field f) {
        if (f == model::Field::Name) nameSampleChooser(ComSampleKeyBoard, shared_.Bank());
    });

    // Key preview: the window sees every key before the control with the focus.
    glue::KeyPreview::install(this, [this](const QKeyEvent& e) { previewKey(e); });
}

void frmKeyBoard::previewKey(const QKeyEvent& e) {
    const int code = keyboard::virtualKeyOf(e);
    if (code == 0 && e.text().isEmpty()) return;  // a key of no position typing nothing
    Form_KeyDown(code, e.modifiers());
    if (!e.text().isEmpty()) Form_KeyPress(e.text());
}

void frmKeyBoard::Form_KeyDown(int KeyCode, Qt::KeyboardModifiers /*Shift*/) {
    // Bring this window to the front without moving the focus inside it.
    if (isVisible()) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(frame()); sub && sub->mdiArea()) {
            if (sub->mdiArea()->activeSubWindow() != sub) sub->mdiArea()->setActiveSubWindow(sub);
        } else {
            activateWindow();
        }
    }

    const QString chosen = ComSampleKeyBoard->currentText();
    if (chosen.isEmpty()) return;  // no bank loaded yet: nothing to play
    SamplePlayer* player = shared_.Player();
    if (shared_.KeyBoardFrequency == 0) {
        const auto slot = sampleIndexOf(chosen);
        if (!slot || player == nullptr || !player->has(*slot)) return;  // no sound to take the base from
        shared_.KeyBoardFrequency = player->rateHz(*slot);
    }

    const auto slot = sampleIndexOf(chosen);
    if (!slot || *slot < 0 || *slot > 15) {
        outOfRange();
        return;
    }
    const auto index = static_cast<int16_t>(*slot);
    if (const keyboard::Note* note = keyboard::noteForKey(KeyCode)) {
        const auto v = keyboard::barValueFor(shared_.KeyBoardFrequency, note->offset);
        if (!v || !model::frequencyBarShows(*v)) {
            outOfRange();
            return;
        }
        shared_.Bank().setRateHz(index, model::rateHzOfFrequencyBar(*v));
    }
    if (chkplay->isChecked() && player != nullptr) player->start(index);
}

void frmKeyBoard::Form_KeyPress(const QString& KeyAscii) {
    for (int i = 0; i < 7; ++i) lblPrev[i]->setText(lblPrev[i + 1]->text());
    lblPrev[7]->setText(KeyAscii);
}

void frmKeyBoard::cmbSet_Click() {
    const auto slot = sampleIndexOf(ComSampleKeyBoard->currentText());
    const SamplePlayer* p = shared_.Player();
    if (!slot || p == nullptr || !p->has(*slot)) return;  // no bank or no sample chosen: the base stays as it is
    shared_.KeyBoardFrequency = p->rateHz(*slot);
    if (!isShown()) showForm();
}

void frmKeyBoard::cmbDone_Click() { hideForm(); }

}  // namespace zendra
