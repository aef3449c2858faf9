// Loading a full bank: sixteen 30 s, 44.1 kHz stereo files, as 16-bit WAV,
// FLAC and MP3 (argument 0, 1, 2). The bank path (files decoded on worker
// threads, then one sound buffer per file) against decoding the same files
// with libsndfile one after the other, and the resident memory the loaded
// bank holds against its raw sample bytes.
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <sndfile.h>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <unistd.h>
#include <vector>

#include "sound/bank_decoder.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/sound_file.h"

namespace zendra {
namespace {

constexpr int kFiles = 16;
constexpr int kRate = 44100;
constexpr int kSeconds = 30;
constexpr size_t kFrames = static_cast<size_t>(kRate) * kSeconds;
constexpr size_t kRawBytes = kFrames * 2 * 2;  // per file, at 16 bits

enum Format { kWav, kFlac, kMp3 };
const char* const kExtension[] = {"wav", "flac", "mp3"};
const int kSndfileFormat[] = {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16,
                              SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III};

char g_dir[4096];

void removeFiles() {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

// The files, written once per run into $ZENDRA_BENCH_DIR, else /tmp.
const std::vector<std::string>& bankFiles(Format format) {
    static std::vector<std::string> paths[3];
    if (!paths[format].empty()) return paths[format];
    if (g_dir[0] == 0) {
        const char* base = std::getenv("ZENDRA_BENCH_DIR");
        const std::string dir =
            std::string(base && *base ? base : "/tmp") + "/zendra-load-bench-" + std::to_string(::getpid());
        std::snprintf(g_dir, sizeof g_dir, "%s", dir.c_str());
        std::filesystem::create_directories(dir);
        std::atexit(removeFiles);
    }
    std::vector<short> s(kFrames * 2);
    for (int f = 0; f < kFiles; ++f) {
        const double hz = 110.0 * (f + 1);
        for (size_t i = 0; i < kFrames; ++i) {
            s[2 * i] = static_cast<short>(std::lround(12000 * std::sin(2 * M_PI * hz * i / kRate)));
            s[2 * i + 1] = static_cast<short>(-s[2 * i]);
        }
        paths[format].push_back(std::string(g_dir) + "/sample-" + std::to_string(f + 1) + "." + kExtension[format]);
        SF_INFO info{0, kRate, 2, kSndfileFormat[format], 0, 0};
        SNDFILE* sf = sf_open(paths[format].back().c_str(), SFM_WRITE, &info);
        if (sf == nullptr) throw std::runtime_error(sf_strerror(nullptr));
        sf_writef_short(sf, s.data(), static_cast<sf_count_t>(kFrames));
        sf_close(sf);
    }
    return paths[format];
}

std::shared_ptr<DirectSound> offlineDevice() {
    static DirectX7 root(std::make_shared<OfflineBackend>());
    static std::shared_ptr<DirectSound> ds = root.DirectSoundCreate("");
    return ds;
}

// What Done does with the files: decode in parallel, then make the buffers.
std::vector<std::shared_ptr<DirectSoundBuffer>> loadBank(DirectSound& ds, Format format) {
    BankDecoder decoder(bankFiles(format));
    decoder.wait();
    if (const auto failed = decoder.failures(); !failed.empty()) throw std::runtime_error(failed[0].message);
    std::vector<std::shared_ptr<DirectSoundBuffer>> bank;
    for (auto& data : decoder.take()) {
        DSBUFFERDESC desc{};
        desc.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY;
        WAVEFORMATEX wave{};
        bank.push_back(ds.CreateSoundBufferFromData(std::move(data), desc, wave));
    }
    return bank;
}

// The baseline: libsndfile alone, one file after the other, into the sample
// type the bank keeps (16-bit, or float for MP3).
template <typename T>
std::vector<std::vector<T>> readSequentially(Format format) {
    std::vector<std::vector<T>> out;
    for (const std::string& path : bankFiles(format)) {
        SF_INFO info{};
        SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
        if (sf == nullptr) throw std::runtime_error(sf_strerror(nullptr));
        std::vector<T> samples(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
        if constexpr (std::is_same_v<T, float>)
            sf_readf_float(sf, samples.data(), info.frames);
        else
            sf_readf_short(sf, samples.data(), info.frames);
        sf_close(sf);
        out.push_back(std::move(samples));
    }
    return out;
}

size_t readSequentially(Format format) {
    return format == kMp3 ? readSequentially<float>(format).size() : readSequentially<short>(format).size();
}

double residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

void BM_BankLoadParallel(benchmark::State& state) {
    const auto format = static_cast<Format>(state.range(0));
    bankFiles(format);
    auto ds = offlineDevice();
    for (auto _ : state) {
        auto bank = loadBank(*ds, format);
        benchmark::DoNotOptimize(bank.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFiles * static_cast<int64_t>(kRawBytes));
    state.counters["threads"] = std::max(1u, std::thread::hardware_concurrency());
}
BENCHMARK(BM_BankLoadParallel)->Unit(benchmark::kMillisecond)->UseRealTime()->Arg(kWav);

void BM_SndfileSequential(benchmark::State& state) {
    const auto format = static_cast<Format>(state.range(0));
    bankFiles(format);
    for (auto _ : state) benchmark::DoNotOptimize(readSequentially(format));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFiles * static_cast<int64_t>(kRawBytes));
}
BENCHMARK(BM_SndfileSequential)->Unit(benchmark::kMillisecond)->UseRealTime()->Arg(kWav);

// Both in each iteration, alternating, so that the ratio sees the same load.
void BM_BankLoadOverSndfile(benchmark::State& state) {
    const auto format = static_cast<Format>(state.range(0));
    bankFiles(format);
    auto ds = offlineDevice();
    double bankSeconds = 0, sndfileSeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        {
            auto bank = loadBank(*ds, format);
            benchmark::DoNotOptimize(bank.data());
        }
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(readSequentially(format));
        const auto t2 = std::chrono::steady_clock::now();
        bankSeconds += std::chrono::duration<double>(t1 - t0).count();
        sndfileSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["bank_ms"] = 1000 * bankSeconds / static_cast<double>(state.iterations());
    state.counters["sndfile_ms"] = 1000 * sndfileSeconds / static_cast<double>(state.iterations());
    state.counters["bank/sndfile"] = bankSeconds / sndfileSeconds;
}
BENCHMARK(BM_BankLoadOverSndfile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10)
    ->Arg(kWav)
    ->Arg(kFlac)
    ->Arg(kMp3);

// Resident memory held by a loaded bank against the raw sample bytes.
void BM_BankResidentMemory(benchmark::State& state) {
    bankFiles(kWav);
    auto ds = offlineDevice();
    double delta = 0;
    for (auto _ : state) {
        ::malloc_trim(0);
        const double before = residentBytes();
        auto bank = loadBank(*ds, kWav);
        delta = residentBytes() - before;
        benchmark::DoNotOptimize(bank.data());
    }
    const double raw = static_cast<double>(kFiles) * static_cast<double>(kRawBytes);
    state.counters["bank_MB"] = delta / 1e6;
    state.counters["raw_MB"] = raw / 1e6;
    state.counters["bank/raw"] = delta / raw;
}
BENCHMARK(BM_BankResidentMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace zendra
