#include "samples/frm_load_samples.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/dialogs.h"
#include "core/dx_module.h"
#include "model/slot_units.h"
#include "sound/sound_file.h"

namespace zendra {

namespace {
const QString kPresetName = QStringLiteral("*.Wav");

QString& lastFolder() {
    static QString folder;
    return folder;
}

// Sets a flag for the lifetime of a scope.
class Busy {
public:
    explicit Busy(bool& flag) : flag_(flag) {
        flag_ = true;
        QApplication::setOverrideCursor(Qt::BusyCursor);
    }
    ~Busy() {
        QApplication::restoreOverrideCursor();
        flag_ = false;
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& flag_;
};
}  // namespace

namespace {
// The twip layout is drawn for a small dialog font.
QFont dockFont(QFont base) {
    base.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), base.family()});
    base.setPointSize(8);
    return base;
}
}  // namespace

namespace {
const QString kBetween = QStringLiteral(" \u2014 ");
const QString kDots = QStringLiteral("\u2026");

// The folder in at most `width` pixels: while it is too wide, folders are
// dropped from before the last one ("/home/me/…/drums"), then it is cut in
// the middle.
QString fitFolder(const QString& folder, const QFontMetrics& fm, int width) {
    if (fm.horizontalAdvance(folder) <= width) return folder;
    QStringList parts = folder.split(QLatin1Char('/'));
    while (parts.size() > 2) {
        parts.removeAt(parts.size() - 2);
        QStringList shortened = parts;
        shortened.insert(parts.size() - 1, kDots);
        const QString s = shortened.join(QLatin1Char('/'));
        if (fm.horizontalAdvance(s) <= width) return s;
    }
    return fm.elidedText(folder, Qt::ElideMiddle, width);
}
}  // namespace

QString SlotFileLabel::shown() const {
    if (text().isEmpty()) return QString();
    const QFileInfo file(text());
    const QString name = file.fileName();
    const QString folder = file.path();
    const QFontMetrics fm = fontMetrics();
    const int width = contentsRect().width();
    const int room = width - fm.horizontalAdvance(name + kBetween);
    if (room < fm.horizontalAdvance(kDots + QStringLiteral("/") + kDots))
        return fm.elidedText(name, Qt::ElideMiddle, width);  // no room for the folder
    return name + kBetween + fitFolder(folder, fm, room);
}

bool SlotFileLabel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) setToolTip(text());
    return QLabel::event(e);
}

void SlotFileLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    drawFrame(&p);
    style()->drawItemText(&p, contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, palette(), isEnabled(), shown(),
                          foregroundRole());
}

void frmLoadSamples::warmUpFont() {
    QImage scratch(64, 16, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&scratch);
    p.setFont(dockFont(QApplication::font()));
    p.drawText(0, 12, QStringLiteral("# Of Samples : 0123456789 Done Sample /.-_abcdefghijklmnopqrstuvwxyz"));
}

frmLoadSamples::frmLoadSamples(DXMoudule& shared)
    : ToolForm(QStringLiteral("Sample Dock"), 7425, 3600),
      shared_(shared) {
    setFont(dockFont(font()));
    lblNumber = new QLabel(QStringLiteral("# Of Samples :"), this);
    placeTw(lblNumber, 120, 240, 1095, 255);
    lblAmount = new QLabel(QStringLiteral("4"), this);
    placeTw(lblAmount, 1320, 240, 255, 255);
    cmbDone = new QPushButton(QStringLiteral("Done"), this);
    placeTw(cmbDone, 6480, 120, 855, 375);
    hscrollNumber = new QScrollBar(Qt::Horizontal, this);
    hscrollNumber->setRange(0, 3);
    hscrollNumber->setSingleStep(1);
    hscrollNumber->setPageStep(1);
    placeTw(hscrollNumber, 480, 600, 6855, 255);
    vscrollSample = new QScrollBar(Qt::Vertical, this);
    vscrollSample->setRange(0, 0);
    vscrollSample->setSingleStep(1);
    vscrollSample->setPageStep(1);
    placeTw(vscrollSample, 120, 960, 255, 2535);
    for (int k = 0; k < 4; ++k) {
        frm[k] = new QFrame(this);
        placeTw(frm[k], 480, 840, 6855, 2655);
        frm[k]->setVisible(k == 0);
    }
    for (int i = 0; i < 16; ++i) {
        const int r = i % 4;
        cmbSelect[i] = new QPushButton(QStringLiteral("Sample %1").arg(i + 1), frm[i / 4]);
        placeTw(cmbSelect[i], 240, 240 + 600 * r, 855, 495);
        lblSample[i] = new SlotFileLabel(frm[i / 4]);
        placeTw(lblSample[i], 1200, 360 + 600 * r, 5535, 255);
        const auto idx = static_cast<int16_t>(i);
        connect(cmbSelect[i], &QPushButton::clicked, this, [this, idx] { cmbSelect_Click(idx); });
    }
    connect(hscrollNumber, &QScrollBar::valueChanged, this, &frmLoadSamples::hscrollNumber_Change);
    connect(vscrollSample, &QScrollBar::valueChanged, this, &frmLoadSamples::vscrollSample_Change);
    connect(cmbDone, &QPushButton::clicked, this, &frmLoadSamples::cmbDone_Click);
    setAcceptDrops(true);
}

void frmLoadSamples::hscrollNumber_Change() {
    const int v = hscrollNumber->value();
    if (v < 0 || v > 3) return;
    lblAmount->setText(QString::number(4 * (v + 1)));
    vscrollSample->setMaximum(v);  // a page above v falls to v
}

void frmLoadSamples::vscrollSample_Change() {
    for (QFrame* page : frm) page->hide();
    frm[vscrollSample->value()]->show();
}

QString frmLoadSamples::demoKitFolder() {
    const QByteArray env = qgetenv("ZENDRA_DEMO_KIT");
    const QString dir =
        env.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/demo-kit") : QFile::decodeName(env);
    return QDir(dir).exists() ? QDir(dir).absolutePath() : QString();
}

QString frmLoadSamples::dialogFolder() { return lastFolder().isEmpty() ? demoKitFolder() : lastFolder(); }

void frmLoadSamples::forgetLastFolder() { lastFolder().clear(); }

void frmLoadSamples::setLastFolder(const QString& folder) { lastFolder() = folder; }

bool frmLoadSamples::isSoundFileName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    for (const std::string& e : soundFileExtensions())
        if (suffix == QLatin1String(e.c_str())) return true;
    return false;
}

namespace {

// The sound files among the dropped ones, in their order.
QStringList droppedSounds(const QMimeData* mime) {
    QStringList files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && frmLoadSamples::isSoundFileName(url.toLocalFile())) files << url.toLocalFile();
    return files;
}

// The open dialog's filters: WAV first, as the slot buttons preset it, then every sound file.
QString dialogFilters() {
    QStringList patterns;
    for (const std::string& e : soundFileExtensions()) patterns << QStringLiteral("*.") + QLatin1String(e.c_str());
    return QStringLiteral("Wave Files (*.Wav);;Sound Files (%1)").arg(patterns.join(QLatin1Char(' ')));
}
}  // namespace

void frmLoadSamples::dragEnterEvent(QDragEnterEvent* e) {
    if (!loading_ && !droppedSounds(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void frmLoadSamples::dropEvent(QDropEvent* e) {
    const QStringList files = droppedSounds(e->mimeData());
    if (loading_ || files.isEmpty()) return;
    // The slot whose row (with half the gap around it) is under the drop.
    const int page = vscrollSample->value();
    const int y = e->position().toPoint().y() - frm[page]->y();
    int first = page * 4;
    for (int i = page * 4 + 1; i < page * 4 + 4; ++i) {
        if (y >= (cmbSelect[i - 1]->geometry().bottom() + cmbSelect[i]->geometry().top()) / 2) first = i;
    }
    int last = first - 1;
    for (const QString& f : files) {
        if (last == 15) break;
        lblSample[++last]->setText(f);
    }
    if (hscrollNumber->value() < last / 4) hscrollNumber->setValue(last / 4);
    lastFolder() = QFileInfo(files.back()).absolutePath();
    emit folderChosen();
    e->acceptProposedAction();
}

void frmLoadSamples::cmbSelect_Click(int16_t Index) {
    // A cancelled dialog hands back the preset name, which empties the slot.
    const auto chosen = dialogs::openFile({QStringLiteral("Open"), dialogFilters(), dialogFolder(), kPresetName});
    lblSample[Index]->setText(chosen ? *chosen : kPresetName);
    if (lblSample[Index]->text() == kPresetName) lblSample[Index]->setText(QString());
    if (chosen) {
        lastFolder() = QFileInfo(*chosen).absolutePath();
        emit folderChosen();
    }
}

void frmLoadSamples::closeEvent(QCloseEvent* e) {
    if (loading_) {
        e->ignore();  // the load under way still needs the dock
        return;
    }
    ToolForm::closeEvent(e);
}

void frmLoadSamples::reportFailures(const QStringList& failures, const QString& kit) {
    QString text = failures.join(QLatin1Char('\n')) +
                   QStringLiteral("\n\nNothing was changed: the samples loaded before are still in place.");
    if (!kit.isEmpty()) {
        text = QStringLiteral("The kit \"%1\" cannot be opened: %2 of its samples cannot be loaded.\n\n")
                   .arg(kit)
                   .arg(failures.size()) +
               text +
               QStringLiteral(
                   " The Sample Dock shows the kit's files; choose others for those slots there and press Done.");
    }
    dialogs::msgBox(text, dialogs::Buttons::Ok, dialogs::Icon::Exclamation);
}

std::optional<std::vector<std::shared_ptr<SampleData>>> frmLoadSamples::decodeFiles(const std::vector<QString>& files,
                                                                                    QStringList& failures) {
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(QFile::encodeName(f).toStdString());
    QElapsedTimer clock;
    clock.start();
    BankDecoder decoder(std::move(paths), 0, decodeHook);
    // Short loads finish here; longer ones keep the program responsive.
    if (!decoder.waitFor(std::chrono::milliseconds(20))) {
        QEventLoop loop;
        QTimer tick;
        tick.setInterval(15);
        auto poll = [&] {
            if (decoder.finished()) {
                loop.quit();
                return;
            }
            if (progress_ && progress_->wasCanceled()) decoder.cancel();
            if (!progress_ && clock.elapsed() >= progressDelayMs) {
                progress_ = new QProgressDialog(QStringLiteral("Loading the samples..."), QStringLiteral("Cancel"), 0,
                                                static_cast<int>(decoder.total()), this);
                progress_->setWindowTitle(QStringLiteral("Sample Dock"));
                progress_->setWindowModality(Qt::NonModal);
                progress_->setMinimumDuration(0);
                progress_->setAutoClose(false);
                progress_->setAutoReset(false);
                connect(progress_, &QProgressDialog::canceled, &loop, [&decoder] {
                    if (!decoder.finished()) decoder.cancel();
                });
                progress_->show();
            }
            if (progress_) {
                const int done = static_cast<int>(decoder.completed());
                progress_->setValue(done);
                progress_->setLabelText(
                    QStringLiteral("Loading the samples: %1 of %2 read.").arg(done).arg(decoder.total()));
            }
        };
        connect(&tick, &QTimer::timeout, &loop, poll);
        tick.start();
        poll();
        if (!decoder.finished()) loop.exec();
        delete progress_.data();
    }
    decoder.wait();
    if (decoder.cancelled()) return std::nullopt;
    for (const BankDecoder::Failure& f : decoder.failures())
        failures << QFile::decodeName(QByteArray::fromStdString(f.message));
    if (!failures.isEmpty()) return std::nullopt;
    return decoder.take();
}

void frmLoadSamples::cmbDone_Click() { loadBank(); }

std::optional<std::vector<std::shared_ptr<SampleData>>> frmLoadSamples::decode(const std::vector<QString>& files,
                                                                               QStringList& failures) {
    if (loading_) return std::nullopt;
    Busy busy(loading_);
    return decodeFiles(files, failures);
}

void frmLoadSamples::setLoadedRates(model::SampleBank::Signal signal) {
    model::SampleBank& bank = shared_.Bank();
    for (int i = 0; i < bank.count(); ++i) {
        const int rate = shared_.Player()->rateHz(i);
        const int bar = model::frequencyBarUnclamped(rate);
        bank.setRateHz(i, model::frequencyBarShows(bar) ? model::rateHzOfFrequencyBar(bar) : rate, signal);
    }
}

void frmLoadSamples::showFiles(const QStringList& files) {
    const auto n = std::min<qsizetype>(files.size(), 16);
    hscrollNumber->setValue(n == 0 ? 0 : static_cast<int>((n - 1) / 4));
    for (int i = 0; i < 16; ++i) lblSample[i]->setText(i < n ? files[i] : QString());
}

bool frmLoadSamples::loadBank(const QString& kit) {
    if (loading_) return false;  // a load is under way already
    if (lblSample[0]->text().isEmpty()) {
        dialogs::msgBox(
            QStringLiteral("No samples were selected to be loaded. They must be placed from the first position on."),
            dialogs::Buttons::Ok, dialogs::Icon::None, QStringLiteral("Try Again..."));
        return false;
    }
    // The filled slots from the first up to the first empty one.
    const int n = lblAmount->text().toInt();
    std::vector<QString> files;
    for (int i = 0; i < n && !lblSample[i]->text().isEmpty(); ++i) files.push_back(lblSample[i]->text());

    // The new bank replaces the old one only once every file is read and
    // every buffer made.
    std::optional<std::vector<std::shared_ptr<SampleData>>> decoded;
    QStringList failures;
    {
        Busy busy(loading_);
        decoded = decodeFiles(files, failures);
    }
    if (!failures.isEmpty()) reportFailures(failures, kit);  // with the normal cursor back
    if (!decoded) return false;
    try {
        shared_.LoadSampleBuffers(QStringList(files.begin(), files.end()), std::move(*decoded));
    } catch (const SoundError& e) {
        reportFailures({QString::fromStdString(e.what())}, kit);
        return false;
    }

    // Each slot's frequency as its bar shows the new sound's rate: a change
    // reaches the sound (so 11025 Hz plays at 11020 Hz), the same bar leaves
    // the sound at its own rate; a rate the bar cannot show (e.g. 192 kHz)
    // stays the sound's own until the bar is moved.
    setLoadedRates();
    hideForm();
    emit bankLoaded();
    return true;
}

}  // namespace zendra
