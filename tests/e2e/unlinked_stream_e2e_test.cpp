// A PipeWire server that takes the program's stream but never runs it (its
// session manager is gone, so nothing links the stream): "I Agree" is not
// held up, the player is told of a lost device within a few seconds, and the
// windows go on answering meanwhile.
#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

#include "e2e_app.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

TEST(UnlinkedStreamE2E, AStreamThatNeverRunsIsALossAndNothingWaitsForIt) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("Xvfb", "xdotool", "pactl");
    const char* audio = std::getenv("ZENDRA_TEST_AUDIO");
    if (audio == nullptr || std::string(audio) != "pipewire") GTEST_SKIP() << "a PipeWire server's own case";
    AudioServer server;
    ASSERT_TRUE(server.stopSessionManager());
    Display display;
    ZendraApp app(display, server.env(), "unlinked-stream", server.appArgs());
    const auto agreedAt = Clock::now();
    ASSERT_NO_FATAL_FAILURE(app.agree(15.0, false));
    EXPECT_LT(since(agreedAt), 3.0) << "the main window waited for the stream";
    const auto notice = display.findWindow("^Sound device lost$", 10.0);
    ASSERT_TRUE(notice.has_value()) << "no notice of a stream that never ran";
    const double noticeAfter = since(agreedAt);
    EXPECT_GT(noticeAfter, 1.5) << "a new stream is given two seconds to start";
    EXPECT_LT(noticeAfter, 5.0);
    ASSERT_TRUE(display.key("Return", *notice));
    ASSERT_TRUE(display.waitWindowGone("^Sound device lost$", 5.0));
    // Still lost, still answering: the Tools menu opens and closes.
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 2));
    const auto pad = app.waitFor([](const Screen& s) { return blackArea(s, 200); });
    EXPECT_TRUE(pad.has_value()) << "the Sample Pad did not open while the device was lost";
    sleepSeconds(2.5);  // a second stream that never runs is the same loss
    EXPECT_TRUE(display.windowsByName("^Sound device lost$").empty()) << "told twice of one loss";
    EXPECT_TRUE(app.process().alive());
}

}  // namespace
}  // namespace zendra::test
