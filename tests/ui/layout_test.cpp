// Every caption, label, button and tick-box text of every window fits inside
// its control at the program's font, so a longer caption or a wider font
// shows up here before a player sees it cut or overlapping.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>
#include <set>

#include "core/program_fonts.h"
#include "core/tool_form.h"
#include "test_program.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// "Kind "text" needs W x H, has W x H" when the text does not fit, else empty.
QString overflow(QWidget* w) {
    const QFontMetrics fm(w->font());
    QString text;
    QRect room;
    QSize need;
    bool checkHeight = false;
    if (auto* l = qobject_cast<QLabel*>(w)) {
        text = l->text();
        room = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
        const int flags = l->wordWrap() ? Qt::TextWordWrap : 0;
        need = fm.boundingRect(QRect(0, 0, l->wordWrap() ? room.width() : 100000, 100000), flags, text).size();
        checkHeight = l->wordWrap() || text.contains('\n');
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        text = b->text();
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = text;
        const bool box = qobject_cast<QCheckBox*>(b) != nullptr;
        room = b->style()->subElementRect(box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &opt, b);
        need = fm.size(Qt::TextShowMnemonic, text);
    } else if (auto* e = qobject_cast<QLineEdit*>(w); e && e->isReadOnly()) {
        text = e->text();
        room = e->contentsRect().adjusted(2, 0, -2, 0);  // the edit's own side margins
        need = QSize(fm.horizontalAdvance(text), fm.height());
    }
    if (text.isEmpty() || (need.width() <= room.width() && (!checkHeight || need.height() <= room.height()))) return {};
    return QStringLiteral("%1 \"%2\" needs %3 x %4, has %5 x %6")
        .arg(w->metaObject()->className(), text)
        .arg(need.width())
        .arg(need.height())
        .arg(room.width())
        .arg(room.height());
}

using LayoutTest = UiTest;

TEST_F(LayoutTest, EveryTextFitsItsControlInEveryWindow) {
    struct KeepFont {
        QFont saved = QApplication::font();
        ~KeepFont() { QApplication::setFont(saved); }
    } keep;
    useProgramFonts();
    forms::frmSplash();
    ASSERT_TRUE(startMain());
    // Referring to a window makes it (hidden).
    forms::frmAbout(), forms::frmLoadSamples(), forms::frmKeyBoard(), forms::frmVar(), forms::frmSamplePlay();
    forms::frmCrossFade(), forms::frmFX(), forms::frmSettings(), forms::frmSampleKeyPad(), forms::frmProperties();
    forms::frmRecord(), forms::sampleEditor();
    std::set<QString> windows;
    for (QWidget* w : QApplication::allWidgets()) {
        QWidget* window = w->window();
        for (QWidget* p = w->parentWidget(); p != nullptr; p = p->parentWidget())
            if (qobject_cast<ToolForm*>(p)) window = p;
        if (w == window || !w->isVisibleTo(window)) continue;
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w)) windows.insert(window->windowTitle());
        const QString over = overflow(w);
        EXPECT_TRUE(over.isEmpty()) << window->windowTitle().toStdString() << ": " << over.toStdString();
    }
    EXPECT_EQ(windows.size(), 13u);  // the twelve tool windows (About among them) and the disclaimer
}

}  // namespace
}  // namespace zendra::test
