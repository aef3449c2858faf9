// Glue that makes stock Qt controls behave like the program's own controls.
// Every window uses these instead of its own event filters.
#pragma once
#include <QObject>
#include <QScrollBar>
#include <functional>

class QComboBox;
class QKeyEvent;
class QWheelEvent;

namespace zendra::glue {

// Key preview: the window is told of every key press before the control with
// the focus, which then gets the key unchanged. Watches the window and all its
// descendants, including ones added later. Each press is reported once: a key
// a control ignores, which Qt then passes up to the parent, is the same press.
// Auto-repeats are new presses; the event says which they are.
class KeyPreview : public QObject {
public:
    using Callback = std::function<void(const QKeyEvent&)>;
    // Lives as long as `window`.
    static KeyPreview* install(QWidget* window, Callback onPress);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    KeyPreview(QWidget* window, Callback onPress);
    void watch(QObject* o);

    // The press seen last and the widget Qt would pass it to if ignored.
    struct Seen {
        const QEvent* event = nullptr;
        const QObject* next = nullptr;
        quint64 timestamp = 0;
        int key = 0;
        quint32 scanCode = 0;
        bool operator==(const Seen&) const = default;
    };
    QWidget* window_;
    Callback onPress_;
    Seen last_;
};

// An editable chooser whose action runs only when an entry is picked from its
// list. Typing changes the text only: Return, Tab or a click elsewhere never
// turns a typed text into a pick, even when it matches an entry.
// `onPick` (may be empty) gets the picked index.
void pickOnlyChooser(QComboBox* box, std::function<void(int)> onPick = {});

// A vertical bar whose top end is its maximum: arrows, trough clicks, keys
// and the wheel all move the thumb towards where the user points. A dragged
// thumb acts on release, like every other bar.
class InvertedFader : public QScrollBar {
public:
    explicit InvertedFader(QWidget* parent);

protected:
    void wheelEvent(QWheelEvent* e) override;
};

// Hovering over `w` gives it the focus, when it is enabled.
void focusFollowsMouse(QWidget* w);

}  // namespace zendra::glue
