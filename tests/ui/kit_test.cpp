// Kits: saving and opening a whole set-up, bad kit files, what a restart
// brings back, and files dropped on the windows.
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "core/frm_reworked.h"
#include "kits/kit_session.h"
#include "kits/kit_start.h"
#include "kits/remembered.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class KitTest : public UiTest {
protected:
    void SetUp() override {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.filePath("config")));
        UiTest::SetUp();
        frmLoadSamples::forgetLastFolder();
        for (const char* name : {"tone-22050.wav", "snare.wav", "hat.wav"})
            QFile::copy(demo(name), tmp.filePath(name));
    }
    void TearDown() override {
        kits::rememberBetweenRuns(false);
        UiTest::TearDown();
        qunsetenv("XDG_CONFIG_HOME");
    }
    QString file(const char* name) { return tmp.filePath(name); }
    void write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Clicks on a bar's left (down) or right (up) arrow.
    static void arrow(QScrollBar* bar, bool up, int times) {
        for (int i = 0; i < times; ++i)
            QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(up ? bar->width() - 3 : 3, bar->height() / 2));
    }
    // Sets slot 1 as a player would: quieter, left, higher, bound to "k";
    // slot 2 once only, paused.
    void setUpByHand() {
        frmVar& var = forms::frmVar();
        var.showForm();
        forms::frmSettings().showForm();
        arrow(var.hscVol[0], false, 2);
        arrow(var.hscPan[0], false, 1);
        arrow(var.hscFre[0], true, 3);
        QTest::mouseClick(var.chkLoop[1], Qt::LeftButton);
        QTest::mouseClick(var.cmbPause[1], Qt::LeftButton);
        inputs.push_back(QStringLiteral("k"));
        QTest::mouseClick(forms::frmSettings().lblSample[0], Qt::LeftButton);
    }
    // Left and right level (dB) and pitch of slot 1 played from the pad.
    std::array<double, 3> soundOfFirst() {
        forms::frmSamplePlay().showForm();
        QTest::mouseClick(forms::frmSamplePlay().cmbSample[0], Qt::LeftButton);
        const Stereo s = out(0.3);
        stopAll();
        return {rmsDb(s.left), rmsDb(s.right), frequencyHz(s.left, engine().rate())};
    }
    void drop(QWidget* on, const QStringList& files, QPoint at) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& f : files) urls << QUrl::fromLocalFile(f);
        mime.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(on, &dropped);
    }

    QTemporaryDir tmp;
};

TEST_F(KitTest, SaveAndOpenBringBackEverySettingAndTheSoundAgrees) {
    ASSERT_TRUE(startMain());
    loadBank({file("tone-22050.wav"), file("snare.wav")});
    setUpByHand();
    const kits::Kit before = kits::currentKit();
    const auto heard = soundOfFirst();
    saveFiles.push_back(file("set"));
    forms::FrmReworked().SaveKitAs->trigger();
    const QByteArray saved = [&] { QFile f(file("set.zkit")); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    EXPECT_TRUE(saved.contains("\"file\": \"snare.wav\"")) << saved.constData();  // relative to the kit

    loadBank({demo("hat.wav")});
    openFiles.push_back(file("set.zkit"));
    forms::FrmReworked().OpenKit->trigger();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(kits::currentKit(), before);
    EXPECT_EQ(kits::currentKit().samples[0].key, "k");
    EXPECT_EQ(DXMoudule::bufferAt(0)->GetVolume(), -1000);
    EXPECT_EQ(DXMoudule::bufferAt(0)->GetPan(), -3333);
    const auto again = soundOfFirst();
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(again[k], heard[k], 0.05 * std::abs(heard[k]) + 0.1) << k;
    EXPECT_LT(heard[1], heard[0] - 20);  // panned hard left
}

TEST_F(KitTest, BadKitSaysWhatIsWrongAndChangesNothing) {
    ASSERT_TRUE(startMain());
    write(file("bad.wav"), "RIFF not a wave at all");
    const QByteArray head = R"({"format": "zendra-kit", "version": )";
    const struct {
        QByteArray bytes;
        QStringList named;  // in the one message, besides the kit's path
    } cases[] = {
        {head + R"(1, "samples": [{"file": "tone-22050.wav")", {file("x.zkit"), "damaged or cut short"}},
        {R"({"tracks": []})", {file("x.zkit"), "not a Zendra kit"}},
        {head + R"(2, "samples": [{"file": "snare.wav"}]})", {file("x.zkit"), "newer Zendra"}},
        {head + R"(1, "samples": [{"file": "snare.wav", "volume": 7}]})", {file("x.zkit"), "sample 1 are damaged"}},
        {head + R"(1, "samples": [{"file": "gone1.wav"}, {"file": "snare.wav"}, {"file": "gone2.wav"}]})",
         {file("x.zkit"), file("gone1.wav"), file("gone2.wav")}},
        {head + R"(1, "samples": [{"file": "snare.wav"}, {"file": "bad.wav"}]})", {file("bad.wav")}},
    };
    loadBank({file("tone-22050.wav")});
    arrow(forms::frmVar().hscVol[0], false, 1);
    const auto* buffer = DXMoudule::bufferAt(0);
    for (const auto& c : cases) {
        messages.clear();
        write(file("x.zkit"), c.bytes);
        openFiles.push_back(file("x.zkit"));
        forms::FrmReworked().OpenKit->trigger();
        ASSERT_EQ(messages.size(), 1u) << c.bytes.constData();
        const QString& text = messages[0].text;
        for (const QString& n : c.named) EXPECT_TRUE(text.contains(n)) << text.toStdString();
        EXPECT_TRUE(text.contains("Nothing was changed")) << text.toStdString();
        EXPECT_EQ(DXMoudule::bufferAt(0), buffer);
        EXPECT_EQ(DXMoudule::LastSample, 0);
        EXPECT_EQ(buffer->GetVolume(), -500);
    }
    // The missing files pointed at again in the dock: the kit's settings
    // follow for the slots whose file is the kit's.
    write(file("x.zkit"), head + R"(1, "samples": [{"file": "gone.wav"}, {"file": "snare.wav", "pan": 2}]})");
    openFiles.push_back(file("x.zkit"));
    forms::FrmReworked().OpenKit->trigger();
    ASSERT_TRUE(forms::frmLoadSamples().isShown());
    openFiles.push_back(file("hat.wav"));
    QTest::mouseClick(forms::frmLoadSamples().cmbSelect[0], Qt::LeftButton);
    QTest::mouseClick(forms::frmLoadSamples().cmbDone, Qt::LeftButton);
    EXPECT_EQ(DXMoudule::LastSample, 1);
    EXPECT_EQ(DXMoudule::bufferAt(1)->GetPan(), 2 * 3333);
}

TEST_F(KitTest, FailedSaveSaysWhy) {
    ASSERT_TRUE(startMain());
    loadBank({file("tone-22050.wav")});
    QDir(tmp.path()).mkdir("old.zkit.dir");
    EXPECT_FALSE(kits::saveKit(file("old.zkit.dir")));  // a folder is in the way
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("The kit was not saved.\nCannot write \"" + file("old.zkit.dir")));
    EXPECT_TRUE(QFileInfo(file("old.zkit.dir")).isDir());
}

TEST_F(KitTest, NextStartOffersTheLastSessionAndOneDoneBringsItBack) {
    ASSERT_TRUE(startMain());
    loadBank({file("tone-22050.wav"), file("snare.wav")});
    setUpByHand();
    const kits::Kit before = kits::currentKit();
    DXMoudule::CaptureGuid = QStringLiteral("mic-2");
    kits::keepForNextRun();  // as the program ends

    TearDown();
    SetUp();  // a new run: the same configuration folder
    kits::rememberBetweenRuns();
    ASSERT_TRUE(startMain());
    EXPECT_EQ(DXMoudule::CaptureGuid.toString(), "mic-2");
    EXPECT_EQ(forms::frmLoadSamples().lblSample[1]->text(), file("snare.wav"));
    QTest::mouseClick(forms::frmLoadSamples().cmbDone, Qt::LeftButton);
    EXPECT_EQ(kits::currentKit(), before);

    // A damaged configuration starts an empty dock.
    write(kits::lastSessionPath(), "{\"format\":");
    write(kits::configFolder() + "/zendra.conf", "\x01[[[\n=");
    TearDown();
    SetUp();
    kits::rememberBetweenRuns();
    ASSERT_TRUE(startMain());
    EXPECT_TRUE(forms::frmLoadSamples().lblSample[0]->text().isEmpty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(KitTest, DroppedSamplesFillSlotsFromTheOneUnderTheDropAndADroppedKitOpens) {
    ASSERT_TRUE(startMain());
    frmLoadSamples& dock = forms::frmLoadSamples();
    const QPoint slot2 = dock.cmbSelect[1]->mapTo(&dock, dock.cmbSelect[1]->rect().center());
    drop(&dock, {file("snare.wav"), file("hat.wav"), file("tone-22050.wav"), file("hat.wav")}, slot2);
    EXPECT_TRUE(dock.lblSample[0]->text().isEmpty());
    EXPECT_EQ(dock.lblSample[1]->text(), file("snare.wav"));
    EXPECT_EQ(dock.lblSample[4]->text(), file("hat.wav"));
    EXPECT_EQ(dock.lblAmount->text(), "8");

    write(file("d.zkit"), R"({"format": "zendra-kit", "version": 1, "samples": [{"file": "hat.wav", "pan": -2}]})");
    drop(&forms::FrmReworked(), {file("d.zkit")}, QPoint(300, 300));
    QTest::qWait(20);
    EXPECT_EQ(DXMoudule::SampleFile, std::vector<QString>{file("hat.wav")});
    EXPECT_EQ(DXMoudule::bufferAt(0)->GetPan(), -2 * 3333);
}

}  // namespace
}  // namespace zendra::test
