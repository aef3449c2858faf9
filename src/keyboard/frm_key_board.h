// Keyboard: one sample played at 31 pitches from the computer keyboard.
#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <array>
#include <cstdint>

#include "core/tool_form.h"

class QKeyEvent;

namespace zendra {

class DXMoudule;

class frmKeyBoard : public ToolForm {
    Q_OBJECT
public:
    explicit frmKeyBoard(DXMoudule& shared);

    std::array<QLabel*, 18> picKey{};       // white keys, left to right
    std::array<QLabel*, 13> picKeyBlack{};  // black keys, over the white ones
    std::array<QLabel*, 31> lblKey{};       // the computer key under each drawn key
    std::array<QLabel*, 8> lblPrev{};       // last eight typed characters, newest right
    QFrame* Shape1 = nullptr;
    QComboBox* ComSampleKeyBoard = nullptr;
    QCheckBox* chkplay = nullptr;
    QPushButton* cmbSet = nullptr;
    QPushButton* cmbDone = nullptr;

    // Note action for a key-down (auto-repeats too), by virtual-key code.
    void Form_KeyDown(int KeyCode, Qt::KeyboardModifiers Shift);
    // History of typed characters.
    void Form_KeyPress(const QString& KeyAscii);
    // Reads the chosen sample's frequency as the new base.
    void cmbSet_Click();
    void cmbDone_Click();

    // The white-key picture: 29 x 141 pixels, light-grey face, bevelled edge.
    static QPixmap whiteKeyPicture();

private:
    void previewKey(const QKeyEvent& e);
    DXMoudule& shared_;
};

}  // namespace zendra
