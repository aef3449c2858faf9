// Text of any kind where the user can type: Key Associations answers and the
// sample choosers of Cross Fade, Simple FX and Keyboard. Nothing crashes, a
// text that names a loaded sample acts on it and any other text leaves every
// sample as it was.
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <cmath>

#include "keyboard/frm_key_board.h"
#include "mixing/frm_cross_fade.h"
#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "tappad/frm_sample_key_pad.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// Texts a user, a paste or a broken keyboard layout could produce.
QStringList anyTexts() {
    QStringList t = {
        QString(),
        QStringLiteral(" "),
        QString(10000, QChar('x')),
        QString(10000, QChar('9')),
        QString::fromUtf8("ß日本語ü"),
        QString::fromUtf8("🎹🥁"),                    // outside the basic plane: surrogate pairs
        QString(QChar(0xD800)),                       // a lone surrogate
        QString::fromUtf8("١"),                       // Arabic-Indic digit one
        QString::fromUtf8("½"),
        QStringLiteral("\x01\x02\x1b[2J\t\r\n\x7f"),  // control characters
        QString(QChar(0)) + QStringLiteral("1"),      // an embedded NUL
        QStringLiteral("1") + QString(QChar(0)),
        QStringLiteral("nan"), QStringLiteral("NaN"), QStringLiteral("inf"), QStringLiteral("-inf"),
        QStringLiteral("1e309"), QStringLiteral("-1e309"), QStringLiteral("1e-400"), QStringLiteral("4.9e-324"),
        QStringLiteral("0"), QStringLiteral("-0"), QStringLiteral("-1"), QStringLiteral("17"),
        QStringLiteral("1000"), QStringLiteral("1001"), QStringLiteral("2147483648"), QStringLiteral("-2147483649"),
        QStringLiteral("9223372036854775808"), QStringLiteral("1e18"), QStringLiteral("0x1"), QStringLiteral("1,5"),
        QStringLiteral("0.5"), QStringLiteral("1.5"), QStringLiteral("2.5"), QStringLiteral("16.49"),
        QStringLiteral("16.5"), QStringLiteral("+1"), QStringLiteral("  2  "), QStringLiteral("1 2"),
        QStringLiteral("%s%n%x"), QStringLiteral("<b>1</b>"), QStringLiteral("&1"), QStringLiteral("\"1\""),
    };
    return t;
}

// The slot a chooser text names, as the windows read it: a number rounded
// half to even, of the loaded bank; or -1.
int namedSlot(const QString& text, int loaded) {
    bool ok = false;
    const double n = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(n) || std::fabs(n) > 1000) return -1;
    const double s = std::nearbyint(n - 1);
    return s >= 0 && s < loaded ? static_cast<int>(s) : -1;
}

// Types each character as a key press carrying it, as an input method would
// (QTest::keyClicks only knows Latin-1).
void typeText(QWidget* w, const QString& text) {
    for (char32_t c : text.toUcs4()) {
        const QString one = QString::fromUcs4(&c, 1);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, one);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, one);
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}

class AnyText : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        frmLoadSamples::forgetLastFolder();
        ASSERT_TRUE(startMain());
        loadBank({demo("kick.wav"), demo("snare.wav"), demo("hat.wav"), demo("tone-22050.wav")});
        ASSERT_EQ(DXMoudule::LastSample, 3);
        messages.clear();
    }

    void silence() {
        for (auto& b : DXMoudule::SampleBuffer) {
            b->Stop();
            b->SetCurrentPosition(0);
        }
        render(0.01);
    }

    struct Settings {
        std::vector<int32_t> volume, pan, frequency;
        bool operator==(const Settings&) const = default;
    };
    Settings settings() const {
        Settings s;
        for (const auto& b : DXMoudule::SampleBuffer) {
            s.volume.push_back(b->GetVolume());
            s.pan.push_back(b->GetPan());
            s.frequency.push_back(b->GetFrequency());
        }
        return s;
    }

    // Renders a little and checks the output stayed sane.
    void expectSaneOutput() {
        for (float v : render(0.02)) ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 8.0f);
    }
};

TEST_F(AnyText, KeyAssociationsTakeAnyAnswerAndBindItsLastCharacter) {
    frmSettings& keys = forms::frmSettings();
    frmSampleKeyPad& pad = forms::frmSampleKeyPad();
    keys.showForm();
    pad.showForm();
    for (const QString& text : anyTexts()) {
        SCOPED_TRACE(text.left(40).toStdString());
        inputs.push_back(text);
        QTest::mouseClick(keys.lblSample[3], Qt::LeftButton);
        ASSERT_TRUE(inputs.empty());
        EXPECT_EQ(keys.lblSample[3]->text(), QStringLiteral("4 = ") + text);

        // Typing each character of the answer: only its last one plays sample 4.
        silence();
        for (int i = 0; i + 1 < text.size() && i < 50; ++i) {
            if (text[i] != text.back()) pad.Form_KeyPress(text[i]);
        }
        EXPECT_TRUE(playing().empty());
        const QChar last = text.isEmpty() ? QChar(' ') : text.back();
        pad.Form_KeyPress(last);
        EXPECT_EQ(playing(), std::vector<int>{3});
        expectSaneOutput();
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(AnyText, CrossFadeChoosersTakeAnyTextAndActOnlyOnNamedSamples) {
    frmCrossFade& cf = forms::frmCrossFade();
    frmVar& var = forms::frmVar();
    cf.showForm();
    cf.cmbEnable_Click();  // coupled: the widest reach
    ASSERT_EQ(cf.cmbEnable->text(), "Enabled");
    for (const QString& text : anyTexts()) {
        SCOPED_TRACE(text.left(40).toStdString());
        // Reset while the choosers name nothing, so the reset itself is not coupled.
        cf.comSample[0]->setEditText(QString());
        cf.comSample[1]->setEditText(QString());
        for (int i = 0; i < 4; ++i) var.hscVol[i]->setValue(0);
        cf.comSample[0]->setEditText(text);
        cf.comSample[1]->setEditText(QStringLiteral("2"));
        emit cf.comSample[0]->activated(0);
        cf.vscVol[0]->setValue(-3);
        cf.cmbFlick_Click();
        cf.vscVol[1]->setValue(-1);

        const int slot = namedSlot(text, 4);
        if (slot != 1) {
            EXPECT_EQ(var.hscVol[1]->value(), -1);  // the named right side still follows its fader
        }
        for (int i = 0; i < 4; ++i) {
            if (i == slot || i == 1) continue;
            EXPECT_EQ(var.hscVol[i]->value(), 0) << "sample " << i + 1;
        }
        if (slot >= 0 && slot != 1) {
            EXPECT_EQ(var.hscVol[slot]->value(), cf.vscVol[0]->value());
        }
        expectSaneOutput();
    }
    // Typed, character by character, into the chooser's own line.
    for (const QString& text : {QString::fromUtf8("ß日本"), QString(300, QChar('7')), QStringLiteral("3\t\x01")}) {
        cf.comSample[0]->lineEdit()->clear();
        typeText(cf.comSample[0]->lineEdit(), text);
        if (text.startsWith(QChar(0xDF))) {
            EXPECT_EQ(cf.comSample[0]->currentText(), text);
        }
        QTest::keyClick(cf.comSample[0]->lineEdit(), Qt::Key_Return);
        cf.vscVol[0]->setValue(-2);
        expectSaneOutput();
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(AnyText, SimpleFxPlaysANamedSampleAndOtherwiseOnlyStops) {
    frmFX& fx = forms::frmFX();
    fx.showForm();
    for (const QString& text : anyTexts()) {
        SCOPED_TRACE(text.left(40).toStdString());
        const Settings before = settings();
        for (auto& b : DXMoudule::SampleBuffer) b->Play(1);  // everything playing, to be stopped and rewound
        render(0.05);
        fx.comSamplePlay->setEditText(text);
        fx.cmbPauseNPlay->click();
        const int slot = namedSlot(text, 4);
        EXPECT_EQ(playing(), slot >= 0 ? std::vector<int>{slot} : std::vector<int>{});
        for (int i = 0; i < 4; ++i) EXPECT_EQ(DXMoudule::SampleBuffer[static_cast<size_t>(i)]->GetCurrentPosition(), 0) << i;
        EXPECT_EQ(settings(), before);
        expectSaneOutput();
        silence();
    }
    fx.comSamplePlay->lineEdit()->clear();
    typeText(fx.comSamplePlay->lineEdit(), QString::fromUtf8("ß日本\x01"));
    fx.cmbPauseNPlay->click();
    EXPECT_TRUE(playing().empty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(AnyText, KeyboardChooserAndTypedKeysTakeAnyText) {
    frmKeyBoard& kb = forms::frmKeyBoard();
    kb.showForm();
    kb.chkplay->setChecked(true);
    const std::vector<int32_t> rates = settings().frequency;
    for (const QString& text : anyTexts()) {
        SCOPED_TRACE(text.left(40).toStdString());
        // The chooser cannot be typed into: any text arrives as an item.
        kb.ComSampleKeyBoard->addItem(text);
        kb.ComSampleKeyBoard->setCurrentIndex(kb.ComSampleKeyBoard->count() - 1);
        DXMoudule::KeyBoardFrequency = 0;
        kb.cmbSet_Click();
        silence();
        messages.clear();
        for (int key = 0x20; key < 0x7f; ++key) kb.Form_KeyDown(key, Qt::NoModifier);
        kb.Form_KeyPress(text);

        const int slot = namedSlot(text, 4);
        const auto on = playing();
        if (slot >= 0) {
            EXPECT_EQ(on, std::vector<int>{slot});
        } else {
            EXPECT_TRUE(on.empty());
        }
        // Only the chosen sample's pitch may have moved.
        const Settings now = settings();
        for (int i = 0; i < 4; ++i) {
            if (i != slot) {
                EXPECT_EQ(now.frequency[static_cast<size_t>(i)], rates[static_cast<size_t>(i)]) << i;
            }
        }
        for (const auto& m : messages) EXPECT_FALSE(m.text.isEmpty());
        EXPECT_EQ(kb.lblPrev[7]->text(), text);
        expectSaneOutput();
        // The pitch goes back for the next text.
        for (int i = 0; i < 4; ++i)
            forms::frmVar().hscFre[i]->setValue(static_cast<int>(std::nearbyint(rates[static_cast<size_t>(i)] / 10.0)));
    }
}

}  // namespace
}  // namespace zendra::test
