// Key Associations: the caption of each label holds its sample's key. The
// binding of sample i is the last character of lblSample(i)'s caption.
#pragma once
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <cstdint>

#include "core/click_label.h"
#include "core/tool_form.h"

namespace zendra {

class frmSettings : public ToolForm {
    Q_OBJECT
public:
    frmSettings();

    std::array<ClickLabel*, 16> lblSample{};
    QLabel* lblKeys = nullptr;
    std::array<QFrame*, 3> Line{};
    QPushButton* cmbDone = nullptr;

    // The key bound to sample i: the last character typed for it, empty while
    // it has none (the caption is "n =" or "n = ").
    QString keyOf(int i) const;
    // The character the Tap Pad matches for sample i: the caption's last,
    // whatever it is (the "=" of a sample with no key too).
    QChar keyCharacter(int i) const;
    // Binds `key` (empty: none) to sample i, as its caption shows it.
    void bindKey(int i, const QString& key);

    // Asks for the key of sample Index + 1 and writes it into the caption.
    void lblSample_Click(int16_t Index);
    void cmbDone_Click();
};

}  // namespace zendra
