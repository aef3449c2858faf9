// The Sample Editor's waveform for a 10-minute, 48 kHz stereo sound (16-bit
// and float, argument 0 and 1): its overview made (the sound read once) and
// the waveform view drawn at the editor's size, as when the editor first
// shows the sound; then a later repaint, which reads only the overview.
// Wall-clock time: the overview is shared out among threads.
#include <QApplication>
#include <QImage>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <memory>

#include "samples/waveform_overview.h"
#include "samples/waveform_view.h"

namespace zendra {
namespace {

constexpr int kRate = 48000;
constexpr int64_t kFrames = int64_t{kRate} * 600;
constexpr int kWidth = 624, kHeight = 240;  // the editor's waveform, pixels

void needApplication() {
    static int argc = 1;
    static char name[] = "zendra_bench";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

// A decaying 220 Hz tone over noise, the sides apart.
const SampleData& longSound(SampleFormat format) {
    static std::unique_ptr<SampleData> made[2];
    std::unique_ptr<SampleData>& s = made[format == SampleFormat::F32 ? 1 : 0];
    if (s) return *s;
    s = std::make_unique<SampleData>();
    s->format = format;
    s->channels = 2;
    s->rate = kRate;
    s->bytes.resize(static_cast<size_t>(kFrames) * static_cast<size_t>(s->blockAlign()));
    uint32_t noise = 1;
    for (int64_t f = 0; f < kFrames; ++f) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(f % (kRate * 4)) / kRate;
        const double v = 0.8 * std::exp(-t) * std::sin(2 * M_PI * 220 * t) + ((noise >> 16) / 65536.0 - 0.5) * 0.05;
        for (int c = 0; c < 2; ++c) {
            const double side = c == 0 ? v : -v;
            if (format == SampleFormat::F32) {
                const auto x = static_cast<float>(side);
                std::memcpy(&s->bytes[static_cast<size_t>((f * 2 + c) * 4)], &x, 4);
            } else {
                const auto x = static_cast<int16_t>(std::lround(side * 32767));
                std::memcpy(&s->bytes[static_cast<size_t>((f * 2 + c) * 2)], &x, 2);
            }
        }
    }
    return *s;
}

SampleFormat formatOf(const benchmark::State& state) {
    return state.range(0) == 0 ? SampleFormat::S16 : SampleFormat::F32;
}

// First showing: the overview made, the view given it and drawn.
void BM_EditorOpensLongSound(benchmark::State& state) {
    needApplication();
    const SampleData& sound = longSound(formatOf(state));
    QImage into(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        samples::OverviewCache cache;
        samples::WaveformView view;
        view.resize(kWidth, kHeight);
        view.setSound(&sound, cache.get(sound));
        view.setRange(kFrames / 10, kFrames / 2);
        view.setEnvelope(model::Envelope{50, 200, 0.5, 300, true});
        view.render(&into);
        benchmark::DoNotOptimize(into.constBits());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sound.bytes.size()));
}
BENCHMARK(BM_EditorOpensLongSound)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A repaint with the playhead moved: the cached picture, markers, envelope.
void BM_EditorRepaintsLongSound(benchmark::State& state) {
    needApplication();
    const SampleData& sound = longSound(formatOf(state));
    samples::OverviewCache cache;
    samples::WaveformView view;
    view.resize(kWidth, kHeight);
    view.setSound(&sound, cache.get(sound));
    view.setEnvelope(model::Envelope{50, 200, 0.5, 300, true});
    QImage into(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    int64_t at = 0;
    for (auto _ : state) {
        view.setPlayhead(at = (at + kRate) % kFrames);
        view.render(&into);
        benchmark::DoNotOptimize(into.constBits());
    }
}
BENCHMARK(BM_EditorRepaintsLongSound)->Arg(0)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace zendra
