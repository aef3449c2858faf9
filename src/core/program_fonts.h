// The font the windows are laid out for, whatever the desktop's font is:
// Arial 8 pt, or the metric-compatible Liberation Sans the program ships with.
#pragma once
#include <QFont>

namespace zendra {

QFont programFont();
// Makes it the application's font (before any window is made).
void useProgramFonts();

}  // namespace zendra
