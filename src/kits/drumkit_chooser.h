// The choice of a drum kit's instruments for the sixteen slots: one row per
// instrument with its layer count, ticked for import. Those without sound
// cannot be ticked; the first sixteen with sound start ticked, and no more
// than sixteen can be. Window thread.
#pragma once
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <vector>

#include "kits/drumkit_import.h"

namespace zendra::kits {

class DrumKitChooser : public QDialog {
    Q_OBJECT
public:
    explicit DrumKitChooser(const ImportedKit& kit, QWidget* parent = nullptr);

    QListWidget* list = nullptr;
    QLabel* count = nullptr;  // "n of 16 chosen"
    QDialogButtonBox* buttons = nullptr;

    // The ticked rows' instruments, in the kit's order.
    std::vector<int> chosen() const;

    // Asks; the chosen instruments, or nothing when cancelled or none chosen.
    static std::vector<DrumInstrument> choose(const ImportedKit& kit, QWidget* parent);

private:
    void ticked(QListWidgetItem* item);
    void showCount(bool refused);
};

}  // namespace zendra::kits
