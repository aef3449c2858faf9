#include "core/sample_number.h"

#include <QComboBox>
#include <cmath>
#include <limits>

#include "core/dx_module.h"
#include "model/sample_bank.h"

namespace zendra {

std::optional<int32_t> sampleIndexOf(const QString& text) {
    bool ok = false;
    const double n = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(n)) return std::nullopt;
    const double i = std::nearbyint(n - 1.0);  // the default rounding mode: halves to even
    if (i < std::numeric_limits<int32_t>::min() || i > std::numeric_limits<int32_t>::max()) return std::nullopt;
    return static_cast<int32_t>(i);
}

std::optional<int16_t> loadedSampleOf(const QString& text, const DXMoudule& shared) {
    const auto i = sampleIndexOf(text);
    if (!i || !shared.loaded(*i)) return std::nullopt;
    return static_cast<int16_t>(*i);
}

namespace {
void fillNumbers(QComboBox* c, int count) {
    if (count <= 0) return;
    c->clear();
    for (int k = 1; k <= count; ++k) c->addItem(QString::number(k));
    if (c->isEditable())
        c->setEditText(QStringLiteral("1"));
    else
        c->setCurrentIndex(c->findText(QStringLiteral("1")));
}
}  // namespace

void fillSampleChooser(QComboBox* c, const model::SampleBank& bank) {
    fillNumbers(c, bank.count());
    nameSampleChooser(c, bank);
}

void nameSampleChooser(QComboBox* c, const model::SampleBank& bank) {
    for (int k = 0; k < c->count(); ++k) {
        const auto i = sampleIndexOf(c->itemText(k));
        c->setItemData(k, i && bank.loaded(*i) ? bank.displayName(*i) : QString(), Qt::ToolTipRole);
    }
}

}  // namespace zendra
