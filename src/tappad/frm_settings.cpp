#include "tappad/frm_settings.h"

#include "core/dialogs.h"
#include "core/dx_module.h"

namespace zendra {

namespace {
QString keyPrefix(int i) { return QString::number(i + 1) + QStringLiteral(" = "); }
}  // namespace

frmSettings::frmSettings(DXMoudule& shared) : ToolForm(QStringLiteral("Settings"), 6720, 3600), shared_(shared) {
    QPalette p = palette();
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(110, 110, 110));
    setPalette(p);

    lblKeys = new QLabel(QStringLiteral("Key Associations"), this);
    QFont heading(QStringLiteral("MS Sans Serif"));
    heading.setStyleHint(QFont::SansSerif);
    heading.setPointSize(12);
    heading.setBold(true);
    lblKeys->setFont(heading);
    placeTw(lblKeys, 240, 120, 4200, 375);

    Line[0] = lineTw(this, QFrame::HLine, 120, 600, 6480, 30);
    Line[1] = lineTw(this, QFrame::HLine, 120, 2880, 6480, 30);
    Line[2] = lineTw(this, QFrame::VLine, 5160, 3000, 30, 480);

    // 4 x 4, running down each column first.
    for (int i = 0; i < 16; ++i) {
        const int column = i / 4, row = i % 4;
        lblSample[i] = new ClickLabel(QString::number(i + 1) + " =", this);
        lblSample[i]->setTextFormat(Qt::PlainText);
        lblSample[i]->setFont(courierFont());
        lblSample[i]->setCursor(Qt::PointingHandCursor);
        placeTw(lblSample[i], 360 + 1560 * column, 840 + 480 * row, 1440, 375);
        const auto idx = static_cast<int16_t>(i);
        connect(lblSample[i], &ClickLabel::clicked, this, [this, idx] { lblSample_Click(idx); });
    }

    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 5400, 3060, 975, 375);
    connect(cmbDone, &QPushButton::clicked, this, &frmSettings::cmbDone_Click);

    model::SampleBank& bank = shared_.Bank();
    auto enable = [this] {
        const int n = shared_.Bank().count();
        if (n > 0)
            for (int i = 0; i < 16; ++i) lblSample[i]->setEnabled(i < n);
    };
    for (int i = 0; i < 16; ++i) showSlot(i);
    enable();
    connect(&bank, &model::SampleBank::replaced, this, [this, enable] {
        for (int i = 0; i < 16; ++i) showSlot(i);
        enable();
    });
    connect(&bank, &model::SampleBank::changed, this, [this](int i, model::Field f) {
        if (f == model::Field::Key || f == model::Field::Name) showSlot(i);
    });
}

void frmSettings::showSlot(int i) {
    const QString& key = shared_.Bank().slot(i).key;
    lblSample[i]->setText(key.isNull() ? QString::number(i + 1) + QStringLiteral(" =") : keyPrefix(i) + key);
    const model::SampleBank& bank = shared_.Bank();
    lblSample[i]->setToolTip(bank.loaded(i) ? bank.displayName(i) : QString());  // the sample's name
}

void frmSettings::lblSample_Click(int16_t Index) {
    const auto answer =
        dialogs::inputBox(QStringLiteral("Press a key to be associated with sample ") + QString::number(Index + 1),
                          QStringLiteral("Key Associations"));
    // Cancel gives an empty answer: the sample still loses its old key.
    QString typed = answer.value_or(QString());
    if (typed.isNull()) typed = QStringLiteral("");
    shared_.Bank().setKey(Index, typed);
}

void frmSettings::cmbDone_Click() { hideForm(); }

}  // namespace zendra
