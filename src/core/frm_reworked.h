// The main window: a frame holding every tool window, with the menu bar.
#pragma once
#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <functional>

class QMimeData;

namespace zendra {

class DXMoudule;

class FrmReworked : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmReworked(DXMoudule& shared);

    QMdiArea* mdi = nullptr;
    QMenu* File = nullptr;
    QMenu* Tools = nullptr;
    QAction* LoadSamples = nullptr;
    QAction* Properties = nullptr;
    QAction* Midi = nullptr;
    QAction* KeySettings = nullptr;
    QAction* OpenKit = nullptr;
    QAction* SaveKitAs = nullptr;
    QAction* ImportDrumKit = nullptr;
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
    // Which dropped files the window takes (one at a time).
    void acceptDrops(std::function<bool(const QString&)> opens) { opens_ = std::move(opens); }

signals:
    // The load has shown the window, the sound device running.
    void windowLoaded();
    // A file the window takes was dropped on it.
    void fileDropped(const QString& path);

protected:
    void closeEvent(QCloseEvent* e) override;
    // A file the window takes, dropped on it, is handed on (fileDropped).
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

    class DeviceWatch* deviceWatch = nullptr;

private:
    QString droppedFile(const QMimeData* mime) const;
    DXMoudule& shared_;
    std::function<bool(const QString&)> opens_;
    bool loaded_ = false;
};

}  // namespace zendra
