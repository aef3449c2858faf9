// Recording with the real program: agreed to with the mouse, the Record
// window opened from the Tools menu takes about 3 s of the test microphone (a
// steady 440 Hz), saves it through the real save dialog as a file on disk,
// and plays it back; closing the main window then ends the program.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sndfile.h>
#include <string>
#include <vector>

#include "e2e_app.h"
#include "jack_card.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The Record window's client area: a black rectangle 1665 x 3240 twips whose
// left margin is black from top to bottom.
std::optional<Rect> findRecordClient(const Screen& img, const Rect& within) {
    auto black = [&](int x, int y) { return img.black(x, y, 7); };
    for (int y = within.y; y < within.y + within.h; ++y) {
        for (int x = within.x; x < within.x + within.w; ++x) {
            if (!black(x, y) || (x > 0 && black(x - 1, y)) || (y > 0 && black(x, y - 1))) continue;
            int w = 0;
            while (x + w < img.w && black(x + w, y)) ++w;
            const int h = static_cast<int>(std::lround(w * 3240.0 / 1665.0)), margin = std::max(2, w * 50 / 1665);
            if (w < 100 || w > 250 || y + h > img.h) continue;
            bool ok = true;
            for (int yy = y; yy < y + h && ok; ++yy)
                for (int xx = x; xx < x + margin && ok; ++xx) ok = black(xx, yy);
            if (ok) return Rect{x, y, w, h};
        }
    }
    return std::nullopt;
}

class RecordE2E : public AppTest {
protected:
    // The Record window opened from the Tools menu.
    void openRecord() {
        ZendraApp& app = this->app();
        const WindowGeometry mg = app.mainGeometry();
        ASSERT_NO_FATAL_FAILURE(app.menuKeys(kToolsMenu, "Up Up"));  // Record, the last but the Sample Editor
        const auto found = app.waitFor([&](const Screen& s) {
            return findRecordClient(s, Rect{mg.x, mg.y + 20, mg.width, mg.height - 20});
        });
        app.snapshot("opened");
        ASSERT_TRUE(found) << "the Record window is not on screen";
        client_ = *found;
    }
    // A button, by its top in twips: 1455 x 375 twips at left 120.
    void press(int topTw) const {
        const double px = client_.w / 1665.0;
        display_->click(client_.x + static_cast<int>((120 + 727) * px),
                        client_.y + static_cast<int>((topTw + 187) * px));
    }
    // Saved through the real save dialog: the file's path.
    std::string save(const TempDir& out) {
        press(2340);  // Save to File
        app().answerWindow("^Save Wave File$", out.path() + "/take", true);
        const std::string file = out.path() + "/take.wav";
        for (int i = 0; i < 100 && !std::filesystem::exists(file); ++i) sleepSeconds(0.05);
        return file;
    }
    static constexpr int kStart = 420, kStop = 900, kPlay = 1380;

private:
    Rect client_{};
};

TEST_F(RecordE2E, TakeOfTheMicrophoneIsSavedAsPcm8BitAndPlaysBack) {
    ASSERT_NO_FATAL_FAILURE(launch("record", {}, true));
    ZendraApp& app = this->app();
    const Display& display = *display_;
    ASSERT_NO_FATAL_FAILURE(openRecord());
    // Each click lands somewhere within its xdotool call.
    const auto startBefore = Clock::now();
    press(kStart);
    const auto startAfter = Clock::now();
    sleepSeconds(3.0);
    if (const JackCard* card = server_->card()) {  // the program's own client takes the take, no other
        EXPECT_EQ(card->captureFeeds(), std::vector<std::string>{"Zendra:record_in"});
        EXPECT_FALSE(card->hasClient("Zendra-record"));
    }
    const auto stopBefore = Clock::now();
    press(kStop);
    const auto stopAfter = Clock::now();
    sleepSeconds(0.3);

    TempDir out("zendra-record");
    const std::string file = save(out);
    SF_INFO info{};
    SNDFILE* f = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_close(f);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplerate, 22050);
    const double duration = static_cast<double>(info.frames) / 22050.0;
    EXPECT_GE(duration, secondsBetween(startAfter, stopBefore) - 0.2);
    EXPECT_LE(duration, secondsBetween(startBefore, stopAfter) + 0.2);
    const Stereo take = readWavFloat(file);
    const size_t n = take.left.size();
    ASSERT_GT(n, 22050u);
    EXPECT_GT(rmsDb(take.left, n / 4, 3 * n / 4), -40.0);
    EXPECT_NEAR(cycleFrequencyHz(take.left, 22050, n / 10, n - n / 10), 440.0, 4.4);

    MonitorRecording monitor(*server_, app.artifact("playback.wav"));
    ASSERT_TRUE(monitor.waitStarted());
    sleepSeconds(0.3);
    press(kPlay);
    sleepSeconds(duration + 1.0);
    const Stereo played = monitor.read();
    const auto parts = onsets(played.left, played.rate, 0.02f, 0.3);
    ASSERT_FALSE(parts.empty()) << "nothing arrived at the output";
    // A loaded machine may stretch the playback with dropouts, never shorten it.
    const double heard = static_cast<double>(parts.back().second - parts.front().first) / played.rate;
    EXPECT_GE(heard, duration - 0.2);
    EXPECT_LE(heard, duration + 1.0);
    EXPECT_NEAR(cycleFrequencyHz(played.left, played.rate, parts.front().first, parts.back().second), 440.0, 4.4);

    // Closing the main window closes the Record window too, which ends the program.
    display.closeWindow(app.mainWindow());
    const auto code = app.process().waitExit(10.0);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 0);
}

// On JACK the take is a port of the program's own client: a server restart
// in the middle of it leaves a gap, and the microphone is taken again on the
// new server's card until Stop.
TEST_F(RecordE2E, TakeGoesOnAfterTheJackServerRestarts) {
    ASSERT_NO_FATAL_FAILURE(launch("record-restart", {}, true));
    if (server_->card() == nullptr) GTEST_SKIP() << "for a JACK server (ZENDRA_TEST_AUDIO=jack)";
    ASSERT_NO_FATAL_FAILURE(openRecord());
    press(kStart);
    sleepSeconds(1.0);
    server_->restart();
    sleepSeconds(2.0);
    press(kStop);
    sleepSeconds(0.3);
    TempDir out("zendra-record");
    const std::string file = save(out);
    const Stereo take = readWavFloat(file);
    const size_t n = take.left.size(), second = 22050;
    ASSERT_GT(n, 2 * second) << "less than a second taken after the restart\n" << app().stderrText();
    // The last second was taken from the new server's card.
    EXPECT_GT(rmsDb(take.left, n - second, n), -40.0) << app().stderrText();
    EXPECT_NEAR(cycleFrequencyHz(take.left, 22050, n - second, n), 440.0, 4.4);
}

}  // namespace
}  // namespace zendra::test
