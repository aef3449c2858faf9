#include "core/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace zendra::dialogs {

namespace {
Hooks g_hooks;
QPointer<QWidget> g_mainWindow;

// Boxes sit over the window in front, else over the main window (with no
// window manager a box without a parent lands at the screen's corner).
QWidget* dialogParent() {
    if (QWidget* w = QApplication::activeWindow()) return w;
    return g_mainWindow.data();
}
// The folder with the suggested name in the file-name field.
QString startPath(const FileCall& call) {
    if (call.suggested.isEmpty()) return call.folder;
    return call.folder.isEmpty() ? call.suggested : call.folder + "/" + call.suggested;
}
}  // namespace

void setHooks(const Hooks* hooks) { g_hooks = hooks ? *hooks : Hooks{}; }

void setMainWindow(QWidget* w) { g_mainWindow = w; }

Answer msgBox(const QString& text, Buttons buttons, Icon icon, const QString& title) {
    if (g_hooks.msgBox) return g_hooks.msgBox({text, title, buttons, icon});
    QMessageBox box(dialogParent());
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

std::optional<QString> inputBox(const QString& prompt, const QString& title) {
    if (g_hooks.inputBox) return g_hooks.inputBox(prompt, title);
    bool ok = false;
    const QString text = QInputDialog::getText(dialogParent(), title, prompt, QLineEdit::Normal, QString(), &ok);
    if (!ok) return std::nullopt;
    return text;
}

std::optional<QString> openFile(const FileCall& call) {
    if (g_hooks.openFile) return g_hooks.openFile(call);
    const QString path = QFileDialog::getOpenFileName(dialogParent(), call.title, startPath(call), call.filter, nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

std::optional<QString> saveFile(const FileCall& call) {
    if (g_hooks.saveFile) return g_hooks.saveFile(call);
    // The dialog asks before replacing an existing file, so a slip cannot
    // overwrite a take.
    const QString path = QFileDialog::getSaveFileName(dialogParent(), call.title, startPath(call), call.filter, nullptr,
                                                      QFileDialog::DontUseNativeDialog);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

void notice(const QString& text, const QString& title) {
    if (g_hooks.notice) {
        g_hooks.notice(text, title);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, dialogParent());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

namespace {
std::function<void()>& endAction() {
    static std::function<void()> action;
    return action;
}
std::function<void()>& lastWords() {
    static std::function<void()> action;
    return action;
}
}  // namespace

void setEndAction(std::function<void()> action) { endAction() = std::move(action); }

void setLastWords(std::function<void()> action) { lastWords() = std::move(action); }

void endProgram(int code) {
    if (g_hooks.endProgram) {
        g_hooks.endProgram(code);
        return;
    }
    if (auto action = std::exchange(endAction(), nullptr)) action();
    if (auto action = std::exchange(lastWords(), nullptr)) action();
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace zendra::dialogs
