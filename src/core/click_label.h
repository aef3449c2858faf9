// A label that reports mouse clicks (labels that act as buttons).
#pragma once
#include <QLabel>
#include <QMouseEvent>

namespace zendra {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (isEnabled() && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) emit clicked();
        QLabel::mouseReleaseEvent(e);
    }
};

}  // namespace zendra
