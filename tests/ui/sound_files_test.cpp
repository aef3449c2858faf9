// Sound files as a player brings them: every format through the Sample
// Dock's dialog, played and listened to on each side; sound files dropped on
// the dock and a kit dropped on the main window, through the window's own
// drag and drop events.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QWindow>
#include <cmath>
#include <sndfile.h>

#include "core/frm_reworked.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class SoundFilesTest : public UiTest {
protected:
    QString file(const QString& name) const { return tmp.filePath(name); }

    // One second of 440 Hz on the left at half scale and 660 Hz on the right at a quarter.
    void writeStereo(const QString& name, int format, int rate) const {
        writeSound(file(name).toStdString(), {sine(440, rate, 1.0, 0.5f), sine(660, rate, 1.0, 0.25f), rate}, format);
    }

    // Drags the files over `target` and drops them at `at` (target's
    // coordinates), as Qt delivers a drag from the window system to a
    // top-level window: enter; the move, accepted in advance when the enter
    // was; then the drop if the move was accepted (else the drag goes on).
    static bool drop(QWidget* target, QPoint at, const QStringList& files) {
        QWidget* top = target->window();
        QWindow* window = top->windowHandle();
        QMimeData mime;
        for (const QString& f : files) mime.setUrls(mime.urls() << QUrl::fromLocalFile(f));
        const QPoint pos = target->mapTo(top, at);
        QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &enter);
        QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        if (enter.isAccepted()) {
            move.setDropAction(enter.dropAction());
            move.accept();
        }
        QApplication::sendEvent(window, &move);
        if (!move.isAccepted()) return false;
        QDropEvent dropped(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &dropped);
        return dropped.isAccepted();
    }

    static frmLoadSamples& dock() { return forms::frmLoadSamples(); }

    QTemporaryDir tmp;
};

// One row per format: chosen in the slot's file dialog, loaded by Done
// (16-bit sound kept at 16 bits, deeper or lossy sound as float), started
// from the Sample Pad, and each side of the output measured.
TEST_F(SoundFilesTest, EveryFormatLoadsThroughTheDockAndPlaysEachSideApart) {
    struct Row {
        const char* name;
        int format;
        int rate;
        int bits;
    };
    const Row rows[] = {
        {"wav16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 16},
        {"wav24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 32},
        {"flac.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 16},
        {"flac24.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 44100, 32},
        {"vorbis.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, 32},
        {"opus.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, 32},
        {"mp3.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 22050, 32},
        {"aiff.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 22050, 16},
        {"aiff8.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 22050, 8},
        {"alac.caf", SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 44100, 16},
        {"ulaw.au", SF_FORMAT_AU | SF_FORMAT_ULAW, 8000, 16},
    };
    startSound();
    const double left = 20 * std::log10(0.5 / std::sqrt(2.0)), right = 20 * std::log10(0.25 / std::sqrt(2.0));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        writeStereo(row.name, row.format, row.rate);
        openFiles.push_back(file(row.name));
        dock().showForm();
        QTest::mouseClick(dock().cmbSelect[0], Qt::LeftButton);
        QTest::mouseClick(dock().cmbDone, Qt::LeftButton);
        ASSERT_TRUE(messages.empty()) << messages[0].text.toStdString();
        const SampleData& d = *player().sound(0);
        EXPECT_EQ(std::pair(int(bytesPerSample(d.format) * 8), d.rate), std::pair(row.bits, row.rate));
        QTest::mouseClick(forms::frmSamplePlay().cmbSample[0], Qt::LeftButton);
        const Stereo s = out(0.8);
        const auto from = static_cast<size_t>(0.1 * s.rate), to = static_cast<size_t>(0.7 * s.rate);
        EXPECT_NEAR(frequencyHz(s.left, s.rate, from, to), 440.0, 0.5);
        EXPECT_NEAR(frequencyHz(s.right, s.rate, from, to), 660.0, 0.5);
        EXPECT_NEAR(rmsDb(s.left, from, to), left, row.bits == 8 ? 1.0 : 0.5);
        EXPECT_NEAR(rmsDb(s.right, from, to), right, row.bits == 8 ? 1.0 : 0.5);
        stopAll();
        render(0.05);
    }
}

TEST_F(SoundFilesTest, SoundFilesDroppedOnTheDockFillItsSlotsAndAKitDroppedOnTheMainWindowOpens) {
    ASSERT_TRUE(startMain());
    writeStereo("a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100);
    writeStereo("b.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100);
    writeStereo("c.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100);
    ASSERT_TRUE(QFile(file("notes.txt")).open(QIODevice::WriteOnly));
    dock().showForm();
    dock().lblSample[0]->setText(demo("kick.wav"));
    // Only files that are not sound files: the drop is refused.
    EXPECT_FALSE(drop(dock().lblSample[1], {5, 5}, {file("notes.txt")}));
    // Over slot 3: slots 3 to 5 take the sound files in order, the count grows to 8.
    EXPECT_TRUE(drop(dock().lblSample[2], {5, 5}, {file("a.flac"), file("notes.txt"), file("b.mp3"), file("c.ogg")}));
    const QString expected[] = {demo("kick.wav"), QString(), file("a.flac"), file("b.mp3"), file("c.ogg"), QString()};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(dock().lblSample[i]->text(), expected[i]) << i;
    EXPECT_EQ(dock().lblAmount->text(), "8");

    // A kit dropped over the Sample Dock, which takes only sound files: the main window takes it.
    QFile kit(file("set.zkit"));
    ASSERT_TRUE(kit.open(QIODevice::WriteOnly));
    kit.write(R"({"format": "zendra-kit", "version": 1, "samples": [{"file": "a.flac", "pan": -3}]})");
    kit.close();
    EXPECT_TRUE(drop(dock().lblSample[0], {5, 5}, {kit.fileName()}));
    QTest::qWait(20);  // the kit opens once the drop has finished
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(bank().files(), QStringList{file("a.flac")});
    EXPECT_EQ(sound(0).GetPan(), -3 * 3333);
}

}  // namespace
}  // namespace zendra::test
