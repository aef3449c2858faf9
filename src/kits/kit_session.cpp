#include "kits/kit_session.h"

#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <cmath>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/forms.h"
#include "core/settings.h"
#include "midi/midi_player.h"
#include "mixing/frm_var.h"
#include "samples/frm_load_samples.h"
#include "tappad/frm_settings.h"

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

Kit currentKit() {
    Kit kit;
    frmVar& var = forms::frmVar();
    const frmSettings& keys = forms::frmSettings();
    for (int i = 0; i <= DXMoudule::LastSample && i < static_cast<int>(DXMoudule::SampleFile.size()); ++i) {
        KitSample s;
        s.file = absolute(DXMoudule::SampleFile[static_cast<size_t>(i)]);
        s.loop = var.loops(i);
        s.volume = var.volume(i);
        s.pan = var.pan(i);
        const DirectSoundBuffer* b = DXMoudule::bufferAt(i);
        s.frequency = b ? static_cast<int>(b->GetFrequency()) : var.frequencyBar(i) * 10;
        s.paused = var.isPaused(i);
        s.key = keys.keyOf(i);
        kit.samples.push_back(s);
    }
    if (const midi::MidiPlayer* player = midi::MidiPlayer::instance()) kit.midi = player->mapping().toJson();
    return kit;
}

void applySettings(const Kit& kit) {
    if (midi::MidiPlayer* player = midi::MidiPlayer::instance(); player && !kit.midi.isEmpty())
        player->setMapping(midi::MidiMapping::fromJson(kit.midi));
    frmVar& var = forms::frmVar();
    frmSettings& keys = forms::frmSettings();
    const int n = std::min<int>(static_cast<int>(kit.samples.size()), DXMoudule::LastSample + 1);
    for (int i = 0; i < n && i < static_cast<int>(DXMoudule::SampleFile.size()); ++i) {
        const KitSample& s = kit.samples[static_cast<size_t>(i)];
        if (absolute(DXMoudule::SampleFile[static_cast<size_t>(i)]) != absolute(s.file)) continue;
        var.applyLoop(i, s.loop);
        var.applyVolume(i, s.volume);
        var.applyPan(i, s.pan);
        // A rate the bar cannot show stays as the load left it.
        if (s.frequency > 0) var.applyFrequencyBar(i, static_cast<int>(std::lround(s.frequency / 10.0)));
        var.applyPaused(i, s.paused);
        keys.bindKey(i, s.key);
    }
}

void fillDock(const Kit& kit) {
    frmLoadSamples& dock = forms::frmLoadSamples();
    const int n = static_cast<int>(kit.samples.size());
    dock.hscrollNumber->setValue((n - 1) / 4);
    for (int i = 0; i < 16; ++i)
        dock.lblSample[i]->setText(i < n ? kit.samples[static_cast<size_t>(i)].file : QString());
    Pending& p = pending();
    QObject::disconnect(p.connection);
    p.kit = kit;
    p.applied = false;
    p.connection = QObject::connect(&dock, &frmLoadSamples::bankLoaded, &dock, [] {
        Pending& q = pending();
        QObject::disconnect(q.connection);
        applySettings(q.kit);
        q.applied = true;
    });
}

bool openKit(const QString& path) {
    if (forms::frmLoadSamples().isLoading()) return false;  // the dock's slots are in use
    const ReadResult read = readKit(path);
    if (!read.kit) {
        warn(QStringLiteral("The kit \"%1\" cannot be opened: %2\n\nNothing was changed.").arg(path, read.error));
        return false;
    }
    settings::setFolder(QStringLiteral("kits"), QFileInfo(path).absolutePath());
    frmLoadSamples& dock = forms::frmLoadSamples();
    fillDock(*read.kit);
    // The Sample Dock's own load: progress, all or nothing, every failing file named.
    if (!dock.loadBank(path)) dock.showForm();
    return pending().applied;
}

namespace {
bool haveBank() {
    if (!DXMoudule::SampleFile.empty()) return true;
    warn(QStringLiteral("There is nothing to save yet: load samples in the Sample Dock first."));
    return false;
}
}  // namespace

bool saveKit(const QString& path) {
    if (!haveBank()) return false;
    const QString error = writeKit(currentKit(), path);
    if (!error.isEmpty()) {
        warn(QStringLiteral("The kit was not saved.\n%1").arg(error));
        return false;
    }
    settings::setFolder(QStringLiteral("kits"), QFileInfo(path).absolutePath());
    return true;
}

void openKitFromDialog() {
    const auto chosen = dialogs::openFile({QStringLiteral("Open Kit"), kDialogFilter, startFolder(), QString()});
    if (chosen) openKit(*chosen);
}

void saveKitFromDialog() {
    if (!haveBank()) return;
    const auto chosen = dialogs::saveFile(
        {QStringLiteral("Save Kit As"), kDialogFilter, startFolder(), QStringLiteral("kit") + kExtension});
    if (!chosen) return;
    saveKit(QFileInfo(*chosen).suffix().isEmpty() ? *chosen + kExtension : *chosen);
}

}  // namespace zendra::kits
