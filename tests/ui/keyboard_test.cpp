// Keyboard window: note map, key matching, notes measured on the rendered
// output, history, chooser and layout, offscreen with offline sound.
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QTest>
#include <cmath>
#include <set>

#include "core/frm_reworked.h"
#include "keyboard/frm_key_board.h"
#include "keyboard/key_codes.h"
#include "keyboard/note_map.h"
#include "mixing/frm_var.h"
#include "signal_measure.h"
#include "core/sample_number.h"
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
    EXPECT_EQ(offset('6'), 0);
    EXPECT_EQ(offset('A'), -14500);
    EXPECT_EQ(offset('L'), 14500);
    EXPECT_EQ(offset('D') - offset('S'), 2500);
    EXPECT_EQ(offset('K') - offset('J'), 2500);
    EXPECT_EQ(offset('Y') - offset('T'), 3000);
    EXPECT_EQ(offset('X'), offset('D') - 750);
    EXPECT_EQ(offset('M'), offset('J') + 750);
    EXPECT_EQ(offset('5'), -750);
    EXPECT_EQ(offset('7'), 750);
    EXPECT_EQ(offset(keyboard::vk::Comma), 13750);
    // Keys that play nothing.
    for (int vk : std::initializer_list<int>{'G', 'V', 'B', '1', '4', '8', keyboard::vk::Numpad0 + 2, 37, 112, 190}) {
        EXPECT_EQ(keyboard::noteForKey(vk), nullptr) << vk;
    }
}

TEST(NoteMap, BarValueRoundsHalvesToEven) {
    EXPECT_EQ(keyboard::barValueFor(22050, -14500), 755);
    EXPECT_EQ(keyboard::barValueFor(22055, 0), 2206);   // 2205.5
    EXPECT_EQ(keyboard::barValueFor(22045, 0), 2204);   // 2204.5
    EXPECT_EQ(keyboard::barValueFor(22065, 0), 2206);   // 2206.5
    EXPECT_EQ(keyboard::barValueFor(11020, -14500), -348);
    EXPECT_EQ(keyboard::barValueFor(11020, -11250), -23);
    EXPECT_EQ(keyboard::barValueFor(100000, -750), 9925);
    EXPECT_EQ(keyboard::barValueFor(327670, 0), 32767);
    EXPECT_EQ(keyboard::barValueFor(327680, 0), std::nullopt);  // no 16-bit value
}

TEST(NoteMap, ChooserTextBecomesAnIndex) {
    EXPECT_EQ(sampleIndexOf("1"), 0);
    EXPECT_EQ(sampleIndexOf("16"), 15);
    EXPECT_EQ(sampleIndexOf(" 3 "), 2);
    EXPECT_EQ(sampleIndexOf("1.5"), 0);  // 0.5 rounds to even
    EXPECT_EQ(sampleIndexOf("2.5"), 2);  // 1.5 rounds to even
    EXPECT_EQ(sampleIndexOf("abc"), std::nullopt);
    EXPECT_EQ(sampleIndexOf(""), std::nullopt);
}

TEST(KeyCodes, X11KeycodesNameThePhysicalKey) {
    using keyboard::virtualKeyFromKeycode;
    EXPECT_EQ(virtualKeyFromKeycode(38), 'A');
    EXPECT_EQ(virtualKeyFromKeycode(39), 'S');
    EXPECT_EQ(virtualKeyFromKeycode(52), 'Z');
    EXPECT_EQ(virtualKeyFromKeycode(24), 'Q');
    EXPECT_EQ(virtualKeyFromKeycode(46), 'L');
    EXPECT_EQ(virtualKeyFromKeycode(58), 'M');
    EXPECT_EQ(virtualKeyFromKeycode(10), '1');
    EXPECT_EQ(virtualKeyFromKeycode(11), '2');
    EXPECT_EQ(virtualKeyFromKeycode(18), '9');
    EXPECT_EQ(virtualKeyFromKeycode(19), '0');
    EXPECT_EQ(virtualKeyFromKeycode(59), keyboard::vk::Comma);
    // Keypad 2 sits on keycode 88, which is also the code of X: it must
    // not be taken for it.
    EXPECT_EQ(virtualKeyFromKeycode(88), keyboard::vk::Numpad0 + 2);
    EXPECT_EQ(virtualKeyFromKeycode(90), keyboard::vk::Numpad0);
    EXPECT_EQ(virtualKeyFromKeycode(50), 16);  // Shift
    EXPECT_EQ(virtualKeyFromKeycode(255), 0);
}

TEST(KeyCodes, QtKeysWithoutKeycodeIgnoreShiftButNotTheKeypad) {
    using keyboard::virtualKeyFromQtKey;
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_Q, Qt::ShiftModifier), 'Q');
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_At, Qt::ShiftModifier), '2');
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_ParenRight, Qt::ShiftModifier), '0');
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_Less, Qt::ShiftModifier), keyboard::vk::Comma);
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_Comma, Qt::NoModifier), keyboard::vk::Comma);
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_2, Qt::KeypadModifier), keyboard::vk::Numpad0 + 2);
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_Down, Qt::KeypadModifier), 0);
    EXPECT_EQ(virtualKeyFromQtKey(Qt::Key_2, Qt::ControlModifier | Qt::AltModifier), '2');
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

TEST_F(KeyboardTest, NotesAtBase22050SoundAtBasePlusOffset) {
    open({demo("tone-22050.wav")});
    struct Case {
        Qt::Key key;
        int bar;
    } cases[] = {{Qt::Key_A, 755}, {Qt::Key_L, 3655}, {Qt::Key_6, 2205}, {Qt::Key_5, 2130}, {Qt::Key_T, 2055},
                 {Qt::Key_Z, 830}, {Qt::Key_M, 3330}};
    for (const Case& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key).toString().toStdString());
        press(c.key);
        EXPECT_EQ(var().hscFre[0]->value(), c.bar);
        EXPECT_EQ(buffer(0).GetFrequency(), c.bar * 10);
        EXPECT_EQ(DXMoudule::Frequency, c.bar * 10);
        EXPECT_NEAR(pitch(), expected(c.bar * 10), expected(c.bar * 10) * 0.001);
    }
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 22050);  // read once, at the first key
    EXPECT_TRUE(messages.empty());
}

TEST_F(KeyboardTest, Base44100ReachesBothEnds) {
    open({demo("tone-44100.wav")});
    press(Qt::Key_A);
    EXPECT_EQ(buffer(0).GetFrequency(), 29600);
    EXPECT_NEAR(pitch(), expected(29600, 44100), 0.3);
    press(Qt::Key_L);
    EXPECT_EQ(buffer(0).GetFrequency(), 58600);
    EXPECT_NEAR(pitch(), expected(58600, 44100), 0.6);
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
    const double up = pitch(1.0);
    EXPECT_NEAR(up, expected(22060), 0.05);
    press(Qt::Key_Y);  // 23555 -> 2355.5 -> 2356
    EXPECT_EQ(buffer(0).GetFrequency(), 23560);

    // A fresh start with the base 10 Hz lower rounds the other way.
    forms::destroyAll();
    DXMoudule::reset();
    startSound();
    open({demo("tone-22050.wav")});
    buffer(0).SetFrequency(22045);
    press(Qt::Key_6);
    EXPECT_EQ(var().hscFre[0]->value(), 2204);
    EXPECT_EQ(buffer(0).GetFrequency(), 22040);
    const double down = pitch(1.0);
    EXPECT_NEAR(down, expected(22040), 0.05);
    EXPECT_GT(up - down, 0.3);
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

    // Without "Play as well" an unmapped key does nothing at all.
    kb().chkplay->setChecked(false);
    render(0.3);
    const int32_t pos = buffer(0).GetCurrentPosition();
    press(Qt::Key_G);
    press(Qt::Key_1);
    EXPECT_GE(buffer(0).GetCurrentPosition(), pos);
    EXPECT_EQ(var().hscFre[0]->value(), 755);
}

TEST_F(KeyboardTest, WithoutPlayAsWellKeysOnlyRetune) {
    open({demo("tone-22050.wav")}, false);
    press(Qt::Key_L);
    EXPECT_EQ(buffer(0).GetFrequency(), 36550);
    EXPECT_EQ(buffer(0).GetStatus(), 0);
    EXPECT_LT(level(), -100.0);
}

TEST_F(KeyboardTest, SetFrequencyAfterANoteMakesItTheBase) {
    open({demo("tone-22050.wav")});
    press(Qt::Key_L);
    kb().cmbSet->click();
    EXPECT_EQ(DXMoudule::KeyBoardFrequency, 36550);
    press(Qt::Key_6);
    EXPECT_EQ(buffer(0).GetFrequency(), 36550);
    EXPECT_NEAR(pitch(), expected(36550), 0.5);
    press(Qt::Key_L);
    EXPECT_EQ(buffer(0).GetFrequency(), 51050);
    EXPECT_NEAR(pitch(), expected(51050), 0.8);
    EXPECT_TRUE(kb().isShown());
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

TEST_F(KeyboardTest, ShiftCapsCtrlAltDoNotChangeTheNote) {
    open({demo("tone-22050.wav")}, false);
    press(Qt::Key_Q);
    const int q = var().hscFre[0]->value();
    EXPECT_EQ(q, 1455);
    press(Qt::Key_A);
    press(Qt::Key_Q, Qt::ShiftModifier);
    EXPECT_EQ(var().hscFre[0]->value(), q);
    press(Qt::Key_A);
    press(Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(var().hscFre[0]->value(), q);
    // Shift+2 reports '@' but is the 2 key.
    press(Qt::Key_At, Qt::ShiftModifier);
    EXPECT_EQ(var().hscFre[0]->value(), 1530);
    press(Qt::Key_Comma);
    EXPECT_EQ(var().hscFre[0]->value(), 3580);
    press(Qt::Key_Less, Qt::ShiftModifier);
    EXPECT_EQ(var().hscFre[0]->value(), 3580);
    // Keypad 2 plays nothing.
    press(Qt::Key_A);
    press(Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(var().hscFre[0]->value(), 755);
    EXPECT_TRUE(messages.empty());
}

TEST_F(KeyboardTest, KeysFromTheWindowSystemAreMatchedByKeycode) {
    open({demo("tone-22050.wav")}, false);
    // Shift+2 on a US layout: '@' on keycode 11.
    pressNative(Qt::Key_At, Qt::ShiftModifier, 11, "@");
    EXPECT_EQ(var().hscFre[0]->value(), 1530);
    // The A key typed under a French layout reports Q; the key is still A.
    pressNative(Qt::Key_Q, Qt::NoModifier, 38, "q");
    EXPECT_EQ(var().hscFre[0]->value(), 755);
    // Keypad 2 (keycode 88, like the code of X) plays nothing.
    pressNative(Qt::Key_2, Qt::KeypadModifier, 88, "2");
    EXPECT_EQ(var().hscFre[0]->value(), 755);
    pressNative(Qt::Key_Down, Qt::KeypadModifier, 88, "");
    EXPECT_EQ(var().hscFre[0]->value(), 755);
    // Shift+comma.
    pressNative(Qt::Key_Less, Qt::ShiftModifier, 59, "<");
    EXPECT_EQ(var().hscFre[0]->value(), 3580);
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
    QTest::keyClicks(target(), "abc");
    EXPECT_EQ(kb().lblPrev[5]->text(), "a");
    EXPECT_EQ(kb().lblPrev[6]->text(), "b");
    EXPECT_EQ(kb().lblPrev[7]->text(), "c");
    EXPECT_EQ(kb().lblPrev[4]->text(), "");
    // Keys that type nothing leave it alone; unmapped characters enter it.
    press(Qt::Key_Left);
    press(Qt::Key_F5);
    press(Qt::Key_Shift);
    EXPECT_EQ(kb().lblPrev[7]->text(), "c");
    QTest::keyClick(target(), 'A', Qt::ShiftModifier);
    EXPECT_EQ(kb().lblPrev[7]->text(), "A");
    QTest::keyClicks(target(), "gh18");
    press(Qt::Key_Return);
    EXPECT_EQ(kb().lblPrev[7]->text(), "\r");
    // Nine characters typed: the first, 'a', has scrolled out.
    EXPECT_EQ(kb().lblPrev[0]->text(), "b");
    EXPECT_EQ(kb().lblPrev[1]->text(), "c");
    EXPECT_EQ(kb().lblPrev[2]->text(), "A");
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

TEST_F(KeyboardTest, LayoutMatchesTheDrawnKeyboard) {
    frmKeyBoard& w = kb();
    EXPECT_EQ(w.windowTitle(), "Keyboard");
    EXPECT_EQ(w.size(), QSize(tw(7710), tw(4305)));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_FALSE(w.ComSampleKeyBoard->isEditable());
    EXPECT_EQ(w.ComSampleKeyBoard->count(), 0);
    EXPECT_FALSE(w.chkplay->isChecked());
    EXPECT_EQ(w.chkplay->text(), "Play as well");
    EXPECT_EQ(w.cmbSet->text(), "Set Frequency");
    EXPECT_EQ(w.cmbDone->text(), "Done");
    EXPECT_EQ(w.chkplay->nextInFocusChain(), w.cmbSet);
    EXPECT_EQ(w.chkplay->geometry().topLeft(), QPoint(tw(2918), tw(3480)));
    EXPECT_EQ(w.cmbSet->geometry().topLeft(), QPoint(tw(4178), tw(3480)));
    EXPECT_EQ(w.cmbDone->geometry().topLeft(), QPoint(tw(3098), tw(3900)));
    EXPECT_EQ(w.ComSampleKeyBoard->geometry().topLeft(), QPoint(tw(2198), tw(3480)));
    EXPECT_EQ(w.ComSampleKeyBoard->width(), tw(615));
    EXPECT_EQ(w.Shape1->geometry(), QRect(tw(2160), tw(3000), tw(3375), tw(375)));

    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(w.picKey[i]->geometry(), QRect(tw(60 + 420 * i), tw(60), tw(435), tw(2115))) << i;
        EXPECT_EQ(w.lblKey[i]->geometry(), QRect(tw(120 + 420 * i), tw(2580), tw(315), tw(255))) << i;
    }
    const int blackLeft[13] = {300, 720, 1140, 1980, 2400, 3240, 3660, 4140, 4980, 5400, 6120, 6600, 7020};
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(w.picKeyBlack[i]->geometry(), QRect(tw(blackLeft[i]), tw(60), tw(315), tw(1095))) << i;
        // Black keys lie over the white ones.
        EXPECT_EQ(w.childAt(w.picKeyBlack[i]->geometry().center()), w.picKeyBlack[i]) << i;
        EXPECT_EQ(w.lblKey[18 + i]->x(), tw(blackLeft[i]));
    }
    QString shown;
    for (QLabel* l : w.lblKey) shown += l->text();
    EXPECT_EQ(shown, "ASDFQWERTYUIOPHJKLZXC2356790NM,");
    for (int i : {21, 22, 23, 24, 25, 26, 27}) EXPECT_EQ(w.lblKey[i]->y(), tw(2280)) << i;
    for (int i : {18, 19, 20, 28, 29, 30}) EXPECT_EQ(w.lblKey[i]->y(), tw(2880)) << i;
    const int prevLeft[8] = {2205, 2625, 3045, 3480, 3900, 4320, 4740, 5160};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.lblPrev[i]->geometry(), QRect(tw(prevLeft[i]), tw(3060), tw(315), tw(255)));
        EXPECT_TRUE(w.lblPrev[i]->text().isEmpty());
    }
}

TEST_F(KeyboardTest, WhiteKeyPictureIsAGreyFaceWithABevelledEdge) {
    const QImage img = frmKeyBoard::whiteKeyPicture().toImage();
    ASSERT_EQ(img.size(), QSize(29, 141));
    const QColor face = img.pixelColor(14, 70);
    EXPECT_GT(face.lightness(), 160);
    EXPECT_LT(face.lightness(), 240);
    EXPECT_EQ(img.pixelColor(0, 5), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(5, 0), QColor(Qt::white));
    EXPECT_EQ(img.pixelColor(28, 70), QColor(Qt::black));
    EXPECT_EQ(img.pixelColor(14, 140), QColor(Qt::black));
    // Every white key shows the same picture; rendered, its face is grey.
    frmKeyBoard& w = kb();
    w.show();
    const QImage shot = w.grab().toImage();
    for (int i : {0, 9, 17}) {
        const QPoint p = w.picKey[i]->geometry().topLeft() + QPoint(14, 130);
        EXPECT_EQ(shot.pixelColor(p), face) << i;
    }
    EXPECT_EQ(shot.pixelColor(w.picKeyBlack[0]->geometry().center()), QColor(Qt::black));
}

}  // namespace
}  // namespace zendra::test
