#include "kits/drumkit_session.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/forms.h"
#include "core/frm_reworked.h"
#include "core/settings.h"
#include "kits/drumkit_chooser.h"
#include "kits/drumkit_import.h"
#include "kits/drumkit_slots.h"
#include "midi/midi_player.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {
// The bank and its player: reached here only.
model::SampleBank& bank() { return DXMoudule::Bank(); }

void warn(const QString& text) { dialogs::msgBox(text, dialogs::Buttons::Ok, dialogs::Icon::Exclamation); }

const QString kFilter = QStringLiteral("Hydrogen Drum Kits (drumkit.xml *.h2drumkit)");
}  // namespace

QString keptKitsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/kits");
}

bool loadSlots(const std::vector<model::SampleSlot>& incoming, QStringList& failures) {
    // One sound per slot, its own file, until the player plays layers.
    std::vector<QString> files;
    for (const model::SampleSlot& s : incoming) files.push_back(s.file);
    frmLoadSamples& dock = forms::frmLoadSamples();
    auto decoded = dock.decode(files, failures);
    if (!decoded) return false;
    try {
        DXMoudule::LoadSampleBuffers(QStringList(files.begin(), files.end()), std::move(*decoded));
    } catch (const SoundError& e) {
        failures << QString::fromStdString(e.what());
        return false;
    }
    bank().replaceSlots(incoming);
    dock.showFiles(QStringList(files.begin(), files.end()));
    return true;
}

bool importDrumKitIntoBank(const QString& path) {
    frmLoadSamples& dock = forms::frmLoadSamples();
    if (dock.isLoading()) return false;  // the dock's load is under way
    ImportedKit kit = kits::importDrumKit(path, {}, keptKitsFolder());
    if (!kit.ok) {
        warn(QStringLiteral("The drum kit cannot be imported: %1.\n\nNothing was changed.").arg(kit.error));
        return false;
    }
    const std::vector<DrumInstrument> chosen = DrumKitChooser::choose(kit, forms::mainWindowIfAny());
    if (chosen.empty()) return false;
    QString error;
    const QString keptFolder = keepUnpacked(kit, keptKitsFolder(), error);
    if (!error.isEmpty()) {
        warn(
            QStringLiteral("The drum kit \"%1\" cannot be imported: %2.\n\nNothing was changed.").arg(kit.name, error));
        return false;
    }
    QStringList keys;
    for (int i = 0; i < model::kSlots; ++i) keys << bank().slot(i).key;
    const DrumSlots converted = toSlots(chosen, keys);
    QStringList failures;
    if (!loadSlots(converted.slotList, failures)) {
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
    frmLoadSamples::setLoadedRates(S::Always);
    for (int i = 0; i < bank().count(); ++i) {
        const model::SampleSlot s = bank().slot(i);
        bank().setLoop(i, s.loop, S::Always);
        bank().setGainDb(i, s.gainDb, S::Always);
        bank().setPan(i, s.pan, S::Always);
    }
    if (midi::MidiPlayer* midiPlayer = midi::MidiPlayer::instance()) midiPlayer->resetMapping();
    settings::setFolder(QStringLiteral("drumkits"), QFileInfo(path).absolutePath());
    const QStringList notKept = kit.notKept + converted.notKept;
    if (!notKept.isEmpty()) {
        dialogs::msgBox(QStringLiteral("The drum kit \"%1\" is in the slots, but not all of it could be kept:\n\n%2")
                            .arg(kit.name, notKept.join(QLatin1Char('\n'))),
                        dialogs::Buttons::Ok, dialogs::Icon::Information);
    }
    return true;
}

void importDrumKitFromDialog() {
    QString folder = settings::folder(QStringLiteral("drumkits"));
    if (folder.isEmpty()) folder = QDir::homePath();
    const auto chosen = dialogs::openFile({QStringLiteral("Import Drum Kit"), kFilter, folder, QString()});
    if (chosen) importDrumKitIntoBank(*chosen);
}

}  // namespace zendra::kits
