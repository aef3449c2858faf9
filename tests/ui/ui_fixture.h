// Common ground for window tests: offline sound, scripted dialogs, a fresh
// set of windows for every test.
#pragma once
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "kits/kit_start.h"
#include "samples/frm_load_samples.h"
#include "signal_measure.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "test_program.h"

// GCC misreads optional<QString> moved out of a deque.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace zendra::test {

// A sample's sound in the units the windows are designed in: status 1
// playing, 5 looping, 0 stopped; position in bytes of the decoded sound;
// volume and pan in hundredths of a decibel; frequency in Hz.
struct SlotSound {
    int slot;
    SamplePlayer& p() const { return *forms::shared().Player(); }
    int32_t GetStatus() const { return p().looping(slot) ? 5 : p().playing(slot) ? 1 : 0; }
    int32_t GetCurrentPosition() const {
        return static_cast<int32_t>(p().position(slot) * p().sound(slot)->blockAlign());
    }
    int32_t GetFrequency() const { return p().rateHz(slot); }
    int32_t GetVolume() const { return static_cast<int32_t>(std::lround(p().gainDb(slot) * 100)); }
    int32_t GetPan() const { return static_cast<int32_t>(std::lround(p().pan(slot) * 10000)); }
    void Play(int loop) const { p().playOn(slot, loop != 0); }
    void Stop() const { p().stop(slot); }
    void SetFrequency(int hz) const { p().setRateHz(slot, hz); }
};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend = std::make_shared<OfflineBackend>();
        setBackendFactory([b = backend] { return b; });
        restartProgram();
        hooks.msgBox = [this](const dialogs::MessageCall& c) {
            messages.push_back(c);
            const auto none = c.buttons == dialogs::Buttons::YesNo ? dialogs::Answer::No : dialogs::Answer::Ok;
            const auto a = answers.empty() ? none : answers.front();
            if (!answers.empty()) answers.pop_front();
            return a;
        };
        hooks.inputBox = [this](const QString& prompt, const QString& title) {
            prompts.push_back({prompt, title});
            return next(inputs);
        };
        hooks.openFile = [this](const dialogs::FileCall& c) {
            fileCalls.push_back(c);
            return next(openFiles);
        };
        hooks.saveFile = [this](const dialogs::FileCall& c) {
            fileCalls.push_back(c);
            return next(saveFiles);
        };
        hooks.endProgram = [this](int code) {
            ended = true;
            endCode = code;
        };
        dialogs::setHooks(&hooks);
    }

    void TearDown() override {
        endProgram();
        setBackendFactory(nullptr);
        dialogs::setHooks(nullptr);
    }

    // The next scripted answer of a dialog; none (cancelled) when they ran out.
    static std::optional<QString> next(std::deque<std::optional<QString>>& answers) {
        if (answers.empty()) return std::nullopt;
        auto r = answers.front();
        answers.pop_front();
        return r;
    }

    // Creates the main window (starting offline sound) as "I Agree" does.
    bool startMain() { return forms::startMainWindow(); }

    // Starts only the sound device, without the main window.
    void startSound() { forms::shared().InitDirectSound(nullptr); }

    OutputEngine& engine() { return *forms::shared().ds->engine(); }

    // Renders the next stretch of output (interleaved stereo at the device rate).
    std::vector<float> render(double seconds) {
        return engine().renderOffline(static_cast<int>(seconds * engine().rate()));
    }

    // The same, split into its two sides.
    Stereo out(double seconds) { return splitInterleaved(render(seconds), engine().rate()); }

    static QString demo(const char* name) {
        const char* dir = std::getenv("ZENDRA_DEMO_KIT");
        return QString::fromLocal8Bit(dir ? dir : "build/demo-kit") + "/" + name;
    }

    // Fills the dock's first slots with the paths and clicks Done.
    void loadBank(const QStringList& paths) {
        frmLoadSamples& dock = forms::frmLoadSamples();
        dock.hscrollNumber->setValue(paths.size() <= 4 ? 0 : (paths.size() - 1) / 4);
        for (int i = 0; i < 16; ++i) dock.lblSample[i]->setText(i < paths.size() ? paths[i] : QString());
        dock.cmbDone->click();
    }

    // Gives the keyboard focus to w in its active window, as a click or Tab would.
    static void focus(QWidget* w) {
        w->window()->show();
        QApplication::setActiveWindow(w->window());
        w->setFocus(Qt::OtherFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), w);
    }

    // Picks entry `row` of a chooser as a user does: open its list, walk to the
    // entry with the arrow keys and press Return.
    static void pick(QComboBox* c, int row) {
        c->window()->show();
        c->showPopup();
        QAbstractItemView* view = c->view();
        ASSERT_TRUE(view->isVisible());
        for (int at = view->currentIndex().row(); at != row; at += at < row ? 1 : -1)
            QTest::keyClick(view, at < row ? Qt::Key_Down : Qt::Key_Up);
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_FALSE(view->isVisible());
        ASSERT_EQ(c->currentIndex(), row);
    }

    // Types text into the focused widget, a key event per character, as an input method would.
    static void typeText(const QString& text) {
        for (char32_t c : text.toUcs4()) {
            for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
                QKeyEvent e(t, Qt::Key_unknown, Qt::NoModifier, QString::fromUcs4(&c, 1));
                QApplication::sendEvent(QApplication::focusWidget(), &e);
            }
        }
    }

    // A bank of n drum sounds from the demo kit (kick, snare, hat, clap, kick...).
    void loadDrums(int n) {
        const char* names[] = {"kick.wav", "snare.wav", "hat.wav", "clap.wav"};
        QStringList paths;
        for (int i = 0; i < n; ++i) paths << demo(names[i % 4]);
        loadBank(paths);
        ASSERT_EQ(forms::shared().Bank().count(), n);
    }

    static SamplePlayer& player() { return *forms::shared().Player(); }
    static SlotSound sound(int slot) { return SlotSound{slot}; }
    // The sounds the player holds, slot by slot.
    static std::vector<const SampleData*> sounds() {
        std::vector<const SampleData*> v;
        for (int i = 0; i < player().count(); ++i) v.push_back(player().sound(i));
        return v;
    }
    static model::SampleBank& bank() { return forms::shared().Bank(); }

    // Indexes of the samples that are playing.
    static std::vector<int> playing() {
        std::vector<int> on;
        for (int i = 0; i < player().count(); ++i)
            if (player().playing(i)) on.push_back(i);
        return on;
    }

    static void stopAll() {
        for (int i = 0; i < player().count(); ++i) player().stop(i);
    }

    // Exactly one message box was shown, and it was this one.
    void expectOnlyMessage(const QString& text, const QString& title, dialogs::Icon icon,
                           dialogs::Buttons buttons = dialogs::Buttons::Ok) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, text);
        EXPECT_EQ(std::tuple(messages[0].title, messages[0].icon, messages[0].buttons),
                  std::tuple(title, icon, buttons));
    }

    std::shared_ptr<OfflineBackend> backend;
    dialogs::Hooks hooks;
    std::vector<dialogs::MessageCall> messages;
    std::deque<dialogs::Answer> answers;
    std::vector<std::pair<QString, QString>> prompts;
    std::deque<std::optional<QString>> inputs;
    std::vector<dialogs::FileCall> fileCalls;
    std::deque<std::optional<QString>> openFiles;
    std::deque<std::optional<QString>> saveFiles;
    bool ended = false;
    int endCode = -1;
};

// A window test with a configuration folder of its own; remembering is off again after it.
class ConfigTest : public UiTest {
protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        UiTest::SetUp();
    }
    void TearDown() override {
        kits::rememberBetweenRuns(false);
        UiTest::TearDown();
        qunsetenv("XDG_CONFIG_HOME");
    }
    QTemporaryDir config;
};

}  // namespace zendra::test
