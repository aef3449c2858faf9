// The Sample Editor: the overview its waveform is drawn from, the markers
// dragged and typed, the bank followed, Play and the playhead's timer.
#include <QImage>
#include <QMdiSubWindow>
#include <QSignalSpy>
#include <QTimer>
#include <cmath>
#include <cstring>

#include "core/frm_reworked.h"
#include "samples/sample_editor.h"
#include "samples/waveform_overview.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

using samples::Overview;
using samples::Peak;

// A sound from samples in the stored format, channels interleaved.
template <typename T>
SampleData soundOf(SampleFormat format, int channels, const std::vector<T>& samples) {
    SampleData s;
    s.format = format;
    s.channels = channels;
    s.rate = 1000;
    s.bytes.resize(samples.size() * sizeof(T));
    std::memcpy(s.bytes.data(), samples.data(), s.bytes.size());
    return s;
}

// Left: a saw rising from -16384 to 16383 over every 512 frames; right: its
// negation. Blocks of 256 frames thus hold known halves of each tooth.
SampleData sawStereo(int64_t frames) {
    std::vector<int16_t> x;
    for (int64_t f = 0; f < frames; ++f) {
        const auto v = static_cast<int16_t>((f % 512) * 64 - 16384);
        x.push_back(v);
        x.push_back(static_cast<int16_t>(-v));
    }
    return soundOf(SampleFormat::S16, 2, x);
}

TEST(WaveformOverview, BlocksAndColumnsHoldEachChannelsLowestAndHighestLevel) {
    const SampleData s = sawStereo(1300);  // five whole blocks and a short one of 20 frames
    const Overview o(s);
    ASSERT_EQ(o.blocks(), 6);
    EXPECT_EQ(o.channels(), 2);
    // Block 0: frames 0..255, levels -0.5 .. 64*255/32768 - 0.5; block 1 the rising half's rest.
    EXPECT_EQ(o.block(0, 0), (Peak{-0.5f, (255 * 64 - 16384) / 32768.0f}));
    EXPECT_EQ(o.block(1, 0), (Peak{0.0f, (511 * 64 - 16384) / 32768.0f}));
    EXPECT_EQ(o.block(1, 1), (Peak{-(511 * 64 - 16384) / 32768.0f, 0.0f}));
    // The short last block: frames 1280..1299 are 256..275 into their tooth.
    EXPECT_EQ(o.block(5, 0), (Peak{(256 * 64 - 16384) / 32768.0f, (275 * 64 - 16384) / 32768.0f}));

    // Two columns over frames 0..1023: each a whole tooth.
    const std::vector<Peak> wide = o.columns(s, 0, 0, 1024, 2);
    ASSERT_EQ(wide.size(), 2u);
    for (const Peak& p : wide) EXPECT_EQ(p, (Peak{-0.5f, (511 * 64 - 16384) / 32768.0f}));
    // Narrower than a block: read from the sound, frame by frame where a column is one frame.
    const std::vector<Peak> narrow = o.columns(s, 1, 100, 104, 4);
    ASSERT_EQ(narrow.size(), 4u);
    for (int x = 0; x < 4; ++x) {
        const float v = -((100 + x) * 64 - 16384) / 32768.0f;
        EXPECT_EQ(narrow[static_cast<size_t>(x)], (Peak{v, v})) << x;
    }
    const std::vector<Peak> eight = o.columns(s, 0, 0, 64, 8);  // eight frames a column
    EXPECT_EQ(eight[3], (Peak{(24 * 64 - 16384) / 32768.0f, (31 * 64 - 16384) / 32768.0f}));
}

TEST(WaveformOverview, EveryFormatReadsAsLevelsAndLongSoundsAreReadWhole) {
    const SampleData u8 = soundOf<uint8_t>(SampleFormat::U8, 1, {128, 0, 255, 192});
    EXPECT_EQ(Overview(u8).block(0, 0), (Peak{-1.0f, 127 / 128.0f}));
    const SampleData f32 = soundOf<float>(SampleFormat::F32, 2, {0.25f, -0.75f, -0.5f, 0.125f, 0.0f, 0.0f});
    const Overview o(f32);
    EXPECT_EQ(o.block(0, 0), (Peak{-0.5f, 0.25f}));
    EXPECT_EQ(o.block(0, 1), (Peak{-0.75f, 0.125f}));

    // Three million frames, read in shares: a spike on each side of where
    // two or four shares meet, and at either end, lands in its own block, and only there.
    const int64_t frames = 3'000'000;
    std::vector<int16_t> x(static_cast<size_t>(frames), 0);
    const std::vector<int64_t> spikes = {0, 749'823, 749'824, 1'499'903, 1'499'904, 2'249'983, 2'249'984, 2'999'999};
    for (int64_t f : spikes) x[static_cast<size_t>(f)] = 16384;
    const SampleData mono = soundOf(SampleFormat::S16, 1, x);
    const Overview big(mono);
    ASSERT_EQ(big.blocks(), (frames + 255) / 256);
    int64_t loud = 0;
    for (int64_t b = 0; b < big.blocks(); ++b) loud += big.block(b, 0).max > 0 ? 1 : 0;
    EXPECT_EQ(loud, static_cast<int64_t>(spikes.size()));
    for (int64_t f : spikes) EXPECT_EQ(big.block(f / 256, 0), (Peak{0.0f, 0.5f})) << f;
}

TEST(WaveformOverview, CacheMakesEachSoundsOverviewOnce) {
    const SampleData a = sawStereo(600), b = sawStereo(600);
    samples::OverviewCache cache;
    const auto first = cache.get(a);
    EXPECT_EQ(cache.get(a), first);
    EXPECT_NE(cache.get(b), first);
    EXPECT_EQ(cache.size(), 2u);
    cache.clear();
    EXPECT_NE(cache.get(a), first);
}

class SampleEditorTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        frmLoadSamples::forgetLastFolder();
    }

    static SampleEditor& editor() { return forms::sampleEditor(); }

    // Loads the tones and shows the editor on the first.
    void open() {
        startSound();
        loadBank({demo("tone-22050.wav"), demo("tone-44100.wav")});
        ASSERT_EQ(bank().count(), 2);
        editor().showForm();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor()));
        ASSERT_EQ(editor().slot(), 0);
    }

    static int64_t frames(int slot) { return static_cast<int64_t>(player().sound(slot)->frames()); }
    // The frame under pixel column x of the waveform, as the test reckons it.
    static double frameUnder(int x) {
        return static_cast<double>(x) * static_cast<double>(frames(editor().slot())) / (editor().wave->width() - 1);
    }
    static double framesPerPixel() {
        return static_cast<double>(frames(editor().slot())) / (editor().wave->width() - 1);
    }

    static void drag(QWidget* w, int fromX, int toX) {
        const int y = w->height() / 2;
        QTest::mousePress(w, Qt::LeftButton, {}, QPoint(fromX, y));
        for (int step = 1; step <= 4; ++step) QTest::mouseMove(w, QPoint(fromX + (toX - fromX) * step / 4, y));
        QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(toX, y));
    }

    // Types into a spin box as a user does: focus, select all, the text, Return.
    static void typeInto(QDoubleSpinBox* box, const QString& text) {
        focus(box);
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    }

    // Whether a pixel within `reach` of (x, y) has about the colour c.
    static bool colourNear(const QImage& img, int x, int y, QColor c, int reach = 2) {
        for (int dy = -reach; dy <= reach; ++dy)
            for (int dx = -reach; dx <= reach; ++dx) {
                if (!img.rect().contains(x + dx, y + dy)) continue;
                const QColor p = img.pixelColor(x + dx, y + dy);
                if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) < 60)
                    return true;
            }
        return false;
    }
};

TEST_F(SampleEditorTest, ToolsMenuOpensItAndTheChooserOffersTheLoadedSlotsByName) {
    ASSERT_TRUE(startMain());
    loadBank({demo("kick.wav"), demo("clap.wav"), demo("hat.wav")});
    FrmReworked& main = forms::FrmReworked();
    QApplication::setActiveWindow(&main);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &main, Qt::Key_T, Qt::AltModifier);
    ASSERT_EQ(QApplication::activePopupWidget(), main.Tools);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_E);
    ASSERT_TRUE(editor().isShown());
    EXPECT_EQ(main.mdi->activeSubWindow()->widget(), &editor());

    QComboBox* c = editor().cmbSample;
    ASSERT_EQ(c->count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(c->itemText(i), QString::number(i + 1));
        EXPECT_EQ(c->itemData(i, Qt::ToolTipRole).toString(), bank().displayName(i));
    }
    EXPECT_EQ(editor().wave->frames(), frames(0));
    pick(c, 1);
    EXPECT_EQ(editor().slot(), 1);
    EXPECT_EQ(editor().wave->frames(), frames(1));  // the clap's waveform now
    EXPECT_EQ(c->toolTip(), "clap");
    bank().setName(1, "Big clap");
    EXPECT_EQ(c->itemData(1, Qt::ToolTipRole).toString(), "Big clap");
}

TEST_F(SampleEditorTest, DraggingAMarkerSetsTheSlotsRangeToTheFrameUnderThePointer) {
    ASSERT_NO_FATAL_FAILURE(open());
    samples::WaveformView* w = editor().wave;
    drag(w, 0, 200);  // the start marker, from the left edge
    EXPECT_NEAR(static_cast<double>(bank().slot(0).startFrame), frameUnder(200), framesPerPixel());
    EXPECT_EQ(bank().slot(0).endFrame, -1);

    const int right = w->width() - 1;
    drag(w, right, 300);  // the end marker, from the right edge
    EXPECT_NEAR(static_cast<double>(bank().slot(0).endFrame), frameUnder(300), framesPerPixel());
    EXPECT_NEAR(static_cast<double>(bank().slot(0).startFrame), frameUnder(200), framesPerPixel());
    drag(w, 300, 100);  // the end marker stops short of the start
    EXPECT_GT(bank().slot(0).endFrame, bank().slot(0).startFrame);
    EXPECT_LE(bank().slot(0).endFrame, bank().slot(0).startFrame + framesPerPixel());
    drag(w, 205, right);  // back to the end: to the end
    EXPECT_EQ(bank().slot(0).endFrame, -1);
    EXPECT_EQ(bank().slot(1).startFrame, 0);  // the other slot untouched
}

TEST_F(SampleEditorTest, TypedMillisecondsSetTheRange) {
    ASSERT_NO_FATAL_FAILURE(open());  // 22050 Hz, two seconds
    typeInto(editor().spnStart, "500");
    EXPECT_EQ(bank().slot(0).startFrame, 11025);
    typeInto(editor().spnEnd, "1500");
    EXPECT_EQ(bank().slot(0).endFrame, 33075);
    EXPECT_EQ(bank().slot(0).startFrame, 11025);
    typeInto(editor().spnStart, "1800");  // past the end: just before it
    EXPECT_EQ(bank().slot(0).startFrame, 33074);
    EXPECT_EQ(bank().slot(0).endFrame, 33075);
}

TEST_F(SampleEditorTest, MarkersAndEnvelopeFollowTheBank) {
    ASSERT_NO_FATAL_FAILURE(open());
    samples::WaveformView* w = editor().wave;
    const QColor startColour(90, 220, 90), envelopeColour(250, 230, 90);
    bank().setRange(0, 4410, 22050);  // 200 ms .. 1 s
    EXPECT_DOUBLE_EQ(editor().spnStart->value(), 200.0);
    EXPECT_DOUBLE_EQ(editor().spnEnd->value(), 1000.0);
    const int xa = static_cast<int>(std::lround(4410.0 / framesPerPixel()));
    QImage img = w->grab().toImage();
    EXPECT_TRUE(colourNear(img, xa, w->height() / 2, startColour, 1));
    EXPECT_FALSE(colourNear(img, xa + 20, w->height() / 2, startColour, 1));

    // Attack 200 ms to full, decay 200 ms to half: the shape is at half height at 700 ms.
    const int x700 = static_cast<int>(std::lround(15435.0 / framesPerPixel()));
    const int half = w->height() / 2;
    EXPECT_FALSE(colourNear(img, x700, half, envelopeColour));
    bank().setEnvelope(0, model::Envelope{200.0, 200.0, 0.5, 0.0, false});
    img = w->grab().toImage();
    EXPECT_TRUE(colourNear(img, x700, half, envelopeColour));
    const int x300 = static_cast<int>(std::lround(6615.0 / framesPerPixel()));
    EXPECT_TRUE(colourNear(img, x300, 2 + (w->height() - 4) / 2, envelopeColour));  // halfway up the attack
    EXPECT_TRUE(colourNear(img, static_cast<int>(std::lround(8820.0 / framesPerPixel())), 2, envelopeColour));  // full

    bank().setRange(1, 100, 200);  // another slot's range leaves the markers be
    EXPECT_DOUBLE_EQ(editor().spnStart->value(), 200.0);
}

TEST_F(SampleEditorTest, PlayStartsTheSlotAndThePlayheadTimerRunsOnlyWhileItPlaysAndShows) {
    ASSERT_NO_FATAL_FAILURE(open());
    const auto fastTimers = [] {
        int n = 0;
        for (const QTimer* t : editor().findChildren<QTimer*>()) n += t->isActive() && t->interval() < 500 ? 1 : 0;
        return n;
    };
    EXPECT_EQ(fastTimers(), 0);  // shown, nothing playing
    pick(editor().cmbSample, 1);
    EXPECT_EQ(fastTimers(), 0);
    QTest::mouseClick(editor().cmdPlay, Qt::LeftButton);
    EXPECT_EQ(playing(), std::vector<int>{1});
    EXPECT_TRUE(editor().tmrPlayhead->isActive());
    render(0.5);  // the playhead comes to where the sound is
    const int x = editor().wave->xOf(player().position(1));
    ASSERT_GT(x, 10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return colourNear(editor().wave->grab().toImage(), x, 2, Qt::white, 0); }, 2000));
    stopAll();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fastTimers() == 0; }, 2000));

    QTest::mouseClick(editor().cmdPlay, Qt::LeftButton);
    ASSERT_TRUE(editor().tmrPlayhead->isActive());
    QTest::mouseClick(editor().cmdDone, Qt::LeftButton);  // hidden while it plays
    EXPECT_FALSE(editor().isShown());
    EXPECT_EQ(playing(), std::vector<int>{1});
    EXPECT_EQ(fastTimers(), 0);
}

}  // namespace
}  // namespace zendra::test
