#include "app/app.h"

#include <QMdiArea>
#include <QMdiSubWindow>

#include "core/callback_report.h"
#include "core/dialogs.h"
#include "core/frm_about.h"
#include "core/frm_reworked.h"
#include "core/frm_splash.h"
#include "keyboard/frm_key_board.h"
#include "kits/drumkit_import.h"
#include "kits/drumkit_session.h"
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
#include "sound/output_engine.h"
#include "tappad/frm_sample_key_pad.h"
#include "tappad/frm_settings.h"

namespace zendra::app {

App::App(DXMoudule::BackendFactory backend)
    : shared_(std::move(backend)),
      kits_{shared_, [this]() -> zendra::frmLoadSamples& { return frmLoadSamples(); },
            [this]() -> zendra::frmProperties& { return frmProperties(); }, [this] { return midi_.data(); },
            [this]() -> QWidget* { return main_.data(); }} {
    dialogs::setLastWords([this] { writeCallbackReport(shared_.ds ? shared_.ds->engine().get() : nullptr); });
    // A new bank prepares the windows that show it, made hidden now if they
    // do not exist yet (the main window places each while the dock is up).
    QObject::connect(&shared_.Bank(), &model::SampleBank::replaced, &shared_.Bank(), [this] {
        frmVar();
        frmSamplePlay();
        frmSettings();
        frmCrossFade();
        frmFX();
        frmKeyBoard();
    });
}

App::~App() {
    dialogs::setLastWords(nullptr);
    dialogs::setMainWindow(nullptr);
    auto kill = [](auto& p) {
        if (p) {
            QWidget* f = p->frame();
            delete (f != p.data() ? f : static_cast<QWidget*>(p.data()));
        }
        p = nullptr;
    };
    kill(about_);
    kill(loadSamples_);
    kill(keyBoard_);
    kill(var_);
    kill(samplePlay_);
    kill(crossFade_);
    kill(fx_);
    kill(settings_);
    kill(sampleKeyPad_);
    kill(properties_);
    kill(record_);
    kill(midiWindow_);
    kill(sampleEditor_);
    delete main_.data();
    delete prepared_.data();
    delete splash_.data();
}

midi::MidiPlayer* App::midi() const { return midi_.data(); }

zendra::FrmReworked* App::mainWindowIfAny() const { return main_.data(); }

template <typename F, typename... Args>
F& App::window(QPointer<F>& p, Args&&... args) {
    if (!p) {
        p = new F(std::forward<Args>(args)...);
        adopt(p);
    }
    return *p;
}

void App::adopt(ToolForm* form) {
    if (!main_) return;  // a window of its own (tests without the main window)
    QMdiSubWindow* sub = main_->mdi->addSubWindow(form, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                            Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->setWindowIcon(main_->windowIcon());
    sub->adjustSize();
    sub->hide();
}

zendra::frmSplash& App::frmSplash() {
    if (!splash_) {
        splash_ = new zendra::frmSplash();
        splash_->setStartMain([this] { return startMainWindow(); });
    }
    return *splash_;
}

zendra::FrmReworked* App::makeMainWindow() {
    auto* w = new zendra::FrmReworked(shared_);
    wireMenus(*w);
    w->acceptDrops([](const QString& path) { return kits::isKitFile(path) || kits::isDrumKitPath(path); });
    QObject::connect(w, &FrmReworked::fileDropped, w, [this](const QString& path) {
        if (kits::isKitFile(path))
            kits::openKit(kits_, path);
        else
            kits::importDrumKitIntoBank(kits_, path);
    });
    QObject::connect(w, &FrmReworked::windowLoaded, w, [this, w] { mainWindowLoaded(*w); });
    return w;
}

void App::prepareMainWindow() {
    if (main_ || prepared_) return;
    prepared_ = makeMainWindow();
    prepared_->winId();  // its native window too, so showing it is quick
    zendra::frmLoadSamples::warmUpFont();
}

bool App::startMainWindow() {
    if (main_) return true;
    zendra::FrmReworked* w = prepared_ ? prepared_.data() : makeMainWindow();
    prepared_ = nullptr;
    main_ = w;
    dialogs::setMainWindow(w);
    if (!w->Form_Load()) {
        main_ = nullptr;
        dialogs::setMainWindow(nullptr);
        delete w;
        return false;
    }
    return true;
}

void App::wireMenus(zendra::FrmReworked& w) {
    auto show = [&w, this](QAction* a, Tool t) {
        QObject::connect(a, &QAction::triggered, &w, [this, t] { showForm(t); });
    };
    show(w.LoadSamples, Tool::frmLoadSamples);
    show(w.Properties, Tool::frmProperties);
    show(w.Midi, Tool::frmMidi);
    show(w.KeySettings, Tool::frmSettings);
    show(w.KeyBoard, Tool::frmKeyBoard);
    show(w.SamplePad, Tool::frmSamplePlay);
    show(w.samplekeypad, Tool::frmSampleKeyPad);
    show(w.SampleProperties, Tool::frmVar);
    show(w.FX, Tool::frmFX);
    show(w.CrossFader, Tool::frmCrossFade);
    show(w.Record, Tool::frmRecord);
    show(w.SampleEditor, Tool::sampleEditor);
    show(w.About, Tool::frmAbout);
    QObject::connect(w.OpenKit, &QAction::triggered, &w, [this] { kits::openKitFromDialog(kits_); });
    QObject::connect(w.SaveKitAs, &QAction::triggered, &w, [this] { kits::saveKitFromDialog(kits_); });
    QObject::connect(w.ImportDrumKit, &QAction::triggered, &w, [this] { kits::importDrumKitFromDialog(kits_); });
    QObject::connect(w.RememberSetUp, &QAction::triggered, &w, [this](bool on) { kits::chooseRemembering(kits_, on); });
}

zendra::frmAbout& App::frmAbout() { return window(about_); }
zendra::frmLoadSamples& App::frmLoadSamples() { return window(loadSamples_, shared_); }
zendra::frmKeyBoard& App::frmKeyBoard() { return window(keyBoard_, shared_); }
zendra::frmVar& App::frmVar() { return window(var_, shared_); }
zendra::frmSamplePlay& App::frmSamplePlay() { return window(samplePlay_, shared_); }
zendra::frmCrossFade& App::frmCrossFade() { return window(crossFade_, shared_); }
zendra::frmFX& App::frmFX() { return window(fx_, shared_); }
zendra::frmSettings& App::frmSettings() { return window(settings_, shared_); }
zendra::frmSampleKeyPad& App::frmSampleKeyPad() { return window(sampleKeyPad_, shared_); }
zendra::frmProperties& App::frmProperties() { return window(properties_, shared_); }
zendra::frmRecord& App::frmRecord() { return window(record_, shared_); }
zendra::frmMidi& App::frmMidi() {
    return window(midiWindow_, std::function<midi::MidiPlayer*()>([this] { return midi_.data(); }), shared_.Bank());
}

zendra::SampleEditor& App::sampleEditor() {
    return window(sampleEditor_, shared_.Bank(), std::function<SamplePlayer*()>([this] { return shared_.Player(); }));
}

void App::showForm(Tool tool) {
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

void App::mainWindowLoaded(zendra::FrmReworked& main) {
    midi_ = new midi::MidiPlayer(shared_.sharedPlayer(), &main);  // plays from the remembered MIDI input, if any
    frmLoadSamples().showForm();
    kits::mainWindowLoaded(kits_);
}

}  // namespace zendra::app
