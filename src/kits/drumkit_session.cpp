#include "kits/drumkit_session.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/settings.h"
#include "kits/drumkit_chooser.h"
#include "kits/drumkit_import.h"
#include "kits/drumkit_slots.h"
#include "kits/kit_session.h"
#include "midi/midi_player.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {
void warn(const QString& text) { dialogs::msgBox(text, dialogs::Buttons::Ok, dialogs::Icon::Exclamation); }

const QString kFilter = QStringLiteral("Hydrogen Drum Kits (drumkit.xml *.h2drumkit)");
}  // namespace

QString keptKitsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/kits");
}

bool loadSlots(const KitContext& ctx, const std::vector<model::SampleSlot>& incoming, QStringList& failures) {
    std::vector<QString> files;  // every layer's
    QStringList shown;           // each slot's own, as the dock shows it
    for (const model::SampleSlot& s : incoming) {
        for (const QString& f : s.soundFiles()) files.push_back(f);
        shown << s.file;
    }
    frmLoadSamples& dock = ctx.dock();
    auto decoded = dock.decode(files, failures);
    if (!decoded) return false;
    try {
        ctx.shared.LoadSlots(incoming, std::move(*decoded));
    } catch (const SoundError& e) {
        failures << QString::fromStdString(e.what());
        return false;
    }
    dock.showFiles(shown);
    return true;
}

bool importDrumKitIntoBank(const KitContext& ctx, const QString& path) {
    model::SampleBank& bank = ctx.shared.Bank();
    frmLoadSamples& dock = ctx.dock();
    if (dock.isLoading()) return false;  // the dock's load is under way
    ImportedKit kit = kits::importDrumKit(path, {}, keptKitsFolder());
    if (!kit.ok) {
        warn(QStringLiteral("The drum kit cannot be imported: %1.\n\nNothing was changed.").arg(kit.error));
        return false;
    }
    const std::vector<DrumInstrument> chosen = DrumKitChooser::choose(kit, ctx.mainWindow());
    if (chosen.empty()) return false;
    QString error;
    const QString keptFolder = keepUnpacked(kit, keptKitsFolder(), error);
    if (!error.isEmpty()) {
        warn(
            QStringLiteral("The drum kit \"%1\" cannot be imported: %2.\n\nNothing was changed.").arg(kit.name, error));
        return false;
    }
    QStringList keys;
    for (int i = 0; i < model::kSlots; ++i) keys << bank.slot(i).key;
    const DrumSlots converted = toSlots(chosen, keys);
    QStringList failures;
    if (!loadSlots(ctx, converted.slotList, failures)) {
        if (!keptFolder.isEmpty()) QDir(keptFolder).removeRecursively();
        if (!failures.isEmpty()) {
            warn(QStringLiteral("The drum kit \"%1\" cannot be imported: %2 of its samples cannot be loaded.\n\n%3"
                                "\n\nNothing was changed: the samples loaded before are still in place.")
                     .arg(kit.name)
                     .arg(failures.size())
                     .arg(failures.join(QLatin1Char('\n'))));
        }
        return false;
    }
    // Signalled even where the slot holds them already: the new sounds start
    // with their defaults and must take them.
    using S = model::SampleBank::Signal;
    dock.setLoadedRates(S::Always);
    for (int i = 0; i < bank.count(); ++i) {
        const model::SampleSlot s = bank.slot(i);
        bank.setLoop(i, s.loop, S::Always);
        bank.setGainDb(i, s.gainDb, S::Always);
        bank.setPan(i, s.pan, S::Always);
    }
    if (midi::MidiPlayer* midiPlayer = ctx.midi()) midiPlayer->resetMapping();
    settings::setFolder(QStringLiteral("drumkits"), QFileInfo(path).absolutePath());
    const QStringList notKept = kit.notKept + converted.notKept;
    if (!notKept.isEmpty()) {
        dialogs::msgBox(QStringLiteral("The drum kit \"%1\" is in the slots, but not all of it could be kept:\n\n%2")
                            .arg(kit.name, notKept.join(QLatin1Char('\n'))),
                        dialogs::Buttons::Ok, dialogs::Icon::Information);
    }
    return true;
}

void importDrumKitFromDialog(const KitContext& ctx) {
    QString folder = settings::folder(QStringLiteral("drumkits"));
    if (folder.isEmpty()) folder = QDir::homePath();
    const auto chosen = dialogs::openFile({QStringLiteral("Import Drum Kit"), kFilter, folder, QString()});
    if (chosen) importDrumKitIntoBank(ctx, *chosen);
}

}  // namespace zendra::kits
