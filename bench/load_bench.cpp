// Loading a full bank: sixteen 30 s, 44.1 kHz, 16-bit stereo WAV files.
// The bank path (files decoded on worker threads, then one sound buffer per
// file) against reading the same files with libsndfile one after the other,
// and the resident memory the loaded bank holds against its raw sample bytes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "samples/bank_decoder.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/sound_file.h"
#include "sound/wav_file.h"

namespace zendra {
namespace {

constexpr int kFiles = 16;
constexpr int kRate = 44100;
constexpr int kSeconds = 30;
constexpr size_t kFrames = static_cast<size_t>(kRate) * kSeconds;
constexpr size_t kRawBytes = kFrames * 2 * 2;  // per file

char g_dir[4096];

void removeFiles() {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

// The files, written once per run into $ZENDRA_BENCH_DIR, else /tmp.
const std::vector<std::string>& bankFiles() {
    static const std::vector<std::string> paths = [] {
        const char* base = std::getenv("ZENDRA_BENCH_DIR");
        const std::string dir = std::string(base && *base ? base : "/tmp") + "/zendra-load-bench-" + std::to_string(::getpid());
        std::snprintf(g_dir, sizeof g_dir, "%s", dir.c_str());
        std::filesystem::create_directories(dir);
        std::vector<std::string> p;
        SampleData d;
        d.format = SampleFormat::S16;
        d.channels = 2;
        d.rate = kRate;
        d.bytes.resize(kRawBytes);
        auto* s = reinterpret_cast<int16_t*>(d.bytes.data());
        for (int f = 0; f < kFiles; ++f) {
            const double hz = 110.0 * (f + 1);
            for (size_t i = 0; i < kFrames; ++i) {
                const auto v = static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * hz * i / kRate)));
                s[2 * i] = v;
                s[2 * i + 1] = static_cast<int16_t>(-v);
            }
            p.push_back(dir + "/sample-" + std::to_string(f + 1) + ".wav");
            writeWavFile(p.back(), d);
        }
        std::atexit(removeFiles);
        return p;
    }();
    return paths;
}

std::shared_ptr<DirectSound> offlineDevice() {
    static DirectX7 root(std::make_shared<OfflineBackend>());
    static std::shared_ptr<DirectSound> ds = root.DirectSoundCreate("");
    return ds;
}

// What Done does with the files: decode in parallel, then make the buffers.
std::vector<std::shared_ptr<DirectSoundBuffer>> loadBank(DirectSound& ds) {
    BankDecoder decoder(bankFiles());
    decoder.wait();
    if (const auto failed = decoder.failures(); !failed.empty()) throw std::runtime_error(failed[0].message);
    std::vector<std::shared_ptr<DirectSoundBuffer>> bank;
    for (auto& data : decoder.take()) {
        DSBUFFERDESC desc{};
        desc.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY;
        WAVEFORMATEX format{};
        bank.push_back(ds.CreateSoundBufferFromData(std::move(data), desc, format));
    }
    return bank;
}

// The baseline: libsndfile alone, one file after the other.
std::vector<std::vector<int16_t>> readSequentially() {
    std::vector<std::vector<int16_t>> out;
    for (const std::string& path : bankFiles()) {
        SF_INFO info{};
        SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
        if (sf == nullptr) throw std::runtime_error(sf_strerror(nullptr));
        std::vector<int16_t> samples(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
        sf_readf_short(sf, samples.data(), info.frames);
        sf_close(sf);
        out.push_back(std::move(samples));
    }
    return out;
}

double residentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

void BM_BankLoadParallel(benchmark::State& state) {
    bankFiles();
    auto ds = offlineDevice();
    for (auto _ : state) {
        auto bank = loadBank(*ds);
        benchmark::DoNotOptimize(bank.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFiles * static_cast<int64_t>(kRawBytes));
    state.counters["threads"] = std::max(1u, std::thread::hardware_concurrency());
}
BENCHMARK(BM_BankLoadParallel)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SndfileSequential(benchmark::State& state) {
    bankFiles();
    for (auto _ : state) {
        auto data = readSequentially();
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFiles * static_cast<int64_t>(kRawBytes));
}
BENCHMARK(BM_SndfileSequential)->Unit(benchmark::kMillisecond)->UseRealTime();

// Both in each iteration, alternating, so that the ratio sees the same load.
void BM_BankLoadOverSndfile(benchmark::State& state) {
    bankFiles();
    auto ds = offlineDevice();
    double bankSeconds = 0, sndfileSeconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        {
            auto bank = loadBank(*ds);
            benchmark::DoNotOptimize(bank.data());
        }
        const auto t1 = std::chrono::steady_clock::now();
        {
            auto data = readSequentially();
            benchmark::DoNotOptimize(data.data());
        }
        const auto t2 = std::chrono::steady_clock::now();
        bankSeconds += std::chrono::duration<double>(t1 - t0).count();
        sndfileSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["bank_ms"] = 1000 * bankSeconds / static_cast<double>(state.iterations());
    state.counters["sndfile_ms"] = 1000 * sndfileSeconds / static_cast<double>(state.iterations());
    state.counters["bank/sndfile"] = bankSeconds / sndfileSeconds;
}
BENCHMARK(BM_BankLoadOverSndfile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Resident memory held by a loaded bank against the raw sample bytes.
void BM_BankResidentMemory(benchmark::State& state) {
    bankFiles();
    auto ds = offlineDevice();
    double delta = 0;
    for (auto _ : state) {
        ::malloc_trim(0);
        const double before = residentBytes();
        auto bank = loadBank(*ds);
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
