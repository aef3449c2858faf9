// Keyboard window: which key plays which note, the base frequency, notes
// measured on the rendered output, the history, the chooser and the key labels.
#include <functional>

#include "core/frm_reworked.h"
#include "keyboard/frm_key_board.h"
#include "mixing/frm_var.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

class KeyboardTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        startSound();
    }

    static frmKeyBoard& kb() { return forms::frmKeyBoard(); }
    static frmVar& var() { return forms::frmVar(); }
    static int bar(int i = 0) { return var().hscFre[i]->value(); }

    // Loads the files and opens the Keyboard with "Play as well" as given.
    void open(const QStringList& files, bool playAsWell = true) {
        loadBank(files);
        kb().showForm();
        focus(kb().chkplay);
        if (kb().chkplay->isChecked() != playAsWell) QTest::mouseClick(kb().chkplay, Qt::LeftButton);
    }

    // Where a real key goes: the control with the focus.
    static QWidget* target() { return QApplication::focusWidget() ? QApplication::focusWidget() : &kb(); }
    static void press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(target(), key, mods);
    }

    // A key event as the window system delivers it, with its keycode.
    static void pressNative(int key, Qt::KeyboardModifiers mods, quint32 keycode, const QString& text,
                            bool repeat = false) {
        for (QEvent::Type t : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent e(t, key, mods, keycode, 0, 0, text, repeat);
            QApplication::sendEvent(target(), &e);
        }
    }

    void expectOutOfRangeMessages(size_t count) {
        ASSERT_EQ(messages.size(), count);
        const QString text = "You are trying to play a frequency out of range. Samples for use with the keyboard are "
                             "best at either 22000 or 44000.";
        for (const auto& m : messages)
            EXPECT_TRUE(m.text == text && m.title == "Zendra" && m.icon == dialogs::Icon::None &&
                        m.buttons == dialogs::Buttons::Ok)
                << m.text.toStdString();
    }
};

// Every key's note, in tenths of its offset from the base (the bar moves in 10 Hz).
TEST_F(KeyboardTest, EachKeyRetunesToTheBaseReadAtTheFirstKeyPlusItsOffset) {
    open({demo("tone-22050.wav")}, false);
    const char keys[] = "azsxdcfq2w3er5t6y7ui9o0phnjmk,l";
    const int tenths[] = {-1450, -1375, -1300, -1125, -1050, -975, -900, -750, -675, -600, -525,
                          -450,  -300,  -75,   -150,  0,     150,  75,   300,  450,  525,  600,
                          675,   750,   900,   975,   1050,  1125, 1300, 1375, 1450};
    for (size_t i = 0; i < std::size(tenths); ++i) {
        QTest::keyClick(target(), keys[i]);
        EXPECT_EQ(std::pair(bar(), sound(0).GetFrequency()), std::pair(2205 + tenths[i], 10 * (2205 + tenths[i])))
            << keys[i];
    }
    EXPECT_EQ(forms::shared().KeyBoardFrequency, 22050);
    // Set Frequency takes a new base (the pitch a rate sounds at: sample_player_test).
    var().hscFre[0]->setValue(4410);
    QTest::mouseClick(kb().cmbSet, Qt::LeftButton);
    EXPECT_EQ(forms::shared().KeyBoardFrequency, 44100);
    press(Qt::Key_A);
    EXPECT_EQ(bar(), 2960);
    EXPECT_TRUE(messages.empty());
}

// A note below 100 Hz or above 100000 Hz is refused with a message and
// moves and plays nothing.
// Keys as the window system delivers them: a physical key plays by its
// position (its keycode) whatever the layout types there; a key from a
// keyboard with a keymap of its own (no keycode, one off the keyboard, or one
// whose position could never type that character) plays the character it
// types; a key with neither plays nothing and shows nothing.
TEST_F(KeyboardTest, PhysicalKeysPlayByPositionOnEveryLayoutVirtualOnesByTheCharacterTheyType) {
    open({demo("tone-22050.wav")}, false);
    struct Key {
        const char* what;
        int qtKey;
        Qt::KeyboardModifiers mods;
        quint32 keycode;
        QString text;
        int tenths;  // the note's offset from the base
    };
    const Key keys[] = {
        {"QWERTY q", Qt::Key_Q, Qt::NoModifier, 24, "q", -750},
        {"QWERTY w", Qt::Key_W, Qt::NoModifier, 25, "w", -600},
        {"QWERTY 2", Qt::Key_2, Qt::NoModifier, 11, "2", -675},
        {"QWERTY ,", Qt::Key_Comma, Qt::NoModifier, 59, ",", 1375},
        {"AZERTY a, where QWERTY has q", Qt::Key_A, Qt::NoModifier, 24, "a", -750},
        {"AZERTY q, where QWERTY has a", Qt::Key_Q, Qt::NoModifier, 38, "q", -1450},
        {"AZERTY z, where QWERTY has w", Qt::Key_Z, Qt::NoModifier, 25, "z", -600},
        {"AZERTY \u00e9, where QWERTY has 2", Qt::Key_Eacute, Qt::NoModifier, 11, QStringLiteral("\u00e9"), -675},
        {"AZERTY ,, where QWERTY has m", Qt::Key_Comma, Qt::NoModifier, 58, ",", 1125},
        {"AZERTY shifted 2", Qt::Key_2, Qt::ShiftModifier, 11, "2", -675},
        {"no keycode", Qt::Key_Q, Qt::NoModifier, 0, "q", -750},
        {"no keycode, no key, a character", Qt::Key_unknown, Qt::NoModifier, 0, "w", -600},
        {"a keycode off the keyboard", Qt::Key_L, Qt::NoModifier, 250, "l", 1450},
        {"Escape's keycode typing a", Qt::Key_A, Qt::NoModifier, 9, "a", -1450},
        {"the digit row's typing e", Qt::Key_E, Qt::NoModifier, 11, "e", -450},
        {"Tab's keycode typing 6", Qt::Key_6, Qt::NoModifier, 23, "6", 0},
        {"Space's keycode typing K, shifted", Qt::Key_K, Qt::ShiftModifier, 65, "K", 1300},
    };
    for (const Key& k : keys) {
        pressNative(k.qtKey, k.mods, k.keycode, k.text);
        EXPECT_EQ(std::pair(bar(), sound(0).GetFrequency()), std::pair(2205 + k.tenths, 10 * (2205 + k.tenths)))
            << k.what;
    }

    QTest::mouseClick(kb().chkplay, Qt::LeftButton);  // Play as well
    sound(0).Stop();
    QStringList history;
    for (QLabel* l : kb().lblPrev) history << l->text();
    for (quint32 keycode : {0u, 250u}) pressNative(Qt::Key_unknown, Qt::NoModifier, keycode, QString());
    EXPECT_EQ(std::pair(bar(), sound(0).GetStatus() != 0), std::pair(2205 + 1300, false));
    QStringList after;
    for (QLabel* l : kb().lblPrev) after << l->text();
    EXPECT_EQ(after, history);
    pressNative(Qt::Key_unknown, Qt::NoModifier, 0, "y");  // a character: it plays
    EXPECT_EQ(std::pair(bar(), sound(0).GetStatus() != 0), std::pair(2205 + 150, true));
}

TEST_F(KeyboardTest, NotesOutOfRangeAreRefusedWithAMessageAndPlayNothing) {
    open({demo("tone-11025.wav")});
    ASSERT_EQ(bar(), 1102);
    for (Qt::Key k : {Qt::Key_A, Qt::Key_Z, Qt::Key_S, Qt::Key_X}) press(k);
    expectOutOfRangeMessages(4);
    EXPECT_EQ(std::pair(bar(), sound(0).GetStatus()), std::pair(1102, 0));
    press(Qt::Key_D);
    EXPECT_EQ(bar(), 52);
    messages.clear();
    var().hscFre[0]->setValue(10000);
    QTest::mouseClick(kb().cmbSet, Qt::LeftButton);
    press(Qt::Key_5);
    EXPECT_EQ(bar(), 9925);
    render(0.05);
    const int32_t pos = sound(0).GetCurrentPosition();
    press(Qt::Key_7);
    expectOutOfRangeMessages(1);
    EXPECT_EQ(sound(0).GetFrequency(), 99250);
    // A refused key does not restart the sample.
    EXPECT_TRUE(pos > 0 && sound(0).GetCurrentPosition() == pos && sound(0).GetStatus() != 0) << pos;
    press(Qt::Key_6);  // offset 0 at the 100000 Hz base: still in range
    EXPECT_EQ(std::pair(bar(), messages.size()), std::pair(10000, size_t{1}));
}

TEST_F(KeyboardTest, BaseOffTheTenHzGridIsRoundedHalfToEvenAtEveryNote) {
    open({demo("tone-22050.wav")});
    for (auto [base, key, note] :
         {std::tuple(22055, Qt::Key_6, 2206), std::tuple(22055, Qt::Key_Y, 2356), std::tuple(22045, Qt::Key_6, 2204)}) {
        sound(0).SetFrequency(base);
        QTest::mouseClick(kb().cmbSet, Qt::LeftButton);
        press(key);
        EXPECT_EQ(std::pair(forms::shared().KeyBoardFrequency, bar()), std::pair(base, note));
    }
}

TEST_F(KeyboardTest, PlayAsWellRestartsOnEveryKeyAndWithoutItNotesOnlyRetune) {
    open({demo("tone-22050.wav")});
    var().chkLoop[0]->setChecked(false);
    press(Qt::Key_A);
    render(0.5);
    press(Qt::Key_G);  // no note: restarts at the current pitch, once as its Loop box says
    EXPECT_EQ(std::pair(bar(), sound(0).GetStatus()), std::pair(755, 1));
    render(0.02);
    EXPECT_LT(sound(0).GetCurrentPosition(), 1000);  // rewound: 0.02 s is 302 bytes
    render(0.3);
    pressNative(Qt::Key_A, Qt::NoModifier, 38, "a", true);  // a held key's repeat restarts it too
    render(0.02);
    EXPECT_LT(sound(0).GetCurrentPosition(), 1000);

    QTest::mouseClick(kb().chkplay, Qt::LeftButton);
    render(0.3);
    const int32_t pos = sound(0).GetCurrentPosition();
    press(Qt::Key_G);
    pressNative(Qt::Key_A, Qt::NoModifier, 38, "a", true);
    EXPECT_GE(sound(0).GetCurrentPosition(), pos);
    sound(0).Stop();
    press(Qt::Key_L);
    EXPECT_EQ(std::pair(sound(0).GetFrequency(), sound(0).GetStatus()), std::pair(36550, 0));
}

TEST_F(KeyboardTest, BaseStaysWithTheFirstSampleUntilSetFrequencyAndNotesGoToTheChosenSample) {
    open({demo("tone-22050.wav"), demo("tone-11025.wav")});
    press(Qt::Key_6);
    pick(kb().ComSampleKeyBoard, 1);
    press(Qt::Key_6);
    EXPECT_EQ(std::pair(bar(1), sound(1).GetFrequency()), std::pair(2205, 22050));
    var().hscFre[1]->setValue(1102);
    QTest::mouseClick(kb().cmbSet, Qt::LeftButton);
    EXPECT_EQ(forms::shared().KeyBoardFrequency, 11020);
    press(Qt::Key_D);
    EXPECT_EQ(std::pair(bar(1), bar(0)), std::pair(52, 2205));
    loadBank({demo("tone-22050.wav")});  // a new bank keeps the base
    EXPECT_EQ(forms::shared().KeyBoardFrequency, 11020);
}

TEST_F(KeyboardTest, KeysAreLabelledTheHistoryShowsTheLastEightCharactersAndDoneKeepsIt) {
    ASSERT_TRUE(startMain());
    kb().showForm();
    QString labels;
    for (QLabel* l : kb().lblKey) labels += l->text();
    EXPECT_EQ(labels, "ASDFQWERTYUIOPHJKLZXC2356790NM,");
    EXPECT_EQ(kb().chkplay->text() + "|" + kb().cmbSet->text() + "|" + kb().cmbDone->text(),
              "Play as well|Set Frequency|Done");
    focus(kb().chkplay);
    press(Qt::Key_A);  // no bank: only the history
    EXPECT_EQ(std::pair(forms::shared().KeyBoardFrequency, bar()), std::pair(0, 100));
    loadBank({demo("tone-22050.wav"), demo("kick.wav")});
    forms::FrmReworked().KeyBoard->trigger();
    EXPECT_EQ(kb().windowTitle(), "Keyboard");
    focus(kb().chkplay);
    auto history = [] {
        QStringList h;
        for (QLabel* l : kb().lblPrev) h << l->text();
        return h.join(QString());
    };
    QTest::keyClicks(target(), "bc");
    for (Qt::Key k : {Qt::Key_F5, Qt::Key_Shift}) press(k);  // type nothing
    QTest::keyClick(target(), 'A', Qt::ShiftModifier);
    QTest::keyClicks(target(), "gh18");
    press(Qt::Key_Return);
    EXPECT_EQ(history(), "bcAgh18\r");
    focus(kb().chkplay);
    press(Qt::Key_Space);  // ticks the focused "Play as well", no note
    EXPECT_TRUE(kb().chkplay->isChecked());
    // The focused chooser: 2 selects "2" in it and is also a note, played on
    // the sample chosen when the key came, and entered in the history once.
    focus(kb().ComSampleKeyBoard);
    press(Qt::Key_2);
    EXPECT_EQ(std::pair(bar(0), kb().ComSampleKeyBoard->currentText()), std::pair(1530, QString("2")));
    EXPECT_EQ(history(), "Agh18\r 2");
    QTest::mouseClick(kb().cmbDone, Qt::LeftButton);
    EXPECT_FALSE(kb().isShown());
    forms::FrmReworked().KeyBoard->trigger();
    EXPECT_TRUE(kb().chkplay->isChecked());
    EXPECT_EQ(kb().ComSampleKeyBoard->currentText(), "2");
    EXPECT_EQ(history(), "Agh18\r 2");
    EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace zendra::test
