// With no audio server at all (no PipeWire, no PulseAudio, no ALSA device),
// the real program says so after "I Agree" and ends, showing no main window. (Agreeing with the mouse and closing the main
// window end the recording scenario; disagreeing is a window test.)
#include <gtest/gtest.h>

#include "e2e_app.h"

namespace zendra::test {
namespace {

TEST(StartupE2E, WithoutAnAudioServerItSaysSoAndEnds) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("Xvfb", "xdotool", "xdpyinfo");
    ASSERT_FALSE(zendraBin().empty()) << "ZENDRA_BIN must name the program under test";
    Display display;
    TempDir runtime("zendra-nopulse");  // a server that does not exist; no fallback may reach another
    ZendraApp app(display,
                  {{"PULSE_SERVER", "unix:" + runtime.path() + "/pulse/native"},
                   {"XDG_RUNTIME_DIR", runtime.path()},
                   {"PIPEWIRE_RUNTIME_DIR", runtime.path()},
                   {"PULSE_COOKIE", runtime.path() + "/cookie"}},
                  "startup-no-server");
    const auto disclaimer = app.findDisclaimer(30.0);
    ASSERT_TRUE(disclaimer.has_value()) << app.stderrText();
    ASSERT_TRUE(display.key("Return", *disclaimer));
    const auto box = display.findWindow("^Oh o, Somethings wrong!$", 30.0);
    ASSERT_TRUE(box.has_value()) << "no error message; stderr:\n" << app.stderrText();
    EXPECT_TRUE(display.windowsByName(kMainTitle).empty()) << "the main window must not show when sound fails";
    ASSERT_TRUE(display.key("Return", *box));
    const auto code = app.process().waitExit(15.0);
    ASSERT_TRUE(code.has_value()) << "the program did not end";
    EXPECT_LT(*code, 128) << "ended by a signal";
    EXPECT_TRUE(display.windowsByClass(kAppClass).empty()) << "a window outlived the program";
}

}  // namespace
}  // namespace zendra::test
