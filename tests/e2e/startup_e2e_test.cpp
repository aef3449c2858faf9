// The real program starting up on a private display and audio server: the
// disclaimer, agreeing or not, closing the main window, and starting with no
// audio server at all.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "e2e_app.h"

namespace zendra::test {
namespace {

constexpr const char* kErrorTitle = "^Oh o, Somethings wrong!$";
constexpr double kStartTimeout = 30.0;  // a loaded machine starts slowly

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        ZENDRA_SKIP_UNLESS_PROGRAMS("Xvfb", "xdotool", "xdpyinfo", "import", "pulseaudio", "pactl", "pacat");
        ASSERT_FALSE(zendraBin().empty()) << "ZENDRA_BIN must name the program under test";
        display_ = std::make_unique<Display>();
    }

    std::unique_ptr<ZendraApp> launchWithServer(const std::string& label) {
        if (!server_) server_ = std::make_unique<AudioServer>();
        return std::make_unique<ZendraApp>(*display_, server_->env(), label);
    }

    static std::string label() {
        return std::string("startup-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    // The disclaimer is the first window; it has no title of its own, so it
    // is found by the program's class and checked by its size (403 x 191).
    std::optional<std::string> findDisclaimer(const ZendraApp& app) const {
        const auto wid = app.findDisclaimer(kStartTimeout);
        if (!wid) return std::nullopt;
        const auto g = display_->windowGeometry(*wid);
        EXPECT_TRUE(g.has_value());
        if (g) {
            EXPECT_NEAR(g->width, 403, 2) << "disclaimer width";
            EXPECT_NEAR(g->height, 191, 2) << "disclaimer height";
        }
        EXPECT_TRUE(display_->windowsByName(kMainTitle).empty()) << "the main window must wait for the disclaimer";
        return wid;
    }

    bool visible(const std::string& wid) const {
        const auto all = display_->windowsByClass(kAppClass);
        return std::find(all.begin(), all.end(), wid) != all.end();
    }

    void saveScreenshot(const std::string& name) const {
        const std::string path = artifactsDir() + "/" + name + ".png";
        EXPECT_TRUE(display_->screenshot(path)) << "screenshot " << path;
        std::cout << "screenshot: " << path << "\n";
    }

    std::unique_ptr<Display> display_;
    std::unique_ptr<AudioServer> server_;
};

TEST_F(Startup, AgreeingOpensTheMainWindow) {
    auto app = launchWithServer(label());
    const auto disclaimer = findDisclaimer(*app);
    ASSERT_TRUE(disclaimer) << "no disclaimer appeared; stderr:\n" << app->stderrText();
    saveScreenshot("startup-disclaimer");

    // "I Agree" is the default button and has the focus.
    ASSERT_TRUE(display_->key("Return", *disclaimer));
    const auto main = display_->findWindow(kMainTitle, kStartTimeout);
    ASSERT_TRUE(main) << "no main window; stderr:\n" << app->stderrText();
    EXPECT_FALSE(visible(*disclaimer)) << "the disclaimer must close";
    EXPECT_TRUE(app->alive());
    saveScreenshot("startup-main-window");
    EXPECT_TRUE(display_->windowsByName(kErrorTitle).empty()) << "no error with a working audio server";
}

TEST_F(Startup, DisagreeingQuitsWithoutAWindow) {
    auto app = launchWithServer(label());
    const auto disclaimer = findDisclaimer(*app);
    ASSERT_TRUE(disclaimer) << "no disclaimer appeared; stderr:\n" << app->stderrText();

    // "I Disagree" is next in tab order.
    ASSERT_TRUE(display_->key("Tab", *disclaimer));
    ASSERT_TRUE(display_->key("space"));
    const auto code = app->process().waitExit(15.0);
    ASSERT_TRUE(code) << "the program did not end";
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(display_->windowsByClass(kAppClass).empty());
    EXPECT_TRUE(display_->windowsByName(kMainTitle).empty());
}

TEST_F(Startup, ClosingTheMainWindowQuits) {
    auto app = launchWithServer(label());
    const auto disclaimer = findDisclaimer(*app);
    ASSERT_TRUE(disclaimer) << "no disclaimer appeared; stderr:\n" << app->stderrText();

    // This time with the mouse: "I Agree" sits at (220, 160), 89 x 29 pixels.
    const auto g = display_->windowGeometry(*disclaimer);
    ASSERT_TRUE(g);
    ASSERT_TRUE(display_->click(g->x + 220 + 44, g->y + 160 + 14));
    const auto main = display_->findWindow(kMainTitle, kStartTimeout);
    ASSERT_TRUE(main) << "no main window; stderr:\n" << app->stderrText();
    EXPECT_FALSE(visible(*disclaimer));

    // What a window manager's close button sends.
    ASSERT_TRUE(display_->closeWindow(*main));
    const auto code = app->process().waitExit(15.0);
    ASSERT_TRUE(code) << "the program did not end after its main window closed";
    EXPECT_EQ(*code, 0);
    EXPECT_TRUE(display_->windowsByClass(kAppClass).empty());
}

TEST_F(Startup, WithoutAnAudioServerItReportsAnErrorAndQuits) {
    // Points at a server that does not exist; no fallback may reach another.
    TempDir runtime("zendra-nopulse");
    const EnvVars noServer{{"PULSE_SERVER", "unix:" + runtime.path() + "/pulse/native"},
                           {"XDG_RUNTIME_DIR", runtime.path()},
                           {"PULSE_COOKIE", runtime.path() + "/cookie"}};
    ZendraApp app(*display_, noServer, label());
    const auto disclaimer = findDisclaimer(app);
    ASSERT_TRUE(disclaimer) << "no disclaimer appeared; stderr:\n" << app.stderrText();
    ASSERT_TRUE(display_->key("Return", *disclaimer));

    const auto box = display_->findWindow(kErrorTitle, kStartTimeout);
    ASSERT_TRUE(box) << "no error message; stderr:\n" << app.stderrText();
    saveScreenshot("startup-no-audio-error");
    EXPECT_TRUE(display_->windowsByName(kMainTitle).empty()) << "the main window must not show when sound fails";
    ASSERT_TRUE(display_->key("Return", *box));
    const auto code = app.process().waitExit(15.0);
    ASSERT_TRUE(code) << "the program did not end after the error";
    std::cout << "exit code after the audio error: " << *code << "\n";
    EXPECT_LT(*code, 128) << "ended by a signal";
    EXPECT_TRUE(display_->windowsByClass(kAppClass).empty());
}

TEST_F(Startup, TerminationSignalEndsTheRunningProgram) {
    // As at logout or shutdown: SIGTERM once the sound device is open.
    auto app = launchWithServer(label());
    const auto disclaimer = findDisclaimer(*app);
    ASSERT_TRUE(disclaimer) << "no disclaimer appeared; stderr:\n" << app->stderrText();
    ASSERT_TRUE(display_->key("Return", *disclaimer));
    ASSERT_TRUE(display_->findWindow(kMainTitle, kStartTimeout)) << "stderr:\n" << app->stderrText();
    ASSERT_TRUE(app->alive());
    kill(app->process().pid(), SIGTERM);
    const auto code = app->process().waitExit(5.0);
    EXPECT_TRUE(code.has_value()) << "SIGTERM was caught and ignored";
    if (code) {
        EXPECT_TRUE(*code == 0 || *code == 128 + SIGTERM) << "exit code " << *code;
    }
}

}  // namespace
}  // namespace zendra::test
