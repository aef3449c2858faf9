// Files and folders named at start: what they come to (a kit, sound files
// for the Sample Dock in order, plain messages), then the start itself with
// them and with --fresh.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/command_line.h"
#include "core/settings.h"
#include "kits/kit_file.h"
#include "kits/kit_start.h"
#include "kits/remembered.h"
#include "kits/session_keeper.h"
#include "kits/start_files.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class Folder {
public:
    // Makes the (empty) files and folders; a name ending in '/' is a folder.
    QString make(const QStringList& names) {
        for (const QString& n : names) {
            if (n.endsWith('/')) {
                EXPECT_TRUE(QDir(dir.path()).mkpath(n));
            } else {
                QFile f(path(n));
                EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << n.toStdString();
            }
        }
        return dir.path();
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList paths(const QStringList& names) const {
        QStringList r;
        for (const QString& n : names) r << path(n);
        return r;
    }
    QTemporaryDir dir;
};

QString q(const QString& path) { return '"' + path + '"'; }

// A list as one line each, for readable failures.
std::string lines(const QStringList& list) { return list.join('\n').toStdString(); }
#define EXPECT_LIST(a, ...) EXPECT_EQ(lines(a), lines(__VA_ARGS__))

TEST(StartFiles, AFolderGivesItsSoundFilesInNameOrderAndNothingElse) {
    Folder f;
    f.make({"kit/", "kit/kick10.wav", "kit/Kick2.WAV", "kit/snare.flac", "kit/bell.ogg", "kit/notes.txt",
            "kit/set.zkit", "kit/inner/", "kit/inner/deep.wav", "kit/x.mp3/"});
    const kits::StartFiles s = kits::sortStartFiles({f.path("kit")});
    EXPECT_LIST(s.sounds, f.paths({"kit/bell.ogg", "kit/Kick2.WAV", "kit/kick10.wav", "kit/snare.flac"}));
    EXPECT_TRUE(s.problems.isEmpty()) << s.problems.join('\n').toStdString();
    EXPECT_TRUE(s.kit.isEmpty());
}

TEST(StartFiles, FilesAndFoldersKeepTheirOrderAndWhatGivesNothingIsNamedInTurn) {
    Folder f;
    f.make({"a.wav", "drums/", "drums/2.wav", "drums/1.aiff", "empty/", "empty/readme.txt", "notes.txt", "set.zkit",
            "song.opus"});
    const kits::StartFiles s = kits::sortStartFiles(
        f.paths({"song.opus", "missing.wav", "drums", "notes.txt", "set.zkit", "empty", "a.wav", "song.opus"}));
    EXPECT_LIST(s.sounds, f.paths({"song.opus", "drums/1.aiff", "drums/2.wav", "a.wav", "song.opus"}));
    EXPECT_LIST(s.problems, QStringList({q(f.path("missing.wav")) + ": no such file or folder.",
                                         q(f.path("notes.txt")) + ": not a sound file.",
                                         q(f.path("set.zkit")) + ": a kit opens only when it is named alone.",
                                         q(f.path("empty")) + ": the folder holds no sound files."}));
    EXPECT_TRUE(s.kit.isEmpty());
}

TEST(StartFiles, AKitNamedAloneIsOpenedAndAMissingOneIsNamed) {
    Folder f;
    f.make({"set.zkit"});
    const kits::StartFiles kit = kits::sortStartFiles({f.path("set.zkit")});
    EXPECT_EQ(kit.kit, f.path("set.zkit"));
    EXPECT_TRUE(kit.sounds.isEmpty() && kit.problems.isEmpty());
    const kits::StartFiles gone = kits::sortStartFiles({f.path("gone.zkit")});
    EXPECT_TRUE(gone.kit.isEmpty());
    EXPECT_LIST(gone.problems, QStringList({q(f.path("gone.zkit")) + ": no such file or folder."}));
    const kits::StartFiles none = kits::sortStartFiles({});
    EXPECT_TRUE(none.kit.isEmpty() && none.sounds.isEmpty() && none.problems.isEmpty());
}

TEST(StartFiles, SixteenAreTakenAndTheRestAreNamedInOneMessage) {
    Folder f;
    QStringList names{"many/"};
    QStringList sorted;
    for (int i = 1; i <= 18; ++i) {
        names << QStringLiteral("many/s%1.wav").arg(i);
        sorted << QStringLiteral("many/s%1.wav").arg(i);
    }
    f.make(names + QStringList{"last.wav"});
    const kits::StartFiles s = kits::sortStartFiles({f.path("many"), f.path("last.wav")});
    EXPECT_LIST(s.sounds, f.paths(sorted.mid(0, 16)));
    EXPECT_EQ(s.problems,
              QStringList({"The Sample Dock holds sixteen samples; these were left out: " + q(f.path("many/s17.wav")) +
                           ", " + q(f.path("many/s18.wav")) + ", " + q(f.path("last.wav")) + "."}));
}

class StartTest : public ConfigTest {
protected:
    // What the configuration folder holds, file by file.
    QMap<QString, QByteArray> kept() const {
        QMap<QString, QByteArray> files;
        const QDir dir(settings::configFolder());
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) {
            QFile file(dir.filePath(name));
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            files[name] = file.readAll();
        }
        return files;
    }
};

// Given with a last session kept, the files take the dock in its place (none
// of its settings reach them) and load as Done loads them.
TEST_F(StartTest, SoundFilesNamedAtStartFillTheDockInOrderAndLoad) {
    QTemporaryDir tmp;
    const QString folder = tmp.filePath("set");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(demo("tone-22050.wav"), folder + "/b.wav"));
    ASSERT_TRUE(QFile::copy(demo("tone-44100.wav"), folder + "/a.wav"));
    ASSERT_TRUE(QFile::copy(demo("README.txt"), folder + "/README.txt"));
    kits::rememberBetweenRuns(true);
    const QString snare = QFileInfo(demo("snare.wav")).absoluteFilePath();
    kits::Kit session;  // the same first file, quieter and to the right
    kits::KitSample first;
    first.file = snare;
    first.volume = -4;
    first.pan = 3;
    session.samples.push_back(first);
    ASSERT_EQ(kits::writeKit(session, kits::lastSessionPath(), true), QString());

    const QString missing = tmp.filePath("missing.wav");
    kits::openAtStart({snare, missing, folder});
    ASSERT_TRUE(startMain());
    frmLoadSamples& dock = forms::frmLoadSamples();
    ASSERT_TRUE(QTest::qWaitFor([] { return forms::shared().Bank().count() == 3; }));
    expectOnlyMessage("Not everything named at start can be loaded:\n\n\"" + missing + "\": no such file or folder.",
                      "Zendra", dialogs::Icon::Exclamation);
    const QStringList files = {snare, folder + "/a.wav", folder + "/b.wav"};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(dock.lblSample[i]->text().toStdString(), files.value(i).toStdString()) << i;
    EXPECT_EQ(dock.lblAmount->text(), "4");
    EXPECT_EQ(bank().files(), files);
    EXPECT_FALSE(dock.isShown());  // loaded, as after Done
    EXPECT_EQ(frmLoadSamples::dialogFolder().toStdString(), folder.toStdString());
    EXPECT_EQ(sound(1).GetFrequency(), 44100);
    EXPECT_EQ(sound(2).GetFrequency(), 22050);
    EXPECT_EQ(sound(0).GetVolume(), 0);
    EXPECT_EQ(sound(0).GetPan(), 0);
}

TEST_F(StartTest, NothingToLoadLeavesTheDockAsItWasWithOneMessage) {
    QTemporaryDir tmp;
    const QString text = tmp.filePath("notes.txt");
    QFile(text).open(QIODevice::WriteOnly);
    kits::openAtStart({text});
    ASSERT_TRUE(startMain());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !messages.empty(); }));
    expectOnlyMessage("Not everything named at start can be loaded:\n\n\"" + text + "\": not a sound file.", "Zendra",
                      dialogs::Icon::Exclamation);
    EXPECT_TRUE(forms::frmLoadSamples().isShown());
    EXPECT_TRUE(forms::frmLoadSamples().lblSample[0]->text().isEmpty());
    EXPECT_EQ(bank().count(), 0);
}

// --fresh: neither the last session nor the remembered folder comes back, and
// what this run does is not kept; the next plain start finds them unchanged.
TEST_F(StartTest, FreshStartsWithoutTheKeptSetUpAndKeepsNothing) {
    QTemporaryDir tmp;
    const QString snare = QFileInfo(demo("snare.wav")).absoluteFilePath();
    kits::rememberBetweenRuns(true);
    kits::Kit session;
    session.samples.emplace_back().file = snare;
    ASSERT_EQ(kits::writeKit(session, kits::lastSessionPath(), true), QString());
    settings::setFolder("samples", tmp.path());
    const auto before = kept();
    ASSERT_TRUE(before.contains("last-session.zkit") && before.contains("zendra.conf"));

    CommandLine fresh;
    fresh.fresh = true;
    kits::startWith(fresh);
    ASSERT_TRUE(startMain());
    EXPECT_TRUE(forms::frmLoadSamples().lblSample[0]->text().isEmpty());
    EXPECT_NE(frmLoadSamples::dialogFolder().toStdString(), tmp.path().toStdString());
    EXPECT_EQ(kits::SessionKeeper::running(), nullptr);
    loadBank({demo("tone-22050.wav")});
    ASSERT_EQ(bank().count(), 1);
    kits::keepForNextRun();  // as the program ends
    EXPECT_EQ(kept(), before);

    forms::destroyAll();
    forms::destroyAll();
    kits::startWith(CommandLine{});
    ASSERT_TRUE(startMain());
    EXPECT_EQ(forms::frmLoadSamples().lblSample[0]->text().toStdString(), snare.toStdString());
    EXPECT_EQ(frmLoadSamples::dialogFolder().toStdString(), tmp.path().toStdString());
    EXPECT_NE(kits::SessionKeeper::running(), nullptr);
}

}  // namespace
}  // namespace zendra::test
