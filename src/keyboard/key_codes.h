// Windows virtual-key codes for key events, taken from the physical key so
// that Shift, Caps Lock, Ctrl and Alt never change which key it was.
#pragma once
#include <Qt>
#include <QtGlobal>

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

// The event's virtual-key code: by keycode when the event carries a known
// one, else by Qt's key.
int virtualKeyOf(const QKeyEvent& event);

}  // namespace zendra::keyboard
