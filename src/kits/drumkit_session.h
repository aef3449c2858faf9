// A Hydrogen drum kit into the bank, as the player imports one: the
// instruments chosen, their sounds loaded as the Sample Dock loads them (all
// or nothing, every failing file named once), then each slot's settings.
// Window thread.
#pragma once
#include <QString>
#include <vector>

#include "model/sample_bank.h"

namespace zendra::kits {

struct KitContext;

// Reads the kit, lets the player choose its instruments, loads them and says
// in one message what could not be kept. False when nothing was changed (the
// kit was refused, the choice cancelled or a sound did not load).
bool importDrumKitIntoBank(const KitContext& ctx, const QString& path);
// File > Import Drum Kit...: a kit file chosen in a file dialog.
void importDrumKitFromDialog(const KitContext& ctx);

// Where packed kits are unpacked to stay: the program's data folder.
QString keptKitsFolder();

// Puts the slots' sounds (every layer's) in the player, read as the Sample
// Dock reads them, and the slots in the bank. False, nothing changed, when a
// sound cannot be loaded; `failures` names each.
bool loadSlots(const KitContext& ctx, const std::vector<model::SampleSlot>& incoming, QStringList& failures);

}  // namespace zendra::kits
