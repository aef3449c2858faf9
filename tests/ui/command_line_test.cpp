// What the command line makes of its arguments: exit statuses, the files and --fresh.
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

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

using CommandLineTest = ConfigTest;

TEST_F(CommandLineTest, EndsAtOnceWithTheRightStatus) {
    const struct {
        std::vector<std::string> args;
        int status;
    } cases[] = {{{"--help"}, 0},        {{"-h"}, 0},     {{"--version"}, 0}, {{"--bogus"}, 2}, {{"-x"}, 2},
                 {{"--audio=pulse"}, 2}, {{"--audio"}, 2}};
    for (const auto& c : cases) {
        EXPECT_EQ(parse(c.args).exitCode, std::optional<int>(c.status)) << c.args[0];
    }
}

// What the files are is sorted out once the program runs: missing ones too
// come through, made absolute, in their order.
TEST_F(CommandLineTest, KeepsEveryFileInOrderAndQtsOwnOptions) {
    const CommandLine cl = parse({"-platform", "offscreen", demo("kick.wav").toStdString(), "/no/such/kit.zkit",
                                  "relative/b.wav", demo("kick.wav").toStdString()});
    EXPECT_FALSE(cl.exitCode.has_value());
    EXPECT_EQ(cl.files,
              QStringList({QDir(demo("kick.wav")).absolutePath(), "/no/such/kit.zkit",
                           QDir::current().absoluteFilePath("relative/b.wav"), QDir(demo("kick.wav")).absolutePath()}));
    EXPECT_FALSE(parse({}).exitCode.has_value());
    EXPECT_TRUE(parse({}).files.isEmpty());
}

TEST_F(CommandLineTest, FreshIsAnOptionOfItsOwnAndTheHelpNamesItAndTheFiles) {
    EXPECT_FALSE(parse({}).fresh);
    const CommandLine cl = parse({"--fresh", "x.wav"});
    EXPECT_TRUE(cl.fresh);
    EXPECT_EQ(cl.files, QStringList({QDir::current().absoluteFilePath("x.wav")}));
    EXPECT_TRUE(parse({"-fresh"}).fresh);
    EXPECT_EQ(parse({"--fresh=yes"}).exitCode, std::optional(2));

    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    QTemporaryDir dir;
    const QString path = dir.filePath("help.txt");
    FILE* to = std::fopen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(to, nullptr);
    dup2(fileno(to), STDOUT_FILENO);
    const auto code = parse({"--help"}).exitCode;
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::fclose(to);
    EXPECT_EQ(code, std::optional(0));
    QFile help(path);
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    const QString text = QString::fromLocal8Bit(help.readAll());
    EXPECT_TRUE(text.startsWith("Usage: zendra [options] [file...]\n")) << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("\\n  --fresh +Starts once without the kept set-up")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QRegularExpression("\\n  files +Sound files, or folders of them"))) << text.toStdString();
}

TEST_F(CommandLineTest, NamesTheSoundSystemAskedFor) {
    EXPECT_FALSE(parse({}).audio.has_value());
    EXPECT_EQ(parse({"--audio=jack"}).audio, std::optional(AudioSystem::Jack));
    EXPECT_EQ(parse({"--audio", "pipewire"}).audio, std::optional(AudioSystem::PipeWire));
    EXPECT_EQ(parse({"--audio=sdl"}).audio, std::optional(AudioSystem::Sdl));
    EXPECT_EQ(parse({"--audio=auto"}).audio, std::optional(AudioSystem::Automatic));
}

TEST_F(CommandLineTest, TheSoundSystemAskedForIsKeptForLaterRunsOnlyWhileRemembering) {
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
}

}  // namespace
}  // namespace zendra::test
