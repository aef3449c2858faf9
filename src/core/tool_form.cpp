#include "core/tool_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <algorithm>
#include <cmath>

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

namespace {
// Moves a window in the main window so that all of it is in view. One larger
// than the view keeps its size at the view's top left, and the main window's
// scroll bars reach the rest.
void keepInView(QMdiSubWindow* sub, const QMdiArea& area) {
    const QSize view = area.viewport()->size();
    const QRect at = sub->geometry();
    const int x = std::max(0, std::min(at.x(), view.width() - at.width()));
    const int y = std::max(0, std::min(at.y(), view.height() - at.height()));
    if (x != at.x() || y != at.y()) sub->move(x, y);
}
}  // namespace

void ToolForm::showForm() {
    beforeShowing();
    QWidget* f = frame();
    show();
    f->show();
    f->raise();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(f)) {
        if (QMdiArea* area = sub->mdiArea()) {
            keepInView(sub, *area);
            area->setActiveSubWindow(sub);
        }
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
