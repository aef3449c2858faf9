// Base of every window that lives inside the main window: fixed client area
// in twips, black background with white text, hidden rather than closed by
// its Done button.
#pragma once
#include <QFont>
#include <QFrame>
#include <QWidget>

namespace zendra {

// Screen pixels for a length in twips (15 twips to a pixel at 96 dpi).
int tw(int twips);
// Places a widget at a twip rectangle.
void placeTw(QWidget* w, int left, int top, int width, int height);
// A plain decorative line (or box) at a twip rectangle.
QFrame* lineTw(QWidget* parent, QFrame::Shape shape, int left, int top, int width, int height);
// Courier New 12 pt, used by row and column labels.
QFont courierFont();

class ToolForm : public QWidget {
    Q_OBJECT
public:
    ToolForm(const QString& caption, int widthTw, int heightTw, bool black = true);

    // Shows the window modelessly, brings it to the front with the focus.
    void showForm();
    // Hides it, keeping its state (Done buttons).
    void hideForm();
    bool isShown() const;
    // The frame around the form inside the main window, or the form itself.
    QWidget* frame();

signals:
    void closedByUser();

protected:
    // The window system's own close command; by default the window is
    // destroyed and made afresh the next time it is referred to.
    void closeEvent(QCloseEvent* e) override;
    // Runs in showForm before the window appears.
    virtual void beforeShowing() {}
};

}  // namespace zendra
