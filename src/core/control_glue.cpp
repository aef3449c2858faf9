#include "core/control_glue.h"

#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

namespace zendra::glue {

KeyPreview* KeyPreview::install(QWidget* window, Callback onPress) {
    return new KeyPreview(window, std::move(onPress));
}

KeyPreview::KeyPreview(QWidget* window, Callback onPress)
    : QObject(window),
      window_(window),
      onPress_(std::move(onPress)) {
    watch(window);
}

void KeyPreview::watch(QObject* o) {
    o->installEventFilter(this);  // installing twice keeps one filter
    for (QObject* c : o->findChildren<QObject*>())
        if (c != this) c->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded:
        // Parts made later (a list's drop-down) preview keys as well.
        if (QObject* c = static_cast<QChildEvent*>(event)->child(); c != this) watch(c);
        break;
    case QEvent::KeyPress: {
        const auto* k = static_cast<const QKeyEvent*>(event);
        // Qt passes an ignored key to the parent as the same event.
        const bool passedUp = last_ == Seen{k, watched, k->timestamp(), k->key(), k->nativeScanCode()};
        last_ = Seen{k, watched->parent(), k->timestamp(), k->key(), k->nativeScanCode()};
        if (!passedUp && onPress_) onPress_(*k);
        break;
    }
    case QEvent::KeyRelease:
        last_ = {};  // the next press is a new key, wherever it lands
        break;
    case QEvent::Show:
        if (watched == window_) last_ = {};
        break;
    default: break;
    }
    return false;  // the control gets the event as it was
}

void pickOnlyChooser(QComboBox* box, std::function<void(int)> onPick) {
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    // Qt would turn the end of an edit into a pick when the text matches an entry.
    QObject::disconnect(box->lineEdit(), &QLineEdit::editingFinished, box, nullptr);
    if (onPick) QObject::connect(box, &QComboBox::activated, box, std::move(onPick));
}

InvertedFader::InvertedFader(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
    setInvertedAppearance(true);
    setTracking(false);
    // With the appearance inverted, the up arrow and the trough above the
    // thumb would still subtract: turn each step around before it lands.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        switch (action) {
        case SliderSingleStepAdd: setSliderPosition(value() - singleStep()); break;
        case SliderSingleStepSub: setSliderPosition(value() + singleStep()); break;
        case SliderPageStepAdd: setSliderPosition(value() - pageStep()); break;
        case SliderPageStepSub: setSliderPosition(value() + pageStep()); break;
        default: break;
        }
    });
}

void InvertedFader::wheelEvent(QWheelEvent* e) {
    setInvertedControls(!invertedControls());
    QScrollBar::wheelEvent(e);
    setInvertedControls(!invertedControls());
}

namespace {
class HoverFocus : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* w = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseMove && w->isEnabled()) w->setFocus(Qt::MouseFocusReason);
        return false;
    }
};
}  // namespace

void focusFollowsMouse(QWidget* w) {
    w->setMouseTracking(true);
    w->installEventFilter(new HoverFocus(w));
}

}  // namespace zendra::glue
