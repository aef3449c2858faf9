// The disclaimer the program opens with.
#pragma once
#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>

namespace zendra {

class frmSplash : public QWidget {
    Q_OBJECT
public:
    frmSplash();

    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;  // "I Agree"
    QPushButton* Command2 = nullptr;  // "I Disagree"

    // "I Agree": starts the main window through `startMain`, which answers
    // whether it started.
    void setStartMain(std::function<bool()> startMain) { startMain_ = std::move(startMain); }
    void Command1_Click();
    void Command2_Click();

signals:
    void firstPainted();  // the disclaimer is on screen

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::function<bool()> startMain_;
    bool painted_ = false;
};

}  // namespace zendra
