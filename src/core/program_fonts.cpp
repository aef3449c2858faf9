#include "core/program_fonts.h"

#include <QApplication>

namespace zendra {

QFont programFont() {
    QFont f = QApplication::font();
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), f.family()});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(8);
    return f;
}

void useProgramFonts() { QApplication::setFont(programFont()); }

}  // namespace zendra
