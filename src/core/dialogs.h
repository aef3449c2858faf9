// Modal message boxes, the text prompt, file dialogs and ending the program.
// Each goes through a replaceable hook so windows can be driven in tests.
#pragma once
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace zendra::dialogs {

enum class Icon { None, Exclamation, Critical, Information };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

struct MessageCall {
    QString text, title;
    Buttons buttons;
    Icon icon;
};
struct FileCall {
    QString title, filter, folder, suggested;
};

// A box given no title carries the program's title.
Answer msgBox(const QString& text, Buttons buttons = Buttons::Ok, Icon icon = Icon::None,
              const QString& title = QStringLiteral("Zendra"));
// OK returns the text typed; Cancel or closing returns nullopt.
std::optional<QString> inputBox(const QString& prompt, const QString& title);
// The chosen path, or nullopt when cancelled.
std::optional<QString> openFile(const FileCall& call);
std::optional<QString> saveFile(const FileCall& call);
// A message that does not wait for an answer.
void notice(const QString& text, const QString& title);
// Ends the program at once (tests replace it), after the end action.
void endProgram(int code = 0);
// Runs once when the real program ends (what is kept for the next run).
void setEndAction(std::function<void()> action);
// Run by endProgram after the end action, whatever it is (reports).
void setLastWords(std::function<void()> action);
// The window a box sits over when no window is in front.
void setMainWindow(QWidget* w);

struct Hooks {
    std::function<Answer(const MessageCall&)> msgBox;
    std::function<std::optional<QString>(const QString& prompt, const QString& title)> inputBox;
    std::function<std::optional<QString>(const FileCall&)> openFile;
    std::function<std::optional<QString>(const FileCall&)> saveFile;
    std::function<void(int)> endProgram;
    std::function<void(const QString& text, const QString& title)> notice;
};
// Installs hooks (unset members keep the real dialogs); nullptr restores all.
void setHooks(const Hooks* hooks);

}  // namespace zendra::dialogs
