// Simple FX: one press silences and rewinds every loaded sample and starts
// the chosen one from its beginning. Texts naming no sample are in
// any_text_test.
#include <QTemporaryDir>
#include <cmath>
#include <complex>
#include <cstring>

#include "mixing/frm_fx.h"
#include "mixing/frm_var.h"
#include "signal_measure.h"
#include "sound/wav_file.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// A 16-bit mono file at 22050 Hz: `silence` seconds of nothing, then a sine.
QString writeTone(const QString& path, double hz, double silence, double seconds) {
    SampleData d;
    d.rate = 22050;
    const auto quiet = static_cast<size_t>(silence * d.rate);
    const auto n = static_cast<size_t>(seconds * d.rate);
    d.bytes.assign(2 * n, 0);
    for (size_t i = quiet; i < n; ++i) {
        const auto v = static_cast<int16_t>(std::lround(16000.0 * std::sin(2.0 * M_PI * hz * (i - quiet) / d.rate)));
        std::memcpy(&d.bytes[2 * i], &v, 2);
    }
    writeWavFile(path.toStdString(), d);
    return path;
}

class SimpleFxTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        startSound();
        ASSERT_TRUE(dir.isValid());
        // Sample 2 opens with 0.25 s of silence, so a start from its
        // beginning is audible as a late onset.
        loadBank({demo("tone-22050.wav"), writeTone(dir.filePath("late-1000.wav"), 1000.0, 0.25, 2.0),
                  writeTone(dir.filePath("tone-2000.wav"), 2000.0, 0.0, 2.0)});
        ASSERT_EQ(DXMoudule::LastSample, 2);
    }

    static frmFX& fx() { return forms::frmFX(); }
    static DirectSoundBuffer& buf(int s) { return *DXMoudule::bufferAt(s); }

    void startAll() {
        for (int s = 0; s <= DXMoudule::LastSample; ++s) buf(s).Play(1);
        render(0.5);
        for (int s = 0; s <= DXMoudule::LastSample; ++s) ASSERT_EQ(buf(s).GetStatus(), 5);
    }

    QTemporaryDir dir;
};

TEST_F(SimpleFxTest, APressWithNothingLoadedDoesNothingAndDoneHides) {
    forms::destroyAll();
    DXMoudule::reset();
    startSound();
    frmFX& w = fx();
    EXPECT_EQ(w.cmbPauseNPlay->text(), "Stop all sound and play");
    w.cmbPauseNPlay->click();
    EXPECT_FALSE(ended);
    EXPECT_TRUE(messages.empty());
    w.showForm();
    w.cmbDone->click();
    EXPECT_FALSE(w.isShown());
}

TEST_F(SimpleFxTest, OnlyTheChosenSampleSoundsAfterThePressFromItsStart) {
    EXPECT_EQ(fx().comSamplePlay->count(), 3);
    EXPECT_EQ(fx().comSamplePlay->currentText(), "1");
    startAll();
    const int rate = engine().rate();
    {
        const Stereo before = splitInterleaved(render(0.5), rate);
        ASSERT_GT(bandDb(before.left, rate, 440.0, 0, before.left.size()), -10.0);
        ASSERT_GT(bandDb(before.left, rate, 1000.0, 0, before.left.size()), -10.0);
        ASSERT_GT(bandDb(before.left, rate, 2000.0, 0, before.left.size()), -10.0);
    }
    fx().comSamplePlay->setEditText("2");
    fx().cmbPauseNPlay->click();
    EXPECT_EQ(buf(0).GetStatus(), 0);
    EXPECT_EQ(buf(2).GetStatus(), 0);
    EXPECT_EQ(buf(1).GetStatus(), 5);  // its Loop box is ticked
    EXPECT_EQ(buf(0).GetCurrentPosition(), 0);
    EXPECT_EQ(buf(2).GetCurrentPosition(), 0);

    const Stereo after = splitInterleaved(render(1.0), rate);
    // Past the few-millisecond fade of the cut-off sounds, all is silent until
    // sample 2's own opening silence ends: everything else stopped, and
    // sample 2 started from its first byte.
    const size_t tail = static_cast<size_t>(0.005 * rate);
    const size_t onset = firstAbove(after.left, 0.01f, tail);
    ASSERT_NE(onset, SIZE_MAX);
    EXPECT_NEAR(static_cast<double>(onset) / rate, 0.25, 0.005);
    EXPECT_LT(rmsDb(after.left, tail, static_cast<size_t>(0.245 * rate)), -90.0);
    const size_t from = static_cast<size_t>(0.3 * rate), to = after.left.size();
    EXPECT_GT(bandDb(after.left, rate, 1000.0, from, to), -10.0);
    EXPECT_LT(bandDb(after.left, rate, 440.0, from, to), -80.0);
    EXPECT_LT(bandDb(after.left, rate, 2000.0, from, to), -80.0);
}

TEST_F(SimpleFxTest, ChosenSampleFollowsItsLoopBoxAndAPausedOneIsRewoundKeepingItsCaption) {
    forms::frmVar().chkLoop[2]->setChecked(false);
    startAll();
    frmVar& var = forms::frmVar();
    var.cmbPause[0]->click();
    ASSERT_EQ(var.cmbPause[0]->text(), ">");
    ASSERT_GT(buf(0).GetCurrentPosition(), 0);
    fx().comSamplePlay->setEditText("3");
    fx().cmbPauseNPlay->click();
    EXPECT_EQ(buf(2).GetStatus(), 1);  // once, from the start
    EXPECT_EQ(buf(2).GetCurrentPosition(), 0);
    for (int s : {0, 1}) {
        EXPECT_EQ(buf(s).GetStatus(), 0) << s;
        EXPECT_EQ(buf(s).GetCurrentPosition(), 0) << s;
    }
    EXPECT_EQ(var.cmbPause[0]->text(), ">");
    EXPECT_EQ(var.cmbPause[1]->text(), "| |");
    render(0.5);
    EXPECT_GT(buf(2).GetCurrentPosition(), 0);
    render(1.6);
    EXPECT_EQ(buf(2).GetStatus(), 0);
}

}  // namespace
}  // namespace zendra::test
