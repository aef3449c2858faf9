#include "e2e_env.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "jack_card.h"

// Last: its macros (None, Status, Bool...) must not reach the headers above.
#include <X11/Xlib.h>

extern char** environ;

namespace zendra::test {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Asks `done` every `step` seconds until it says yes or the time is up.
template <class F>
bool pollUntil(double seconds, F done, double step = 0.1) {
    for (const auto t0 = Clock::now();; sleepSeconds(step)) {
        if (done()) return true;
        if (secondsSince(t0) >= seconds) return false;
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string tail(const std::string& text, size_t chars = 2000) {
    return text.size() <= chars ? text : "..." + text.substr(text.size() - chars);
}

std::string resolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : std::string();
    std::stringstream dirs(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (fs::is_regular_file(candidate) && access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::vector<std::string> mergedEnvironment(const EnvVars& extra) {
    std::map<std::string, std::string> vars;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (const auto eq = entry.find('='); eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : extra) vars[name] = value;
    std::vector<std::string> out;
    for (const auto& [name, value] : vars) out.push_back(name + "=" + value);
    return out;
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line)) {
        if (!line.empty()) out.push_back(line);
    }
    return out;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

}  // namespace

EnvVars operator+(EnvVars a, const EnvVars& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void sleepSeconds(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// ------------------------------------------------------------------ processes

Child::Child(const std::vector<std::string>& argv, const EnvVars& extraEnv, const std::string& stdoutPath,
             const std::string& stderrPath, const std::string& stdinPath) {
    if (argv.empty()) throw std::invalid_argument("no program given");
    const std::string program = resolveProgram(argv[0]);
    if (program.empty()) throw std::runtime_error("program not found: " + argv[0]);

    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are made.
    const std::vector<std::string> envStrings = mergedEnvironment(extraEnv);
    std::vector<char*> envp;
    for (const auto& e : envStrings) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const int in = open(stdinPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int report[2] = {-1, -1};
    if (in < 0 || out < 0 || err < 0 || pipe2(report, O_CLOEXEC) != 0) {
        const std::string why = std::strerror(errno);
        for (int fd : {in, out, err, report[0], report[1]})
            if (fd >= 0) close(fd);
        throw std::runtime_error("cannot prepare " + argv[0] + ": " + why);
    }

    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        dup2(report[1], 3);
        fcntl(3, F_SETFD, FD_CLOEXEC);
        close_range(4, ~0U, 0);
        execve(program.c_str(), args.data(), envp.data());
        const int e = errno;
        (void)!write(3, &e, sizeof e);
        _exit(127);
    }
    const int forkErrno = errno;
    for (int fd : {in, out, err, report[1]}) close(fd);
    if (pid < 0) {
        close(report[0]);
        throw std::runtime_error("fork failed: " + std::string(std::strerror(forkErrno)));
    }
    int execErrno = 0;
    ssize_t got;
    do {
        got = read(report[0], &execErrno, sizeof execErrno);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    pid_ = pid;
    if (got == static_cast<ssize_t>(sizeof execErrno)) {
        waitExit(5.0);
        pid_ = -1;
        throw std::runtime_error("cannot run " + program + ": " + std::strerror(execErrno));
    }
}

Child::~Child() {
    if (started()) stop();
}

Child::Child(Child&& other) noexcept : pid_(other.pid_), status_(other.status_) {
    other.pid_ = -1;
    other.status_.reset();
}

Child& Child::operator=(Child&& other) noexcept {
    if (this != &other) {
        if (started()) stop();
        pid_ = other.pid_;
        status_ = other.status_;
        other.pid_ = -1;
        other.status_.reset();
    }
    return *this;
}

bool Child::alive() {
    if (!started() || status_) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        status_ = decodeStatus(status);
        return false;
    }
    return r == 0;
}

std::optional<int> Child::waitExit(double timeoutSeconds) {
    if (!started()) return std::nullopt;
    const auto t0 = Clock::now();
    while (alive()) {
        if (secondsSince(t0) >= timeoutSeconds) return std::nullopt;
        sleepSeconds(0.01);
    }
    return status_;
}

int Child::stop(int sig, double graceSeconds) {
    if (!started()) return -1;
    if (alive()) {
        // The child leads its own process group: anything it started goes too.
        auto send = [this](int s) {
            if (::kill(-pid_, s) != 0) ::kill(pid_, s);  // it may have left the group
        };
        send(sig);
        if (!waitExit(graceSeconds)) {
            if (alive()) send(SIGKILL);
            waitExit(10.0);
        }
    }
    return status_.value_or(-1);
}

RunResult run(const std::vector<std::string>& argv, const EnvVars& extraEnv, double timeoutSeconds) {
    char outName[] = "/tmp/zendra-run-out-XXXXXX";
    char errName[] = "/tmp/zendra-run-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);
    if (outFd >= 0) close(outFd);
    if (errFd >= 0) close(errFd);
    RunResult result;
    try {
        Child child(argv, extraEnv, outName, errName);
        if (auto code = child.waitExit(timeoutSeconds)) {
            result.exitCode = *code;
        } else {
            child.stop(SIGKILL, 2.0);
        }
    } catch (const std::exception& e) {
        result.err = e.what();
        result.exitCode = 127;
    }
    result.out = readFile(outName);
    result.err += readFile(errName);
    unlink(outName);
    unlink(errName);
    return result;
}

bool hasProgram(const std::string& name) { return !resolveProgram(name).empty(); }

std::string missingPrograms(std::initializer_list<std::string> names) {
    std::string missing;
    for (const auto& n : names) {
        if (!hasProgram(n)) missing += (missing.empty() ? "" : " ") + n;
    }
    return missing;
}

std::string artifactsDir() {
    const char* env = std::getenv("ZENDRA_E2E_ARTIFACTS");
    const std::string dir = env != nullptr && *env != '\0' ? env : "/tmp/zendra-e2e-artifacts";
    fs::create_directories(dir);
    return dir;
}

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    path_ = pattern;  // mkdtemp creates it with mode 700
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

// ------------------------------------------------------------------ audio server

namespace {
std::string audioMode() {
    const char* audio = std::getenv("ZENDRA_TEST_AUDIO");
    return audio != nullptr ? audio : "pulse";
}
// The script that runs this mode's server (start|stop|kill|env DIR):
// $ZENDRA_PULSE_RIG or $ZENDRA_PW_RIG, else the project's own.
std::string rigScript() {
    const bool pipewire = audioMode() == "pipewire";
    const char* rig = std::getenv(pipewire ? "ZENDRA_PW_RIG" : "ZENDRA_PULSE_RIG");
    return rig != nullptr ? rig : std::string(ZENDRA_SCRIPTS) + (pipewire ? "/pw-rig.sh" : "/pulse-rig.sh");
}
}  // namespace

AudioServer::AudioServer() { start(); }

AudioServer::~AudioServer() { stop(); }

EnvVars AudioServer::env() const {
    if (!card_) return rigEnv_;
    // Beside the JACK server, no other server that a fallback could reach.
    return card_->env() + EnvVars{{"PULSE_SERVER", "unix:" + dir_.path() + "/none"},
                                  {"XDG_RUNTIME_DIR", dir_.path()},
                                  {"PIPEWIRE_RUNTIME_DIR", dir_.path()}};
}

std::string AudioServer::systemName() const {
    if (card_) return "JACK";
    if (const char* driver = std::getenv("ZENDRA_TEST_SDL_DRIVER")) return std::string("SDL (") + driver + ")";
    return audioMode() == "pipewire" ? "PipeWire" : "SDL (pulseaudio)";
}

std::vector<std::string> AudioServer::appArgs() const {
    if (card_) return {"--audio=jack"};
    if (std::getenv("ZENDRA_TEST_SDL_DRIVER") != nullptr) return {"--audio=sdl"};
    return {};
}

EnvVars AudioServer::toolEnv() const { return env() + EnvVars{{"LC_ALL", "C"}}; }

void AudioServer::exportToProcess() const {
    for (const auto& [name, value] : env()) setenv(name.c_str(), value.c_str(), 1);
}

RunResult AudioServer::pactl(const std::vector<std::string>& args, double timeoutSeconds) const {
    std::vector<std::string> argv{"pactl"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, toolEnv(), timeoutSeconds);
}

void AudioServer::rig(const std::string& verb) {
    const RunResult r = run({"bash", rigScript(), verb, dir_.path() + "/rig"}, {}, 30.0);
    if (r.exitCode != 0)
        throw std::runtime_error("the private " + audioMode() + " server: " + verb + " failed:\n" + tail(r.err));
    if (verb != "start") return;
    rigEnv_.clear();
    for (const auto& line : lines(r.out)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) rigEnv_.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
}

void AudioServer::start() {
    if (audioMode() != "jack") return rig("start");
    if (card_)
        card_->restart();
    else
        card_ = std::make_shared<JackCard>();
}

void AudioServer::stop() {
    if (card_) return card_->stop();
    try {
        rig("stop");
    } catch (const std::exception&) {  // stopping is best effort: nothing may throw from here
    }
}

bool AudioServer::stopSessionManager() {
    long pid = 0;
    if (audioMode() != "pipewire" || !(std::ifstream(dir_.path() + "/rig/wireplumber.pid") >> pid) || pid <= 0)
        return false;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    return pollUntil(5.0, [&] {  // gone, or a zombie nobody reaps
        std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
        return stat.empty() || stat.find(") Z ") != std::string::npos;
    });
}

void AudioServer::kill() {
    if (card_) return card_->kill();
    rig("kill");
}

void AudioServer::restart() {
    stop();
    start();
}

std::optional<double> AudioServer::sinkLatencyMs(const std::string& sink) const {
    // "Name: SINK" ... "Latency: N usec", the first latency after the sink's name.
    const std::string out = pactl({"list", "sinks"}, 3.0).out;
    const auto at = out.find("Latency: ", out.find("Name: " + sink + "\n"));
    if (out.find("Name: " + sink + "\n") == std::string::npos || at == std::string::npos) return std::nullopt;
    return std::strtod(out.c_str() + at + 9, nullptr) / 1000.0;
}

// ------------------------------------------------------------------ X display

Display::Display() {
    std::string lastError;
    for (int n = 90, attempts = 0; n < 400 && attempts < 6; ++n) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (fs::exists(lock) || fs::exists(socket)) continue;
        ++attempts;
        const std::string display = ":" + std::to_string(n);
        const std::string log = "/tmp/zendra-xvfb-" + std::to_string(getpid()) + "-" + std::to_string(n) + ".log";
        Child server({"Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"}, {}, "/dev/null",
                     log);
        const auto t0 = Clock::now();
        bool ready = false;
        while (secondsSince(t0) < 10.0 && server.alive()) {
            // The display must answer, and be ours: its lock file names our server.
            if (run({"xdpyinfo", "-display", display}, {}, 3.0).exitCode == 0) {
                std::ifstream lockIn(lock);
                long owner = -1;
                lockIn >> owner;
                ready = owner == server.pid();
                break;
            }
            sleepSeconds(0.05);
        }
        if (ready && server.alive()) {
            unlink(log.c_str());
            name_ = display;
            server_ = std::move(server);
            return;
        }
        server.stop();
        lastError = tail(readFile(log));
        unlink(log.c_str());
    }
    throw std::runtime_error("no private X display could be started: " + lastError);
}

Display::~Display() { stop(); }

void Display::stop() { server_.stop(SIGTERM, 5.0); }

RunResult Display::xdotool(const std::vector<std::string>& args, double timeoutSeconds) const {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, env(), timeoutSeconds);
}

bool Display::screenshot(const std::string& path) const {
    const RunResult r = run({"import", "-display", name_, "-window", "root", path}, env(), 30.0);
    return r.exitCode == 0 && fs::exists(path) && fs::file_size(path) > 0;
}

std::vector<std::string> Display::windowsByName(const std::string& nameRegex) const {
    return lines(xdotool({"search", "--onlyvisible", "--name", nameRegex}).out);
}

std::vector<std::string> Display::windowsByClass(const std::string& classRegex) const {
    return lines(xdotool({"search", "--onlyvisible", "--classname", classRegex}).out);
}

std::optional<std::string> Display::findWindow(const std::string& nameRegex, double timeoutSeconds) const {
    std::vector<std::string> found;
    if (!pollUntil(timeoutSeconds, [&] { return !(found = windowsByName(nameRegex)).empty(); })) return std::nullopt;
    return found.front();
}

std::optional<std::string> Display::findWindowByClass(const std::string& classRegex, double timeoutSeconds) const {
    std::optional<std::string> hit;
    pollUntil(timeoutSeconds, [&] {
        for (const auto& wid : windowsByClass(classRegex)) hit = wid;
        return hit.has_value();
    });
    return hit;
}

bool Display::waitWindowGone(const std::string& nameRegex, double timeoutSeconds) const {
    return pollUntil(timeoutSeconds, [&] { return windowsByName(nameRegex).empty(); });
}

std::string Display::windowTitle(const std::string& wid) const { return trimmed(xdotool({"getwindowname", wid}).out); }

std::optional<WindowGeometry> Display::windowGeometry(const std::string& wid) const {
    const RunResult r = xdotool({"getwindowgeometry", "--shell", wid});
    if (r.exitCode != 0) return std::nullopt;
    std::map<std::string, int> values;
    for (const auto& line : lines(r.out)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        try {
            values[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
        } catch (const std::exception&) {}
    }
    if (!values.count("X") || !values.count("Y") || !values.count("WIDTH") || !values.count("HEIGHT"))
        return std::nullopt;
    return WindowGeometry{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

bool Display::focus(const std::string& wid) const { return xdotool({"windowfocus", "--sync", wid}).exitCode == 0; }

bool Display::key(const std::string& keys, const std::string& wid) const {
    if (!wid.empty() && !focus(wid)) return false;
    std::vector<std::string> args{"key", "--delay", "30"};
    std::stringstream s(keys);
    std::string k;
    while (s >> k) args.push_back(k);
    return xdotool(args).exitCode == 0;
}

bool Display::type(const std::string& text) const {
    return xdotool({"type", "--delay", "30", "--", text}, 30.0).exitCode == 0;
}

bool Display::click(int x, int y, int button) const {
    return xdotool({"mousemove", std::to_string(x), std::to_string(y), "click", std::to_string(button)}).exitCode == 0;
}

bool Display::closeWindow(const std::string& wid) const {
    // No window manager runs, so send its close request ourselves.
    ::Display* dpy = XOpenDisplay(name_.c_str());
    if (dpy == nullptr) return false;
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = std::stoul(wid);
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    const bool ok = XSendEvent(dpy, ev.xclient.window, False, NoEventMask, &ev) != 0;
    XSync(dpy, False);
    XCloseDisplay(dpy);
    return ok;
}

// ------------------------------------------------------------------ recording

MonitorRecording::MonitorRecording(const AudioServer& server, std::string path, const std::string& device)
    : path_(std::move(path)),
      card_(server.card()) {
    // A file left by an earlier run would look like a recording already under way.
    unlink(path_.c_str());
    if (card_ != nullptr) {
        card_->beginTake();
        return;
    }
    rec_ = Child({"parecord", "--device=" + device, "--file-format=wav", "--rate=48000", "--channels=2",
                  "--format=float32le", "--latency-msec=10", path_},
                 server.env() + EnvVars{{"LC_ALL", "C"}}, "/dev/null", path_ + ".stderr");
    watching_ = true;
    watcher_ = std::thread([this] { watch(); });
}

MonitorRecording::~MonitorRecording() { stop(); }

void MonitorRecording::watch() {
    uintmax_t last = 0;
    while (watching_.load()) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(path_, ec);
        if (!ec && size != last) {
            growth_.emplace_back(Clock::now(), size);
            last = size;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool MonitorRecording::waitStarted(double timeoutSeconds) {
    if (card_ != nullptr) return card_->running();
    return pollUntil(
               timeoutSeconds,
               [&] {
                   std::error_code ec;
                   return (fs::file_size(path_, ec) > 8192 && !ec) || !rec_.alive();
               },
               0.01) &&
           rec_.alive();
}

void MonitorRecording::stop() {
    if (card_ != nullptr) return;
    if (rec_.started()) rec_.stop(SIGINT, 5.0);
    watching_ = false;
    if (watcher_.joinable()) watcher_.join();
}

Stereo MonitorRecording::read() {
    if (card_ != nullptr) {  // frames as the card had them, each period dated
        std::vector<std::pair<TimePoint, size_t>> arrivals;
        Stereo s = card_->endTake(arrivals);
        writeWavFloat(path_, s);
        growth_.clear();
        for (const auto& [time, frames] : arrivals) growth_.emplace_back(time, frames * 8);
        dataOffset_ = 0;
        haveOffset_ = true;
        return s;
    }
    stop();
    Stereo s = readWavFloat(path_);
    // Float stereo frames are 8 bytes; what precedes them is the header.
    std::error_code ec;
    const uintmax_t size = fs::file_size(path_, ec);
    const uintmax_t data = s.left.size() * 8;
    haveOffset_ = !ec && size >= data && size - data < 4096;
    dataOffset_ = haveOffset_ ? size - data : 0;
    return s;
}

std::optional<MonitorRecording::TimePoint> MonitorRecording::availableAt(size_t frame) const {
    if (!haveOffset_) return std::nullopt;
    const uintmax_t need = dataOffset_ + (frame + 1) * 8;
    for (const auto& [time, size] : growth_) {
        if (size >= need) return time;
    }
    return std::nullopt;
}

// ------------------------------------------------------------------ program under test

AppProcess::AppProcess(const std::string& program, const std::vector<std::string>& args, const EnvVars& env,
                       const std::string& label) {
    const std::string dir = artifactsDir();
    out_ = dir + "/" + label + ".stdout";
    err_ = dir + "/" + label + ".stderr";
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    child_ = Child(argv, EnvVars{{"QT_QPA_PLATFORM", "xcb"}} + env, out_, err_);
}

AppProcess::~AppProcess() { child_.stop(SIGTERM, 5.0); }

std::string AppProcess::stderrText() const { return readFile(err_); }

}  // namespace zendra::test
