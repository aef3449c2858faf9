// Common ground for window tests: offline sound, scripted dialogs, a fresh
// set of windows for every test.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <cstdlib>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/forms.h"
#include "samples/frm_load_samples.h"
#include "sound/offline_backend.h"
#include "signal_measure.h"
#include "sound/output_engine.h"

// GCC misreads optional<QString> moved out of a deque.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace zendra::test {

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        forms::destroyAll();
        DXMoudule::reset();
        backend = std::make_shared<OfflineBackend>();
        DXMoudule::setBackendFactory([b = backend] { return b; });
        hooks.msgBox = [this](const dialogs::MessageCall& c) {
            messages.push_back(c);
            if (!answers.empty()) {
                auto a = answers.front();
                answers.pop_front();
                return a;
            }
            return c.buttons == dialogs::Buttons::YesNo ? dialogs::Answer::No : dialogs::Answer::Ok;
        };
        hooks.inputBox = [this](const QString& prompt, const QString& title) -> std::optional<QString> {
            prompts.push_back({prompt, title});
            if (inputs.empty()) return std::nullopt;
            auto r = inputs.front();
            inputs.pop_front();
            return r;
        };
        hooks.openFile = [this](const dialogs::FileCall& c) -> std::optional<QString> {
            fileCalls.push_back(c);
            if (openFiles.empty()) return std::nullopt;
            auto r = openFiles.front();
            openFiles.pop_front();
            return r;
        };
        hooks.saveFile = [this](const dialogs::FileCall& c) -> std::optional<QString> {
            fileCalls.push_back(c);
            if (saveFiles.empty()) return std::nullopt;
            auto r = saveFiles.front();
            saveFiles.pop_front();
            return r;
        };
        hooks.endProgram = [this](int code) {
            ended = true;
            endCode = code;
        };
        dialogs::setHooks(&hooks);
    }

    void TearDown() override {
        forms::destroyAll();
        DXMoudule::reset();
        DXMoudule::setBackendFactory(nullptr);
        dialogs::setHooks(nullptr);
    }

    // Creates the main window (starting offline sound) as "I Agree" does.
    bool startMain() { return forms::startMainWindow(); }

    // Starts only the sound device, without the main window.
    void startSound() { DXMoudule::InitDirectSound(nullptr); }

    OutputEngine& engine() { return *DXMoudule::ds->engine(); }

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

    // Fills the dock's first slots with the paths and presses Done.
    void loadBank(const QStringList& paths) {
        frmLoadSamples& dock = forms::frmLoadSamples();
        dock.hscrollNumber->setValue(paths.size() <= 4 ? 0 : (paths.size() - 1) / 4);
        for (int i = 0; i < 16; ++i) dock.lblSample[i]->setText(i < paths.size() ? paths[i] : QString());
        dock.cmbDone_Click();
    }

    // A bank of n drum sounds from the demo kit (kick, snare, hat, clap, kick...).
    void loadDrums(int n) {
        const char* names[] = {"kick.wav", "snare.wav", "hat.wav", "clap.wav"};
        QStringList paths;
        for (int i = 0; i < n; ++i) paths << demo(names[i % 4]);
        loadBank(paths);
        ASSERT_EQ(DXMoudule::LastSample, n - 1);
    }

    // Indexes of the buffers that are playing.
    static std::vector<int> playing() {
        std::vector<int> on;
        for (size_t i = 0; i < DXMoudule::SampleBuffer.size(); ++i)
            if (DXMoudule::SampleBuffer[i]->GetStatus() != 0) on.push_back(static_cast<int>(i));
        return on;
    }

    static void stopAll() {
        for (auto& b : DXMoudule::SampleBuffer) b->Stop();
    }

    // Exactly one message box was shown, and it was this one.
    void expectOnlyMessage(const QString& text, const QString& title, dialogs::Icon icon,
                           dialogs::Buttons buttons = dialogs::Buttons::Ok) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, text);
        EXPECT_EQ(messages[0].title, title);
        EXPECT_EQ(messages[0].icon, icon);
        EXPECT_EQ(messages[0].buttons, buttons);
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

}  // namespace zendra::test
