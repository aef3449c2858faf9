// The JACK server restarted again and again under the playing program: each
// time, within a second of the new server answering, the program's client is
// back with its ports connected to the card, the loop it plays reaches them,
// and nothing of it is left over from the servers before (one audio client,
// one MIDI client, their ports only).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_app.h"
#include "e2e_measure.h"
#include "jack_card.h"

namespace zendra::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRate = 48000;
constexpr size_t kWindow = kRate / 20;  // whole cycles of 220 Hz
constexpr int kRestarts = 20;

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Level of 220 Hz in the last window of the mid channel, or -inf when too short or broken.
double lastLevel(const Stereo& s) {
    if (s.left.size() < kWindow) return -INFINITY;
    std::vector<float> mid(s.left.size());
    for (size_t i = 0; i < mid.size(); ++i) mid[i] = 0.5f * (s.left[i] + s.right[i]);
    const auto levels = bandLevelsDb(mid, kRate, 220.0, kWindow, mid.size() - kWindow, mid.size());
    return levels.empty() ? -INFINITY : levels.back();  // none when the window has a dropout
}

// The program's ports ("Zendra:..." and "Zendra-...:...") and what each
// connects to, per `jack_lsp -c`, sorted by name.
std::vector<std::pair<std::string, std::vector<std::string>>> programPorts(const AudioServer& server) {
    std::vector<std::pair<std::string, std::vector<std::string>>> ports;
    bool ours = false;
    std::istringstream out(run({"jack_lsp", "-c"}, server.env(), 3.0).out);
    for (std::string line; std::getline(out, line);) {
        if (line.empty()) continue;
        if (line[0] != ' ') {
            ours = line.rfind("Zendra:", 0) == 0 || line.rfind("Zendra-", 0) == 0;
            if (ours) ports.push_back({line, {}});
        } else if (ours) {
            ports.back().second.push_back(line.substr(line.find_first_not_of(' ')));
        }
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

using JackRestart = AppTest;

TEST_F(JackRestart, ClientComesBackConnectedAndSoundingAfterEachRestart) {
    ZENDRA_SKIP_UNLESS_PROGRAMS("jack_lsp");
    ASSERT_NO_FATAL_FAILURE(launch("jack-restart"));
    if (server_->card() == nullptr) GTEST_SKIP() << "for a JACK server (ZENDRA_TEST_AUDIO=jack)";
    ZendraApp& app = this->app();
    JackCard& card = *server_->card();
    ASSERT_NO_FATAL_FAILURE(app.loadDock({"pad-22050.wav"}));  // 220 Hz, looping
    ASSERT_NO_FATAL_FAILURE(app.menuItem(kToolsMenu, 2));      // Sample Pad
    const auto pad = app.waitFor([](const Screen& s) { return blackArea(s, 200); });
    ASSERT_TRUE(pad.has_value()) << "no Sample Pad";
    ASSERT_TRUE(display_->click(pad->first + tw(480), pad->second + tw(480)));
    const double loopFile = 20 * std::log10(0.6);

    const std::vector<std::pair<std::string, std::vector<std::string>>> expected{
        {"Zendra-midi:input", {}}, {"Zendra:out_left", {"card:playback_1"}}, {"Zendra:out_right", {"card:playback_2"}}};
    for (int round = 0; round <= kRestarts; ++round) {
        if (round > 0) {
            sleepSeconds(0.5);
            server_->restart();  // returns once the new server answers the card
        }
        const auto up = Clock::now();
        auto ports = programPorts(*server_);
        while (ports != expected && since(up) < 1.0) {
            sleepSeconds(0.05);
            ports = programPorts(*server_);
        }
        ASSERT_EQ(ports, expected) << "restart " << round << ": not back connected within 1 s\n" << app.stderrText();
        double level = -INFINITY, heardAfter = 0.0;
        // Looked for up to 5 s, so that a failure tells late from never.
        while (std::abs(level - loopFile) > 1.5 && since(up) < 5.0) {
            MonitorRecording take(*server_, app.artifact("take.wav"));
            sleepSeconds(0.1);
            level = lastLevel(take.read());
            heardAfter = since(up);
        }
        ASSERT_NEAR(level, loopFile, 1.5) << "restart " << round << ": the loop does not reach the ports\n"
                                          << app.stderrText();
        EXPECT_LT(heardAfter, 1.0) << "restart " << round << ": the loop reached the ports late";
        // Nothing else of the program's: no listing client, no watcher, no second audio client.
        for (const char* name : {"Zendra-01", "Zendra-02", "Zendra-watch", "Zendra-midi-01", "Zendra-record"})
            EXPECT_FALSE(card.hasClient(name)) << "restart " << round << ": a client " << name;
        ASSERT_TRUE(app.alive()) << "restart " << round << "\n" << app.stderrText();
    }
}

}  // namespace
}  // namespace zendra::test
