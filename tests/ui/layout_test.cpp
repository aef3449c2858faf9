// Every caption, label, button and tick-box text of every window fits inside
// its control at the program's font, so a longer caption or a wider font
// shows up here before a player sees it cut or overlapping.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <vector>

#include "core/forms.h"
#include "core/frm_about.h"
#include "core/frm_reworked.h"
#include "core/frm_splash.h"
#include "core/program_fonts.h"
#include "keyboard/frm_key_board.h"
#include "mixing/frm_cross_fade.h"
#include "mixing/frm_fx.h"
#include "mixing/frm_sample_play.h"
#include "mixing/frm_var.h"
#include "recording/frm_properties.h"
#include "recording/frm_record.h"
#include "tappad/frm_sample_key_pad.h"
#include "tappad/frm_settings.h"
#include "ui_fixture.h"

namespace zendra::test {
namespace {

// "Name: text needs W x H, has W x H" when the text does not fit; empty when
// it fits or the control shows no text.
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
        const auto part = qobject_cast<QCheckBox*>(b)      ? QStyle::SE_CheckBoxContents
                          : qobject_cast<QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                                           : QStyle::SE_PushButtonContents;
        room = b->style()->subElementRect(part, &opt, b);
        need = fm.size(Qt::TextShowMnemonic, text);
    } else if (auto* e = qobject_cast<QLineEdit*>(w); e && e->isReadOnly()) {
        text = e->text();
        room = e->contentsRect().adjusted(2, 0, -2, 0);  // the edit's own side margins
        need = QSize(fm.horizontalAdvance(text), fm.height());
    }
    if (text.isEmpty() || (need.width() <= room.width() && (!checkHeight || need.height() <= room.height())))
        return {};
    return QStringLiteral("%1 \"%2\" needs %3 x %4, has %5 x %6")
        .arg(w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName(), text)
        .arg(need.width()).arg(need.height()).arg(room.width()).arg(room.height());
}

class LayoutTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        saved = QApplication::font();
        useProgramFonts();
    }
    void TearDown() override {
        UiTest::TearDown();
        QApplication::setFont(saved);
    }
    QFont saved;
};

TEST_F(LayoutTest, EveryTextFitsItsControl) {
    ASSERT_TRUE(startMain());
    const std::vector<QWidget*> windows = {
        &forms::frmSplash(),       &forms::FrmReworked(),  &forms::frmAbout(),        &forms::frmLoadSamples(),
        &forms::frmKeyBoard(),     &forms::frmVar(),       &forms::frmSamplePlay(),   &forms::frmCrossFade(),
        &forms::frmFX(),           &forms::frmSettings(),  &forms::frmSampleKeyPad(), &forms::frmProperties(),
        &forms::frmRecord()};
    for (QWidget* window : windows) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        int texts = 0;
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(window)) continue;  // the main window's hidden tool windows among them
            texts += qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ? 1 : 0;
            const QString over = overflow(w);
            EXPECT_TRUE(over.isEmpty()) << over.toStdString();
        }
        EXPECT_GT(texts, 0);
    }
}

}  // namespace
}  // namespace zendra::test
