// Key Associations and Tap Pad: bindings kept in the label captions, the
// prompt, key preview in the Tap Pad, its history, and what typed keys play.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>
#include <cmath>
#include <functional>

#include "core/frm_reworked.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "signal_measure.h"
#include "sound/mixer.h"
#include "tappad/frm_sample_key_pad.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

constexpr int kBlock = 128;  // frames per rendered block, as the device asks

class KeyAssociationsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(startMain());
    }
    void TearDown() override {
        Mixer::setFlushPoster(nullptr);
        UiTest::TearDown();
    }

    // Clicks label `index` in Key Associations and answers the prompt.
    void bind(int index, std::optional<QString> answer) {
        frmSettings& keys = forms::frmSettings();
        keys.showForm();
        inputs.push_back(std::move(answer));
        QTest::mouseClick(keys.lblSample[index], Qt::LeftButton);
    }

    frmSampleKeyPad& openPad() {
        frmSampleKeyPad& pad = forms::frmSampleKeyPad();
        pad.showForm();
        return pad;
    }

    // Keys typed while the Tap Pad's Done button holds the focus.
    void tap(const QString& keys) {
        for (QChar c : keys)
            QTest::keyClick(forms::frmSampleKeyPad().cmbDone, c.toLatin1(), c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
    }
    void tapKey(Qt::Key key) { QTest::keyClick(forms::frmSampleKeyPad().cmbDone, key); }

    static DirectSoundBuffer& buf(int i) { return *DXMoudule::bufferAt(i); }
    QStringList history() {
        QStringList h;
        for (QLabel* l : forms::frmSampleKeyPad().lblPrev) h << l->text();
        return h;
    }
};

TEST_F(KeyAssociationsTest, WindowsShowTheirLabelsInPlaceAndDoneHides) {
    frmSettings& keys = forms::frmSettings();
    forms::FrmReworked().KeySettings->trigger();
    EXPECT_TRUE(keys.isShown());
    EXPECT_EQ(keys.lblKeys->text(), "Key Associations");
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(keys.lblSample[i]->text(), QString::number(i + 1) + " =");
        // Four columns of four, by column.
        EXPECT_EQ(keys.lblSample[i]->x(), keys.lblSample[4 * (i / 4)]->x()) << i;
        EXPECT_EQ(keys.lblSample[i]->y(), keys.lblSample[i % 4]->y()) << i;
        if (i % 4 > 0) {
            EXPECT_GT(keys.lblSample[i]->y(), keys.lblSample[i - 1]->y()) << i;
        }
        if (i >= 4) {
            EXPECT_GT(keys.lblSample[i]->x(), keys.lblSample[i - 4]->x()) << i;
        }
        EXPECT_TRUE(keys.rect().contains(keys.lblSample[i]->geometry())) << i;
    }
    QTest::mouseClick(keys.cmbDone, Qt::LeftButton);
    EXPECT_FALSE(keys.isShown());

    forms::FrmReworked().samplekeypad->trigger();
    frmSampleKeyPad& pad = forms::frmSampleKeyPad();
    EXPECT_TRUE(pad.isShown());
    EXPECT_EQ(pad.Label1->text(), "Place focus on this window and tap out your tune If you haven't set up key "
                                  "associations do so first.");
    for (int k = 0; k < 8; ++k) {
        EXPECT_TRUE(pad.lblPrev[k]->text().isEmpty());
        EXPECT_TRUE(pad.Shape1->geometry().contains(pad.lblPrev[k]->geometry())) << k;
        if (k > 0) {
            EXPECT_GT(pad.lblPrev[k]->x(), pad.lblPrev[k - 1]->x());
        }
    }
    QTest::mouseClick(pad.cmbDone, Qt::LeftButton);
    EXPECT_FALSE(pad.isShown());
}

TEST_F(KeyAssociationsTest, PromptAnswersBecomeCaptionsAndOnlyLoadedLabelsAsk) {
    loadDrums(3);
    bind(2, QStringLiteral("q"));
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].first, "Press a key to be associated with sample 3");
    EXPECT_EQ(prompts[0].second, "Key Associations");
    frmSettings& keys = forms::frmSettings();
    EXPECT_EQ(keys.lblSample[2]->text(), "3 = q");

    bind(2, std::nullopt);  // Cancel still replaces the caption
    EXPECT_EQ(keys.lblSample[2]->text(), "3 = ");
    bind(1, QStringLiteral("<b>x"));  // shown as typed, not as markup
    EXPECT_EQ(keys.lblSample[1]->text(), "2 = <b>x");
    EXPECT_EQ(keys.lblSample[1]->textFormat(), Qt::PlainText);
    EXPECT_EQ(prompts.size(), 3u);

    // Labels above the bank take no clicks.
    EXPECT_FALSE(keys.lblSample[3]->isEnabled());
    inputs.push_back(QStringLiteral("z"));
    QTest::mouseClick(keys.lblSample[3], Qt::LeftButton);
    EXPECT_EQ(prompts.size(), 3u);
    EXPECT_EQ(keys.lblSample[3]->text(), "4 =");
    inputs.clear();

    // A new bank keeps every caption.
    loadDrums(4);
    EXPECT_EQ(keys.lblSample[1]->text(), "2 = <b>x");
    EXPECT_EQ(keys.lblSample[2]->text(), "3 = ");
    EXPECT_TRUE(keys.lblSample[3]->isEnabled());
}

TEST_F(KeyAssociationsTest, HistoryKeepsTheLastEightCharactersControlCharactersIncluded) {
    openPad();
    tap("abcdefghi");
    // Each key shifts once, though Done ignores the key and it travels on to the window.
    EXPECT_EQ(history(), QStringList({"b", "c", "d", "e", "f", "g", "h", "i"}));
    for (Qt::Key k : {Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Tab}) tapKey(k);
    EXPECT_EQ(history(), QStringList({"f", "g", "h", "i", "\b", "\r", "\x1b", "\t"}));
    // Keys that type nothing leave the history alone.
    for (Qt::Key k : {Qt::Key_Left, Qt::Key_Up, Qt::Key_Shift, Qt::Key_F5, Qt::Key_Control, Qt::Key_Delete}) tapKey(k);
    EXPECT_EQ(history(), QStringList({"f", "g", "h", "i", "\b", "\r", "\x1b", "\t"}));
    tap("A");
    EXPECT_EQ(history().last(), "A");
    EXPECT_EQ(history().first(), "g");
    // Hiding keeps the history.
    forms::frmSampleKeyPad().hideForm();
    openPad();
    EXPECT_EQ(history().last(), "A");
}

TEST_F(KeyAssociationsTest, AutoRepeatCountsEveryRepeatAndTypedCharacterPassesOn) {
    loadDrums(2);
    bind(0, QString());  // a blank: the space bar plays sample 1
    frmSampleKeyPad& pad = openPad();
    for (int n = 0; n < 3; ++n) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, QStringLiteral("k"), n > 0);
        QApplication::sendEvent(pad.cmbDone, &press);
    }
    EXPECT_EQ(history(), QStringList({"", "", "", "", "", "k", "k", "k"}));

    // The space still reaches the focused Done button, which hides the window.
    tap(" ");
    EXPECT_EQ(history().last(), " ");
    EXPECT_EQ(playing(), std::vector<int>{0});
    EXPECT_FALSE(pad.isShown());
}

// Each step: a change to the bindings or the bank, then keys typed on a silent
// bank, and the samples that must be playing after them.
TEST_F(KeyAssociationsTest, TypedKeysPlayEverySampleWhoseCaptionEndsInThem) {
    struct Step {
        const char* what;
        std::function<void()> change;
        QString keys;
        std::vector<int> expected;
    };
    const Step steps[] = {
        {"bindings", [&] {
             loadDrums(4);
             bind(0, QStringLiteral("a"));
             bind(1, QStringLiteral("A"));
             bind(2, QStringLiteral("xyc"));
             bind(3, std::nullopt);
         }, "a", {0}},
        {"case matters", nullptr, "A", {1}},
        {"only the last character binds", nullptr, "xy", {}},
        {"the last character", nullptr, "c", {2}},
        {"a cancelled answer binds the space", nullptr, " ", {3}},
        {"nothing is left unset", nullptr, "=", {}},
        {"one key, two samples", [&] { bind(0, QStringLiteral("k")); bind(2, QStringLiteral("k")); }, "k", {0, 2}},
        {"changed while the pad is open", [&] { bind(0, QStringLiteral("w")); }, "k", {2}},
        {"the new key", nullptr, "w", {0}},
        {"a smaller bank keeps captions, not slots", [&] { loadDrums(1); }, "k", {}},
        {"the slot still in the bank", nullptr, "w", {0}},
        {"labels never set are bound to =", [&] { loadDrums(6); }, "=", {4, 5}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.change) s.change();
        openPad();
        stopAll();
        tap(s.keys);
        EXPECT_EQ(playing(), s.expected);
    }
    EXPECT_EQ(forms::frmSettings().lblSample[2]->text(), "3 = k");
    EXPECT_TRUE(messages.empty());
}

TEST_F(KeyAssociationsTest, BeforeAnyBankKeysOnlyEnterTheHistory) {
    openPad();
    tap("= ");
    EXPECT_EQ(history().mid(6), QStringList({"=", " "}));
    EXPECT_TRUE(DXMoudule::SampleBuffer.empty());
    EXPECT_EQ(peakAbs(render(0.05)), 0.0);
    EXPECT_FALSE(ended);
    EXPECT_TRUE(messages.empty());
}

// What a key sends is heard from the first frame of the next block, both when
// commands go straight to the mixer and through the program's own flush after
// the event (the main loop runs it once the key event has been handled).
TEST_F(KeyAssociationsTest, TypedKeySoundsInTheNextRenderedBlock) {
    loadDrums(2);
    bind(0, QStringLiteral("k"));
    bind(1, QStringLiteral("s"));
    openPad();
    EXPECT_EQ(peakAbs(render(0.05)), 0.0);

    tap("k");
    const Stereo first = splitInterleaved(render(static_cast<double>(kBlock) / engine().rate()), engine().rate());
    ASSERT_EQ(first.left.size(), static_cast<size_t>(kBlock));
    EXPECT_LT(firstAbove(first.left, 1e-4f), 8u) << "kick starts at once";
    EXPECT_GT(peakAbs(first.left), 0.01);

    Mixer::setFlushPoster([](std::function<void()> flush) {
        QMetaObject::invokeMethod(qApp, std::move(flush), Qt::QueuedConnection);
    });
    OutputEngine& out = engine();
    std::vector<float> block(2 * kBlock);
    buf(0).Stop();
    QCoreApplication::sendPostedEvents();
    for (int n = 0; n < 200; ++n) out.render(block.data(), kBlock);  // the kick's stop and tail are done
    out.render(block.data(), kBlock);
    ASSERT_EQ(peakAbs(block), 0.0);

    tap("s");
    QCoreApplication::sendPostedEvents();  // the event loop's next turn
    out.render(block.data(), kBlock);
    const Stereo snare = splitInterleaved(block, out.rate());
    EXPECT_LT(firstAbove(snare.left, 1e-4f), 8u) << "snare starts at once";
    EXPECT_EQ(playing(), std::vector<int>{1});
}

// A repeated key restarts its sample: after the cut-off sound's short fade,
// the output is the sound from its beginning again, frame for frame.
TEST_F(KeyAssociationsTest, RepeatedKeyRestartsTheSoundFromItsStart) {
    loadDrums(1);
    bind(0, QStringLiteral("k"));
    openPad();
    render(0.01);
    tap("k");
    const std::vector<float> firstHit = render(0.05);
    render(0.1);
    tap("k");
    const std::vector<float> secondHit = render(0.05);
    ASSERT_EQ(firstHit.size(), secondHit.size());
    const size_t fade = 2 * (Mixer::kGainRampFrames + 1);
    double worst = 0.0;
    for (size_t k = fade; k < firstHit.size(); ++k) worst = std::max(worst, std::fabs(double(firstHit[k]) - secondHit[k]));
    EXPECT_LT(worst, 1e-6);
    EXPECT_GT(peakAbs(secondHit), 0.1);
}

}  // namespace
}  // namespace zendra::test
