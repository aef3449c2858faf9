// About: the program's story, contacts and thanks.
#pragma once
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>

#include "core/tool_form.h"

namespace zendra {

class frmAbout : public ToolForm {
    Q_OBJECT
public:
    frmAbout();

    QLabel* picture = nullptr;       // 320 x 132 background picture
    QLabel* Label1 = nullptr;        // heading
    std::array<QLabel*, 7> notes{};  // Label2 .. Label8
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QPushButton* cmbDone = nullptr;
};

}  // namespace zendra
