#include "kits/remembered.h"

#include "core/dx_module.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_session.h"
#include "kits/session_keeper.h"
#include "midi/midi_player.h"
#include "recording/frm_properties.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

QString lastSessionPath() { return settings::configFolder() + QStringLiteral("/last-session") + kExtension; }

void restoreCaptureDevice(DXMoudule& shared) {
    const QString guid = settings::text(frmProperties::kKeptGuid).value_or(QString());
    if (guid.isEmpty()) return;
    shared.CaptureGuid = guid;
    shared.CaptureDescription = settings::text(frmProperties::kKeptDescription).value_or(QString());
}

namespace {
void keepText(const QString& key, const QString& value) {
    if (!value.isEmpty() && settings::text(key) != value) settings::setText(key, value);
}
}  // namespace

void keepSettings(const DXMoudule& shared) {
    keepText(frmProperties::kKeptGuid, shared.CaptureGuid.toString());
    keepText(frmProperties::kKeptDescription, shared.CaptureDescription.toString());
    keepText(QStringLiteral("folders/samples"), frmLoadSamples::dialogFolder());
}

QByteArray lastSessionBytes(const KitContext& ctx) {
    return ctx.shared.Bank().count() == 0 ? QByteArray() : serializeKit(currentKit(ctx), QString());
}

SessionKeeper* startKeeping(const KitContext& ctx, QObject* parent) {
    auto* keeper = new SessionKeeper(ctx, parent);
    const model::SampleBank* bank = &ctx.shared.Bank();
    QObject::connect(bank, &model::SampleBank::changed, keeper, &SessionKeeper::changed);
    QObject::connect(bank, &model::SampleBank::replaced, keeper, &SessionKeeper::changed);
    // Also told when the inputs come and go: the comparison finds nothing to write then.
    if (const midi::MidiPlayer* midi = ctx.midi())
        QObject::connect(midi, &midi::MidiPlayer::changed, keeper, &SessionKeeper::changed);
    QObject::connect(&ctx.properties(), &frmProperties::captureChosen, keeper, &SessionKeeper::changed);
    QObject::connect(&ctx.dock(), &frmLoadSamples::folderChosen, keeper, &SessionKeeper::changed);
    return keeper;
}

void keepForNextRun() {
    if (SessionKeeper* keeper = SessionKeeper::running()) keeper->finish();
}

}  // namespace zendra::kits
