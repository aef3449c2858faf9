// Hostile files through the Sample Dock: files that vanish or change between
// being chosen and Done, under names no plain ASCII path would survive. Each
// loads or gives one clear message naming the file, and the bank is never
// half-replaced. Odd names, locked folders and unusual formats on their own
// are in the unit tests.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>

#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "signal_measure.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

QByteArray le(uint32_t v, int n) {
    QByteArray s;
    for (int i = 0; i < n; ++i) s.append(static_cast<char>((v >> (8 * i)) & 0xff));
    return s;
}

// A 16-bit PCM WAV file holding a sine on every channel.
QByteArray toneWav(double hz, int rate, double seconds, int channels = 1) {
    const auto s = sine(hz, rate, seconds, 0.5f);
    QByteArray pcm;
    for (float v : s) {
        const auto x = static_cast<int16_t>(std::lround(v * 32767.0f));
        for (int c = 0; c < channels; ++c) pcm.append(le(static_cast<uint16_t>(x), 2));
    }
    const int align = 2 * channels;
    return "RIFF" + le(36 + pcm.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) +
           le(rate * align, 4) + le(align, 2) + le(16, 2) + "data" + le(pcm.size(), 4) + pcm;
}

const QString kOddName = QString::fromUtf8("Größe \"日本\" it's.wav");

class HostileBank : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        frmLoadSamples::forgetLastFolder();
        ASSERT_TRUE(tmp.isValid());
    }
    void TearDown() override {
        frmLoadSamples::decodeHook = nullptr;
        QFile::setPermissions(tmp.path() + "/ro", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        UiTest::TearDown();
    }

    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = tmp.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        f.write(bytes);
        return path;
    }

    // Starts a looping 440 Hz bank of one sample and returns its level.
    double startOldBank() {
        startSound();
        loadBank({demo("tone-22050.wav")});
        EXPECT_EQ(DXMoudule::SampleBuffer.size(), 1u);
        forms::frmVar().chkLoop[0]->setChecked(true);
        forms::frmSamplePlay().cmbSample[0]->click();
        return rmsDb(out(0.3).left, 2400);
    }

    // The bank from startOldBank is still there, whole and sounding.
    void expectOldBank(double level) {
        ASSERT_EQ(DXMoudule::SampleBuffer.size(), 1u);
        EXPECT_EQ(DXMoudule::SampleBuffer[0], oldBuffer);
        ASSERT_EQ(DXMoudule::SampleFile.size(), 1u);
        EXPECT_EQ(DXMoudule::SampleFile[0], demo("tone-22050.wav"));
        EXPECT_EQ(DXMoudule::LastSample, 0);
        EXPECT_FALSE(forms::frmSamplePlay().cmbSample[1]->isEnabled());
        EXPECT_EQ(forms::frmFX().comSamplePlay->count(), 1);
        const Stereo s = out(0.3);
        EXPECT_NEAR(rmsDb(s.left), level, 0.1);
        EXPECT_NEAR(frequencyHz(s.left, engine().rate()), 440.0, 1.0);
    }

    // Fills four slots (the third is `third`) and presses Done in the dock.
    void doneWithThird(const QString& third) {
        frmLoadSamples& dock = forms::frmLoadSamples();
        dock.showForm();
        dock.hscrollNumber->setValue(0);
        const QString files[4] = {demo("kick.wav"), demo("snare.wav"), third, demo("hat.wav")};
        for (int i = 0; i < 4; ++i) dock.lblSample[i]->setText(files[i]);
        dock.cmbDone->click();
    }

    void expectOneMessageNaming(const QString& path, const char* reason) {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.contains("\"" + path + "\"")) << messages[0].text.toStdString();
        EXPECT_TRUE(messages[0].text.contains(reason)) << messages[0].text.toStdString();
        EXPECT_TRUE(messages[0].text.contains("Nothing was changed")) << messages[0].text.toStdString();
        EXPECT_EQ(messages[0].icon, dialogs::Icon::Exclamation);
    }

    QTemporaryDir tmp;
    std::shared_ptr<DirectSoundBuffer> oldBuffer;
};

TEST_F(HostileBank, FileDeletedOrSpoiledAfterChoosingKeepsTheOldBankWhole) {
    struct Case {
        const char* what;
        std::function<void(const QString&)> change;
        const char* reason;
    };
    const Case cases[] = {
        {"deleted", [](const QString& p) { QFile::remove(p); }, "does not exist"},
        {"emptied", [](const QString& p) { QFile(p).resize(0); }, "is empty"},
        {"cut short", [](const QString& p) { QFile(p).resize(3000); }, "truncated"},
        {"overwritten with text",
         [](const QString& p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
             f.write("A note to self: buy milk.\n");
         },
         "not a sound file"},
        {"replaced by a folder",
         [](const QString& p) {
             QFile::remove(p);
             QDir().mkpath(p);
         },
         "is a folder"},
    };
    const double level = startOldBank();
    oldBuffer = DXMoudule::SampleBuffer[0];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(tmp.path() + "/" + kOddName).removeRecursively();
        const QString victim = write(kOddName, toneWav(1000, 22050, 0.5));
        // The change lands after Done, while the files before it are decoding.
        frmLoadSamples::decodeHook = [&](size_t index) {
            if (index == 2) c.change(victim);
        };
        messages.clear();
        doneWithThird(victim);
        frmLoadSamples::decodeHook = nullptr;
        expectOneMessageNaming(victim, c.reason);
        EXPECT_TRUE(forms::frmLoadSamples().isShown());
        expectOldBank(level);
    }
}

// The replacement is at 192 kHz, above the 100 kHz the frequency bar
// reaches: it still plays at its own pitch.
TEST_F(HostileBank, FileReplacedByAnotherSoundLoadsWhatIsThereAtDone) {
    startOldBank();
    const QString path = write(kOddName, toneWav(1000, 22050, 0.5));
    frmLoadSamples::decodeHook = [&](size_t index) {
        if (index != 2) return;
        // Replaced the way editors save: a new file renamed over the old one.
        const QString fresh = write("swap.new", toneWav(3000, 192000, 0.5, 2));
        QFile::remove(path);
        QFile::rename(fresh, path);
    };
    doneWithThird(path);
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(DXMoudule::SampleBuffer.size(), 4u);
    EXPECT_EQ(DXMoudule::SampleFile[2], path);
    EXPECT_EQ(DXMoudule::SampleBuffer[2]->GetFrequency(), 192000);
    forms::frmVar().chkLoop[0]->setChecked(false);
    render(0.5);
    forms::frmSamplePlay().cmbSample[2]->click();
    const Stereo s = out(0.3);
    EXPECT_NEAR(frequencyHz(s.right, engine().rate(), 2400), 3000.0, 3.0);
}

}  // namespace
}  // namespace zendra::test
