// What the command line makes of its arguments: exit statuses and the file.
#include <QDir>
#include <QTemporaryDir>

#include "core/audio_choice.h"
#include "core/command_line.h"
#include "core/settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

CommandLine parse(std::vector<std::string> args) {
    args.insert(args.begin(), "zendra");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

class CommandLineTest : public UiTest {};

TEST_F(CommandLineTest, EndsAtOnceWithTheRightStatus) {
    const std::string wav = demo("kick.wav").toStdString();
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {{{"--help"}, 0}, {{"-h"}, 0},     {{"--version"}, 0},         {{"--bogus"}, 2},
                 {{"-x"}, 2},     {{wav, wav}, 2}, {{"/no/such/kit.zkit"}, 2}, {{"--audio=pulse"}, 2},
                 {{"--audio"}, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(parse(c.args).exitCode, std::optional<int>(c.status)) << c.args[0];
    }
}

TEST_F(CommandLineTest, KeepsAnExistingFileAndQtsOwnOptions) {
    const CommandLine cl = parse({"-platform", "offscreen", demo("kick.wav").toStdString()});
    EXPECT_FALSE(cl.exitCode.has_value());
    EXPECT_EQ(cl.file, QDir(demo("kick.wav")).absolutePath());
    EXPECT_FALSE(parse({}).exitCode.has_value());
}

TEST_F(CommandLineTest, NamesTheSoundSystemAskedFor) {
    EXPECT_FALSE(parse({}).audio.has_value());
    EXPECT_EQ(parse({"--audio=jack"}).audio, std::optional(AudioSystem::Jack));
    EXPECT_EQ(parse({"--audio", "pipewire"}).audio, std::optional(AudioSystem::PipeWire));
    EXPECT_EQ(parse({"--audio=sdl"}).audio, std::optional(AudioSystem::Sdl));
    EXPECT_EQ(parse({"--audio=auto"}).audio, std::optional(AudioSystem::Automatic));
}

TEST_F(CommandLineTest, TheSoundSystemAskedForIsKeptForLaterRunsOnlyWhileRemembering) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    settings::setRemembering(true);
    EXPECT_EQ(decideAudioSystem(std::nullopt), AudioSystem::Automatic);  // a first run
    EXPECT_EQ(decideAudioSystem(AudioSystem::Jack), AudioSystem::Jack);
    EXPECT_EQ(decideAudioSystem(std::nullopt), AudioSystem::Jack) << "not kept for the next run";
    EXPECT_EQ(decideAudioSystem(AudioSystem::Automatic), AudioSystem::Automatic);
    EXPECT_EQ(decideAudioSystem(std::nullopt), AudioSystem::Automatic) << "auto does not undo the earlier choice";
    settings::setText(QStringLiteral("audio/system"), QStringLiteral("oss"));  // from a later version, say
    EXPECT_EQ(decideAudioSystem(std::nullopt), AudioSystem::Automatic);
    settings::setRemembering(false);
    EXPECT_EQ(decideAudioSystem(AudioSystem::Sdl), AudioSystem::Sdl);
    settings::setRemembering(true);
    EXPECT_EQ(decideAudioSystem(std::nullopt), AudioSystem::Automatic) << "kept while remembering was off";
    settings::setRemembering(false);
    qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace zendra::test
