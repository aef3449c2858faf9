// Key Associations and Tap Pad: bindings kept in the label captions, the
// prompt, key preview in the Tap Pad, its history, and what typed keys play.

#include "core/frm_reworked.h"
#include "tappad/frm_sample_key_pad.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class KeyAssociationsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        ASSERT_TRUE(startMain());
    }

    static frmSettings& keys() { return forms::frmSettings(); }
    static frmSampleKeyPad& pad() { return forms::frmSampleKeyPad(); }

    // Clicks label `index` in Key Associations and answers the prompt.
    void bind(int index, std::optional<QString> answer) {
        keys().showForm();
        inputs.push_back(std::move(answer));
        QTest::mouseClick(keys().lblSample[index], Qt::LeftButton);
    }

    // Opens the Tap Pad, whose Done button takes the focus, and types there.
    static void tap(const QString& text) {
        pad().showForm();
        focus(pad().cmbDone);
        for (QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(pad().cmbDone, c.toLatin1(), c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier);
            else
                typeText(c);
        }
    }
    static QString history() {
        QString h;
        for (QLabel* l : pad().lblPrev) h += l->text().isEmpty() ? QString("_") : l->text();
        return h;
    }
};

TEST_F(KeyAssociationsTest, LabelsAskForAKeyAndShowTheAnswerAsTyped) {
    forms::FrmReworked().KeySettings->trigger();
    EXPECT_EQ(keys().lblKeys->text(), "Key Associations");
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(keys().lblSample[i]->text(), QString::number(i + 1) + " =");
        // Four columns of four, by column.
        EXPECT_EQ(keys().lblSample[i]->pos(), QPoint(keys().lblSample[4 * (i / 4)]->x(), keys().lblSample[i % 4]->y()))
            << i;
    }
    loadDrums(3);
    bind(2, QStringLiteral("q"));
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0],
              std::pair(QString("Press a key to be associated with sample 3"), QString("Key Associations")));
    EXPECT_EQ(keys().lblSample[2]->text(), "3 = q");
    bind(2, std::nullopt);  // Cancel still replaces the caption
    EXPECT_EQ(keys().lblSample[2]->text(), "3 = ");
    bind(1, QStringLiteral("<b>x"));  // shown as typed, not as markup
    EXPECT_EQ(std::pair(keys().lblSample[1]->text(), keys().lblSample[1]->textFormat()),
              std::pair(QString("2 = <b>x"), Qt::PlainText));
    // Labels above the bank take no clicks; a new bank keeps every caption.
    bind(3, QStringLiteral("z"));
    EXPECT_EQ(std::pair(prompts.size(), keys().lblSample[3]->text()), std::pair(size_t{3}, QString("4 =")));
    inputs.clear();
    loadDrums(4);
    EXPECT_EQ(keys().lblSample[1]->text(), "2 = <b>x");
    QTest::mouseClick(keys().cmbDone, Qt::LeftButton);
    EXPECT_FALSE(keys().isShown());
}

TEST_F(KeyAssociationsTest, TapPadHistoryKeepsTheLastEightCharactersAndAnEmptyBankPlaysNothing) {
    forms::FrmReworked().samplekeypad->trigger();
    EXPECT_EQ(pad().Label1->text(), "Place focus on this window and tap out your tune If you haven't set up key "
                                    "associations do so first.");
    for (int k = 1; k < 8; ++k) EXPECT_GT(pad().lblPrev[k]->x(), pad().lblPrev[k - 1]->x()) << k;
    EXPECT_EQ(history(), "________");
    tap("abcdefg=");
    for (Qt::Key k : {Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Escape, Qt::Key_Tab}) {
        focus(pad().cmbDone);
        QTest::keyClick(pad().cmbDone, k);
    }
    EXPECT_EQ(history(), "efg=\b\r\x1b\t");
    // Keys that type nothing leave it alone; a held key counts every repeat.
    for (Qt::Key k : {Qt::Key_Left, Qt::Key_Shift, Qt::Key_F5, Qt::Key_Delete}) QTest::keyClick(pad().cmbDone, k);
    for (bool repeat : {false, true}) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_K, Qt::NoModifier, QStringLiteral("k"), repeat);
        QApplication::sendEvent(pad().cmbDone, &press);
    }
    EXPECT_EQ(history(), "g=\b\r\x1b\tkk");
    EXPECT_EQ(peakAbs(render(0.05)), 0.0);
    pad().hideForm();  // hiding keeps the history
    tap("A");
    EXPECT_EQ(history(), "=\b\r\x1b\tkkA");
    // The space still reaches the focused Done button, which hides the window.
    tap(" ");
    EXPECT_FALSE(pad().isShown());
    EXPECT_TRUE(messages.empty() && !ended);
}

// Each step: a change to the bindings or the bank, then keys typed on a silent
// bank, and the samples that must be playing after them.
TEST_F(KeyAssociationsTest, TypedKeysPlayEverySampleWhoseCaptionEndsInThem) {
    struct Step {
        const char* what;
        int drums;                                                  // a new bank of that many drums first, if not 0
        std::vector<std::pair<int, std::optional<QString>>> binds;  // then these answers to the prompt
        QString keys;
        std::vector<int> expected;
    };
    const Step steps[] = {
        {"bindings", 4, {{0, "a"}, {1, "A"}, {2, "xyc"}, {3, std::nullopt}}, "a", {0}},
        {"case matters", 0, {}, "A", {1}},
        {"only the last character binds", 0, {}, "xy", {}},
        {"the last character", 0, {}, "c", {2}},
        {"a cancelled answer binds the space", 0, {}, " ", {3}},
        {"nothing is left unset", 0, {}, "=", {}},
        {"one key, two samples", 0, {{0, "k"}, {2, "k"}}, "k", {0, 2}},
        {"changed while the pad is open", 0, {{0, QString::fromUtf8("ß日本")}}, "k", {2}},
        {"any character", 0, {}, QString::fromUtf8("本"), {0}},
        {"a blank answer binds the space too", 0, {{1, QString()}}, " ", {1, 3}},
        {"a smaller bank keeps captions, not slots", 1, {}, "k", {}},
        {"labels never set are bound to =", 6, {}, "=", {4, 5}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        if (s.drums > 0) loadDrums(s.drums);
        for (const auto& [index, answer] : s.binds) bind(index, answer);
        stopAll();
        tap(s.keys);
        EXPECT_EQ(playing(), s.expected);
    }
    EXPECT_TRUE(messages.empty());
    // A key is heard from the first frames of the very next rendered block;
    // repeated, it restarts its samples, frame for frame after a short fade.
    stopAll();
    render(0.5);
    ASSERT_EQ(peakAbs(render(0.05)), 0.0);
    tap("=");
    const std::vector<float> first = out(0.05).left;
    EXPECT_LT(firstAbove(first, 1e-4f), 8u);
    render(0.1);
    tap("=");
    const std::vector<float> again = out(0.05).left;
    double worst = 0;
    for (size_t k = 2 * (Mixer::kGainRampFrames + 1); k < first.size(); ++k)
        worst = std::max(worst, std::fabs(double(first[k]) - again[k]));
    EXPECT_LT(worst, 1e-6);
}

}  // namespace
}  // namespace zendra::test
