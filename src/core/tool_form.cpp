#include "core/tool_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <cmath>

#include "core/forms.h"

namespace zendra {

int tw(int twips) {
    static const double scale = [] {
        const QScreen* s = QGuiApplication::primaryScreen();
        const double dpi = s ? s->logicalDotsPerInch() : 96.0;
        return dpi > 0 ? dpi / 96.0 : 1.0;
    }();
    return static_cast<int>(std::lround(twips / 15.0 * scale));
}

void placeTw(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(tw(left), tw(top), tw(width), tw(height));
}

QFrame* lineTw(QWidget* parent, QFrame::Shape shape, int left, int top, int width, int height) {
    auto* l = new QFrame(parent);
    l->setFrameShape(shape);
    l->setFrameShadow(QFrame::Plain);
    l->setLineWidth(1);
    placeTw(l, left, top, width, height);
    return l;
}

QFont courierFont() {
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSize(12);
    return f;
}

ToolForm::ToolForm(const QString& caption, int widthTw, int heightTw, bool black) {
    setWindowTitle(caption);
    setFixedSize(tw(widthTw), tw(heightTw));
    if (black) {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::black);
        p.setColor(QPalette::WindowText, Qt::white);
        setPalette(p);
    }
}

QWidget* ToolForm::frame() {
    auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
    return sub ? static_cast<QWidget*>(sub) : this;
}

void ToolForm::showForm() {
    beforeShowing();
    QWidget* f = frame();
    show();
    f->show();
    f->raise();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(f)) {
        if (sub->mdiArea()) sub->mdiArea()->setActiveSubWindow(sub);
    } else {
        activateWindow();
    }
    setFocus(Qt::OtherFocusReason);
}

void ToolForm::hideForm() { frame()->hide(); }

bool ToolForm::isShown() const { return const_cast<ToolForm*>(this)->frame()->isVisible(); }

void ToolForm::closeEvent(QCloseEvent* e) {
    emit closedByUser();
    e->accept();
    // Destroy the window; the next reference makes it afresh. (A frame in
    // the main window deletes itself on close, and the form with it.)
    if (frame() == this) setAttribute(Qt::WA_DeleteOnClose);
}

}  // namespace zendra
