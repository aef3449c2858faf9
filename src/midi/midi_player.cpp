#include "midi/midi_player.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <array>
#include <sys/eventfd.h>
#include <unistd.h>

#include "core/settings.h"
#include "midi/midi_inputs.h"
#include "sound/sample_player.h"

namespace zendra::midi {

namespace {
const QString kInputKey = QStringLiteral("midi/input");
const QString kMappingKey = QStringLiteral("midi/mapping");
}  // namespace

MidiPlayer::MidiPlayer(std::shared_ptr<SamplePlayer> sound, QObject* parent)
    : QObject(parent),
      sound_(std::move(sound)) {
    if (const auto input = settings::text(kInputKey)) {
        chosenSet_ = true;
        chosen_ = *input;
    }
    if (const auto mapping = settings::text(kMappingKey))
        mapping_ = MidiMapping::fromJson(QJsonDocument::fromJson(mapping->toUtf8()).object());
    publishMapping();
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

void MidiPlayer::publishMapping() {
    for (int n = 0; n < 128; ++n)
        sampleOfNote_[static_cast<size_t>(n)].store(static_cast<int8_t>(mapping_.sampleFor(n)),
                                                    std::memory_order_relaxed);
    velocity_.store(mapping_.velocity, std::memory_order_relaxed);
}

void MidiPlayer::receive(const uint8_t* bytes, size_t count) {
    bool any = false;
    parser_.feed(
        bytes, count,
        [&](const NoteOn& n) {
            if (learning_.load(std::memory_order_acquire) < 0) {
                const int s = sampleOfNote_[n.note & 0x7F].load(std::memory_order_relaxed);
                if (s < 0) return;
                const float level = velocity_.load(std::memory_order_relaxed) ? velocityLevel(n.velocity) : 1.0f;
                if (!sound_ || !sound_->startFromDevice(s, level, n.velocity))
                    dropped_.fetch_add(1, std::memory_order_relaxed);
                return;
            }
            if (queue_.push(n))
                any = true;
            else
                dropped_.fetch_add(1, std::memory_order_relaxed);
        },
        [&](const NoteOn& n) {
            // A slot whose envelope asks for it fades out; a one-shot plays on.
            const int s = sampleOfNote_[n.note & 0x7F].load(std::memory_order_relaxed);
            if (s >= 0 && sound_) sound_->releaseFromDevice(s);
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
    bool learned = false;
    queue_.drain([&](const NoteOn& n) {
        if (const int l = learning_.load(std::memory_order_relaxed); l >= 0) {
            mapping_.learn(l, n.note);
            learning_.store(-1, std::memory_order_release);
            publishMapping();
            learned = true;
        }
        const int s = mapping_.sampleFor(n.note);
        if (s >= 0 && sound_) sound_->start(s, mapping_.levelOf(n.velocity), n.velocity);
    });
    // Straight to the audio thread, not after another turn of the event loop.
    if (sound_) sound_->flush();
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
    publishMapping();
    save();
    emit changed();
}

void MidiPlayer::setMapping(const MidiMapping& mapping) {
    mapping_ = mapping;
    learning_.store(-1, std::memory_order_release);
    publishMapping();
    save();
    emit changed();
}

void MidiPlayer::resetMapping() {
    const bool velocity = mapping_.velocity;
    mapping_.reset();
    mapping_.velocity = velocity;
    learning_.store(-1, std::memory_order_release);
    publishMapping();
    save();
    emit changed();
}

void MidiPlayer::learn(int sample) {
    learning_.store(sample >= 0 && sample < kSamples ? sample : -1, std::memory_order_release);
    emit changed();
}

void MidiPlayer::refresh() {
    inputs_->refresh();
    const QStringList names = inputs();
    const QString wanted = chosenSet_ ? chosen_ : (names.isEmpty() ? QString() : names.first());
    if (!wanted.isEmpty() && openInput() != wanted && names.contains(wanted)) inputs_->open(wanted.toStdString());
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
