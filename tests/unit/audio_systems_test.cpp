// Which audio system plays: the order tried for each choice, and what happens
// when a system cannot be opened, before and after one has.
#include <gtest/gtest.h>

#include "sound/audio_systems.h"
#include "sound/ds_types.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace zendra::test {
namespace {

using S = AudioSystem;

class NamedBackend : public OfflineBackend {
public:
    NamedBackend(std::string name, std::string mic) : name_(std::move(name)) { devices = {{mic, mic}}; }
    std::string name() const override { return name_; }

private:
    std::string name_;
};

struct Systems {
    std::map<S, std::shared_ptr<NamedBackend>> made{
        {S::PipeWire, std::make_shared<NamedBackend>("PipeWire", "pw-mic")},
        {S::Jack, std::make_shared<NamedBackend>("JACK", "system:capture_1")},
        {S::Sdl, std::make_shared<NamedBackend>("SDL (pulseaudio)", "Pulse Mic")}};
    ChosenAudio chosen(S choice) {
        return ChosenAudio(choice, [this](S s) { return std::static_pointer_cast<AudioBackend>(made.at(s)); });
    }
};

TEST(AudioSystems, NamesAndTheOrderTriedForEachChoice) {
    for (S s : {S::Automatic, S::PipeWire, S::Jack, S::Sdl}) EXPECT_EQ(parseAudioSystem(audioSystemKey(s)), s);
    EXPECT_FALSE(parseAudioSystem("pulseaudio"));
    EXPECT_FALSE(parseAudioSystem("PipeWire"));
    EXPECT_EQ(audioSystemsToTry(S::Automatic), (std::vector<S>{S::PipeWire, S::Sdl}));
    EXPECT_EQ(audioSystemsToTry(S::PipeWire), (std::vector<S>{S::PipeWire, S::Sdl}));
    EXPECT_EQ(audioSystemsToTry(S::Jack), (std::vector<S>{S::Jack, S::PipeWire, S::Sdl}));
    EXPECT_EQ(audioSystemsToTry(S::Sdl), (std::vector<S>{S::Sdl, S::PipeWire}));
}

TEST(AudioSystems, AutomaticPlaysThroughPipeWireWhenItAnswersElseSdlWithoutComplaint) {
    Systems systems;
    ChosenAudio withPipeWire = systems.chosen(S::Automatic);
    OutputEngine a(withPipeWire, "");
    EXPECT_EQ(withPipeWire.inUse(), S::PipeWire);
    EXPECT_EQ(withPipeWire.name(), "PipeWire");
    EXPECT_EQ(withPipeWire.captureDevices().front().id, "pw-mic");

    systems.made[S::PipeWire]->failOutput = true;
    ChosenAudio without = systems.chosen(S::Automatic);
    OutputEngine b(without, "");
    EXPECT_EQ(without.inUse(), S::Sdl);
    EXPECT_EQ(without.fallbackNote(), "") << "no PipeWire server is nothing to report";
    EXPECT_EQ(without.captureDevices().front().id, "Pulse Mic");
}

TEST(AudioSystems, AChosenSystemThatFailsGivesWayAndSaysWhy) {
    Systems systems;
    systems.made[S::Jack]->failOutput = true;
    ChosenAudio chosen = systems.chosen(S::Jack);
    OutputEngine engine(chosen, "");
    EXPECT_EQ(chosen.inUse(), S::PipeWire);
    EXPECT_NE(chosen.fallbackNote().find("JACK could not be opened (No sound output device could be opened.)"),
              std::string::npos)
        << chosen.fallbackNote();

    systems.made[S::PipeWire]->failOutput = true;
    systems.made[S::Sdl]->failOutput = true;
    ChosenAudio none = systems.chosen(S::Jack);
    try {
        OutputEngine nothing(none, "");
        FAIL() << "opened with every system failing";
    } catch (const SoundError& e) {
        const std::string what = e.what();
        for (const char* s : {"JACK", "PipeWire", "SDL"}) EXPECT_NE(what.find(s), std::string::npos) << what;
    }
}

TEST(AudioSystems, ALostDeviceIsReopenedOnTheSystemThatPlayedNeverAnother) {
    Systems systems;
    ChosenAudio chosen = systems.chosen(S::Automatic);
    OutputEngine engine(chosen, "");
    systems.made[S::PipeWire]->loseOutput();
    systems.made[S::PipeWire]->failOutput = true;  // its server is down
    EXPECT_TRUE(engine.lost());
    EXPECT_FALSE(engine.reopen());
    EXPECT_EQ(systems.made[S::Sdl]->outputsOpened(), 0);
    systems.made[S::PipeWire]->failOutput = false;  // back
    EXPECT_TRUE(engine.reopen());
    EXPECT_FALSE(engine.lost());
    EXPECT_EQ(chosen.inUse(), S::PipeWire);
}

}  // namespace
}  // namespace zendra::test
