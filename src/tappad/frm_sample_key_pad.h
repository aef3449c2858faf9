// Tap Pad: every typed character plays the samples bound to it.
#pragma once
#include <QChar>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "core/tool_form.h"

namespace zendra {

class DXMoudule;

class frmSampleKeyPad : public ToolForm {
    Q_OBJECT
public:
    explicit frmSampleKeyPad(DXMoudule& shared);

    QLabel* Label1 = nullptr;
    // The last eight typed characters, newest at 7.
    std::array<QLabel*, 8> lblPrev{};
    QFrame* Shape1 = nullptr;  // the rectangle around the history
    std::array<QFrame*, 2> Line{};
    QPushButton* cmbDone = nullptr;

    // One typed character: enters the history, then plays, in slot order,
    // every loaded sample bound to it.
    void Form_KeyPress(QChar KeyAscii);
    void cmbDone_Click();

private:
    DXMoudule& shared_;
};

}  // namespace zendra
