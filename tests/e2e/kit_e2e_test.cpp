// Kits, end to end: a set-up saved through "Save Kit As...", the program
// quit and started afresh, the kit opened through "Open Kit...", and the
// bound key plays its sample at the kit's volume and pan.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"

namespace zendra::test {
namespace {

constexpr size_t kBlock = 48000 / 100;
using KitEndToEnd = AppTest;

TEST_F(KitEndToEnd, SavedKitOpensInANewRunAndItsKeyPlaysAtItsVolumeAndPan) {
    TempDir folder("zendra-kit");
    const std::string kit = folder.path() + "/set.zkit";
    ASSERT_NO_FATAL_FAILURE(launch("kit-save"));
    Spot dock;
    ASSERT_NO_FATAL_FAILURE(app().loadDock({"tone-22050.wav"}, &dock));
    auto waitForm = [&](int width, std::optional<Spot> before) {  // a tool window other than `before`
        return app().waitFor([&](const Screen& s) -> std::optional<Spot> {
            const auto at = blackArea(s, width);
            return at && at != before ? at : std::nullopt;
        });
    };
    // Key Associations: the tone on "t".
    ASSERT_NO_FATAL_FAILURE(app().menuItem(kFileMenu, 3));
    const auto keys = waitForm(100, dock);
    ASSERT_TRUE(keys.has_value());
    ASSERT_TRUE(display_->click(keys->first + tw(360 + 300), keys->second + tw(840 + 187)));
    ASSERT_NO_FATAL_FAILURE(app().answerWindow("^Key Associations$", "t"));
    ASSERT_TRUE(display_->click(keys->first + tw(5400 + 487), keys->second + tw(3060 + 187)));  // Done
    // Sample Properties: once only, volume two steps down (-10 dB), pan one
    // step left (the right side 33.33 dB down), through the bars' arrows.
    ASSERT_NO_FATAL_FAILURE(app().menuItem(kToolsMenu, 4));
    const auto props = waitForm(500, keys);
    ASSERT_TRUE(props.has_value());
    const int row1 = props->second + tw(660 + 150);
    for (const int x : {1950, 2460, 2460, 4380}) {
        ASSERT_TRUE(display_->click(props->first + tw(x) + 5, row1));
        sleepSeconds(0.15);
    }
    ASSERT_NO_FATAL_FAILURE(app().menuItem(kFileMenu, 5));  // Save Kit As...
    ASSERT_NO_FATAL_FAILURE(app().answerWindow("^Save Kit As$", kit, true));
    for (int k = 0; k < 50 && !std::filesystem::exists(kit); ++k) sleepSeconds(0.2);
    ASSERT_TRUE(std::filesystem::exists(kit)) << "no kit saved";
    app().terminate();
    app_.reset();

    // A new run with a fresh home: the kit through "Open Kit...", then the Tap Pad.
    ASSERT_NO_FATAL_FAILURE(launch("kit-open"));
    ASSERT_TRUE(waitForm(400, {}).has_value()) << "no Sample Dock";
    ASSERT_NO_FATAL_FAILURE(app().menuItem(kFileMenu, 4));
    ASSERT_NO_FATAL_FAILURE(app().answerWindow("^Open Kit$", kit, true));
    sleepSeconds(0.5);
    ASSERT_NO_FATAL_FAILURE(app().menuItem(kToolsMenu, 3));
    MonitorRecording rec(*server_, app().artifact("monitor.wav"));
    ASSERT_TRUE(rec.waitStarted()) << "parecord did not start";
    sleepSeconds(0.4);
    XTestKeyboard keyboard(display_->name());
    ASSERT_TRUE(keyboard.ok() && keyboard.tap("t").has_value());
    sleepSeconds(2.6);
    const Stereo s = rec.read();
    ASSERT_TRUE(app().alive()) << app().stderrText();

    // 10 ms blocks of the tone, judged by content (an underrun cuts gaps).
    std::vector<double> lefts, diffs;
    for (size_t i = 0; i + kBlock <= s.left.size(); i += kBlock) {
        if (peakAbs(s.left, i, i + kBlock) < 0.05) continue;
        lefts.push_back(rmsDb(s.left, i, i + kBlock));
        diffs.push_back(lefts.back() - rmsDb(s.right, i, i + kBlock));
    }
    ASSERT_GE(lefts.size(), 100u) << "the bound key did not play the tone";
    const double fileLevel = 20 * std::log10(0.8 / std::sqrt(2.0));  // the demo tone's RMS
    std::cout << "tone: left " << median(lefts) << " dB, left - right " << median(diffs) << " dB\n";
    EXPECT_NEAR(median(lefts), fileLevel - 10.0, 0.5);
    EXPECT_NEAR(median(diffs), 33.33, 1.0);
    app().terminate();
}

}  // namespace
}  // namespace zendra::test
