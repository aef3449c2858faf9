#include "midi/midi_player.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSocketNotifier>
#include <array>
#include <sys/eventfd.h>
#include <unistd.h>

#include "core/dx_module.h"
#include "core/forms.h"
#include "core/settings.h"
#include "midi/midi_inputs.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "sound/output_engine.h"

namespace zendra::midi {

namespace {
QPointer<MidiPlayer> g_player;

const QString kInputKey = QStringLiteral("midi/input");
const QString kMappingKey = QStringLiteral("midi/mapping");
}  // namespace

MidiPlayer::MidiPlayer(QObject* parent) : QObject(parent) {
    g_player = this;
    if (const auto input = settings::text(kInputKey)) {
        chosenSet_ = true;
        chosen_ = *input;
    }
    if (const auto mapping = settings::text(kMappingKey))
        mapping_ = MidiMapping::fromJson(QJsonDocument::fromJson(mapping->toUtf8()).object());
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    wake_ = new QSocketNotifier(wakeFd_, QSocketNotifier::Read, this);
    connect(wake_, &QSocketNotifier::activated, this, &MidiPlayer::drain);
    inputs_ = std::make_unique<MidiInputs>([this](const uint8_t* b, size_t n) { receive(b, n); });
    connect(&timer_, &QTimer::timeout, this, &MidiPlayer::refresh);
    timer_.start(1000);
    refresh();
}

MidiPlayer::~MidiPlayer() {
    inputs_.reset();  // no more messages from here on
    delete wake_;
    ::close(wakeFd_);
}

MidiPlayer* MidiPlayer::instance() { return g_player.data(); }

void MidiPlayer::receive(const uint8_t* bytes, size_t count) {
    bool any = false;
    parser_.feed(bytes, count, [&](const NoteOn& n) {
        if (queue_.push(n))
            any = true;
        else
            dropped_.fetch_add(1, std::memory_order_relaxed);
    });
    // One wake-up at a time, however many notes come before it is handled:
    // a write to the eventfd that the window thread watches, which neither
    // allocates nor waits.
    if (any && !wakeWritten_.exchange(true, std::memory_order_acq_rel)) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
}

void MidiPlayer::drain() {
    uint64_t wakes = 0;
    [[maybe_unused]] const ssize_t got = ::read(wakeFd_, &wakes, sizeof wakes);
    // Taken (not just cleared) so that the notes pushed before the wake was
    // written are seen by the drain below.
    wakeWritten_.exchange(false, std::memory_order_acq_rel);
    // Every note of one pass reaches the sound in the same block: a sample
    // struck more than once in it is started once, at its last note's level.
    std::array<float, kSamples> level;
    level.fill(-1.0f);
    bool learned = false;
    queue_.drain([&](const NoteOn& n) {
        if (learning_ >= 0) {
            mapping_.learn(learning_, n.note);
            learning_ = -1;
            learned = true;
        }
        const int s = mapping_.sampleFor(n.note);
        if (s >= 0) level[static_cast<size_t>(s)] = mapping_.levelOf(n.velocity);
    });
    for (int s = 0; s < kSamples; ++s)
        if (level[static_cast<size_t>(s)] >= 0.0f)
            forms::frmSamplePlay().cmbSample_Click(static_cast<int16_t>(s), level[static_cast<size_t>(s)]);
    // Straight to the audio thread, not after another turn of the event loop.
    if (DXMoudule::ds) DXMoudule::ds->engine()->mixer().flush();
    if (learned) {
        save();
        emit changed();
    }
}

bool MidiPlayer::anySystem() const { return inputs_->anySystem(); }

QStringList MidiPlayer::inputs() const {
    QStringList l;
    for (const auto& n : inputs_->names()) l << QString::fromStdString(n);
    return l;
}

QString MidiPlayer::openInput() const { return QString::fromStdString(inputs_->openName()); }

void MidiPlayer::chooseInput(const QString& name) {
    chosen_ = name;
    chosenSet_ = true;
    save();
    inputs_->close();
    refresh();
    emit changed();
}

void MidiPlayer::setVelocity(bool on) {
    if (mapping_.velocity == on) return;
    mapping_.velocity = on;
    save();
    emit changed();
}

void MidiPlayer::setMapping(const MidiMapping& mapping) {
    mapping_ = mapping;
    learning_ = -1;
    save();
    emit changed();
}

void MidiPlayer::resetMapping() {
    const bool velocity = mapping_.velocity;
    mapping_.reset();
    mapping_.velocity = velocity;
    learning_ = -1;
    save();
    emit changed();
}

void MidiPlayer::learn(int sample) {
    learning_ = sample >= 0 && sample < kSamples ? sample : -1;
    emit changed();
}

void MidiPlayer::refresh() {
    inputs_->refresh();
    const QStringList names = inputs();
    const QString wanted = chosenSet_ ? chosen_ : (names.isEmpty() ? QString() : names.first());
    if (!wanted.isEmpty() && openInput() != wanted && names.contains(wanted) && inputs_->open(wanted.toStdString())) {
        // Make what a note will touch now, so the first note creates no window.
        forms::frmVar();
        forms::frmSamplePlay();
    }
    if (names != lastInputs_ || openInput() != lastOpen_) {
        lastInputs_ = names;
        lastOpen_ = openInput();
        emit changed();
    }
}

void MidiPlayer::save() const {
    if (chosenSet_) settings::setText(kInputKey, chosen_);
    settings::setText(kMappingKey, QString::fromUtf8(QJsonDocument(mapping_.toJson()).toJson(QJsonDocument::Compact)));
}

}  // namespace zendra::midi
