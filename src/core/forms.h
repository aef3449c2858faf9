// The single instance of each window. Referring to a window creates it,
// hidden, if it does not exist yet.
#pragma once

#include <QString>

class QMdiArea;

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

namespace forms {

zendra::frmSplash& frmSplash();
zendra::FrmReworked* mainWindowIfAny();
zendra::FrmReworked& FrmReworked();
// Creates the main window and runs its load; false when the sound device
// could not start (the window is then gone again).
bool startMainWindow();
// Builds the main window, hidden and without touching the sound device, so
// that startMainWindow has less to do.
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
// Shows one, creating it (hidden) first if it does not exist yet.
void showForm(Tool tool);
// What comes up with the main window once its load has shown it: the MIDI
// player (owned by the main window), the Sample Dock, and the kit or the
// last session to offer.
void mainWindowLoaded(zendra::FrmReworked& main);

// Puts a newly made tool window into the main window (hidden), if there is one.
void adopt(ToolForm* form);
// Destroys every window (tests start each case afresh).
void destroyAll();

}  // namespace forms
}  // namespace zendra
