// Driving the running program in end-to-end tests: starting it on the test's
// display and audio server, the disclaimer, the main window's menus, answering
// its dialogs, finding its tool windows on screenshots, and keys sent through
// XTEST.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e_env.h"

struct _XDisplay;  // Xlib's Display

namespace zendra::test {

inline constexpr const char* kMainTitle = "^Zendra\\.$";
inline constexpr const char* kAppClass = "^zendra$";
inline constexpr const char* kMessageTitle = "^Zendra$";  // message boxes of the program
// Where the main window's menus open, in pixels from its left edge.
inline constexpr int kFileMenu = 20;
inline constexpr int kToolsMenu = 57;

// $ZENDRA_BIN and $ZENDRA_DEMO_KIT, empty when unset.
std::string zendraBin();
std::string demoKit();

// A length in twips as the program lays it out, in pixels (96 dpi under Xvfb).
int tw(int twips);

using Spot = std::pair<int, int>;  // x, y in screen pixels

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

// A screenshot as 8-bit RGB pixels.
struct Screen {
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* pixel(int x, int y) const { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }  // r, g, b
    // Every channel at most `tolerance`.
    bool black(int x, int y, int tolerance = 0) const {
        const uint8_t* p = pixel(x, y);
        return p[0] <= tolerance && p[1] <= tolerance && p[2] <= tolerance;
    }
};

// Takes a screenshot into `path` (a ".ppm" file) and reads it back.
std::optional<Screen> grabScreen(const Display& display, const std::string& path);

// Where tool windows show: inside the main window, below its menu bar.
inline constexpr Rect kToolArea{0, 20, 1024, 748};

// Top-left corner of the first black run `width` pixels long, scanning the
// rows of `within` from the top: a tool window's client area (the MDI
// background is grey, menus and frames are light). Runs that start inside
// `avoid` are passed over.
std::optional<Spot> blackArea(const Screen& s, int width, const Rect& within = kToolArea,
                              const std::optional<Rect>& avoid = {});

// The program under test, started with `home` as its home (a fresh one
// unless given: then no saved state of other runs carries over) on
// `display`, with `audioEnv` reaching its audio server. Functions that can fail the test report with gtest's fatal
// assertions: call them inside ASSERT_NO_FATAL_FAILURE.
class ZendraApp {
public:
    ZendraApp(const Display& display, const EnvVars& audioEnv, const std::string& label,
              const std::vector<std::string>& args = {}, std::shared_ptr<TempDir> home = nullptr);
    ZendraApp(const ZendraApp&) = delete;
    ZendraApp& operator=(const ZendraApp&) = delete;

    AppProcess& process() { return process_; }
    bool alive() { return process_.alive(); }
    std::string stderrText() const { return process_.stderrText(); }
    int terminate() { return process_.terminate(); }
    const std::string& label() const { return label_; }

    // The disclaimer, the first window, found by the program's class.
    std::optional<std::string> findDisclaimer(double timeoutSeconds = 15.0) const;
    // Presses "I Agree" (the default button) and waits for the main window.
    // With `byMouse`, clicks "I Agree" instead.
    void agree(double timeoutSeconds = 15.0, bool byMouse = false);
    const std::string& mainWindow() const { return main_; }
    const WindowGeometry& mainGeometry() const { return mainGeometry_; }

    // Opens the main window's menu at `menuX` and picks its n-th item.
    void menuItem(int menuX, int n) const;
    // Opens the main window's menu at `menuX`, then presses `keys` and Return.
    void menuKeys(int menuX, const std::string& keys) const;

    // The prompt or file dialog titled `titleRegex`, a window of its own:
    // types `text` (over what the field holds if `replace`) and confirms.
    void answerWindow(const std::string& titleRegex, const std::string& text, bool replace = false) const;

    // Sample Dock, the tool window showing at start: each file (up to 16)
    // through its slot's file dialog in turn (slot 1 first), then Done. Fails if a
    // message comes up (a file did not load). `at` receives the dock's corner.
    void loadDock(const std::vector<std::string>& files, Spot* at = nullptr) const;

    // A screenshot read back for searching (<artifacts>/<label>-screen.ppm).
    std::optional<Screen> grab() const;
    // A screenshot kept as <artifacts>/<label>-<name>.png.
    void snapshot(const std::string& name) const;
    std::string artifact(const std::string& name) const;

    // Polls screenshots until `find` (Screen -> optional) finds something.
    template <class Find>
    auto waitFor(Find find, double timeoutSeconds = 10.0) const -> decltype(find(std::declval<const Screen&>())) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
        do {
            if (const auto screen = grab()) {
                if (auto found = find(*screen)) return found;
            }
            sleepSeconds(0.25);
        } while (std::chrono::steady_clock::now() < until);
        return {};
    }

private:
    const Display& display_;
    std::string label_;
    std::shared_ptr<TempDir> home_;
    AppProcess process_;
    std::string main_;
    WindowGeometry mainGeometry_;
};

// A test of the running program with its own audio server and display;
// skipped where the tools or $ZENDRA_BIN / $ZENDRA_DEMO_KIT are missing.
class AppTest : public ::testing::Test {
protected:
    void SetUp() override;
    // Starts the servers and the program (with `args` after the server's own),
    // and agrees to the disclaimer. With `sameHome` the program finds what the
    // one launched before left in its home.
    void launch(const std::string& label, const EnvVars& extraEnv = {}, bool agreeByMouse = false,
                bool sameHome = false, const std::vector<std::string>& args = {});
    ZendraApp& app() { return *app_; }

    std::optional<AudioServer> server_;
    std::optional<Display> display_;
    std::optional<ZendraApp> app_;
    std::shared_ptr<TempDir> home_;
};

// Key presses sent straight to the X server through the XTEST extension, so
// that the moment of each key is known to well under a millisecond (an
// xdotool run takes 100 ms or more to start here).
class XTestKeyboard {
public:
    explicit XTestKeyboard(const std::string& display);
    ~XTestKeyboard();
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;

    bool ok() const { return dpy_ != nullptr; }
    // Presses and releases the key named like an X keysym ("k", "Tab");
    // returns the moment the server had the press.
    std::optional<std::chrono::steady_clock::time_point> tap(const std::string& name);

private:
    ::_XDisplay* dpy_ = nullptr;
};

}  // namespace zendra::test
