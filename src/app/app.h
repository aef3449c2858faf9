// The program as one object: it builds and owns the shared sound state and
// the bank, the windows (each made hidden at its first use and handed what
// it needs), and, once the main window has loaded, the MIDI player and the
// set-up keeper. Nothing else looks a window up. Window thread only.
#pragma once
#include <QObject>
#include <QPointer>
#include <memory>

#include "core/dx_module.h"
#include "kits/kit_session.h"

namespace zendra {

class ToolForm;
class frmSplash;
class FrmReworked;
class frmAbout;
class frmLoadSamples;
class frmKeyBoard;
class frmVar;
class frmSamplePlay;
class frmCrossFade;
class frmFX;
class frmSettings;
class frmSampleKeyPad;
class frmProperties;
class frmRecord;
class frmMidi;
class SampleEditor;
namespace midi {
class MidiPlayer;
}

namespace app {

// The tool windows the main window's menus show.
enum class Tool {
    frmLoadSamples,
    frmProperties,
    frmMidi,
    frmSettings,
    frmKeyBoard,
    frmSamplePlay,
    frmSampleKeyPad,
    frmVar,
    frmFX,
    frmCrossFade,
    frmRecord,
    sampleEditor,
    frmAbout
};

class App {
public:
    explicit App(DXMoudule::BackendFactory backend = {});
    // Destroys every window, then the sound.
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    DXMoudule& shared() { return shared_; }
    const kits::KitContext& kits() const { return kits_; }
    // The MIDI player, made once the main window has loaded; null before.
    midi::MidiPlayer* midi() const;

    zendra::frmSplash& frmSplash();
    zendra::FrmReworked* mainWindowIfAny() const;
    // Creates the main window and runs its load; false when the sound device
    // could not start (the window is then gone again).
    bool startMainWindow();
    // Builds the main window, hidden and without touching the sound device,
    // so that startMainWindow has less to do.
    void prepareMainWindow();
    zendra::frmAbout& frmAbout();
    zendra::frmLoadSamples& frmLoadSamples();
    zendra::frmKeyBoard& frmKeyBoard();
    zendra::frmVar& frmVar();
    zendra::frmSamplePlay& frmSamplePlay();
    zendra::frmCrossFade& frmCrossFade();
    zendra::frmFX& frmFX();
    zendra::frmSettings& frmSettings();
    zendra::frmSampleKeyPad& frmSampleKeyPad();
    zendra::frmProperties& frmProperties();
    zendra::frmRecord& frmRecord();
    zendra::frmMidi& frmMidi();
    zendra::SampleEditor& sampleEditor();
    // Shows one, creating it (hidden) first if it does not exist yet.
    void showForm(Tool tool);

private:
    zendra::FrmReworked* makeMainWindow();
    // Puts a newly made tool window into the main window (hidden), if there is one.
    void adopt(ToolForm* form);
    // Once the main window's load has shown it: the MIDI player, the Sample
    // Dock, and the kit or the last session to offer.
    void mainWindowLoaded(zendra::FrmReworked& main);
    void wireMenus(zendra::FrmReworked& main);
    template <typename F, typename... Args>
    F& window(QPointer<F>& p, Args&&... args);

    DXMoudule shared_;
    kits::KitContext kits_;
    QPointer<zendra::FrmReworked> main_;
    QPointer<zendra::FrmReworked> prepared_;  // built ahead, not yet loaded
    QPointer<zendra::frmSplash> splash_;
    QPointer<midi::MidiPlayer> midi_;
    QPointer<zendra::frmAbout> about_;
    QPointer<zendra::frmLoadSamples> loadSamples_;
    QPointer<zendra::frmKeyBoard> keyBoard_;
    QPointer<zendra::frmVar> var_;
    QPointer<zendra::frmSamplePlay> samplePlay_;
    QPointer<zendra::frmCrossFade> crossFade_;
    QPointer<zendra::frmFX> fx_;
    QPointer<zendra::frmSettings> settings_;
    QPointer<zendra::frmSampleKeyPad> sampleKeyPad_;
    QPointer<zendra::frmProperties> properties_;
    QPointer<zendra::frmRecord> record_;
    QPointer<zendra::frmMidi> midiWindow_;
    QPointer<zendra::SampleEditor> sampleEditor_;
};

}  // namespace app
}  // namespace zendra
