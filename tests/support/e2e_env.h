// End-to-end test environment: a private PulseAudio server, a private X
// display, recordings of what the server plays, the program under test and
// input through xdotool. Everything here stops exactly the processes it
// started, by PID, and never touches the user's own server or display.
#pragma once
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

#include "signal_measure.h"

namespace zendra::test {

using EnvVars = std::vector<std::pair<std::string, std::string>>;

// Concatenation of variable lists; later entries override earlier ones.
EnvVars operator+(EnvVars a, const EnvVars& b);

// One child process, started from an argument vector (no shell). It receives
// SIGTERM if the test process dies, and is stopped when this object goes.
class Child {
public:
    Child() = default;
    // `extraEnv` overrides the test process's environment. Throws if the
    // program cannot be executed.
    Child(const std::vector<std::string>& argv, const EnvVars& extraEnv, const std::string& stdoutPath = "/dev/null",
          const std::string& stderrPath = "/dev/null", const std::string& stdinPath = "/dev/null");
    ~Child();
    Child(Child&& other) noexcept;
    Child& operator=(Child&& other) noexcept;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    bool started() const { return pid_ > 0; }
    bool alive();
    // Exit code (128 + signal number if killed), or nullopt on timeout.
    std::optional<int> waitExit(double timeoutSeconds);
    // Sends `sig`, waits up to graceSeconds, then SIGKILL. Returns the exit code.
    int stop(int sig = SIGTERM, double graceSeconds = 3.0);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

struct RunResult {
    int exitCode = -1;  // -1 on timeout
    std::string out;
    std::string err;
};

// Runs a program to completion, capturing its output; killed after the timeout.
RunResult run(const std::vector<std::string>& argv, const EnvVars& extraEnv = {}, double timeoutSeconds = 10.0);

// Whether `name` is an executable on PATH (or a path to one).
bool hasProgram(const std::string& name);
// Space-separated names of the missing programs; empty when all are present.
std::string missingPrograms(std::initializer_list<std::string> names);

// Skips the current test, naming what is missing.
#define ZENDRA_SKIP_UNLESS_PROGRAMS(...)                                                                               \
    do {                                                                                                               \
        const std::string zendraMissing = ::zendra::test::missingPrograms({__VA_ARGS__});                              \
        if (!zendraMissing.empty()) GTEST_SKIP() << "missing programs: " << zendraMissing;                             \
    } while (0)

// $ZENDRA_E2E_ARTIFACTS (created if needed), else /tmp/zendra-e2e-artifacts.
std::string artifactsDir();

// A fresh private directory (mode 700), removed with its contents at the end.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "zendra-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class JackCard;

// A private sound server: PulseAudio (scripts/pulse-rig.sh) with "test_out"
// (stereo 48 kHz, the default sink) and "test_mic" (carrying a steady 440 Hz
// sine) whose monitor is the default source; with ZENDRA_TEST_AUDIO=pipewire,
// PipeWire (scripts/pw-rig.sh) with the same default sink and source; with
// ZENDRA_TEST_AUDIO=jack, a JACK server with a pretend sound card (see
// jack_card.h). No other server is reachable through env().
class AudioServer {
public:
    AudioServer();  // starts; throws std::runtime_error on failure
    ~AudioServer();
    AudioServer(const AudioServer&) = delete;
    AudioServer& operator=(const AudioServer&) = delete;

    // What a client needs to reach this server (and only this server).
    EnvVars env() const;
    // The program's arguments for this server: the sound system it is for,
    // where the program would not choose it by itself.
    std::vector<std::string> appArgs() const;
    // The sound system the program plays through on this server, as its
    // stderr line names it ("PipeWire", "JACK", "SDL (pulseaudio)", ...).
    std::string systemName() const;
    // The pretend sound card, on a JACK server; null otherwise.
    JackCard* card() const { return card_.get(); }
    // Sets env() in this process, for in-process clients such as SDL.
    void exportToProcess() const;
    // PipeWire only: its session manager stops, so that new streams are
    // taken but never linked, never run. False where there is none.
    bool stopSessionManager();
    void stop();     // SIGTERM, as a clean shutdown
    void kill();     // SIGKILL, as a crash
    void restart();  // a new server on the same socket

    // Reported latency of a sink in milliseconds, or nullopt if unknown.
    std::optional<double> sinkLatencyMs(const std::string& sink) const;
    // pactl with this server's environment.
    RunResult pactl(const std::vector<std::string>& args, double timeoutSeconds = 5.0) const;

private:
    void start();
    void rig(const std::string& verb);  // runs the server's rig script
    EnvVars toolEnv() const;

    TempDir dir_{"zendra-audio"};
    EnvVars rigEnv_;                  // what the rig script said a client needs
    std::shared_ptr<JackCard> card_;  // when a JACK server stands in
};

struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// A private X server (Xvfb, 1280x1024x24) plus xdotool input on it.
class Display {
public:
    Display();  // throws std::runtime_error on failure
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    const std::string& name() const { return name_; }  // ":N"
    EnvVars env() const { return {{"DISPLAY", name_}}; }
    pid_t pid() const { return server_.pid(); }
    void stop();

    // Saves the whole screen as an image; returns false on failure.
    bool screenshot(const std::string& path) const;

    // Visible windows whose title matches the regex (xdotool search --name).
    std::vector<std::string> windowsByName(const std::string& nameRegex) const;
    // Visible windows whose WM_CLASS instance name matches the regex.
    std::vector<std::string> windowsByClass(const std::string& classRegex) const;
    // Polls until a matching window is visible.
    std::optional<std::string> findWindow(const std::string& nameRegex, double timeoutSeconds) const;
    std::optional<std::string> findWindowByClass(const std::string& classRegex, double timeoutSeconds) const;
    // Polls until no visible window matches the title regex.
    bool waitWindowGone(const std::string& nameRegex, double timeoutSeconds) const;
    std::string windowTitle(const std::string& wid) const;
    std::optional<WindowGeometry> windowGeometry(const std::string& wid) const;

    bool focus(const std::string& wid) const;  // no window manager: windowfocus, not activate
    // Key chord(s) such as "Return" or "ctrl+s" to the focused window, after
    // focusing `wid` if given.
    bool key(const std::string& keys, const std::string& wid = {}) const;
    bool type(const std::string& text) const;
    bool click(int x, int y, int button = 1) const;
    // Asks the window to close, as a window manager's close button does
    // (WM_DELETE_WINDOW).
    bool closeWindow(const std::string& wid) const;

    RunResult xdotool(const std::vector<std::string>& args, double timeoutSeconds = 5.0) const;

private:
    std::string name_;
    Child server_;
};

// parecord of a source (by default what test_out plays) into a float WAV.
// While it runs, the file's growth is sampled against the steady clock, so
// that a recorded frame can be dated (see availableAt).
class MonitorRecording {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    MonitorRecording(const AudioServer& server, std::string path, const std::string& device = "test_out.monitor");
    ~MonitorRecording();
    MonitorRecording(const MonitorRecording&) = delete;
    MonitorRecording& operator=(const MonitorRecording&) = delete;

    // Waits until audio is being written to the file.
    bool waitStarted(double timeoutSeconds = 5.0);
    void stop();
    Stereo read();  // stops first if still recording
    const std::string& path() const { return path_; }

    // When the file first held `frame` (after read()): an upper bound on the
    // time that frame was played, late by at most the recorder's fragment
    // plus the sampling period (1 ms).
    std::optional<TimePoint> availableAt(size_t frame) const;

private:
    void watch();

    std::string path_;
    Child rec_;
    std::atomic<bool> watching_{false};
    std::thread watcher_;
    std::vector<std::pair<TimePoint, uintmax_t>> growth_;  // (time, file size); the watcher's until joined
    uintmax_t dataOffset_ = 0;
    bool haveOffset_ = false;
    JackCard* card_ = nullptr;  // records instead of parecord, on a JACK server
};

// The program under test, on the test's display and audio server; its output
// goes to <artifacts>/<label>.stdout and .stderr.
class AppProcess {
public:
    AppProcess(const std::string& program, const std::vector<std::string>& args, const EnvVars& env,
               const std::string& label);
    ~AppProcess();
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    pid_t pid() const { return child_.pid(); }
    bool alive() { return child_.alive(); }
    std::optional<int> waitExit(double timeoutSeconds) { return child_.waitExit(timeoutSeconds); }
    int terminate(double graceSeconds = 5.0) { return child_.stop(SIGTERM, graceSeconds); }
    std::string stderrText() const;

private:
    std::string out_, err_;
    Child child_;
};

void sleepSeconds(double seconds);

}  // namespace zendra::test
