#include "kits/remembered.h"

#include "core/dx_module.h"
#include "core/forms.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "kits/session_keeper.h"
#include "midi/midi_player.h"
#include "recording/frm_properties.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

QString lastSessionPath() { return settings::configFolder() + QStringLiteral("/last-session") + kExtension; }

void restoreCaptureDevice() {
    const QString guid = settings::text(frmProperties::kKeptGuid).value_or(QString());
    if (guid.isEmpty()) return;
    DXMoudule::CaptureGuid = guid;
    DXMoudule::CaptureDescription = settings::text(frmProperties::kKeptDescription).value_or(QString());
}

namespace {
void keepText(const QString& key, const QString& value) {
    if (!value.isEmpty() && settings::text(key) != value) settings::setText(key, value);
}
}  // namespace

void keepSettings() {
    keepText(frmProperties::kKeptGuid, DXMoudule::CaptureGuid.toString());
    keepText(frmProperties::kKeptDescription, DXMoudule::CaptureDescription.toString());
    keepText(QStringLiteral("folders/samples"), frmLoadSamples::dialogFolder());
}

QByteArray lastSessionBytes() {
    return DXMoudule::Bank().count() == 0 ? QByteArray() : serializeKit(currentKit(), QString());
}

SessionKeeper* startKeeping(QObject* parent) {
    auto* keeper = new SessionKeeper(parent);
    const model::SampleBank* bank = &DXMoudule::Bank();
    QObject::connect(bank, &model::SampleBank::changed, keeper, &SessionKeeper::changed);
    QObject::connect(bank, &model::SampleBank::replaced, keeper, &SessionKeeper::changed);
    // Also told when the inputs come and go: the comparison finds nothing to write then.
    if (const midi::MidiPlayer* midi = midi::MidiPlayer::instance())
        QObject::connect(midi, &midi::MidiPlayer::changed, keeper, &SessionKeeper::changed);
    QObject::connect(&forms::frmProperties(), &frmProperties::captureChosen, keeper, &SessionKeeper::changed);
    QObject::connect(&forms::frmLoadSamples(), &frmLoadSamples::folderChosen, keeper, &SessionKeeper::changed);
    return keeper;
}

void keepForNextRun() {
    if (SessionKeeper* keeper = SessionKeeper::running()) keeper->finish();
}

}  // namespace zendra::kits
