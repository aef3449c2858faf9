// Kits: saving and opening a whole set-up, bad kit files, what a restart
// brings back.
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "core/frm_reworked.h"
#include "core/settings.h"
#include "kits/kit_session.h"
#include "kits/kit_start.h"
#include "kits/remembered.h"
#include "kits/session_keeper.h"
#include "midi/midi_player.h"
#include "mixing/frm_var.h"
#include "recording/frm_properties.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class KitTest : public ConfigTest {
protected:
    void SetUp() override {
        ConfigTest::SetUp();
        for (const char* name : {"tone-22050.wav", "snare.wav", "hat.wav"}) QFile::copy(demo(name), file(name));
    }
    // A new run of the program: fresh windows and sound, the same files.
    void restart(bool remember) {
        TearDown();
        SetUp();
        messages.clear();
        kits::rememberBetweenRuns(remember);
        ASSERT_TRUE(startMain());
    }
    QString file(const char* name) { return tmp.filePath(name); }
    void write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Clicks on the bar's left arrow, or its right one for negative times.
    static void arrow(QScrollBar* bar, int times) {
        for (int i = 0; i < std::abs(times); ++i)
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(times < 0 ? bar->width() - 3 : 3, bar->height() / 2));
    }
    // Slot 1 quieter, left, higher, bound to "k"; slot 2 once only, paused.
    void setUpByHand() {
        frmVar& var = forms::frmVar();
        var.showForm();
        for (auto [bar, times] : {std::pair{var.hscVol[0], 2}, {var.hscPan[0], 1}, {var.hscFre[0], -3}})
            arrow(bar, times);
        QTest::mouseClick(var.chkLoop[1], Qt::LeftButton);
        QTest::mouseClick(var.cmbPause[1], Qt::LeftButton);
        inputs.push_back(QStringLiteral("k"));
        forms::frmSettings().showForm();
        QTest::mouseClick(forms::frmSettings().lblSample[0], Qt::LeftButton);
    }
    // The set-up kept for the next run, and whether it comes to the current one within 2 s.
    static kits::Kit kept() { return kits::readKit(kits::lastSessionPath()).kit.value_or(kits::Kit{}); }
    static kits::Kit current() { return kits::currentKit(forms::app().kits()); }
    static bool keptSoon() {
        return QTest::qWaitFor([] { return kept() == current(); }, 2000);
    }
    void openKit(const QString& path) {
        openFiles.push_back(path);
        forms::FrmReworked().OpenKit->trigger();
    }

    QTemporaryDir tmp;
};

TEST_F(KitTest, SetUpComesBackFromTheLastSessionAndFromAKitAndTheSoundAgrees) {
    kits::rememberBetweenRuns(true);
    ASSERT_TRUE(startMain());
    loadBank({file("tone-22050.wav"), file("snare.wav")});
    setUpByHand();
    const kits::Kit before = current();
    const int rate = sound(0).GetFrequency();  // the sound itself: sample_player_test
    QDir(tmp.path()).mkdir("in-the-way.zkit");
    for (const char* name : {"in-the-way.zkit", "set"}) {
        saveFiles.push_back(file(name));
        forms::FrmReworked().SaveKitAs->trigger();
    }
    ASSERT_EQ(messages.size(), 1u);  // a failed save says why
    EXPECT_TRUE(messages[0].text.startsWith("The kit was not saved.\nCannot write \"" + file("in-the-way.zkit")));
    QFile saved(file("set.zkit"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_TRUE(saved.readAll().contains("\"file\": \"snare.wav\""));  // relative to the kit
    forms::shared().CaptureGuid = QStringLiteral("mic-2");
    kits::keepForNextRun();  // as the program ends

    restart(true);  // the dock offers the last session; one Done brings it back
    EXPECT_EQ(forms::shared().CaptureGuid.toString(), "mic-2");
    EXPECT_EQ(forms::frmLoadSamples().lblSample[1]->text(), file("snare.wav"));
    QTest::mouseClick(forms::frmLoadSamples().cmbDone, Qt::LeftButton);
    EXPECT_EQ(current(), before);

    restart(false);
    openKit(file("set.zkit"));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(current(), before);
    EXPECT_EQ(sound(0).GetVolume(), -1000);
    EXPECT_EQ(sound(0).GetPan(), -3333);
    EXPECT_EQ(sound(0).GetFrequency(), rate);
    EXPECT_NE(rate, 22050);

    // A damaged configuration is passed over; a kit named on the command line
    // opens once the main window is up.
    write(kits::lastSessionPath(), "{\"format\":");
    write(settings::configFolder() + "/zendra.conf", "\x01[[[\n=");
    kits::openAtStart({file("set.zkit")});
    restart(true);
    EXPECT_TRUE(forms::frmLoadSamples().lblSample[0]->text().isEmpty());
    QTest::qWait(50);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(current(), before);
}

TEST_F(KitTest, SettingsReachTheNewBuffersWhereTheControlsAlreadyShowThem) {
    ASSERT_TRUE(startMain());
    loadBank({file("snare.wav")});
    arrow(forms::frmVar().hscVol[0], 2);
    arrow(forms::frmVar().hscPan[0], 1);
    saveFiles.push_back(file("same"));
    forms::FrmReworked().SaveKitAs->trigger();
    openKit(file("same.zkit"));  // new buffers at full volume, centred; the bars as they were
    EXPECT_EQ(sound(0).GetVolume(), -1000);
    EXPECT_EQ(sound(0).GetPan(), -3333);
}

// Kept as it changes: a new run after a crash (nothing kept at its end)
// finds the last change; a write that fails is told once, play goes on and
// the session kept before stays whole.
TEST_F(KitTest, TheSetUpIsKeptAsItChangesAndAFailedWriteIsToldOnce) {
    kits::SessionKeeper::minGapMs = 100;
    kits::rememberBetweenRuns(true);
    ASSERT_TRUE(startMain());
    QStringList notices;
    hooks.notice = [&](const QString& text, const QString&) { notices << text; };
    dialogs::setHooks(&hooks);
    loadBank({file("tone-22050.wav")});
    QScrollBar* pan = forms::frmVar().hscPan[0];
    arrow(pan, 1);
    ASSERT_TRUE(keptSoon());
    auto keptBytes = [] {
        QFile f(kits::lastSessionPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray before = keptBytes();
    rlimit old{};  // as a full disk: no file may grow past 64 bytes
    getrlimit(RLIMIT_FSIZE, &old);
    const rlimit tight{64, old.rlim_max};
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tight);
    for (int step = 0; step < 2; ++step) {
        arrow(pan, 1);
        QTest::qWait(400);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].startsWith("Your set-up cannot be kept for the next start.\nCannot write \"" +
                                      kits::lastSessionPath() + "\": "))
        << notices[0].toStdString();
    EXPECT_EQ(keptBytes(), before);
    ASSERT_TRUE(keptSoon());  // kept once it can be
    const kits::Kit last = current();
    restart(true);  // no keeping at the end: as after a crash
    QTest::mouseClick(forms::frmLoadSamples().cmbDone, Qt::LeftButton);
    EXPECT_EQ(current(), last);
    EXPECT_EQ(last.samples[0].pan, -3);
}

// The keeper compares only when told of a change: a bank setting, a MIDI
// change, a capture device or a dock folder chosen. What changed nothing
// kept (MIDI learning started) writes nothing, and once kept no timer runs.
TEST_F(KitTest, TheKeeperComparesOnlyAfterAChangeAndWritesOnlyWhatChanged) {
    kits::SessionKeeper::minGapMs = 100;
    kits::rememberBetweenRuns(true);
    backend->devices = {{"Alpha Mic", "alpha"}, {"Zeta Line In", "zeta"}};
    ASSERT_TRUE(startMain());
    kits::SessionKeeper* keeper = kits::SessionKeeper::running();
    ASSERT_NE(keeper, nullptr);
    EXPECT_FALSE(keeper->due());  // nothing changed yet
    loadBank({file("tone-22050.wav")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return kept() == current() && !keeper->due(); }, 2000));
    // Each write renames a new file into place.
    auto written = [] {
        struct stat st {};
        return ::stat(QFile::encodeName(kits::lastSessionPath()).constData(), &st) == 0 ? st.st_ino : ino_t{0};
    };
    const ino_t first = written();
    QTest::qWait(300);
    EXPECT_FALSE(keeper->due());

    forms::app().midi()->learn(0);  // told, but nothing kept changed
    EXPECT_TRUE(keeper->due());
    forms::app().midi()->learn(-1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper->due(); }, 2000));
    EXPECT_EQ(written(), first);

    arrow(forms::frmVar().hscPan[0], 1);
    EXPECT_TRUE(keeper->due());
    ASSERT_TRUE(keptSoon());
    EXPECT_NE(written(), first);

    frmProperties& properties = forms::frmProperties();
    properties.showForm();
    ASSERT_NO_FATAL_FAILURE(pick(properties.cboCapture, 1));
    QTest::mouseClick(properties.cmdOK, Qt::LeftButton);
    EXPECT_TRUE(keeper->due());
    EXPECT_TRUE(QTest::qWaitFor([] { return settings::text(frmProperties::kKeptGuid) == "zeta"; }, 2000));

    const QString elsewhere = tmp.filePath("elsewhere");
    QDir().mkpath(elsewhere);
    QFile::copy(file("snare.wav"), elsewhere + "/snare.wav");
    openFiles.push_back(elsewhere + "/snare.wav");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper->due(); }, 2000));
    forms::frmLoadSamples().cmbSelect[1]->click();  // chosen, not loaded
    EXPECT_TRUE(keeper->due());
    EXPECT_TRUE(QTest::qWaitFor([&] { return settings::text(QStringLiteral("folders/samples")) == elsewhere; }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keeper->due(); }, 2000));
}

// File > Remember Set-up: off, nothing more is written and the next start is
// fresh; the switch itself is kept; on again, the set-up is kept at once.
TEST_F(KitTest, RememberSetUpOffKeepsNothingAndTheNextStartIsFreshOnKeepsAtOnce) {
    kits::SessionKeeper::minGapMs = 100;
    kits::rememberBetweenRuns(true);
    ASSERT_TRUE(startMain());
    FrmReworked& main = forms::FrmReworked();
    EXPECT_TRUE(main.RememberSetUp->isChecked());  // on by default
    const auto switchByMenu = [&] {
        QApplication::setActiveWindow(&forms::FrmReworked());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
        ASSERT_EQ(QApplication::activePopupWidget(), forms::FrmReworked().File);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_R);
    };
    loadBank({file("tone-22050.wav")});
    ASSERT_TRUE(keptSoon());
    const kits::Kit first = current();
    ASSERT_NO_FATAL_FAILURE(switchByMenu());
    EXPECT_FALSE(main.RememberSetUp->isChecked());
    EXPECT_EQ(kits::SessionKeeper::running(), nullptr);
    arrow(forms::frmVar().hscPan[0], 1);
    forms::shared().CaptureGuid = QStringLiteral("mic-2");
    kits::keepForNextRun();  // as the program ends
    EXPECT_EQ(kept(), first);
    QFile conf(settings::configFolder() + "/zendra.conf");
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));  // the switch is kept there
    EXPECT_FALSE(conf.readAll().contains("mic-2"));

    restart(true);  // fresh: nothing offered, nothing kept, the switch still off
    EXPECT_FALSE(forms::FrmReworked().RememberSetUp->isChecked());
    EXPECT_TRUE(forms::frmLoadSamples().lblSample[0]->text().isEmpty());
    EXPECT_NE(forms::shared().CaptureGuid.toString(), "mic-2");
    EXPECT_EQ(kits::SessionKeeper::running(), nullptr);
    loadBank({file("snare.wav")});
    ASSERT_NO_FATAL_FAILURE(switchByMenu());  // on again: kept at once
    EXPECT_TRUE(forms::FrmReworked().RememberSetUp->isChecked());
    ASSERT_NE(kits::SessionKeeper::running(), nullptr);
    ASSERT_TRUE(keptSoon());
    const kits::Kit second = current();
    EXPECT_NE(second, first);

    restart(true);
    EXPECT_TRUE(forms::FrmReworked().RememberSetUp->isChecked());
    EXPECT_EQ(forms::frmLoadSamples().lblSample[0]->text(), file("snare.wav"));
}

TEST_F(KitTest, BadKitSaysWhatIsWrongAndChangesNothing) {
    ASSERT_TRUE(startMain());
    write(file("bad.wav"), "RIFF not a wave at all");
    const QByteArray head = R"({"format": "zendra-kit", "version": )";
    const QString kit = file("x.zkit");
    const std::pair<QByteArray, QStringList> cases[] = {
        // the kit, what its one message names
        {head + R"(1, "samples": [{"file": "tone-22050.wav")", {kit, "damaged or cut short"}},
        {R"({"tracks": []})", {kit, "not a Zendra kit"}},
        {head + R"(3, "samples": [{"file": "snare.wav"}]})", {kit, "newer Zendra"}},
        {head + R"(1, "samples": [{"file": "snare.wav", "volume": 7}]})", {kit, "sample 1 are damaged"}},
    };
    loadBank({file("tone-22050.wav")});
    arrow(forms::frmVar().hscVol[0], 1);
    const auto* buffer = player().sound(0);
    for (const auto& [bytes, named] : cases) {
        messages.clear();
        write(kit, bytes);
        openKit(kit);
        ASSERT_EQ(messages.size(), 1u) << bytes.constData();
        for (const QString& n : named + QStringList{"Nothing was changed"})
            EXPECT_TRUE(messages[0].text.contains(n)) << messages[0].text.toStdString();
        EXPECT_EQ(player().sound(0), buffer);
        EXPECT_EQ(bank().count(), 1);
        EXPECT_EQ(sound(0).GetVolume(), -500);
    }
    // Every damaged file at once, each with its reason, in one message.
    QFile::copy(demo("kick.wav"), file("cut.wav"));
    QFile(file("cut.wav")).resize(3000);
    QDir(tmp.path()).mkdir("folder.wav");
    write(kit, head + R"(1, "samples": [{"file": "gone.wav"}, {"file": "snare.wav"}, {"file": "bad.wav"},
                                       {"file": "cut.wav"}, {"file": "folder.wav"}]})");
    messages.clear();
    openKit(kit);
    expectOnlyMessage(
        "The kit \"" + kit +
            "\" cannot be opened: 4 of its samples cannot be loaded.\n\n"
            "Cannot load \"" +
            file("gone.wav") +
            "\": the file does not exist.\n"
            "Cannot load \"" +
            file("bad.wav") +
            "\": it is not a sound file (WAV, FLAC, Ogg Vorbis, Opus, MP3, AIFF, CAF "
            "and AU files, among others, can be loaded).\n"
            "Cannot load \"" +
            file("cut.wav") +
            "\": the file is cut short (truncated): its header announces 39690 bytes of "
            "sound but only 2956 are there.\n"
            "Cannot load \"" +
            file("folder.wav") +
            "\": it is a folder, not a file.\n\n"
            "Nothing was changed: the samples loaded before are still in place. The Sample Dock shows the kit's files; "
            "choose others for those slots there and press Done.",
        "Zendra", dialogs::Icon::Exclamation);
    EXPECT_EQ(player().sound(0), buffer);
    // A missing file pointed at again in the dock: the kit's settings follow
    // for the slots whose file is the kit's.
    write(kit, head + R"(1, "samples": [{"file": "gone.wav"}, {"file": "snare.wav", "pan": 2}]})");
    openKit(kit);
    ASSERT_TRUE(forms::frmLoadSamples().isShown());
    openFiles.push_back(file("hat.wav"));
    QTest::mouseClick(forms::frmLoadSamples().cmbSelect[0], Qt::LeftButton);
    QTest::mouseClick(forms::frmLoadSamples().cmbDone, Qt::LeftButton);
    EXPECT_EQ(bank().count(), 2);
    EXPECT_EQ(sound(1).GetPan(), 2 * 3333);
}

}  // namespace
}  // namespace zendra::test
