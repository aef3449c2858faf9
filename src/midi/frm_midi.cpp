#include "midi/frm_midi.h"

#include "midi/midi_player.h"
#include "model/sample_bank.h"

namespace zendra {

namespace {
constexpr int kWidth = 6720, kHeight = 5640;
constexpr int kFirstRow = 1500, kRowPitch = 360, kColumnPitch = 3240;
const char* kNoSystem = "No MIDI system here (no ALSA sequencer, no JACK server)";
const char* kNoInput = "No MIDI inputs found";
const char* kNone = "None";

QString noteText(int note) {
    if (note < 0) return QStringLiteral("none");
    return QStringLiteral("%1  %2%3")
        .arg(note)
        .arg(QString::fromLatin1(midi::noteLetter(note)))
        .arg(midi::noteOctave(note));
}
}  // namespace

frmMidi::frmMidi(std::function<midi::MidiPlayer*()> player, const model::SampleBank& bank)
    : ToolForm(QStringLiteral("MIDI"), kWidth, kHeight),
      player_(std::move(player)),
      bank_(bank) {
    lblInput = new QLabel(QStringLiteral("Input"), this);
    lblInput->setFont(courierFont());
    placeTw(lblInput, 120, 150, 1080, 300);
    cboInput = new QComboBox(this);
    placeTw(cboInput, 1200, 120, 5400, 360);
    connect(cboInput, &QComboBox::activated, this, &frmMidi::cboInput_Activated);
    lblStatus = new QLabel(this);
    placeTw(lblStatus, 120, 600, 6480, 300);
    lineTw(this, QFrame::HLine, 120, 960, 6480, 30);
    lblExplanation =
        new QLabel(QStringLiteral("Click a sample's note, then strike a pad or key: that note plays it."), this);
    placeTw(lblExplanation, 120, 1080, 6480, 300);

    for (int i = 0; i < 16; ++i) {
        const int left = 120 + (i / 8) * kColumnPitch, top = kFirstRow + (i % 8) * kRowPitch;
        lblSampleNum[i] = new QLabel(QString::number(i + 1), this);
        lblSampleNum[i]->setFont(courierFont());
        lblSampleNum[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        placeTw(lblSampleNum[i], left, top, 480, 315);
        cmdNote[i] = new QPushButton(this);
        placeTw(cmdNote[i], left + 600, top, 2400, 315);
        connect(cmdNote[i], &QPushButton::clicked, this, [this, i] {
            if (auto* p = player_()) p->learn(p->learning() == i ? -1 : i);
        });
        if (i > 0) setTabOrder(cmdNote[i - 1], cmdNote[i]);
    }

    const int foot = kFirstRow + 8 * kRowPitch + 120;
    chkVelocity = new QCheckBox(QStringLiteral("Velocity sets the level"), this);
    placeTw(chkVelocity, 120, foot, 4000, 315);
    connect(chkVelocity, &QCheckBox::toggled, this, [this](bool on) {
        if (auto* p = player_()) p->setVelocity(on);
    });
    cmdDefaults = new QPushButton(QStringLiteral("Notes 36-51"), this);
    placeTw(cmdDefaults, 120, foot + 480, 1800, 495);
    connect(cmdDefaults, &QPushButton::clicked, this, [this] {
        if (auto* p = player_()) p->resetMapping();
    });
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, kWidth - 120 - 975, foot + 480, 975, 495);
    connect(cmbDone, &QPushButton::clicked, this, [this] {
        if (auto* p = player_(); p && p->learning() >= 0) p->learn(-1);
        hideForm();
    });

    if (auto* p = player_()) connect(p, &midi::MidiPlayer::changed, this, &frmMidi::refreshView);
    refreshView();
    for (int i = 0; i < 16; ++i) nameSlot(i);
    connect(&bank_, &model::SampleBank::replaced, this, [this] {
        for (int i = 0; i < 16; ++i) nameSlot(i);
    });
    connect(&bank_, &model::SampleBank::changed, this, [this](int i, model::Field f) {
        if (f == model::Field::Name) nameSlot(i);
    });
}

// A loaded sample's number and note tell its name.
void frmMidi::nameSlot(int i) {
    const QString name = bank_.loaded(i) ? bank_.displayName(i) : QString();
    lblSampleNum[i]->setToolTip(name);
    cmdNote[i]->setToolTip(name);
}

void frmMidi::refreshView() {
    const midi::MidiPlayer* p = player_();
    updating_ = true;
    cboInput->clear();
    if (p == nullptr || !p->anySystem()) {
        cboInput->addItem(QString::fromLatin1(kNoSystem));
        cboInput->setEnabled(false);
        lblStatus->setText(QStringLiteral("Play from the keyboard and the mouse."));
    } else {
        const QStringList inputs = p->inputs();
        cboInput->setEnabled(true);
        cboInput->addItem(QString::fromLatin1(inputs.isEmpty() ? kNoInput : kNone));
        cboInput->addItems(inputs);
        const QString open = p->openInput();
        if (!open.isEmpty()) {
            cboInput->setCurrentIndex(cboInput->findText(open));
            lblStatus->setText(QStringLiteral("Playing from %1.").arg(open));
        } else if (p->inputChosen() && !p->chosenInput().isEmpty()) {
            lblStatus->setText(QStringLiteral("Waiting for %1 to come back.").arg(p->chosenInput()));
        } else {
            lblStatus->setText(QString());
        }
    }
    if (p != nullptr) {
        if (p->dropped() > 0)
            lblStatus->setText(lblStatus->text() + QStringLiteral(" %1 notes dropped while busy.").arg(p->dropped()));
        for (int i = 0; i < 16; ++i)
            cmdNote[i]->setText(p->learning() == i ? QStringLiteral("strike a pad or key")
                                                   : noteText(p->mapping().noteOf(i)));
        chkVelocity->setChecked(p->mapping().velocity);
    }
    updating_ = false;
}

void frmMidi::cboInput_Activated(int index) {
    auto* p = player_();
    if (updating_ || p == nullptr || !p->anySystem()) return;
    p->chooseInput(index <= 0 ? QString() : cboInput->itemText(index));
}

}  // namespace zendra
