// Keyboard window: note map, key matching, notes measured on the rendered
// output, history, chooser and layout, offscreen with offline sound.
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTest>
#include <cmath>
#include <set>
#include <tuple>

#include "core/frm_reworked.h"
#include "keyboard/frm_key_board.h"
#include "keyboard/key_codes.h"
#include "keyboard/note_map.h"
#include "mixing/frm_var.h"
#include "signal_measure.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

const QString kOutOfRange = QStringLiteral(
    "You are trying to play a frequency out of range. Samples for use with the keyboard are best at either 22000 "
    "or 44000.");

// ---------------------------------------------------------------------------
// The note map and the key codes on their own.

TEST(NoteMap, OffsetsAreSymmetricAndStepsMatchTheKeyboard) {
    using keyboard::kNotes;
    std::set<int> codes;
    for (size_t i = 0; i < kNotes.size(); ++i) {
        codes.insert(kNotes[i].vk);
        // Mirror image about key 6 (the middle of the 31).
        EXPECT_EQ(kNotes[i].offset, -kNotes[kNotes.size() - 1 - i].offset) << kNotes[i].caption;
    }
    EXPECT_EQ(codes.size(), 31u);
    auto offset = [](int vk) { return keyboard::noteForKey(vk)->offset; };
    EXPECT_EQ(offset('D') - offset('S'), 2500);
    EXPECT_EQ(offset('K') - offset('J'), 2500);
    EXPECT_EQ(offset('Y') - offset('T'), 3000);
    EXPECT_EQ(offset('X'), offset('D') - 750);
    // Keys that play nothing.
    for (int vk : std::initializer_list<int>{'G', 'V', 'B', '1', '4', '8', keyboard::vk::Numpad0 + 2, 37, 112, 190}) {
        EXPECT_EQ(keyboard::noteForKey(vk), nullptr) << vk;
    }
}

TEST(NoteMap, BarValueRoundsHalvesToEven) {
    const std::tuple<int32_t, int32_t, std::optional<int16_t>> cases[] = {
        {22050, -14500, 755}, {22055, 0, 2206}, {22045, 0, 2204},   {22065, 0, 2206},
        {11020, -14500, -348}, {11020, -11250, -23}, {100000, -750, 9925}, {327670, 0, 32767},
        {327680, 0, std::nullopt},  // no 16-bit value
    };
    for (const auto& [base, offset, bar] : cases) EXPECT_EQ(keyboard::barValueFor(base, offset), bar) << base << offset;
}

// The keys the window tests below do not send by keycode.
TEST(KeyCodes, X11KeycodesNameThePhysicalKey) {
    const std::pair<quint32, int> cases[] = {{39, 'S'}, {52, 'Z'}, {24, 'Q'}, {46, 'L'}, {58, 'M'}, {10, '1'},
                                             {18, '9'}, {19, '0'}, {90, keyboard::vk::Numpad0}, {50, 16}, {255, 0}};
    for (const auto& [keycode, vk] : cases) EXPECT_EQ(keyboard::virtualKeyFromKeycode(keycode), vk) << keycode;
}

// ---------------------------------------------------------------------------
// The window.

class KeyboardTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        startSound();
    }

    frmKeyBoard& kb() { return forms::frmKeyBoard(); }
    frmVar& var() { return forms::frmVar(); }
    DirectSoundBuffer& buffer(int i) { return *DXMoudule::SampleBuffer.at(static_cast<size_t>(i)); }

    // Loads the files and opens the Keyboard with "Play as well" as given.
    void open(const QStringList& files, bool playAsWell = true) {
        loadBank(files);
        kb().showForm();
        kb().chkplay->setChecked(playAsWell);
    }

    // Where a real key goes: the control with the focus, else the window.
    QWidget* target() { return kb().focusWidget() ? kb().focusWidget() : &kb(); }

    void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(target(), key, mods); }

    // A key event as the window system delivers it, with its keycode.
    void pressNative(int key, Qt::KeyboardModifiers mods, quint32 keycode, const QString& text,
                     bool autoRepeat = false) {
        QKeyEvent down(QEvent::KeyPress, key, mods, keycode, 0, 0, text, autoRepeat);
        QApplication::sendEvent(target(), &down);
        QKeyEvent up(QEvent::KeyRelease, key, mods, keycode, 0, 0, text, autoRepeat);
        QApplication::sendEvent(target(), &up);
    }

    // Pitch of the next stretch of output, first 20 ms left out.
    double pitch(double seconds = 0.5) {
        const Stereo s = splitInterleaved(render(seconds), engine().rate());
        return frequencyHz(s.left, s.rate, static_cast<size_t>(0.02 * s.rate));
    }
    double level(double seconds = 0.2) {
        const Stereo s = splitInterleaved(render(seconds), engine().rate());
        return rmsDb(s.left);
    }

    // The 440 Hz tone of a file recorded at fileRate, played at bufferHz.
    static double expected(double bufferHz, double fileRate = 22050) { return 440.0 * bufferHz / fileRate; }

    void expectOutOfRangeMessages(size_t count) {
        ASSERT_EQ(messages.size(), count);
        for (const auto& m : messages) {
            EXPECT_EQ(m.text, kOutOfRange);
            EXPECT_EQ(m.title, "Zendra");
            EXPECT_EQ(m.buttons, dialogs::Buttons::Ok);
            EXPECT_EQ(m.icon, dialogs::Icon::None);
        }
    }
};

TEST_F(KeyboardTest, NotesSoundAtBasePlusOffsetFromTheBaseReadAtTheFirstKey) {
    open({demo("tone-22050.wav")});
    struct Case {
        int base;
        Qt::Key key;
        int bar;
    } cases[] = {{22050, Qt::Key_A, 755},  {22050, Qt::Key_L, 3655}, {22050, Qt::Key_6, 2205},
                 {22050, Qt::Key_5, 2130}, {22050, Qt::Key_T, 2055}, {22050, Qt::Key_Z, 830},
                 {22050, Qt::Key_M, 3330}, {44100, Qt::Key_A, 2960}, {44100, Qt::Key_L, 5860}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << QKeySequence(c.key).toString().toStdString() << " on " << c.base);
        if (DXMoudule::KeyBoardFrequency != 0 && DXMoudule::KeyBoardFrequency != c.base) {
            var().hscFre[0]->setValue(c.base / 10);
            kb().cmbSet->click();
        }
        press(c.key);
        EXPECT_EQ(DXMoudule::KeyBoardFrequency, c.base);  // the first key read it from the sample
        EXPECT_EQ(var().hscFre[0]->value(), c.bar);
        EXPECT_EQ(buffer(0).GetFrequency(), c.bar * 10);
        EXPECT_EQ(DXMoudule::Frequency, c.bar * 10);
        EXPECT_NEAR(pitch(), expected(c.bar * 10), expected(c.bar * 10) * 0.001);
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(KeyboardTest, Base11020RefusesTheLowestKeysAndPlaysNothing) {
    open({demo("tone-11025.wav")});
    ASSERT_EQ(var().hscFre[0]->value(), 1102);
    for (Qt::Key k : {Qt::Key_A, Qt::Key_Z, Qt::Key_S, Qt::Key_X}) press(k);
    expectOutOfRangeMessages(4);
    EXPECT_EQ(var().hscFre[0]->value(), 1102);
    EXPECT_EQ(buffer(0).GetFrequency(), 11020);
    EXPECT_EQ(buffer(0).GetStatus(), 0);
    EXPECT_LT(level(), -100.0);  // silence
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 11020);

    press(Qt::Key_D);
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_EQ(var().hscFre[0]->value(), 52);
    EXPECT_EQ(buffer(0).GetFrequency(), 520);
    EXPECT_NEAR(pitch(2.0), expected(520, 11025), expected(520, 11025) * 0.005);
}

TEST_F(KeyboardTest, BaseOffTheTenHzGridIsRoundedAtEveryNote) {
    open({demo("tone-22050.wav")});
    buffer(0).SetFrequency(22055);
    press(Qt::Key_6);
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 22055);
    EXPECT_EQ(var().hscFre[0]->value(), 2206);
    EXPECT_EQ(buffer(0).GetFrequency(), 22060);
    EXPECT_NEAR(pitch(1.0), expected(22060), 0.05);
    press(Qt::Key_Y);  // 23555 -> 2355.5 -> 2356
    EXPECT_EQ(buffer(0).GetFrequency(), 23560);
}

TEST_F(KeyboardTest, Base100000RefusesEveryPositiveOffset) {
    open({demo("tone-22050.wav")});
    var().hscFre[0]->setValue(10000);
    ASSERT_EQ(buffer(0).GetFrequency(), 100000);
    press(Qt::Key_5);
    EXPECT_EQ(var().hscFre[0]->value(), 9925);
    EXPECT_NEAR(pitch(0.2), expected(99250), expected(99250) * 0.002);
    const int32_t before = buffer(0).GetCurrentPosition();
    ASSERT_GT(before, 0);
    press(Qt::Key_6);  // offset 0: still in range
    EXPECT_EQ(var().hscFre[0]->value(), 10000);
    EXPECT_TRUE(messages.empty());
    render(0.05);
    const int32_t afterSix = buffer(0).GetCurrentPosition();
    for (Qt::Key k : {Qt::Key_7, Qt::Key_Y, Qt::Key_Comma, Qt::Key_L}) press(k);
    expectOutOfRangeMessages(4);
    EXPECT_EQ(var().hscFre[0]->value(), 10000);
    EXPECT_EQ(buffer(0).GetFrequency(), 100000);
    // Refused keys do not restart the sample.
    render(0.05);
    EXPECT_GT(buffer(0).GetCurrentPosition(), afterSix);
}

TEST_F(KeyboardTest, UnmappedKeyWithPlayAsWellRestartsAtTheCurrentPitch) {
    open({demo("tone-22050.wav")});
    var().chkLoop[0]->setChecked(false);
    press(Qt::Key_A);
    render(0.5);
    const int32_t played = buffer(0).GetCurrentPosition();
    EXPECT_GT(played, 5000);
    press(Qt::Key_G);
    EXPECT_EQ(var().hscFre[0]->value(), 755);
    EXPECT_EQ(buffer(0).GetStatus(), 1);  // playing once, as its Loop box says
    render(0.02);
    EXPECT_LT(buffer(0).GetCurrentPosition(), 1000);  // rewound: 0.02 s is 302 bytes
    EXPECT_NEAR(pitch(), expected(7550), 0.2);

    // Without "Play as well" an unmapped key does nothing at all, and a note
    // only retunes.
    kb().chkplay->setChecked(false);
    render(0.3);
    const int32_t pos = buffer(0).GetCurrentPosition();
    press(Qt::Key_G);
    press(Qt::Key_1);
    EXPECT_GE(buffer(0).GetCurrentPosition(), pos);
    EXPECT_EQ(var().hscFre[0]->value(), 755);
    buffer(0).Stop();
    render(0.05);  // the stopped sound's short fade
    press(Qt::Key_L);
    EXPECT_EQ(buffer(0).GetFrequency(), 36550);
    EXPECT_EQ(buffer(0).GetStatus(), 0);
    EXPECT_LT(level(), -100.0);
}

TEST_F(KeyboardTest, BaseStaysWithTheFirstSampleUntilSetFrequency) {
    open({demo("tone-22050.wav"), demo("tone-11025.wav")});
    press(Qt::Key_6);
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 22050);
    kb().ComSampleKeyBoard->setCurrentIndex(1);
    press(Qt::Key_6);
    EXPECT_EQ(var().hscFre[1]->value(), 2205);
    EXPECT_EQ(buffer(1).GetFrequency(), 22050);
    EXPECT_NEAR(pitch(), expected(22050, 11025), 1.0);  // 880 Hz: an octave up
    var().hscFre[1]->setValue(1102);
    kb().cmbSet->click();
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 11020);
    press(Qt::Key_D);
    EXPECT_EQ(buffer(1).GetFrequency(), 520);
    EXPECT_EQ(buffer(0).GetFrequency(), 22050);

    // A new bank keeps the base.
    loadBank({demo("tone-22050.wav")});
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 11020);
}

// Keys as Qt sends them without a keycode, and as the window system delivers
// them with one: the physical key decides the note, whatever the modifiers
// and the layout say. 100 is the bar left untouched.
TEST_F(KeyboardTest, ModifiersAndLayoutsDoNotChangeTheNote) {
    open({demo("tone-22050.wav")}, false);
    press(Qt::Key_6);  // base read
    struct Case {
        const char* what;
        std::function<void()> send;
        int bar;
    };
    const Case cases[] = {
        {"Q", [&] { press(Qt::Key_Q); }, 1455},
        {"Shift+Q", [&] { press(Qt::Key_Q, Qt::ShiftModifier); }, 1455},
        {"Ctrl+Alt+Q", [&] { press(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier); }, 1455},
        {"Shift+2 reports @", [&] { press(Qt::Key_At, Qt::ShiftModifier); }, 1530},
        {"Shift+0 reports )", [&] { press(Qt::Key_ParenRight, Qt::ShiftModifier); }, 2880},
        {"comma", [&] { press(Qt::Key_Comma); }, 3580},
        {"Shift+comma reports <", [&] { press(Qt::Key_Less, Qt::ShiftModifier); }, 3580},
        {"keypad 2", [&] { press(Qt::Key_2, Qt::KeypadModifier); }, 100},
        {"keycode: Shift+2 on a US layout", [&] { pressNative(Qt::Key_At, Qt::ShiftModifier, 11, "@"); }, 1530},
        {"keycode: A under a French layout reports Q", [&] { pressNative(Qt::Key_Q, Qt::NoModifier, 38, "q"); }, 755},
        {"keycode: keypad 2 shares 88 with X", [&] { pressNative(Qt::Key_2, Qt::KeypadModifier, 88, "2"); }, 100},
        {"keycode: keypad down", [&] { pressNative(Qt::Key_Down, Qt::KeypadModifier, 88, ""); }, 100},
        {"keycode: Shift+comma", [&] { pressNative(Qt::Key_Less, Qt::ShiftModifier, 59, "<"); }, 3580},
    };
    for (const Case& c : cases) {
        var().hscFre[0]->setValue(100);
        c.send();
        EXPECT_EQ(var().hscFre[0]->value(), c.bar) << c.what;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(KeyboardTest, AutoRepeatRestartsTheNoteWithPlayAsWell) {
    open({demo("tone-22050.wav")});
    pressNative(Qt::Key_A, Qt::NoModifier, 38, "a");
    render(0.4);
    EXPECT_GT(buffer(0).GetCurrentPosition(), 5000);
    pressNative(Qt::Key_A, Qt::NoModifier, 38, "a", true);
    render(0.02);
    EXPECT_LT(buffer(0).GetCurrentPosition(), 1000);
    EXPECT_NEAR(pitch(), expected(7550), 0.2);
    EXPECT_EQ(kb().lblPrev[7]->text(), "a");
    EXPECT_EQ(kb().lblPrev[6]->text(), "a");

    // Without the box a repeat leaves the playing sample alone.
    kb().chkplay->setChecked(false);
    const int32_t pos = buffer(0).GetCurrentPosition();
    pressNative(Qt::Key_A, Qt::NoModifier, 38, "a", true);
    render(0.05);
    EXPECT_GT(buffer(0).GetCurrentPosition(), pos);
}

TEST_F(KeyboardTest, HistoryShowsTheLastEightTypedCharacters) {
    open({demo("tone-22050.wav")}, false);
    auto history = [&] {
        QStringList h;
        for (QLabel* l : kb().lblPrev) h << l->text();
        return h;
    };
    QTest::keyClicks(target(), "abc");
    EXPECT_EQ(history(), QStringList({"", "", "", "", "", "a", "b", "c"}));
    // Keys that type nothing leave it alone; unmapped characters enter it.
    for (Qt::Key k : {Qt::Key_Left, Qt::Key_F5, Qt::Key_Shift}) press(k);
    EXPECT_EQ(history().last(), "c");
    QTest::keyClick(target(), 'A', Qt::ShiftModifier);
    QTest::keyClicks(target(), "gh18");
    press(Qt::Key_Return);
    EXPECT_EQ(history(), QStringList({"b", "c", "A", "g", "h", "1", "8", "\r"}));
}

TEST_F(KeyboardTest, NoBankMeansNothingHappens) {
    kb().showForm();
    kb().chkplay->setChecked(true);
    for (Qt::Key k : {Qt::Key_A, Qt::Key_6, Qt::Key_G}) press(k);
    kb().cmbSet->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 0);
    EXPECT_EQ(var().hscFre[0]->value(), 100);
    EXPECT_EQ(kb().lblPrev[7]->text(), "g");  // the history still works
}

TEST_F(KeyboardTest, ChooserTextThatIsNoNumberGivesTheMessageOncePerKey) {
    open({demo("tone-22050.wav")});
    press(Qt::Key_6);  // base read
    kb().ComSampleKeyBoard->addItem("x");
    kb().ComSampleKeyBoard->setCurrentText("x");
    press(Qt::Key_A);
    expectOutOfRangeMessages(1);
    EXPECT_EQ(var().hscFre[0]->value(), 2205);
    // A number naming no loaded sample: the bar of that row moves, nothing plays.
    kb().ComSampleKeyBoard->addItem("5");
    kb().ComSampleKeyBoard->setCurrentText("5");
    press(Qt::Key_A);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(var().hscFre[4]->value(), 755);
    EXPECT_EQ(buffer(0).GetFrequency(), 22050);
}

TEST_F(KeyboardTest, KeysReachTheWindowFirstAndStillReachTheControl) {
    open({demo("tone-22050.wav"), demo("kick.wav")}, false);
    // The chooser has the focus: 2 selects "2" in it and is also a note.
    kb().ComSampleKeyBoard->setFocus();
    ASSERT_EQ(kb().focusWidget(), kb().ComSampleKeyBoard);
    press(Qt::Key_2);
    EXPECT_EQ(var().hscFre[0]->value(), 1530);  // played on sample 1, chosen when the key came
    EXPECT_EQ(kb().ComSampleKeyBoard->currentText(), "2");
    EXPECT_EQ(kb().lblPrev[7]->text(), "2");
    EXPECT_EQ(kb().lblPrev[6]->text(), "");  // seen once, not again when passed up
    // Space on "Play as well" ticks it and is no note.
    kb().chkplay->setFocus();
    press(Qt::Key_Space);
    EXPECT_TRUE(kb().chkplay->isChecked());
    EXPECT_EQ(kb().lblPrev[7]->text(), " ");
    EXPECT_EQ(kb().lblPrev[6]->text(), "2");
}

TEST_F(KeyboardTest, DoneKeepsStateForTheNextOpening) {
    ASSERT_TRUE(startMain());
    loadBank({demo("tone-22050.wav"), demo("kick.wav")});
    forms::FrmReworked().KeyBoard->trigger();
    ASSERT_TRUE(kb().isShown());
    kb().chkplay->setChecked(true);
    kb().ComSampleKeyBoard->setCurrentIndex(1);
    const int32_t base = buffer(1).GetFrequency();
    QTest::keyClicks(target(), "qw");
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, base);
    kb().cmbDone->click();
    EXPECT_FALSE(kb().isShown());
    forms::FrmReworked().KeyBoard->trigger();
    EXPECT_TRUE(kb().isShown());
    EXPECT_TRUE(kb().chkplay->isChecked());
    EXPECT_EQ(kb().ComSampleKeyBoard->currentText(), "2");
    EXPECT_EQ(kb().lblPrev[6]->text(), "q");
    EXPECT_EQ(kb().lblPrev[7]->text(), "w");
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, base);
}

// Each key shows its letter under it, white keys left to right, black keys on
// top between them.
TEST_F(KeyboardTest, EveryKeyIsLabelledUnderItsPicture) {
    frmKeyBoard& w = kb();
    QString shown;
    for (QLabel* l : w.lblKey) shown += l->text();
    EXPECT_EQ(shown, "ASDFQWERTYUIOPHJKLZXC2356790NM,");
    auto under = [](QWidget* key, QLabel* label) {
        const int x = label->geometry().center().x();
        return x > key->x() && x < key->geometry().right() && label->y() > key->geometry().bottom() - key->height() / 2;
    };
    for (int i = 0; i < 18; ++i) {
        EXPECT_TRUE(under(w.picKey[i], w.lblKey[i])) << i;
        if (i > 0) {
            EXPECT_GT(w.picKey[i]->x(), w.picKey[i - 1]->x()) << i;
        }
    }
    for (int i = 0; i < 13; ++i) {
        EXPECT_TRUE(under(w.picKeyBlack[i], w.lblKey[18 + i])) << i;
        EXPECT_EQ(w.childAt(w.picKeyBlack[i]->geometry().center()), w.picKeyBlack[i]) << i;  // on top
        EXPECT_TRUE(w.rect().contains(w.lblKey[18 + i]->geometry())) << i;
    }
    for (QLabel* l : w.lblPrev) EXPECT_TRUE(w.Shape1->geometry().contains(l->geometry()));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(w.chkplay->nextInFocusChain(), w.cmbSet);
}

// Every white key shows a grey face with a white top-left and black
// bottom-right edge; black keys are black.
TEST_F(KeyboardTest, WhiteKeysShowAGreyFaceWithABevelledEdge) {
    const QImage img = frmKeyBoard::whiteKeyPicture().toImage();
    const QColor face = img.pixelColor(img.width() / 2, img.height() / 2);
    EXPECT_GT(face.lightness(), 160);
    EXPECT_LT(face.lightness(), 240);
    EXPECT_EQ(img.pixelColor(0, 5), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(img.width() - 1, 70), QColor(Qt::black));
    frmKeyBoard& w = kb();
    w.show();
    const QImage shot = w.grab().toImage();
    for (int i : {0, 9, 17}) EXPECT_EQ(shot.pixelColor(w.picKey[i]->geometry().topLeft() + QPoint(14, 130)), face) << i;
    EXPECT_EQ(shot.pixelColor(w.picKeyBlack[0]->geometry().center()), QColor(Qt::black));
}

}  // namespace
}  // namespace zendra::test
