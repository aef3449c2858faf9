#include "e2e_app.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

// Last: their macros (None, Status, Bool...) must not reach the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace zendra::test {

namespace {

std::string envText(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr ? v : "";
}

std::optional<Screen> readPpm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    Screen s;
    in >> magic >> s.w >> s.h >> maxval;
    in.get();
    if (magic != "P6" || s.w <= 0 || s.h <= 0 || maxval <= 0 || maxval > 65535) return std::nullopt;
    const size_t bytesPerValue = maxval > 255 ? 2 : 1;  // 16-bit values are big-endian: keep the high byte
    std::vector<uint8_t> raw(static_cast<size_t>(s.w) * s.h * 3 * bytesPerValue);
    in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(raw.size()));
    if (!in) return std::nullopt;
    s.rgb.resize(static_cast<size_t>(s.w) * s.h * 3);
    for (size_t i = 0; i < s.rgb.size(); ++i) s.rgb[i] = raw[i * bytesPerValue];
    return s;
}

// `within` cut to the screen.
Rect clip(const Screen& s, const Rect& r) {
    const int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
    const int x1 = std::min(s.w, r.x + r.w), y1 = std::min(s.h, r.y + r.h);
    return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

}  // namespace

std::string zendraBin() { return envText("ZENDRA_BIN"); }
std::string demoKit() { return envText("ZENDRA_DEMO_KIT"); }

// SDL reaches the server through PulseAudio's protocol unless
// ZENDRA_TEST_SDL_DRIVER names another of its drivers (pipewire).
std::string sdlDriver() {
    const std::string driver = envText("ZENDRA_TEST_SDL_DRIVER");
    return driver.empty() ? "pulseaudio" : driver;
}

int tw(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }

std::optional<Screen> grabScreen(const Display& display, const std::string& path) {
    if (!display.screenshot(path)) return std::nullopt;
    return readPpm(path);
}

std::optional<Spot> blackArea(const Screen& s, int width, const Rect& within, const std::optional<Rect>& avoid) {
    const Rect r = clip(s, within);
    for (int y = r.y; y < r.y + r.h; ++y) {
        int run = 0;
        for (int x = r.x; x < r.x + r.w; ++x) {
            run = s.black(x, y) ? run + 1 : 0;
            if (run != width) continue;
            const int x0 = x - width + 1;
            if (avoid && avoid->contains(x0, y)) continue;
            return Spot{x0, y};
        }
    }
    return std::nullopt;
}

ZendraApp::ZendraApp(const Display& display, const EnvVars& audioEnv, const std::string& label,
                     const std::vector<std::string>& args, std::shared_ptr<TempDir> home)
    : display_(display),
      label_(label),
      home_(home ? std::move(home) : std::make_shared<TempDir>("zendra-home")),
      process_(zendraBin(), args,
               display.env() +
                   EnvVars{{"HOME", home_->path()},
                           {"XDG_CONFIG_HOME", home_->path() + "/.config"},
                           {"SDL_AUDIODRIVER", sdlDriver()}} +
                   audioEnv,
               label) {}

std::optional<std::string> ZendraApp::findDisclaimer(double timeoutSeconds) const {
    return display_.findWindowByClass(kAppClass, timeoutSeconds);
}

void ZendraApp::agree(double timeoutSeconds, bool byMouse) {
    const auto disclaimer = findDisclaimer(timeoutSeconds);
    ASSERT_TRUE(disclaimer.has_value()) << "no disclaimer; stderr:\n" << stderrText();
    ASSERT_TRUE(display_.windowsByName(kMainTitle).empty()) << "the main window must wait for the disclaimer";
    if (const auto d = display_.windowGeometry(*disclaimer); byMouse && d) {
        ASSERT_TRUE(display_.click(d->x + 220 + 44, d->y + 160 + 14));  // "I Agree", 89 x 29 at (220, 160)
    } else {
        ASSERT_TRUE(display_.key("Return", *disclaimer));  // "I Agree" holds the focus
    }
    const auto main = display_.findWindow(kMainTitle, timeoutSeconds);
    ASSERT_TRUE(main.has_value()) << "no main window; stderr:\n" << stderrText();
    main_ = *main;
    const auto g = display_.windowGeometry(main_);
    ASSERT_TRUE(g.has_value()) << "no geometry of the main window";
    mainGeometry_ = *g;
    sleepSeconds(0.5);  // the first tool window settles
}

void ZendraApp::menuKeys(int menuX, const std::string& keys) const {
    ASSERT_TRUE(display_.click(mainGeometry_.x + menuX, mainGeometry_.y + 8));
    sleepSeconds(0.6);
    ASSERT_TRUE(display_.key(keys + " Return"));
    sleepSeconds(0.5);
}

void ZendraApp::menuItem(int menuX, int n) const {
    std::string keys;
    for (int k = 0; k < n; ++k) keys += k == 0 ? "Down" : " Down";
    menuKeys(menuX, keys);
}

void ZendraApp::answerWindow(const std::string& titleRegex, const std::string& text, bool replace) const {
    const auto wid = display_.findWindow(titleRegex, 20.0);
    ASSERT_TRUE(wid.has_value()) << "no window " << titleRegex;
    sleepSeconds(0.2);
    ASSERT_TRUE(display_.focus(*wid));
    if (replace) {
        ASSERT_TRUE(display_.key("ctrl+a"));
    }
    ASSERT_TRUE(display_.type(text));
    ASSERT_TRUE(display_.key("Return"));
    // A completer may take the first Return; only then is the window still there.
    if (!display_.waitWindowGone(titleRegex, 2.0) && !display_.windowsByName(titleRegex).empty()) {
        ASSERT_TRUE(display_.key("Return"));
    }
    ASSERT_TRUE(display_.waitWindowGone(titleRegex, 20.0)) << titleRegex << " did not close";
    sleepSeconds(0.2);
}

void ZendraApp::loadDock(const std::vector<std::string>& files, Spot* at) const {
    const auto dock = waitFor([](const Screen& s) { return blackArea(s, 400); });
    ASSERT_TRUE(dock.has_value()) << "no Sample Dock";
    const auto [dx, dy] = *dock;
    // More than four files: "# Of Samples" up a step per page of four.
    for (size_t k = 4; k < files.size(); k += 4) {
        ASSERT_TRUE(display_.click(dx + tw(480 + 6855) - 8, dy + tw(600 + 127)));
        sleepSeconds(0.2);
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (i > 0 && i % 4 == 0) {
            ASSERT_TRUE(display_.click(dx + tw(120 + 127), dy + tw(960 + 2535) - 8));  // next page
            sleepSeconds(0.3);
        }
        // "Sample i" buttons, one 600-twip row apart.
        const int row = 840 + 240 + static_cast<int>(i % 4) * 600;
        const int bx = dx + tw(480 + 240 + 427), by = dy + tw(row + 247);
        ASSERT_TRUE(display_.click(bx, by));
        // On a busy machine the first file dialog can take seconds, and a click
        // that came too early is lost: click once more if none shows.
        if (!display_.findWindow("^Open$", 10.0)) {
            ASSERT_TRUE(display_.click(bx, by));
        }
        ASSERT_NO_FATAL_FAILURE(answerWindow("^Open$", files[i]));
    }
    snapshot("dock");
    ASSERT_TRUE(display_.click(dx + tw(6480 + 427), dy + tw(120 + 187)));  // Done
    sleepSeconds(0.5);
    ASSERT_TRUE(display_.windowsByName(kMessageTitle).empty()) << "a message came up: a file did not load";
    if (at != nullptr) *at = *dock;
}

std::string ZendraApp::artifact(const std::string& name) const { return artifactsDir() + "/" + label_ + "-" + name; }

std::optional<Screen> ZendraApp::grab() const { return grabScreen(display_, artifact("screen.ppm")); }

void ZendraApp::snapshot(const std::string& name) const { display_.screenshot(artifact(name + ".png")); }

void AppTest::SetUp() {
    ZENDRA_SKIP_UNLESS_PROGRAMS("pulseaudio", "pactl", "pacat", "parecord", "Xvfb", "xdotool", "import");
    if (zendraBin().empty() || demoKit().empty()) GTEST_SKIP() << "ZENDRA_BIN and ZENDRA_DEMO_KIT must be set";
}

void AppTest::launch(const std::string& label, const EnvVars& extraEnv, bool agreeByMouse, bool sameHome,
                     const std::vector<std::string>& args) {
    server_.emplace();
    display_.emplace();
    if (!sameHome || !home_) home_ = std::make_shared<TempDir>("zendra-home");
    std::vector<std::string> all = server_->appArgs();
    all.insert(all.end(), args.begin(), args.end());
    app_.emplace(*display_, server_->env() + extraEnv, label, all, home_);
    ASSERT_NO_FATAL_FAILURE(app_->agree(15.0, agreeByMouse));
    // It plays through the system meant for this server, and says so once it plays.
    const std::string said = "sound through " + server_->systemName() + ",";
    std::string err;
    for (int i = 0; i < 100 && (err = app_->stderrText()).find("sound through ") == std::string::npos; ++i)
        sleepSeconds(0.05);
    EXPECT_NE(err.find(said), std::string::npos) << "expected \"" << said << "\" on stderr:\n" << err;
}

XTestKeyboard::XTestKeyboard(const std::string& display) : dpy_(XOpenDisplay(display.c_str())) {}

XTestKeyboard::~XTestKeyboard() {
    if (dpy_ != nullptr) XCloseDisplay(dpy_);
}

std::optional<std::chrono::steady_clock::time_point> XTestKeyboard::tap(const std::string& name) {
    const KeyCode code = XKeysymToKeycode(dpy_, XStringToKeysym(name.c_str()));
    if (code == 0) return std::nullopt;
    XTestFakeKeyEvent(dpy_, code, True, 0);
    XSync(dpy_, False);
    const auto at = std::chrono::steady_clock::now();
    sleepSeconds(0.03);
    XTestFakeKeyEvent(dpy_, code, False, 0);
    XSync(dpy_, False);
    return at;
}

}  // namespace zendra::test
