// The main window: a frame holding every tool window, with the menu bar.
#pragma once
#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>

namespace zendra {

class FrmReworked : public QMainWindow {
    Q_OBJECT
public:
    FrmReworked();

    QMdiArea* mdi = nullptr;
    QMenu* File = nullptr;
    QMenu* Tools = nullptr;
    QAction* LoadSamples = nullptr;
    QAction* Properties = nullptr;
    QAction* Midi = nullptr;
    QAction* KeySettings = nullptr;
    QAction* OpenKit = nullptr;
    QAction* SaveKitAs = nullptr;
    QAction* RememberSetUp = nullptr;  // ticked: the set-up is kept between runs
    QAction* Exit = nullptr;
    QAction* KeyBoard = nullptr;
    QAction* SamplePad = nullptr;
    QAction* samplekeypad = nullptr;
    QAction* SampleProperties = nullptr;
    QAction* FX = nullptr;
    QAction* CrossFader = nullptr;
    QAction* Record = nullptr;
    QAction* SampleEditor = nullptr;
    QAction* About = nullptr;

    // Starts the sound device and shows the Sample Dock. False when the
    // sound device could not start (the program has then been ended).
    bool Form_Load();
    bool loaded() const { return loaded_; }
    void Exit_Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    // A kit file dropped on the window opens.
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

    class DeviceWatch* deviceWatch = nullptr;

private:
    bool loaded_ = false;
};

}  // namespace zendra
