#include "kits/kit_session.h"

#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <cmath>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/settings.h"
#include "midi/midi_player.h"
#include "model/slot_units.h"
#include "samples/frm_load_samples.h"

namespace zendra::kits {

namespace {
struct Pending {
    Kit kit;
    QMetaObject::Connection connection;
    bool applied = false;
};
Pending& pending() {
    static Pending p;
    return p;
}

QString absolute(const QString& file) { return QFileInfo(file).absoluteFilePath(); }

void warn(const QString& text) { dialogs::msgBox(text, dialogs::Buttons::Ok, dialogs::Icon::Exclamation); }

QString startFolder() {
    const QString kits = settings::folder(QStringLiteral("kits"));
    return kits.isEmpty() ? frmLoadSamples::dialogFolder() : kits;
}
}  // namespace

bool isKitFile(const QString& path) { return path.endsWith(kExtension, Qt::CaseInsensitive); }

Kit currentKit(const KitContext& ctx) {
    Kit kit;
    const model::SampleBank& bank = ctx.shared.Bank();
    const SamplePlayer* player = ctx.shared.Player();
    for (int i = 0; i < bank.count(); ++i) {
        const model::SampleSlot& slot = bank.slot(i);
        KitSample s;
        s.file = absolute(slot.file);
        s.loop = slot.loop;
        s.volume = model::volumeBarOf(slot.gainDb);
        s.pan = model::panBarOf(slot.pan);
        // What the sound plays at, which may be its own rate rather than the bar's.
        s.frequency = player && player->has(i) ? player->rateHz(i) : slot.rateHz;
        s.paused = slot.paused;
        s.key = model::boundKey(slot);
        s.name = slot.name;
        s.gainDb = slot.gainDb;
        s.balance = slot.pan;
        s.layers = slot.layers;
        for (model::Layer& l : s.layers) l.file = absolute(l.file);
        s.defaultLayer = slot.defaultLayer;
        s.muteGroup = slot.muteGroup;
        s.envelope = slot.envelope;
        s.startFrame = slot.startFrame;
        s.endFrame = slot.endFrame;
        kit.samples.push_back(s);
    }
    if (const midi::MidiPlayer* midiPlayer = ctx.midi()) kit.midi = midiPlayer->mapping().toJson();
    return kit;
}

void applySettings(const KitContext& ctx, const Kit& kit) {
    if (midi::MidiPlayer* player = ctx.midi(); player && !kit.midi.isEmpty())
        player->setMapping(midi::MidiMapping::fromJson(kit.midi));
    model::SampleBank& bank = ctx.shared.Bank();
    SamplePlayer* sound = ctx.shared.Player();
    using S = model::SampleBank::Signal;
    const int n = std::min<int>(static_cast<int>(kit.samples.size()), bank.count());
    // Layers, mute groups, envelopes and ranges go in with the slots whole.
    std::vector<model::SampleSlot> withSlots;
    for (int i = 0; i < bank.count(); ++i) withSlots.push_back(bank.slot(i));
    for (int i = 0; i < n; ++i) {
        const KitSample& s = kit.samples[static_cast<size_t>(i)];
        model::SampleSlot& slot = withSlots[static_cast<size_t>(i)];
        if (absolute(slot.file) != absolute(s.file)) continue;
        slot.layers = s.layers;
        slot.defaultLayer = s.defaultLayer;
        slot.muteGroup = s.muteGroup;
        slot.envelope = s.envelope;
        slot.startFrame = s.startFrame;
        slot.endFrame = s.endFrame;
    }
    bool whole = false;
    for (int i = 0; i < bank.count(); ++i) whole = whole || withSlots[static_cast<size_t>(i)] != bank.slot(i);
    if (whole) {
        // Layers are sounds of their own: loaded before the slots take them.
        bool layered = false;
        for (int i = 0; i < bank.count(); ++i)
            layered = layered || withSlots[static_cast<size_t>(i)].layers != bank.slot(i).layers;
        try {
            if (layered)
                ctx.shared.LoadSlots(withSlots);
            else
                bank.replaceSlots(withSlots);
        } catch (const SoundError& e) {
            warn(QStringLiteral("The kit's velocity layers cannot be loaded: %1\n\nEach sample plays its own file.")
                     .arg(QString::fromStdString(e.what())));
        }
    }
    for (int i = 0; i < n; ++i) {
        const KitSample& s = kit.samples[static_cast<size_t>(i)];
        if (absolute(bank.slot(i).file) != absolute(s.file)) continue;
        // Signalled even when the slot holds them already: a new sound starts
        // with its defaults and must take them.
        bank.setLoop(i, s.loop, S::Always);
        bank.setGainDb(i, s.gainDb, S::Always);
        bank.setPan(i, s.balance, S::Always);
        // A rate the bar cannot show stays as the load left it.
        if (s.frequency > 0) {
            const int bar = static_cast<int>(std::lround(s.frequency / 10.0));
            if (model::frequencyBarShows(bar)) bank.setRateHz(i, model::rateHzOfFrequencyBar(bar), S::Always);
        }
        // Pausing stops the sound as the button does; un-pausing only turns the
        // button back, as playing would start the sample.
        if (s.paused && !bank.slot(i).paused && sound) sound->stop(i);
        bank.setPaused(i, s.paused);
        bank.setKey(i, s.key.isEmpty() ? QString() : s.key);
        bank.setName(i, s.name);
    }
}

void fillDock(const KitContext& ctx, const Kit& kit) {
    frmLoadSamples& dock = ctx.dock();
    const int n = static_cast<int>(kit.samples.size());
    dock.hscrollNumber->setValue((n - 1) / 4);
    for (int i = 0; i < 16; ++i)
        dock.lblSample[i]->setText(i < n ? kit.samples[static_cast<size_t>(i)].file : QString());
    Pending& p = pending();
    QObject::disconnect(p.connection);
    p.kit = kit;
    p.applied = false;
    p.connection = QObject::connect(&dock, &frmLoadSamples::bankLoaded, &dock, [&ctx] {
        Pending& q = pending();
        QObject::disconnect(q.connection);
        applySettings(ctx, q.kit);
        q.applied = true;
    });
}

bool openKit(const KitContext& ctx, const QString& path) {
    if (ctx.dock().isLoading()) return false;  // the dock's slots are in use
    const ReadResult read = readKit(path);
    if (!read.kit) {
        warn(QStringLiteral("The kit \"%1\" cannot be opened: %2\n\nNothing was changed.").arg(path, read.error));
        return false;
    }
    settings::setFolder(QStringLiteral("kits"), QFileInfo(path).absolutePath());
    frmLoadSamples& dock = ctx.dock();
    fillDock(ctx, *read.kit);
    // The Sample Dock's own load: progress, all or nothing, every failing file named.
    if (!dock.loadBank(path)) dock.showForm();
    return pending().applied;
}

namespace {
bool haveBank(const KitContext& ctx) {
    if (ctx.shared.Bank().count() > 0) return true;
    warn(QStringLiteral("There is nothing to save yet: load samples in the Sample Dock first."));
    return false;
}
}  // namespace

bool saveKit(const KitContext& ctx, const QString& path) {
    if (!haveBank(ctx)) return false;
    const QString error = writeKit(currentKit(ctx), path);
    if (!error.isEmpty()) {
        warn(QStringLiteral("The kit was not saved.\n%1").arg(error));
        return false;
    }
    settings::setFolder(QStringLiteral("kits"), QFileInfo(path).absolutePath());
    return true;
}

void openKitFromDialog(const KitContext& ctx) {
    const auto chosen = dialogs::openFile({QStringLiteral("Open Kit"), kDialogFilter, startFolder(), QString()});
    if (chosen) openKit(ctx, *chosen);
}

void saveKitFromDialog(const KitContext& ctx) {
    if (!haveBank(ctx)) return;
    const auto chosen = dialogs::saveFile(
        {QStringLiteral("Save Kit As"), kDialogFilter, startFolder(), QStringLiteral("kit") + kExtension});
    if (!chosen) return;
    saveKit(ctx, QFileInfo(*chosen).suffix().isEmpty() ? *chosen + kExtension : *chosen);
}

}  // namespace zendra::kits
