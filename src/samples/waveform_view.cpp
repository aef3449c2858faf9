#include "samples/waveform_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zendra::samples {

namespace {
const QColor kBackground(16, 16, 16);
const QColor kWave(240, 160, 30);
const QColor kAxis(70, 70, 70);
const QColor kOutside(0, 0, 0, 160);  // over the frames that do not play
const QColor kFirst(90, 220, 90);
const QColor kEnd(230, 80, 80);
const QColor kEnvelope(250, 230, 90);
const QColor kPlayhead(255, 255, 255);
constexpr int kHandle = 6;  // the markers' handles, pixels
}  // namespace

WaveformView::WaveformView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::SizeHorCursor);
}

void WaveformView::setSound(const SampleData* sound, std::shared_ptr<const Overview> overview) {
    sound_ = overview ? sound : nullptr;
    overview_ = sound_ ? std::move(overview) : nullptr;
    dragging_ = Marker::None;
    playhead_ = -1;
    drawWave();
    update();
}

void WaveformView::setRange(int64_t first, int64_t end) {
    if (first == first_ && end == end_) return;
    first_ = first;
    end_ = end;
    update();
}

void WaveformView::setEnvelope(const model::Envelope& e) {
    if (e == envelope_) return;
    envelope_ = e;
    update();
}

void WaveformView::setPlayhead(int64_t frame) {
    if (frame == playhead_) return;
    playhead_ = frame;
    update();
}

int64_t WaveformView::frameAt(int x) const {
    const int last = std::max(width() - 1, 1);
    x = std::clamp(x, 0, last);
    return static_cast<int64_t>(std::llround(static_cast<double>(x) * static_cast<double>(frames()) / last));
}

int WaveformView::xOf(int64_t frame) const {
    if (frames() == 0) return 0;
    const int last = std::max(width() - 1, 1);
    const double x = static_cast<double>(frame) * last / static_cast<double>(frames());
    return static_cast<int>(std::lround(std::clamp(x, 0.0, static_cast<double>(last))));
}

void WaveformView::resizeEvent(QResizeEvent*) { drawWave(); }

void WaveformView::drawWave() {
    const qreal dpr = devicePixelRatioF();
    wave_ = QPixmap(size() * dpr);
    wave_.setDevicePixelRatio(dpr);
    wave_.fill(kBackground);
    if (!overview_ || width() <= 0 || height() <= 0) return;
    QPainter p(&wave_);
    const int channels = overview_->channels();
    const double lane = static_cast<double>(height()) / channels;
    for (int c = 0; c < channels; ++c) {
        const double mid = lane * (c + 0.5), half = lane / 2 - 1;
        p.setPen(kAxis);
        p.drawLine(QPointF(0, mid), QPointF(width(), mid));
        p.setPen(kWave);
        const std::vector<Peak> cols = overview_->columns(*sound_, c, 0, overview_->frames(), width());
        for (int x = 0; x < static_cast<int>(cols.size()); ++x) {
            const Peak& k = cols[static_cast<size_t>(x)];
            p.drawLine(QPointF(x + 0.5, mid - k.max * half), QPointF(x + 0.5, mid - k.min * half));
        }
    }
}

void WaveformView::paintEnvelope(QPainter& p) const {
    if (!envelope_.shapes() || sound_ == nullptr || sound_->rate <= 0) return;
    const double perMs = sound_->rate / 1000.0;
    const double a = static_cast<double>(first()), z = static_cast<double>(end());
    const double top = 2, bottom = height() - 2;
    auto point = [&](double frame, double level) {
        const double x = std::clamp(frame, a, z) * (std::max(width() - 1, 1)) / static_cast<double>(frames());
        return QPointF(x, bottom - level * (bottom - top));
    };
    const double attackEnd = a + envelope_.attackMs * perMs;
    const double decayEnd = attackEnd + envelope_.decayMs * perMs;
    const bool releases = envelope_.releaseOnNoteOff && envelope_.releaseMs > 0;
    const double releaseStart = releases ? std::max(decayEnd, z - envelope_.releaseMs * perMs) : z;
    QPolygonF shape;
    shape << point(a, envelope_.attackMs > 0 ? 0.0 : 1.0) << point(attackEnd, 1.0) << point(decayEnd, envelope_.sustain)
          << point(releaseStart, envelope_.sustain);
    if (releases) shape << point(z, 0.0);
    p.setPen(QPen(kEnvelope, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(shape);
}

void WaveformView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, wave_);
    if (!overview_) return;
    const int xa = xOf(first()), xz = xOf(end());
    p.fillRect(QRect(0, 0, xa, height()), kOutside);
    p.fillRect(QRect(xz + 1, 0, width() - xz - 1, height()), kOutside);
    p.setRenderHint(QPainter::Antialiasing);
    paintEnvelope(p);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const auto& [x, colour, towards] : {std::tuple{xa, kFirst, 1}, std::tuple{xz, kEnd, -1}}) {
        p.setPen(QPen(colour, 2));
        p.drawLine(x, 0, x, height());
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPolygon(QPolygon({QPoint(x, 0), QPoint(x + towards * 2 * kHandle, 0), QPoint(x, 2 * kHandle)}));
    }
    if (playhead_ >= 0) {
        p.setPen(kPlayhead);
        const int x = xOf(playhead_);
        p.drawLine(x, 0, x, height());
    }
}

void WaveformView::mousePressEvent(QMouseEvent* e) {
    if (!overview_ || e->button() != Qt::LeftButton) return;
    const int x = e->position().toPoint().x();
    const int xa = xOf(first()), xz = xOf(end());
    const int da = std::abs(x - xa), dz = std::abs(x - xz);
    dragging_ = da < dz || (da == dz && x < xz) ? Marker::First : Marker::End;
    dragTo(x);
}

void WaveformView::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ != Marker::None) dragTo(e->position().toPoint().x());
}

void WaveformView::mouseReleaseEvent(QMouseEvent* e) {
    if (dragging_ == Marker::None || e->button() != Qt::LeftButton) return;
    dragTo(e->position().toPoint().x());
    dragging_ = Marker::None;
}

void WaveformView::dragTo(int x) {
    const int64_t f = frameAt(x);
    int64_t a = first(), z = end();
    if (dragging_ == Marker::First) a = std::clamp<int64_t>(f, 0, z - 1);
    if (dragging_ == Marker::End) z = std::clamp<int64_t>(f, a + 1, frames());
    const int64_t zStored = z >= frames() ? -1 : z;
    if (a == first_ && zStored == end_) return;
    setRange(a, zStored);
    emit rangeDragged(a, zStored);
}

}  // namespace zendra::samples
