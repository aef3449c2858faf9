#include "core/forms.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <stdexcept>

#include "core/dx_module.h"
#include "core/frm_about.h"
#include "core/frm_reworked.h"
#include "core/frm_splash.h"
#include "keyboard/frm_key_board.h"
#include "kits/kit_start.h"
#include "midi/frm_midi.h"
#include "midi/midi_player.h"
#include "mixing/frm_cross_fade.h"
#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "recording/frm_properties.h"
#include "recording/frm_record.h"
#include "samples/frm_load_samples.h"
#include "samples/sample_editor.h"
#include "tappad/frm_sample_key_pad.h"
#include "tappad/frm_settings.h"

namespace zendra::forms {

namespace {
QPointer<zendra::FrmReworked> g_main;
QPointer<zendra::FrmReworked> g_prepared;  // built ahead, not yet loaded
QPointer<zendra::frmSplash> g_splash;

template <typename F>
struct Slot {
    static QPointer<F>& ptr() {
        static QPointer<F> p;
        return p;
    }
    static F& get() {
        QPointer<F>& p = ptr();
        if (!p) {
            p = new F();
            adopt(p);
        }
        return *p;
    }
};
}  // namespace

void adopt(ToolForm* form) {
    if (!g_main) return;  // a window of its own (tests without the main window)
    QMdiSubWindow* sub =
        g_main->mdi->addSubWindow(form, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                            Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(g_main->windowIcon());
    sub->adjustSize();
    sub->hide();
}

zendra::frmSplash& frmSplash() {
    if (!g_splash) g_splash = new zendra::frmSplash();
    return *g_splash;
}

zendra::FrmReworked* mainWindowIfAny() { return g_main.data(); }

void prepareMainWindow() {
    if (g_main || g_prepared) return;
    g_prepared = new zendra::FrmReworked();
    g_prepared->winId();  // its native window too, so showing it is quick
    zendra::frmLoadSamples::warmUpFont();
}

bool startMainWindow() {
    if (g_main) return true;
    zendra::FrmReworked* w = g_prepared ? g_prepared.data() : new zendra::FrmReworked();
    g_prepared = nullptr;
    g_main = w;
    if (!w->Form_Load()) {
        g_main = nullptr;
        delete w;
        return false;
    }
    return true;
}

zendra::FrmReworked& FrmReworked() {
    if (!g_main && !startMainWindow()) throw std::runtime_error("The main window could not start.");
    return *g_main;
}

zendra::frmAbout& frmAbout() { return Slot<zendra::frmAbout>::get(); }
zendra::frmLoadSamples& frmLoadSamples() { return Slot<zendra::frmLoadSamples>::get(); }
zendra::frmKeyBoard& frmKeyBoard() { return Slot<zendra::frmKeyBoard>::get(); }
zendra::frmVar& frmVar() { return Slot<zendra::frmVar>::get(); }
zendra::frmSamplePlay& frmSamplePlay() { return Slot<zendra::frmSamplePlay>::get(); }
zendra::frmCrossFade& frmCrossFade() { return Slot<zendra::frmCrossFade>::get(); }
zendra::frmFX& frmFX() { return Slot<zendra::frmFX>::get(); }
zendra::frmSettings& frmSettings() { return Slot<zendra::frmSettings>::get(); }
zendra::frmSampleKeyPad& frmSampleKeyPad() { return Slot<zendra::frmSampleKeyPad>::get(); }
zendra::frmProperties& frmProperties() { return Slot<zendra::frmProperties>::get(); }
zendra::frmRecord& frmRecord() { return Slot<zendra::frmRecord>::get(); }
zendra::frmMidi& frmMidi() { return Slot<zendra::frmMidi>::get(); }
zendra::SampleEditor& sampleEditor() {
    QPointer<zendra::SampleEditor>& p = Slot<zendra::SampleEditor>::ptr();
    if (!p) {
        p = new zendra::SampleEditor(DXMoudule::Bank(), [] { return DXMoudule::Player(); });
        adopt(p);
    }
    return *p;
}

void showForm(Tool tool) {
    switch (tool) {
    case Tool::frmLoadSamples: frmLoadSamples().showForm(); break;
    case Tool::frmProperties: frmProperties().showForm(); break;
    case Tool::frmMidi: frmMidi().showForm(); break;
    case Tool::frmSettings: frmSettings().showForm(); break;
    case Tool::frmKeyBoard: frmKeyBoard().showForm(); break;
    case Tool::frmSamplePlay: frmSamplePlay().showForm(); break;
    case Tool::frmSampleKeyPad: frmSampleKeyPad().showForm(); break;
    case Tool::frmVar: frmVar().showForm(); break;
    case Tool::frmFX: frmFX().showForm(); break;
    case Tool::frmCrossFade: frmCrossFade().showForm(); break;
    case Tool::frmRecord: frmRecord().showForm(); break;
    case Tool::sampleEditor: sampleEditor().showForm(); break;
    case Tool::frmAbout: frmAbout().showForm(); break;
    }
}

void mainWindowLoaded(zendra::FrmReworked& main) {
    new midi::MidiPlayer(DXMoudule::sharedPlayer(), &main);  // plays from the remembered MIDI input, if any
    frmLoadSamples().showForm();
    kits::mainWindowLoaded();
}

void destroyAll() {
    auto kill = [](auto& p) {
        if (p) {
            QWidget* f = p->frame();
            delete (f != p.data() ? f : static_cast<QWidget*>(p.data()));
        }
        p = nullptr;
    };
    kill(Slot<zendra::frmAbout>::ptr());
    kill(Slot<zendra::frmLoadSamples>::ptr());
    kill(Slot<zendra::frmKeyBoard>::ptr());
    kill(Slot<zendra::frmVar>::ptr());
    kill(Slot<zendra::frmSamplePlay>::ptr());
    kill(Slot<zendra::frmCrossFade>::ptr());
    kill(Slot<zendra::frmFX>::ptr());
    kill(Slot<zendra::frmSettings>::ptr());
    kill(Slot<zendra::frmSampleKeyPad>::ptr());
    kill(Slot<zendra::frmProperties>::ptr());
    kill(Slot<zendra::frmRecord>::ptr());
    kill(Slot<zendra::frmMidi>::ptr());
    kill(Slot<zendra::SampleEditor>::ptr());
    delete g_main.data();
    g_main = nullptr;
    delete g_splash.data();
    g_splash = nullptr;
}

}  // namespace zendra::forms
