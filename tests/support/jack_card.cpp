#include "jack_card.h"

#include <cmath>
#include <jack/jack.h>
#include <stdexcept>
#include <unistd.h>

namespace zendra::test {

namespace {
constexpr size_t kMaxFrames = 90 * JackCard::kRate;  // the longest take
constexpr double kSineHz = 440.0;

void quiet(const char*) {}
}  // namespace

std::string freeJackServerName(const std::string& stem) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    for (int slot = 0; slot < 8; ++slot) {
        const std::string name = stem + "-" + std::to_string(slot);
        jack_status_t status{};
        jack_client_t* c = jack_client_open("probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                            &status, name.c_str());
        if (c == nullptr) return name;
        jack_client_close(c);
    }
    return stem + "-" + std::to_string(getpid());
}

JackCard::JackCard()
    : name_(freeJackServerName("zendra-card")),
      left_(kMaxFrames),
      right_(kMaxFrames),
      arrivals_(kMaxFrames / kPeriod + 1) {
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    start();
}

JackCard::~JackCard() { stop(); }

void JackCard::start() {
    server_ = Child({"jackd", "-n", name_, "-d", "dummy", "-r", std::to_string(kRate), "-p", std::to_string(kPeriod),
                     "-P", "0", "-C", "0"},
                    {{"JACK_NO_AUDIO_RESERVATION", "1"}});
    shutDown_ = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (client_ == nullptr && std::chrono::steady_clock::now() < until && server_.alive()) {
        jack_status_t status{};
        client_ = jack_client_open("card", static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                                   name_.c_str());
        if (client_ == nullptr) sleepSeconds(0.05);
    }
    if (client_ == nullptr) {
        server_.stop();
        throw std::runtime_error("the private JACK server " + name_ + " did not start");
    }
    jack_on_shutdown(
        client_, [](void* self) { static_cast<JackCard*>(self)->shutDown_ = true; }, this);
    // Physical, as a sound card's are: programs connect to them by themselves.
    const unsigned long in = JackPortIsInput | JackPortIsPhysical | JackPortIsTerminal;
    playback_[0] = jack_port_register(client_, "playback_1", JACK_DEFAULT_AUDIO_TYPE, in, 0);
    playback_[1] = jack_port_register(client_, "playback_2", JACK_DEFAULT_AUDIO_TYPE, in, 0);
    capture_ = jack_port_register(client_, "capture_1", JACK_DEFAULT_AUDIO_TYPE,
                                  JackPortIsOutput | JackPortIsPhysical | JackPortIsTerminal, 0);
    jack_set_process_callback(client_, &JackCard::process, this);
    if (playback_[0] == nullptr || playback_[1] == nullptr || capture_ == nullptr || jack_activate(client_) != 0) {
        closeCard();
        server_.stop();
        throw std::runtime_error("the pretend sound card could not join the JACK server");
    }
}

void JackCard::closeCard() {
    // A card whose server died is left as it is: the library would reach for the server.
    if (client_ != nullptr && !shutDown_) jack_client_close(client_);
    client_ = nullptr;
}

void JackCard::stop() {
    closeCard();
    server_.stop(SIGTERM, 5.0);
}

void JackCard::kill() {
    server_.stop(SIGKILL);
    client_ = nullptr;  // abandoned with its dead server
}

void JackCard::restart() {
    stop();
    start();
}

bool JackCard::running() const { return client_ != nullptr && !shutDown_; }

bool JackCard::hasClient(const std::string& name) const {
    if (!running()) return false;
    char* uuid = jack_get_uuid_for_client_name(client_, name.c_str());
    if (uuid == nullptr) return false;
    jack_free(uuid);
    return true;
}

std::vector<std::string> JackCard::captureFeeds() const {
    std::vector<std::string> names;
    if (!running()) return names;
    if (const char** list = jack_port_get_all_connections(client_, capture_)) {
        for (const char** p = list; *p != nullptr; ++p) names.emplace_back(*p);
        jack_free(list);
    }
    return names;
}

void JackCard::beginTake() {
    recording_ = false;
    frames_ = 0;
    periods_ = 0;
    recording_ = true;
}

Stereo JackCard::endTake(std::vector<std::pair<TimePoint, size_t>>& arrivals) {
    recording_ = false;
    sleepSeconds(0.02);  // a period in progress finishes
    const size_t n = frames_.load();
    arrivals.assign(arrivals_.begin(), arrivals_.begin() + static_cast<std::ptrdiff_t>(periods_.load()));
    return Stereo{{left_.begin(), left_.begin() + static_cast<std::ptrdiff_t>(n)},
                  {right_.begin(), right_.begin() + static_cast<std::ptrdiff_t>(n)},
                  kRate};
}

int JackCard::process(uint32_t frames, void* arg) {
    auto* self = static_cast<JackCard*>(arg);
    auto* mic = static_cast<float*>(jack_port_get_buffer(self->capture_, frames));
    for (uint32_t i = 0; i < frames; ++i) {
        mic[i] = static_cast<float>(0.5 * std::sin(self->sinePhase_));
        self->sinePhase_ = std::fmod(self->sinePhase_ + 2 * M_PI * kSineHz / kRate, 2 * M_PI);
    }
    if (!self->recording_.load()) return 0;
    const auto now = std::chrono::steady_clock::now();
    const auto* l = static_cast<const float*>(jack_port_get_buffer(self->playback_[0], frames));
    const auto* r = static_cast<const float*>(jack_port_get_buffer(self->playback_[1], frames));
    const size_t at = self->frames_.load(std::memory_order_relaxed);
    const size_t p = self->periods_.load(std::memory_order_relaxed);
    if (at + frames > self->left_.size() || p >= self->arrivals_.size()) return 0;
    std::copy(l, l + frames, self->left_.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy(r, r + frames, self->right_.begin() + static_cast<std::ptrdiff_t>(at));
    self->arrivals_[p] = {now, at + frames};
    self->frames_.store(at + frames, std::memory_order_release);
    self->periods_.store(p + 1, std::memory_order_release);
    return 0;
}

}  // namespace zendra::test
