// Sample Dock: choose the sample files and build the bank.
#pragma once
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/tool_form.h"
#include "model/sample_bank.h"
#include "sound/bank_decoder.h"

namespace zendra {

class DXMoudule;

// A slot's row: its text is the file's whole path, shown as the file's name
// first, then its folder shortened in the middle to fit; the whole path is
// the tooltip.
class SlotFileLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    // What the row shows.
    QString shown() const;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

class frmLoadSamples : public ToolForm {
    Q_OBJECT
public:
    explicit frmLoadSamples(DXMoudule& shared);

    QLabel* lblNumber = nullptr;
    QLabel* lblAmount = nullptr;
    QPushButton* cmbDone = nullptr;
    QScrollBar* hscrollNumber = nullptr;
    QScrollBar* vscrollSample = nullptr;
    std::array<QFrame*, 4> frm{};
    std::array<QPushButton*, 16> cmbSelect{};
    // Each slot's file (the text is the path; see SlotFileLabel).
    std::array<QLabel*, 16> lblSample{};

    void hscrollNumber_Change();
    void vscrollSample_Change();
    void cmbSelect_Click(int16_t Index);
    // Builds the bank: loadBank() with no kit.
    void cmbDone_Click();
    // Builds the bank from the slots. The files are decoded on worker threads
    // while events go on being handled; it returns when the bank is built
    // (true), or the load failed or was cancelled (then the previous bank is
    // untouched). One message names every file that failed, each with its
    // reason, headed by `kit` when the slots hold that kit's files.
    bool loadBank(const QString& kit = QString());
    // Decodes files as Done does (progress after a while, Cancel): nullopt
    // when any failed (each named in `failures`), the user cancelled or a load
    // is under way. Changes nothing.
    std::optional<std::vector<std::shared_ptr<SampleData>>> decode(const std::vector<QString>& files,
                                                                   QStringList& failures);
    // Each loaded slot's frequency as Done sets it for the new sounds.
    void setLoadedRates(model::SampleBank::Signal signal = model::SampleBank::Signal::IfChanged);
    // Shows the files in the slots from the first on, the rest empty.
    void showFiles(const QStringList& files);

    // Whether a Done is decoding files right now.
    bool isLoading() const { return loading_; }
    // The progress dialog while it is shown, else null.

    // The folder the file dialog opens in: the last one a file was chosen
    // from during this run, at first the demo kit.
    // Loads the dock's font and its glyphs ahead of the first showing.
    static void warmUpFont();
    static QString dialogFolder();
    // The demo kit: $ZENDRA_DEMO_KIT, else "demo-kit" next to the executable.
    static QString demoKitFolder();
    // Whether a file's name says it is a sound file the dock loads.
    static bool isSoundFileName(const QString& path);
    static void forgetLastFolder();  // tests
    static void setLastFolder(const QString& folder);

    // A load still running after this many milliseconds shows its progress.
    static inline int progressDelayMs = 250;
    // Runs on a worker thread before each file is decoded (tests).
    static inline BankDecoder::Hook decodeHook;

signals:
    // A Done has built the new bank (after its own steps).
    void bankLoaded();
    // A file was chosen or dropped: dialogFolder() may have changed.
    void folderChosen();

protected:
    void closeEvent(QCloseEvent* e) override;
    // Sound files dropped on the dock fill the slots from the one under the drop.
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // Decodes the files; nullopt when any failed (their messages then go to
    // `failures`, for the caller to show) or the user cancelled.
    std::optional<std::vector<std::shared_ptr<SampleData>>> decodeFiles(const std::vector<QString>& files,
                                                                        QStringList& failures);
    void reportFailures(const QStringList& failures, const QString& kit);

    bool loading_ = false;
    QPointer<QProgressDialog> progress_;
    DXMoudule& shared_;
};

}  // namespace zendra
