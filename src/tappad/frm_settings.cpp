#include "tappad/frm_settings.h"

#include "core/dialogs.h"

namespace zendra {

namespace {
QString keyPrefix(int i) { return QString::number(i + 1) + QStringLiteral(" = "); }
}  // namespace

frmSettings::frmSettings() : ToolForm(QStringLiteral("Settings"), 6720, 3600) {
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
}

void frmSettings::lblSample_Click(int16_t Index) {
    const auto answer =
        dialogs::inputBox(QStringLiteral("Press a key to be associated with sample ") + QString::number(Index + 1),
                          QStringLiteral("Key Associations"));
    // Cancel gives an empty answer: the caption still loses its old key.
    lblSample[Index]->setText(keyPrefix(Index) + answer.value_or(QString()));
}

QString frmSettings::keyOf(int i) const {
    const QString caption = lblSample[i]->text();
    return caption.size() > keyPrefix(i).size() ? QString(caption.back()) : QString();
}

QChar frmSettings::keyCharacter(int i) const {
    const QString caption = lblSample[i]->text();
    return caption.isEmpty() ? QChar() : caption.back();
}

void frmSettings::bindKey(int i, const QString& key) {
    lblSample[i]->setText(key.isEmpty() ? QString::number(i + 1) + QStringLiteral(" =") : keyPrefix(i) + key);
}

void frmSettings::cmbDone_Click() { hideForm(); }

}  // namespace zendra
