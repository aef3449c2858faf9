// Windows virtual-key codes for key events, taken from the physical key so
// that Shift, Caps Lock, Ctrl and Alt never change which key it was.
#pragma once
#include <Qt>
#include <QtGlobal>

class QString;

class QKeyEvent;

namespace zendra::keyboard {

namespace vk {
constexpr int Comma = 188;
constexpr int Numpad0 = 96;  // .. Numpad9 = 105
}  // namespace vk

// Virtual-key code of an X keycode (evdev code + 8, as X11 and Wayland report
// them), by the key's position on a US keyboard; 0 when unknown.
int virtualKeyFromKeycode(quint32 keycode);

// Virtual-key code from Qt's key and modifiers, for events that carry no
// keycode. Shifted US symbols are traced back to their keys ('@' is 2, '<'
// is the comma key); keypad keys give keypad codes. 0 when unknown.
int virtualKeyFromQtKey(int key, Qt::KeyboardModifiers modifiers);

// Virtual-key code of the character a key types ('q' and 'Q' give Q), as
// virtualKeyFromQtKey; 0 for none or more than one.
int virtualKeyFromText(const QString& text, Qt::KeyboardModifiers modifiers);

// The event's virtual-key code. A physical key plays by its position (its
// keycode), whatever the layout types there: on AZERTY the key typing "a"
// plays as Q. A key whose keycode is no physical position plays by the
// character it types: keyboards that send a keymap of their own (on-screen,
// remote-desktop and scripted ones) give keycodes of their own choosing,
// none at all (0), one outside the keyboard, or one whose position could
// never type that character (Escape typing "q", the digit row typing a
// letter). 0 for a key with neither: it plays nothing.
int virtualKeyOf(const QKeyEvent& event);

}  // namespace zendra::keyboard
