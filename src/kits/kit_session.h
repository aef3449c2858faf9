// A kit and the bank: the set-up collected from it, and a kit's files
// loaded through the Sample Dock and its settings put into the bank, so that
// the windows and the sound follow. Window thread.
#pragma once
#include <QString>
#include <functional>

#include "kits/kit_file.h"

class QWidget;

namespace zendra {
class DXMoudule;
class frmLoadSamples;
class frmProperties;
class frmProperties;
namespace midi {
class MidiPlayer;
}
}  // namespace zendra

namespace zendra::kits {

// What kits work on, handed in by the program.
struct KitContext {
    DXMoudule& shared;
    std::function<frmLoadSamples&()> dock;       // made hidden at its first use
    std::function<frmProperties&()> properties;  // the same
    std::function<midi::MidiPlayer*()> midi;     // null before the main window has loaded
    std::function<QWidget*()> mainWindow;        // null before it is up
};

// The loaded bank with its settings and key bindings.
Kit currentKit(const KitContext& ctx);
// Applies the settings and binding of every loaded slot holding the kit's file.
void applySettings(const KitContext& ctx, const Kit& kit);
// Puts the kit's files in the Sample Dock's slots; the next Done that
// succeeds applies the kit's settings to the slots whose file is unchanged.
void fillDock(const KitContext& ctx, const Kit& kit);

// Opens a kit: loads its samples as the Sample Dock's Done does, then applies
// its settings. On any failure one message says why and the bank stays as
// it was; true when the kit is in place.
bool openKit(const KitContext& ctx, const QString& path);
// Saves the set-up; on failure a message says why and false is returned.
bool saveKit(const KitContext& ctx, const QString& path);
// The File menu's "Open Kit..." and "Save Kit As...".
void openKitFromDialog(const KitContext& ctx);
void saveKitFromDialog(const KitContext& ctx);

bool isKitFile(const QString& path);

}  // namespace zendra::kits
