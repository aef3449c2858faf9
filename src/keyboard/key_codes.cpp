#include "keyboard/key_codes.h"

#include <QKeyEvent>
#include <QString>

namespace zendra::keyboard {

int virtualKeyFromKeycode(quint32 keycode) {
    // Digits row: keycodes 10..19 are 1..9, 0.
    if (keycode >= 10 && keycode <= 18) return '1' + static_cast<int>(keycode - 10);
    static const char kTop[] = "QWERTYUIOP";  // 24..33
    static const char kHome[] = "ASDFGHJKL";  // 38..46
    static const char kBottom[] = "ZXCVBNM";  // 52..58
    if (keycode >= 24 && keycode <= 33) return kTop[keycode - 24];
    if (keycode >= 38 && keycode <= 46) return kHome[keycode - 38];
    if (keycode >= 52 && keycode <= 58) return kBottom[keycode - 52];
    if (keycode >= 67 && keycode <= 76) return 112 + static_cast<int>(keycode - 67);  // F1..F10
    switch (keycode) {
    case 9: return 27;  // Escape
    case 19: return '0';
    case 20: return 189;  // minus
    case 21: return 187;  // equals
    case 22: return 8;    // Backspace
    case 23: return 9;    // Tab
    case 34: return 219;  // [
    case 35: return 221;  // ]
    case 36: return 13;   // Return
    case 37:
    case 105: return 17;  // Ctrl
    case 47: return 186;  // ;
    case 48: return 222;  // '
    case 49: return 192;  // `
    case 50:
    case 62: return 16;   // Shift
    case 51: return 220;  // backslash
    case 59: return vk::Comma;
    case 60: return 190;  // .
    case 61: return 191;  // /
    case 63: return 106;  // keypad *
    case 64:
    case 108: return 18;  // Alt
    case 65: return 32;   // Space
    case 66: return 20;   // Caps Lock
    case 79: return vk::Numpad0 + 7;
    case 80: return vk::Numpad0 + 8;
    case 81: return vk::Numpad0 + 9;
    case 82: return 109;  // keypad -
    case 83: return vk::Numpad0 + 4;
    case 84: return vk::Numpad0 + 5;
    case 85: return vk::Numpad0 + 6;
    case 86: return 107;  // keypad +
    case 87: return vk::Numpad0 + 1;
    case 88: return vk::Numpad0 + 2;
    case 89: return vk::Numpad0 + 3;
    case 90: return vk::Numpad0 + 0;
    case 91: return 110;   // keypad .
    case 94: return 226;   // the extra key left of Z on European keyboards
    case 95: return 122;   // F11
    case 96: return 123;   // F12
    case 104: return 13;   // keypad Enter
    case 106: return 111;  // keypad /
    case 110: return 36;   // Home
    case 111: return 38;   // Up
    case 112: return 33;   // Page Up
    case 113: return 37;   // Left
    case 114: return 39;   // Right
    case 115: return 35;   // End
    case 116: return 40;   // Down
    case 117: return 34;   // Page Down
    case 118: return 45;   // Insert
    case 119: return 46;   // Delete
    default: return 0;
    }
}

int virtualKeyFromQtKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return keypad ? vk::Numpad0 + (key - Qt::Key_0) : key;
    if (keypad) return 0;  // other keypad keys play nothing
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 112 + (key - Qt::Key_F1);
    switch (key) {
    // Shifted symbols of the digit row on a US keyboard.
    case Qt::Key_Exclam: return '1';
    case Qt::Key_At: return '2';
    case Qt::Key_NumberSign: return '3';
    case Qt::Key_Dollar: return '4';
    case Qt::Key_Percent: return '5';
    case Qt::Key_AsciiCircum: return '6';
    case Qt::Key_Ampersand: return '7';
    case Qt::Key_Asterisk: return '8';
    case Qt::Key_ParenLeft: return '9';
    case Qt::Key_ParenRight: return '0';
    case Qt::Key_Comma:
    case Qt::Key_Less: return vk::Comma;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question: return 191;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl: return 222;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde: return 192;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: return 189;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return 187;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft: return 219;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight: return 221;
    case Qt::Key_Backslash:
    case Qt::Key_Bar: return 220;
    case Qt::Key_Space: return 32;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    default: return 0;
    }
}

int virtualKeyFromText(const QString& text, Qt::KeyboardModifiers modifiers) {
    if (text.size() != 1) return 0;
    const char16_t c = text.at(0).toUpper().unicode();
    // Printable ASCII: Qt's key codes are the characters themselves.
    return c > 0x20 && c < 0x7f ? virtualKeyFromQtKey(c, modifiers) : 0;
}

namespace {
// Whether the key at `position` may type `text` on some real layout: keys
// that type nothing (Escape, Tab, Space, the modifiers, F-keys, arrows, ...)
// never type a character, and no layout puts the letters a..z on the digit row.
bool mayType(int position, const QString& text) {
    if (text.isEmpty() || !text.at(0).isPrint() || text.at(0) == QLatin1Char(' ')) return true;
    const bool typing = (position >= '0' && position <= '9') || (position >= 'A' && position <= 'Z') ||
                        (position >= vk::Numpad0 && position <= 111) || (position >= 186 && position <= 192) ||
                        (position >= 219 && position <= 222) || position == 226;
    if (!typing) return false;
    const char16_t c = text.at(0).toLower().unicode();
    return !(position >= '0' && position <= '9' && c >= u'a' && c <= u'z');
}
}  // namespace

int virtualKeyOf(const QKeyEvent& event) {
    if (const int position = virtualKeyFromKeycode(event.nativeScanCode());
        position != 0 && mayType(position, event.text()))
        return position;
    if (const int code = virtualKeyFromText(event.text(), event.modifiers())) return code;
    return virtualKeyFromQtKey(event.key(), event.modifiers());
}

}  // namespace zendra::keyboard
