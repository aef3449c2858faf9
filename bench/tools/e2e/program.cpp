#include "program.h"

#include <optional>
#include <vector>

namespace zendra::bench {

using namespace zendra::test;

std::string agreeAndListen(ZendraApp& app) {
    step("the disclaimer", [&] { app.agree(); });
    for (int i = 0; i < 100; ++i) {
        const std::string err = app.stderrText();
        const auto at = err.find("sound through ");
        if (at != std::string::npos) return err.substr(at, err.find('\n', at) - at);
        sleepSeconds(0.05);
    }
    throw std::runtime_error("the program did not say how it plays:\n" + app.stderrText());
}

namespace {
// A tool window that shows somewhere other than `before`.
std::optional<Spot> newForm(const ZendraApp& app, const Spot& before) {
    return app.waitFor([&](const Screen& s) -> std::optional<Spot> {
        const auto at = blackArea(s, 100);
        return at && *at != before ? at : std::nullopt;
    });
}
}  // namespace

void prepareTapPad(ZendraApp& app, const Display& display) {
    Spot dock;
    step("the kick in the Sample Dock", [&] { app.loadDock({demoKit() + "/kick.wav"}, &dock); });
    step("Key Associations", [&] { app.menuItem(kFileMenu, 4); });
    const auto keys = newForm(app, dock);
    if (!keys) throw std::runtime_error("no Key Associations");
    display.click(keys->first + tw(360 + 300), keys->second + tw(840 + 187));  // "1 ="
    step("binding k", [&] { app.answerWindow("^Key Associations$", "k"); });
    display.click(keys->first + tw(5400 + 487), keys->second + tw(3060 + 187));  // Done
    step("Sample Properties", [&] { app.menuItem(kToolsMenu, 4); });
    const auto props = newForm(app, *keys);
    if (!props) throw std::runtime_error("no Sample Properties");
    display.click(props->first + tw(1800 + 150), props->second + tw(660 + 150));  // Loop off
    sleepSeconds(0.2);
    step("Tap Pad", [&] { app.menuItem(kToolsMenu, 3); });
}

void loopSamples(ZendraApp& app, const Display& display, const std::vector<std::string>& files, size_t clicked) {
    std::vector<std::string> paths;
    for (const auto& f : files) paths.push_back(demoKit() + "/" + f);
    step("loading the Sample Dock", [&] { app.loadDock(paths); });
    step("Sample Pad", [&] { app.menuItem(kToolsMenu, 2); });
    const auto pad = app.waitFor([](const Screen& s) { return blackArea(s, 200); });
    if (!pad) throw std::runtime_error("no Sample Pad");
    for (size_t i = 0; i < clicked; ++i) {
        const int col = static_cast<int>(i / 4), row = static_cast<int>(i % 4);
        display.click(pad->first + tw(120 + col * 840 + 360), pad->second + tw(120 + row * 840 + 360));
    }
}

}  // namespace zendra::bench
