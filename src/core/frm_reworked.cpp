#include "core/frm_reworked.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "core/device_watch.h"
#include "core/dialogs.h"
#include "core/dx_module.h"
#include "core/settings.h"

namespace zendra {

namespace {
const char* kStartFailure =
    "Unable to start DirectSound, this program requires Direct X 7. Check to see that your sound card is properly "
    "installed and that no other applications are curently using your sound card. If you don't have Direct X 7 goto";
const char* kDownload = "https://www.pulseaudio.org/";

// The caption without its keyboard mark, where an entry is named by what it
// shows (its icon text, its object name); accessible names drop the mark themselves.
void showCaptionAsItReads(QAction* a) {
    QString caption = a->text();
    caption.remove(QLatin1Char('&'));
    a->setIconText(caption);
    a->setObjectName(caption);
}

QIcon makeIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(20, 20, 20));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(1, 1, 30, 30, 6, 6);
    p.setBrush(QColor(240, 160, 30));
    for (int i = 0; i < 4; ++i) p.drawRect(5 + i * 6, 22 - i * 5, 4, 5 + i * 5);
    return QIcon(pm);
}
}  // namespace

FrmReworked::FrmReworked(DXMoudule& shared) : shared_(shared) {
    setWindowTitle(QStringLiteral("Zendra."));
    setWindowIcon(makeIcon());
    mdi = new QMdiArea(this);
    mdi->setBackground(QColor(128, 128, 128));
    // A tool window larger than the area keeps its size; the area scrolls to it.
    mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi);
    statusBar();  // there from the start, so the area does not shrink under the windows at the first message
    resize(1024, 768);

    // '&' marks the letter that reaches an entry from the keyboard: Alt with it
    // on the menu bar, the letter alone in an open menu.
    File = menuBar()->addMenu(QStringLiteral("&File"));
    File->setObjectName(QStringLiteral("File"));
    LoadSamples = File->addAction(QStringLiteral("&Load Samples"));
    Properties = File->addAction(QStringLiteral("&Properties"));
    Midi = File->addAction(QStringLiteral("&MIDI"));
    KeySettings = File->addAction(QStringLiteral("&Key Associations"));
    OpenKit = File->addAction(QStringLiteral("&Open Kit..."));
    SaveKitAs = File->addAction(QStringLiteral("&Save Kit As..."));
    ImportDrumKit = File->addAction(QStringLiteral("&Import Drum Kit..."));
    File->addSeparator();
    RememberSetUp = File->addAction(QStringLiteral("&Remember Set-up"));
    RememberSetUp->setCheckable(true);
    RememberSetUp->setChecked(true);
    Exit = File->addAction(QStringLiteral("E&xit"));
    Tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    Tools->setObjectName(QStringLiteral("Tools"));
    KeyBoard = Tools->addAction(QStringLiteral("&Key Board"));
    SamplePad = Tools->addAction(QStringLiteral("Sample &Pad"));
    samplekeypad = Tools->addAction(QStringLiteral("&Tap Pad"));
    SampleProperties = Tools->addAction(QStringLiteral("&Sample Properties"));
    FX = Tools->addAction(QStringLiteral("&F X"));
    CrossFader = Tools->addAction(QStringLiteral("&Cross Fader"));
    Record = Tools->addAction(QStringLiteral("&Record"));
    SampleEditor = Tools->addAction(QStringLiteral("Sample &Editor..."));
    About = menuBar()->addAction(QStringLiteral("&About"));
    for (QMenu* menu : {File, Tools})
        for (QAction* a : menu->actions()) showCaptionAsItReads(a);
    for (QAction* a : menuBar()->actions()) showCaptionAsItReads(a);
    // F10 opens the first menu, from which the arrow keys reach every entry.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, [this] {
        menuBar()->setActiveAction(File->menuAction());
        File->setActiveAction(File->actions().constFirst());  // as Alt+F leaves it
    });

    connect(Exit, &QAction::triggered, this, &FrmReworked::Exit_Click);
    setAcceptDrops(true);
}

QString FrmReworked::droppedFile(const QMimeData* mime) const {
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls[0].isLocalFile() || !opens_ || !opens_(urls[0].toLocalFile())) return QString();
    return urls[0].toLocalFile();
}

void FrmReworked::dragEnterEvent(QDragEnterEvent* e) {
    if (loaded_ && !droppedFile(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void FrmReworked::dropEvent(QDropEvent* e) {
    const QString file = droppedFile(e->mimeData());
    if (file.isEmpty()) return;
    e->acceptProposedAction();
    // Opened after the drop has finished, so its messages do not hold the drag.
    QTimer::singleShot(0, this, [this, file] { emit fileDropped(file); });
}

bool FrmReworked::Form_Load() {
    try {
        shared_.InitDirectSound(this);
    } catch (const SoundError&) {
        dialogs::msgBox(QString::fromUtf8(kStartFailure) + " " + kDownload, dialogs::Buttons::Ok,
                        dialogs::Icon::Exclamation, QStringLiteral("Oh o, Somethings wrong!"));
        dialogs::endProgram(1);
        return false;
    }
    loaded_ = true;
    RememberSetUp->setChecked(settings::keepingChosen());
    deviceWatch = new DeviceWatch(shared_, this);
    connect(deviceWatch, &DeviceWatch::statusChanged, this,
            [this](const QString& t) { statusBar()->showMessage(t, 10000); });
    show();
    emit windowLoaded();
    return true;
}

void FrmReworked::Exit_Click() {
    if (dialogs::msgBox(QStringLiteral("Are you sure you want to go?"), dialogs::Buttons::YesNo, dialogs::Icon::None,
                        QStringLiteral("Leaving So Soon?")) == dialogs::Answer::Yes) {
        dialogs::endProgram(0);
    }
}

void FrmReworked::closeEvent(QCloseEvent* e) {
    // Every child closes first; the Record window's own closing ends the program.
    mdi->closeAllSubWindows();
    e->accept();
    dialogs::endProgram(0);
}

}  // namespace zendra
