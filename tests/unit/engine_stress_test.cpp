// The user-interface thread hammers the sound engine with mixed commands
// while another thread mixes as the audio callback would. The output stays
// finite and bounded, and afterwards the engine still plays correctly.
// ZENDRA_STRESS_COMMANDS sets the number of commands (default: as many as fit
// in about two seconds, at most a million).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "signal_measure.h"
#include "sound_fixtures.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"

namespace zendra::test {
namespace {

constexpr int kRate = 48000;
constexpr size_t kMaxLive = 48;

TEST(EngineStress, MillionMixedCommandsWhileTheAudioThreadMixes) {
    auto dx = std::make_shared<DirectX7>(std::make_shared<OfflineBackend>());
    auto ds = dx->DirectSoundCreate("");
    OutputEngine& engine = *ds->engine();
    Mixer& mixer = engine.mixer();
    // A bank of every sample format to reload over and over, decoded once.
    std::vector<std::shared_ptr<SampleData>> bank;
    for (int i = 0; i < 8; ++i) {
        auto d = std::make_shared<SampleData>();
        d->format = static_cast<SampleFormat>(i % 3);
        d->channels = 1 + i % 2;
        d->rate = 11025 * (1 + i % 4);
        d->bytes.assign(static_cast<size_t>(d->blockAlign()) * static_cast<size_t>(d->rate / 10), 0);
        for (size_t k = 0; k < d->bytes.size(); ++k) d->bytes[k] = static_cast<uint8_t>(k * 37 / (1 + i));
        if (d->format == SampleFormat::F32)
            for (size_t k = 3; k < d->bytes.size(); k += 4) d->bytes[k] = 0x3e;  // finite, below 1
        bank.push_back(d);
    }
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> blocks{0};
    uint64_t nonFinite = 0;
    float peak = 0.0f;
    std::thread audio([&] {
        std::vector<float> buf(2 * 128);
        while (!stop.load(std::memory_order_acquire)) {
            engine.render(buf.data(), 128);
            ++blocks;
            for (float v : buf) std::isfinite(v) ? void(peak = std::max(peak, std::fabs(v))) : void(++nonFinite);
        }
    });

    const char* env = std::getenv("ZENDRA_STRESS_COMMANDS");
    const long target = env ? std::atol(env) : 1000000;
    const double budget = env ? 1e9 : 2.0;  // seconds
    std::mt19937 rng(20240611);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<std::shared_ptr<DirectSoundBuffer>> live;
    long commands = 0, refused = 0, bad = 0;
    std::string firstBad;
    auto fault = [&](const std::string& what) { if (bad++ == 0) firstBad = what; };
    const auto t0 = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    DSBUFFERDESC d;
    d.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    while (commands < target && (commands % 4096 != 0 || elapsed() < budget)) {
        ++commands;
        const int op = pick(100);
        try {
            if (op < 6 || live.empty()) {
                if (live.size() >= kMaxLive) live.erase(live.begin() + pick(static_cast<int>(live.size())));
                WAVEFORMATEX f = pcmFormat(1 + pick(2), 100 + pick(99901), pick(2) ? 16 : 8);
                d.lBufferBytes = f.nBlockAlign * (1 + pick(4000));
                live.push_back(ds->CreateSoundBuffer(d, f));
            } else if (op < 10) {
                live.erase(live.begin() + pick(static_cast<int>(live.size())));
            } else if (op < 11) {  // every buffer replaced at once, as a bank reload does
                live.clear();
                WAVEFORMATEX f;
                for (const auto& data : bank) live.push_back(ds->CreateSoundBufferFromData(data, d, f));
            } else {
                DirectSoundBuffer& b = *live[static_cast<size_t>(pick(static_cast<int>(live.size())))];
                WAVEFORMATEX f;
                b.GetFormat(f);
                const int frames = b.bufferBytes() / f.nBlockAlign;
                switch (op % 10) {
                case 0: b.Play(pick(2)); break;
                case 1: b.Stop(); break;
                case 2: b.SetCurrentPosition(f.nBlockAlign * pick(frames + 1)); break;
                case 3: b.SetVolume(-pick(10001)); break;
                case 4: b.SetPan(pick(20001) - 10000); break;
                case 5: b.SetFrequency(pick(5) == 0 ? 0 : 100 + pick(99901)); break;
                case 6: {  // random bytes are valid PCM (as float they could be NaN)
                    if (f.nFormatTag != WAVE_FORMAT_PCM) break;
                    const int start = f.nBlockAlign * pick(frames);
                    const int size = std::min(b.bufferBytes() - start, f.nBlockAlign * (1 + pick(256)));
                    std::vector<uint8_t> noise(static_cast<size_t>(size));
                    for (auto& x : noise) x = static_cast<uint8_t>(rng());
                    b.WriteBuffer(start, size, noise.data(), 0);
                    break;
                }
                case 7: {
                    const int pos = b.GetCurrentPosition();
                    if (pos < 0 || pos > b.bufferBytes()) fault("position " + std::to_string(pos));
                    break;
                }
                case 8: {
                    const int st = b.GetStatus();
                    if (st != 0 && st != DSBSTATUS_PLAYING && st != (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING))
                        fault("status " + std::to_string(st));
                    break;
                }
                default: b.Play(1); break;
                }
            }
        } catch (const SoundError& e) {
            // Only running out of voices, while released ones await collection.
            ++refused;
            if (e.code() != static_cast<uint32_t>(DSERR_ALLOCATED)) fault(e.what());
            mixer.collectGarbage();
        }
        if (commands % 512 == 0) mixer.collectGarbage();
    }
    // The audio thread may have fallen far behind (more than the queue
    // holds): wait until it has applied every command.
    while (mixer.pending()) {
        mixer.flush();
        std::this_thread::yield();
    }
    stop = true;
    audio.join();
    std::printf("[   INFO   ] %ld commands in %.2f s, %ld refused, %llu blocks mixed, peak %.2f\n", commands,
                elapsed(), refused, static_cast<unsigned long long>(blocks.load()), peak);
    EXPECT_GT(commands, 10000);
    EXPECT_GT(blocks, 100u);
    EXPECT_EQ(nonFinite, 0u);
    EXPECT_LE(peak, 2.0f * kMaxLive);  // every buffer at full scale, plus overshoot and fading tails
    EXPECT_LT(refused, commands / 100);
    EXPECT_EQ(bad, 0) << firstBad;

    // Afterwards: stopping everything gives silence, and a fresh tone plays true.
    for (auto& b : live) b->Stop();
    engine.renderOffline(kRate / 10);
    EXPECT_EQ(peakAbs(engine.renderOffline(kRate / 10)), 0.0);
    live.clear();
    auto tone = sineBuffer(*ds, 441, 22050, 1.0, 0.9f);
    tone->Play(0);
    const Stereo s = splitInterleaved(engine.renderOffline(kRate / 2), kRate);
    EXPECT_NEAR(frequencyHz(s.left, kRate, 2400), 441.0, 1.0);
    EXPECT_NEAR(rmsDb(s.left, 2400), 20 * std::log10(0.9 / std::sqrt(2.0)), 0.2);
}

}  // namespace
}  // namespace zendra::test
