#include "mixing/frm_var.h"

#include <QSignalBlocker>
#include <cmath>

#include "core/dx_module.h"
#include "model/slot_units.h"

namespace zendra {

namespace {
// Columns (left, width) and rows, in twips.
constexpr int kNumX = 120, kNumW = 480;
constexpr int kPauseX = 720, kPauseW = 720;
constexpr int kLoopX = 1560, kLoopW = 720;
constexpr int kVolX = 2400, kVolW = 1800;
constexpr int kPanX = 4320, kPanW = 1800;
constexpr int kFreX = 6240, kFreW = 3000;
constexpr int kWidth = 9360;
constexpr int kHeadTop = 120, kHeadH = 360;
constexpr int kFirstRow = 660, kRowPitch = 360, kRowH = 300, kGroupGap = 180;
constexpr int kGroupPitch = 4 * kRowPitch + kGroupGap;
constexpr int kHeight = kFirstRow + 4 * kGroupPitch;

int rowTop(int i) { return kFirstRow + (i / 4) * kGroupPitch + (i % 4) * kRowPitch; }

// The pause button shows ">" while its sample is paused, "| |" otherwise.
const QString kPaused = QStringLiteral(">");
const QString kPlaying = QStringLiteral("| |");
}  // namespace

frmVar::frmVar(DXMoudule& shared) : ToolForm(QStringLiteral("Sample Properties"), kWidth, kHeight), shared_(shared) {
    auto heading = [this](const char* text, int left, int width) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setFont(courierFont());
        l->setAlignment(Qt::AlignCenter);
        placeTw(l, left, kHeadTop, width, kHeadH);
        return l;
    };
    lblSampleTitle = heading("#", kNumX, kNumW);
    lblPause = heading("Pause", kPauseX, kPauseW);
    lblloop = heading("Loop", kLoopX, kLoopW);
    lblVol = heading("Volume", kVolX, kVolW);
    lblPan = heading("Pan", kPanX, kPanW);
    lblFre = heading("Frequency", kFreX, kFreW);
    // One line under the headings, one between each two groups, one at the foot.
    for (int k = 0; k < 5; ++k) {
        Line[k] = new QFrame(this);
        Line[k]->setFrameShape(QFrame::HLine);
        Line[k]->setFrameShadow(QFrame::Plain);
        Line[k]->setLineWidth(1);
        const int top = k == 0 ? kFirstRow - kGroupGap / 2 - 15 : kFirstRow + k * kGroupPitch - kGroupGap / 2 - 15;
        placeTw(Line[k], kNumX, top, kWidth - 2 * kNumX, 30);
    }

    for (int i = 0; i < 16; ++i) {
        const auto idx = static_cast<int16_t>(i);
        const int top = rowTop(i);
        lblSampleNum[i] = new QLabel(QString::number(i + 1), this);
        lblSampleNum[i]->setFont(courierFont());
        lblSampleNum[i]->setAlignment(Qt::AlignCenter);
        placeTw(lblSampleNum[i], kNumX, top, kNumW, kRowH);
        cmbPause[i] = new QPushButton(kPlaying, this);
        placeTw(cmbPause[i], kPauseX + 60, top, kPauseW - 120, kRowH);
        chkLoop[i] = new QCheckBox(this);
        chkLoop[i]->setChecked(true);
        placeTw(chkLoop[i], kLoopX + kLoopW / 2 - 120, top, 300, kRowH);
        hscVol[i] = new QScrollBar(Qt::Horizontal, this);
        hscVol[i]->setRange(-5, 0);
        hscVol[i]->setSingleStep(1);
        hscVol[i]->setPageStep(1);
        placeTw(hscVol[i], kVolX + 60, top + 30, kVolW - 120, kRowH - 60);
        hscPan[i] = new QScrollBar(Qt::Horizontal, this);
        hscPan[i]->setRange(-3, 3);
        hscPan[i]->setSingleStep(1);
        hscPan[i]->setPageStep(1);
        placeTw(hscPan[i], kPanX + 60, top + 30, kPanW - 120, kRowH - 60);
        hscFre[i] = new QScrollBar(Qt::Horizontal, this);
        hscFre[i]->setRange(10, 10000);
        hscFre[i]->setSingleStep(100);
        hscFre[i]->setPageStep(1000);
        hscFre[i]->setValue(100);
        placeTw(hscFre[i], kFreX + 60, top + 30, kFreW - 120, kRowH - 60);
        // A dragged thumb acts on release; every other change at once.
        for (QScrollBar* bar : {hscVol[i], hscPan[i], hscFre[i]}) bar->setTracking(false);
        connect(chkLoop[i], &QCheckBox::toggled, this, [this, idx] { chkLoop_Click(idx); });
        connect(hscVol[i], &QScrollBar::valueChanged, this, [this, idx] { hscVol_Change(idx); });
        connect(hscPan[i], &QScrollBar::valueChanged, this, [this, idx] { hscPan_Change(idx); });
        connect(hscFre[i], &QScrollBar::valueChanged, this, [this, idx] { hscFre_Change(idx); });
        connect(cmbPause[i], &QPushButton::clicked, this, [this, idx] { cmbPause_Click(idx); });
    }
    model::SampleBank& bank = shared_.Bank();
    for (int i = 0; i < 16; ++i) showSlot(i);
    enableRows();
    connect(&bank, &model::SampleBank::changed, this, [this](int i, model::Field) { showSlot(i); });
    connect(&bank, &model::SampleBank::replaced, this, [this] {
        for (int i = 0; i < 16; ++i) showSlot(i);
        enableRows();
    });
    // Tab order: row by row, left to right.
    QWidget* prev = nullptr;
    for (int i = 0; i < 16; ++i) {
        for (QWidget* w : std::initializer_list<QWidget*>{cmbPause[i], chkLoop[i], hscVol[i], hscPan[i], hscFre[i]}) {
            if (prev) setTabOrder(prev, w);
            prev = w;
        }
    }
}

void frmVar::showSlot(int i) {
    const model::SampleSlot& s = shared_.Bank().slot(i);
    const QSignalBlocker b1(chkLoop[i]), b2(hscVol[i]), b3(hscPan[i]), b4(hscFre[i]);
    chkLoop[i]->setChecked(s.loop);
    hscVol[i]->setValue(model::volumeBarOf(s.gainDb));
    hscPan[i]->setValue(model::panBarOf(s.pan));
    hscFre[i]->setValue(model::frequencyBarOf(s.rateHz));
    cmbPause[i]->setText(s.paused ? kPaused : kPlaying);
    // The row's number and bars tell the sample's name.
    const model::SampleBank& bank = shared_.Bank();
    const QString name = bank.loaded(i) ? bank.displayName(i) : QString();
    for (QWidget* w : std::initializer_list<QWidget*>{lblSampleNum[i], hscVol[i], hscPan[i], hscFre[i]})
        w->setToolTip(name);
}

// The loaded samples' rows are enabled, the others not; before the first
// bank every row is.
void frmVar::enableRows() {
    const int n = shared_.Bank().count();
    if (n == 0) return;
    for (int i = 0; i < 16; ++i)
        for (QWidget* w :
             std::initializer_list<QWidget*>{lblSampleNum[i], cmbPause[i], chkLoop[i], hscVol[i], hscPan[i], hscFre[i]})
            w->setEnabled(i < n);
}

void frmVar::chkLoop_Click(int16_t Index) { shared_.Bank().setLoop(Index, chkLoop[Index]->isChecked()); }

void frmVar::hscVol_Change(int16_t Index) {
    shared_.Bank().setGainDb(Index, model::gainDbOfVolumeBar(hscVol[Index]->value()));
}

void frmVar::hscPan_Change(int16_t Index) { shared_.Bank().setPan(Index, model::panOfBar(hscPan[Index]->value())); }

void frmVar::hscFre_Change(int16_t Index) {
    shared_.Bank().setRateHz(Index, model::rateHzOfFrequencyBar(hscFre[Index]->value()));
}

void frmVar::cmbPause_Click(int16_t Index) {
    SamplePlayer* p = shared_.Player();
    if (p == nullptr || !p->has(Index)) return;  // no sample in this slot
    model::SampleBank& bank = shared_.Bank();
    if (!bank.slot(Index).paused) {
        p->stop(Index);
        bank.setPaused(Index, true);
    } else {
        p->resume(Index);
        bank.setPaused(Index, false);
    }
}

}  // namespace zendra
