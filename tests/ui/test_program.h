// The program a window test runs: one App at a time, made afresh for each
// test (and for a test's own "next run"), on the audio system the test
// chooses. The `forms` functions name its windows as the tests read them.
#pragma once
#include <functional>
#include <memory>

#include "app/app.h"
#include "core/frm_reworked.h"

namespace zendra::test {

// The audio system the next program's sound objects use (offline by default).
void setBackendFactory(std::function<std::shared_ptr<AudioBackend>()> factory);
// Ends the program under test (every window, then its sound) and starts a new one.
void restartProgram();
// Ends it for good (after a test).
void endProgram();
app::App& program();

}  // namespace zendra::test

namespace zendra::forms {

inline app::App& app() { return test::program(); }
inline zendra::frmSplash& frmSplash() { return app().frmSplash(); }
inline zendra::FrmReworked* mainWindowIfAny() { return app().mainWindowIfAny(); }
inline bool startMainWindow() { return app().startMainWindow(); }
// The main window, started if it is not up yet.
inline zendra::FrmReworked& FrmReworked() {
    app().startMainWindow();
    return *app().mainWindowIfAny();
}
inline zendra::frmAbout& frmAbout() { return app().frmAbout(); }
inline zendra::frmLoadSamples& frmLoadSamples() { return app().frmLoadSamples(); }
inline zendra::frmKeyBoard& frmKeyBoard() { return app().frmKeyBoard(); }
inline zendra::frmVar& frmVar() { return app().frmVar(); }
inline zendra::frmSamplePlay& frmSamplePlay() { return app().frmSamplePlay(); }
inline zendra::frmCrossFade& frmCrossFade() { return app().frmCrossFade(); }
inline zendra::frmFX& frmFX() { return app().frmFX(); }
inline zendra::frmSettings& frmSettings() { return app().frmSettings(); }
inline zendra::frmSampleKeyPad& frmSampleKeyPad() { return app().frmSampleKeyPad(); }
inline zendra::frmProperties& frmProperties() { return app().frmProperties(); }
inline zendra::frmRecord& frmRecord() { return app().frmRecord(); }
inline zendra::frmMidi& frmMidi() { return app().frmMidi(); }
inline zendra::SampleEditor& sampleEditor() { return app().sampleEditor(); }
// A new run of the program: every window and the shared state afresh.
inline void destroyAll() { test::restartProgram(); }
inline DXMoudule& shared() { return app().shared(); }

}  // namespace zendra::forms
