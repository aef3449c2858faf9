// Starting and ending the real program on a private display: the disclaimer,
// agreeing with the mouse, closing the main window, and no audio server at
// all. (Disagreeing is a window test; a termination signal ends the playing
// scenario.)
#include <gtest/gtest.h>
#include <string>

#include "e2e_app.h"

namespace zendra::test {
namespace {

constexpr double kStartTimeout = 30.0;  // a loaded machine starts slowly

class StartupE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ZENDRA_SKIP_UNLESS_PROGRAMS("Xvfb", "xdotool", "xdpyinfo", "pulseaudio", "pactl", "pacat");
        ASSERT_FALSE(zendraBin().empty()) << "ZENDRA_BIN must name the program under test";
        display_.emplace();
    }
    // Starts the program and returns its disclaimer, the first window: it has
    // no title, so it is found by the program's class.
    std::string start(const EnvVars& audio) {
        const std::string label = std::string("startup-") + testing::UnitTest::GetInstance()->current_test_info()->name();
        app_.emplace(*display_, audio, label);
        const auto wid = app_->findDisclaimer(kStartTimeout);
        EXPECT_TRUE(wid.has_value()) << "no disclaimer; stderr:\n" << app_->stderrText();
        EXPECT_TRUE(display_->windowsByName(kMainTitle).empty()) << "the main window must wait for the disclaimer";
        return wid.value_or("");
    }
    // Waits for the end; its exit code, or -1.
    int ended() {
        const auto code = app_->process().waitExit(15.0);
        EXPECT_TRUE(display_->windowsByClass(kAppClass).empty()) << "a window outlived the program";
        return code.value_or(-1);
    }

    std::optional<Display> display_;
    std::optional<AudioServer> server_;
    std::optional<ZendraApp> app_;
};

TEST_F(StartupE2E, AgreeByMouseOpensTheMainWindowAndClosingItEnds) {
    server_.emplace();
    const std::string disclaimer = start(server_->env());
    const auto g = display_->windowGeometry(disclaimer);
    ASSERT_TRUE(g.has_value());
    EXPECT_NEAR(g->width, 403, 2);
    EXPECT_NEAR(g->height, 191, 2);
    ASSERT_TRUE(display_->click(g->x + 220 + 44, g->y + 160 + 14));  // "I Agree"
    const auto main = display_->findWindow(kMainTitle, kStartTimeout);
    ASSERT_TRUE(main.has_value()) << app_->stderrText();
    app_->snapshot("main-window");
    EXPECT_TRUE(display_->windowsByName(kMessageTitle).empty());
    ASSERT_TRUE(display_->closeWindow(*main));  // as a window manager's close button
    EXPECT_EQ(ended(), 0);
}

TEST_F(StartupE2E, WithoutAnAudioServerItSaysSoAndEnds) {
    TempDir runtime("zendra-nopulse");  // a server that does not exist; no fallback may reach another
    const EnvVars none{{"PULSE_SERVER", "unix:" + runtime.path() + "/pulse/native"},
                       {"XDG_RUNTIME_DIR", runtime.path()},
                       {"PULSE_COOKIE", runtime.path() + "/cookie"}};
    ASSERT_TRUE(display_->key("Return", start(none)));
    const auto box = display_->findWindow("^Oh o, Somethings wrong!$", kStartTimeout);
    ASSERT_TRUE(box.has_value()) << "no error message; stderr:\n" << app_->stderrText();
    EXPECT_TRUE(display_->windowsByName(kMainTitle).empty()) << "the main window must not show when sound fails";
    ASSERT_TRUE(display_->key("Return", *box));
    const int code = ended();
    EXPECT_TRUE(code >= 0 && code < 128) << "exit code " << code;
}

}  // namespace
}  // namespace zendra::test
