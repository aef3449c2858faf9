// A sound's waveform, channel above channel, with the start and end markers
// of the part that plays, the envelope's shape over it and the playhead.
// The markers are dragged with the mouse: a press takes the nearer one.
// Threads: the window thread only.
#pragma once
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <cstdint>
#include <memory>

#include "model/sample_bank.h"
#include "samples/waveform_overview.h"

namespace zendra::samples {

class WaveformView : public QWidget {
    Q_OBJECT
public:
    explicit WaveformView(QWidget* parent = nullptr);

    // The sound to show and its overview (both null: none). The sound must
    // outlive its showing here.
    void setSound(const SampleData* sound, std::shared_ptr<const Overview> overview);
    // The part that plays, in frames (end -1: to the end).
    void setRange(int64_t first, int64_t end);
    void setEnvelope(const model::Envelope& e);
    // The frame playing now; -1: none.
    void setPlayhead(int64_t frame);

    int64_t frames() const { return overview_ ? overview_->frames() : 0; }
    // The part that plays, within the sound.
    int64_t first() const { return std::clamp<int64_t>(first_, 0, frames()); }
    int64_t end() const { return end_ < 0 || end_ > frames() ? frames() : std::max(end_, first()); }
    // The frame at a pixel column, and the column of a frame.
    int64_t frameAt(int x) const;
    int xOf(int64_t frame) const;

signals:
    // A marker was dragged: the part that plays as it now is (end -1: to the end).
    void rangeDragged(int64_t first, int64_t end);

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    enum class Marker { None, First, End };
    void drawWave();  // the waveform picture, at the widget's size
    void dragTo(int x);
    void paintEnvelope(class QPainter& p) const;

    const SampleData* sound_ = nullptr;
    std::shared_ptr<const Overview> overview_;
    QPixmap wave_;
    int64_t first_ = 0, end_ = -1;
    model::Envelope envelope_;
    int64_t playhead_ = -1;
    Marker dragging_ = Marker::None;
};

}  // namespace zendra::samples
