#include "samples/sample_editor.h"

#include <QFontMetrics>
#include <QSignalBlocker>
#include <cmath>

#include "core/sample_number.h"
#include "sound/sample_player.h"

namespace zendra {

namespace {
QLabel* label(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

QDoubleSpinBox* msBox(QWidget* parent) {
    auto* b = new QDoubleSpinBox(parent);
    b->setDecimals(1);
    b->setRange(0.0, 0.0);
    b->setKeyboardTracking(false);  // a typed value counts once it is entered
    b->setAccelerated(true);
    return b;
}
}  // namespace

SampleEditor::SampleEditor(model::SampleBank& bank, std::function<SamplePlayer*()> player)
    : ToolForm(QStringLiteral("Sample Editor"), 9600, 4950),
      bank_(bank),
      player_(std::move(player)) {
    placeTw(label(QStringLiteral("Sample"), this), 120, 120, 600, 315);
    cmbSample = new QComboBox(this);
    placeTw(cmbSample, 840, 120, 855, 315);
    lblStart = label(QStringLiteral("Start (ms)"), this);
    placeTw(lblStart, 1800, 120, 1080, 315);
    spnStart = msBox(this);
    placeTw(spnStart, 3000, 120, 1440, 315);
    lblEnd = label(QStringLiteral("End (ms)"), this);
    placeTw(lblEnd, 4560, 120, 960, 315);
    spnEnd = msBox(this);
    placeTw(spnEnd, 5640, 120, 1440, 315);
    placeTw(label(QStringLiteral("Group"), this), 7200, 120, 720, 315);
    cmbGroup = new QComboBox(this);
    cmbGroup->addItem(QStringLiteral("None"));
    for (int g = 1; g <= model::kMuteGroups; ++g) cmbGroup->addItem(QString::number(g));
    cmbGroup->setToolTip(QStringLiteral("Mute group: starting this sample stops the others of its group"));
    placeTw(cmbGroup, 8040, 120, 1440, 315);
    wave = new samples::WaveformView(this);
    placeTw(wave, 120, 600, 9360, 3600);
    lblSound = new QLabel(this);
    placeTw(lblSound, 120, 4380, 6600, 375);
    cmdPlay = new QPushButton(QStringLiteral("Play"), this);
    placeTw(cmdPlay, 6960, 4380, 1200, 375);
    cmdDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmdDone, 8280, 4380, 1200, 375);
    tmrPlayhead = new QTimer(this);
    tmrPlayhead->setInterval(kPlayheadMs);

    connect(cmbSample, &QComboBox::activated, this, [this](int row) { choose(row); });
    connect(spnStart, &QDoubleSpinBox::valueChanged, this, &SampleEditor::setTyped);
    connect(spnEnd, &QDoubleSpinBox::valueChanged, this, &SampleEditor::setTyped);
    connect(wave, &samples::WaveformView::rangeDragged, this, [this](int64_t first, int64_t end) {
        if (bank_.loaded(slot_)) bank_.setRange(slot_, first, end);
    });
    connect(cmbGroup, &QComboBox::activated, this, [this](int group) {
        if (bank_.loaded(slot_)) bank_.setMuteGroup(slot_, group);
    });
    connect(cmdPlay, &QPushButton::clicked, this, &SampleEditor::play);
    connect(cmdDone, &QPushButton::clicked, this, &SampleEditor::hideForm);
    connect(tmrPlayhead, &QTimer::timeout, this, &SampleEditor::movePlayhead);

    connect(&bank_, &model::SampleBank::replaced, this, [this] {
        overviews_.clear();  // the sounds are new, even where an address is not
        fillChooser();
        choose(bank_.loaded(slot_) ? slot_ : 0);
    });
    connect(&bank_, &model::SampleBank::changed, this, [this](int i, model::Field f) {
        if (f == model::Field::Name && bank_.loaded(i)) {
            nameSampleChooser(cmbSample, bank_);
            if (i == slot_) choose(i);
        }
        if (i != slot_) return;
        if (f == model::Field::Range) followRange();
        if (f == model::Field::MuteGroup) followGroup();
        if (f == model::Field::Envelope) wave->setEnvelope(bank_.slot(i).envelope);
    });
    fillChooser();
    choose(0);
}

void SampleEditor::fillChooser() { fillSampleChooser(cmbSample, bank_); }

const SampleData* SampleEditor::sound() const {
    const SamplePlayer* p = player_();
    return p != nullptr && bank_.loaded(slot_) && p->has(slot_) ? p->sound(slot_) : nullptr;
}

double SampleEditor::msOf(int64_t frames) const {
    const SampleData* s = sound();
    return s != nullptr && s->rate > 0 ? static_cast<double>(frames) * 1000.0 / s->rate : 0.0;
}

void SampleEditor::choose(int slot) {
    slot_ = bank_.loaded(slot) ? slot : -1;
    soundShown_ = false;
    if (slot_ >= 0) {
        QSignalBlocker quiet(cmbSample);
        cmbSample->setCurrentIndex(slot_);
        cmbSample->setToolTip(bank_.displayName(slot_));
    }
    const SampleData* s = sound();
    if (s != nullptr) {
        const double ms = msOf(static_cast<int64_t>(s->frames()));
        const QString kind = QStringLiteral(": %1 s, %2 Hz, %3")
                                 .arg(ms / 1000.0, 0, 'f', 2)
                                 .arg(s->rate)
                                 .arg(s->channels == 2 ? QStringLiteral("stereo") : QStringLiteral("mono"));
        const QFontMetrics fm(lblSound->font());
        const int room = lblSound->contentsRect().width() - fm.horizontalAdvance(kind);
        lblSound->setText(fm.elidedText(bank_.displayName(slot_), Qt::ElideMiddle, room) + kind);
        for (QDoubleSpinBox* b : {spnStart, spnEnd}) {
            QSignalBlocker quiet(b);
            b->setRange(0.0, ms);
        }
    } else {
        lblSound->clear();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{spnStart, spnEnd, cmdPlay, wave, cmbGroup})
        w->setEnabled(s != nullptr);
    followGroup();
    wave->setEnvelope(slot_ >= 0 ? bank_.slot(slot_).envelope : model::Envelope{});
    if (isVisible()) showSound();
    followRange();
    movePlayhead();
}

void SampleEditor::showSound() {
    if (soundShown_) return;
    const SampleData* s = sound();
    wave->setSound(s, s != nullptr ? overviews_.get(*s) : nullptr);
    soundShown_ = true;
}

void SampleEditor::followGroup() {
    QSignalBlocker quiet(cmbGroup);
    cmbGroup->setCurrentIndex(slot_ >= 0 ? bank_.slot(slot_).muteGroup : 0);
}

void SampleEditor::followRange() {
    if (slot_ < 0) return;
    const model::SampleSlot& s = bank_.slot(slot_);
    wave->setRange(s.startFrame, s.endFrame);
    const SampleData* d = sound();
    const int64_t frames = d != nullptr ? static_cast<int64_t>(d->frames()) : 0;
    const int64_t end = s.endFrame < 0 || s.endFrame > frames ? frames : s.endFrame;
    QSignalBlocker quietStart(spnStart), quietEnd(spnEnd);
    spnStart->setValue(msOf(s.startFrame));
    spnEnd->setValue(msOf(end));
}

void SampleEditor::setTyped() {
    const SampleData* d = sound();
    if (d == nullptr || d->rate <= 0) return;
    const int64_t frames = static_cast<int64_t>(d->frames());
    auto frameOf = [&](double ms) { return std::clamp<int64_t>(std::llround(ms * d->rate / 1000.0), 0, frames); };
    const model::SampleSlot& s = bank_.slot(slot_);
    int64_t first = s.startFrame, end = s.endFrame < 0 || s.endFrame > frames ? frames : s.endFrame;
    if (sender() == spnStart) first = std::min(frameOf(spnStart->value()), end - 1);
    if (sender() == spnEnd) end = std::max(frameOf(spnEnd->value()), first + 1);
    bank_.setRange(slot_, std::max<int64_t>(first, 0), end >= frames ? -1 : end);
    followRange();  // the boxes show what was kept
}

void SampleEditor::play() {
    SamplePlayer* p = player_();
    if (p == nullptr || !bank_.loaded(slot_) || !p->has(slot_)) return;
    p->start(slot_);
    if (isVisible()) tmrPlayhead->start();
    movePlayhead();
}

void SampleEditor::movePlayhead() {
    const SamplePlayer* p = player_();
    const bool playing = p != nullptr && bank_.loaded(slot_) && p->has(slot_) && p->playing(slot_);
    if (!playing || !isVisible()) {
        tmrPlayhead->stop();
        wave->setPlayhead(-1);
        return;
    }
    if (!tmrPlayhead->isActive()) tmrPlayhead->start();
    wave->setPlayhead(p->position(slot_));
}

void SampleEditor::showEvent(QShowEvent* e) {
    ToolForm::showEvent(e);
    showSound();
    movePlayhead();
}

void SampleEditor::hideEvent(QHideEvent* e) {
    ToolForm::hideEvent(e);
    tmrPlayhead->stop();
}

}  // namespace zendra
