// The disclaimer the program opens with.
#pragma once
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace zendra {

class frmSplash : public QWidget {
    Q_OBJECT
public:
    frmSplash();

    QLabel* Label2 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;  // "I Agree"
    QPushButton* Command2 = nullptr;  // "I Disagree"

    void Command1_Click();
    void Command2_Click();

signals:
    void firstPainted();  // the disclaimer is on screen

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    bool painted_ = false;
};

}  // namespace zendra
