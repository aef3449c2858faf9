// A full 20-second take (22050 Hz, 8-bit mono, 441000 bytes): copying it from
// the capture buffer into a playback buffer, and saving that copy as a WAV file.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "recording/take.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace {

using namespace zendra;

struct FullTake {
    FullTake() {
        backend = std::make_shared<OfflineBackend>();
        dx = std::make_shared<DirectX7>(backend);
        ds = dx->DirectSoundCreate("");
        device = dx->DirectSoundCaptureCreate("");
        format = *take::captureFormatFor(device->GetCaps().lFormats);
        desc = take::captureDescFor(format);
        capture = device->CreateCaptureBuffer(desc, format);
        capture->Start(0);
        std::vector<uint8_t> bytes(static_cast<size_t>(desc.lBufferBytes));
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(128 + 100 * ((i / 25) % 2 ? 1 : -1));
        backend->lastCapture()->push(bytes);  // fills the buffer; capture stops by itself
        folder = std::filesystem::temp_directory_path() / ("zendra-record-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
    }
    ~FullTake() { std::filesystem::remove_all(folder); }

    // Lets the mixer apply its commands and free the copies it retired, as
    // the device's own callbacks would.
    void collect() { ds->engine()->renderOffline(16); }

    std::shared_ptr<OfflineBackend> backend;
    std::shared_ptr<DirectX7> dx;
    std::shared_ptr<DirectSound> ds;
    std::shared_ptr<DirectSoundCapture> device;
    std::shared_ptr<DirectSoundCaptureBuffer> capture;
    WAVEFORMATEX format;
    DSCBUFFERDESC desc;
    std::vector<int16_t> transfer;
    std::filesystem::path folder;
};

void BM_CopyFullTake(benchmark::State& state) {
    FullTake t;
    std::shared_ptr<DirectSoundBuffer> copy;
    for (auto _ : state) {
        copy = take::copyToPlayBuffer(*t.capture, *t.ds, t.format, t.transfer);  // the previous copy is released
        benchmark::DoNotOptimize(copy.get());
        t.collect();
    }
    if (!copy || copy->bufferBytes() != t.desc.lBufferBytes) state.SkipWithError("the copy is not the full take");
    state.SetBytesProcessed(state.iterations() * t.desc.lBufferBytes);
}
BENCHMARK(BM_CopyFullTake)->Unit(benchmark::kMicrosecond);

void BM_SaveFullTake(benchmark::State& state) {
    FullTake t;
    auto copy = take::copyToPlayBuffer(*t.capture, *t.ds, t.format, t.transfer);
    const std::string path = (t.folder / "take.wav").string();
    for (auto _ : state) copy->SaveToFile(path);
    if (std::filesystem::file_size(path) < static_cast<uintmax_t>(t.desc.lBufferBytes))
        state.SkipWithError("the saved file is short");
    state.SetBytesProcessed(state.iterations() * t.desc.lBufferBytes);
}
BENCHMARK(BM_SaveFullTake)->Unit(benchmark::kMillisecond);

// What one Save to File click costs: a fresh copy, then the file.
void BM_CopyAndSaveFullTake(benchmark::State& state) {
    FullTake t;
    const std::string path = (t.folder / "take.wav").string();
    for (auto _ : state) {
        auto copy = take::copyToPlayBuffer(*t.capture, *t.ds, t.format, t.transfer);
        copy->SaveToFile(path);
        t.collect();
    }
    state.SetBytesProcessed(state.iterations() * t.desc.lBufferBytes);
}
BENCHMARK(BM_CopyAndSaveFullTake)->Unit(benchmark::kMillisecond);

}  // namespace
