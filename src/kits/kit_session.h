// A kit and the windows: the set-up collected from them, and a kit's files
// and settings put back through the Sample Dock and the controls' own
// change actions, so that the windows and the sound agree.
#pragma once
#include <QString>

#include "kits/kit_file.h"

namespace zendra::kits {

// The loaded bank with its settings and key bindings.
Kit currentKit();
// Applies the settings and binding of every loaded slot holding the kit's file.
void applySettings(const Kit& kit);
// Puts the kit's files in the Sample Dock's slots; the next Done that
// succeeds applies the kit's settings to the slots whose file is unchanged.
void fillDock(const Kit& kit);

// Opens a kit: loads its samples as the Sample Dock's Done does, then applies
// its settings. On any failure one message says why and the bank stays as
// it was; true when the kit is in place.
bool openKit(const QString& path);
// Saves the set-up; on failure a message says why and false is returned.
bool saveKit(const QString& path);
// The File menu's "Open Kit..." and "Save Kit As...".
void openKitFromDialog();
void saveKitFromDialog();

bool isKitFile(const QString& path);

}  // namespace zendra::kits
