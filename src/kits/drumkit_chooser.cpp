#include "kits/drumkit_chooser.h"

#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "model/sample_bank.h"

namespace zendra::kits {

namespace {
QString rowText(const DrumInstrument& in) {
    const QString name = in.name.isEmpty() ? QStringLiteral("Instrument %1").arg(in.id) : in.name;
    if (!in.hasSound()) return name + QStringLiteral(" \u2014 no sound");
    const auto n = in.layers.size();
    return name +
           QStringLiteral(" \u2014 %1 %2").arg(n).arg(n == 1 ? QStringLiteral("layer") : QStringLiteral("layers"));
}
}  // namespace

DrumKitChooser::DrumKitChooser(const ImportedKit& kit, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Import Drum Kit"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* heading =
        new QLabel(QStringLiteral("The instruments of \"%1\" to put in the slots, in this order (at most %2):")
                       .arg(kit.name)
                       .arg(model::kSlots),
                   this);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    list = new QListWidget(this);
    list->setObjectName(QStringLiteral("instruments"));
    int ticked = 0;
    for (const DrumInstrument& in : kit.instruments) {
        auto* item = new QListWidgetItem(rowText(in), list);
        if (in.hasSound()) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(ticked < model::kSlots ? Qt::Checked : Qt::Unchecked);
            if (ticked < model::kSlots) ++ticked;
        } else {
            item->setFlags(Qt::ItemIsUserCheckable);  // shown, not enabled
            item->setCheckState(Qt::Unchecked);
        }
    }
    list->setMinimumWidth(list->sizeHintForColumn(0) + 48);
    layout->addWidget(list);
    count = new QLabel(this);
    layout->addWidget(count);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list, &QListWidget::itemChanged, this, &DrumKitChooser::ticked);
    for (int r = 0; r < list->count(); ++r) {
        if (list->item(r)->flags() & Qt::ItemIsEnabled) {
            list->setCurrentRow(r);
            break;
        }
    }
    list->setFocus();
    showCount(false);
}

std::vector<int> DrumKitChooser::chosen() const {
    std::vector<int> rows;
    for (int r = 0; r < list->count(); ++r)
        if (list->item(r)->checkState() == Qt::Checked) rows.push_back(r);
    return rows;
}

void DrumKitChooser::ticked(QListWidgetItem* item) {
    const bool refused = item->checkState() == Qt::Checked && chosen().size() > static_cast<size_t>(model::kSlots);
    if (refused) {
        const QSignalBlocker block(list);
        item->setCheckState(Qt::Unchecked);
    }
    showCount(refused);
}

void DrumKitChooser::showCount(bool refused) {
    const auto n = chosen().size();
    QString text = QStringLiteral("%1 of %2 chosen").arg(n).arg(model::kSlots);
    if (refused) text += QStringLiteral(": the slots are full; untick one first.");
    count->setText(text);
    buttons->button(QDialogButtonBox::Ok)->setEnabled(n > 0);
}

std::vector<DrumInstrument> DrumKitChooser::choose(const ImportedKit& kit, QWidget* parent) {
    DrumKitChooser dialog(kit, parent);
    if (dialog.exec() != QDialog::Accepted) return {};
    std::vector<DrumInstrument> out;
    for (int r : dialog.chosen()) out.push_back(kit.instruments[static_cast<size_t>(r)]);
    return out;
}

}  // namespace zendra::kits
