// The user-interface thread hammers the sound engine with mixed commands
// while another thread mixes as the audio callback would. The output stays
// finite and bounded, and afterwards the engine still plays correctly.
// ZENDRA_STRESS_COMMANDS sets the number of commands (default: as many as fit
// in about two seconds, at most a million).
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "signal_measure.h"
#include "sound/direct_sound.h"
#include "sound/offline_backend.h"
#include "sound/output_engine.h"
#include "sound_fixtures.h"

namespace zendra::test {
namespace {

TEST(EngineStress, MillionMixedCommandsWhileTheAudioThreadMixes) {
    auto backend = std::make_shared<OfflineBackend>();
    auto ds = DirectX7(backend).DirectSoundCreate("");
    OutputEngine& engine = *ds->engine();
    std::vector<std::shared_ptr<SampleData>> bank;  // every sample format, reloaded over and over
    for (int i = 0; i < 8; ++i) {
        bank.push_back(
            std::make_shared<SampleData>(SampleData{SampleFormat(i % 3), 1 + i % 2, 11025 * (1 + i % 4), {}}));
        bank.back()->bytes.resize(static_cast<size_t>(bank.back()->blockAlign() * 2000));
        for (size_t k = 0; k < bank.back()->bytes.size(); ++k)  // floats finite, below 1
            bank.back()->bytes[k] = static_cast<uint8_t>(i % 3 == 2 && k % 4 == 3 ? 0x3e : k * 37 / (1 + i));
    }
    std::atomic<bool> stop{false};
    std::atomic<unsigned long long> blocks{0};
    uint64_t nonFinite = 0;
    float peak = 0.0f;
    std::thread audio([&] {
        std::vector<float> buf(2 * 128);
        for (; !stop.load(std::memory_order_acquire); ++blocks) {
            engine.render(buf.data(), 128);
            for (float v : buf) {
                if (std::isfinite(v))
                    peak = std::max(peak, std::fabs(v));
                else
                    ++nonFinite;
            }
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
    const auto t0 = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    DSBUFFERDESC d{DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME};
    WAVEFORMATEX f;
    for (; commands < target && (commands % 4096 != 0 || elapsed() < budget); ++commands) {
        const int op = pick(100);
        try {
            if (op < 6 || live.empty()) {
                if (live.size() >= 48) live.erase(live.begin() + pick(static_cast<int>(live.size())));
                f = pcmFormat(1 + pick(2), 100 + pick(99901), pick(2) ? 16 : 8);
                d.lBufferBytes = f.nBlockAlign * (1 + pick(4000));
                live.push_back(ds->CreateSoundBuffer(d, f));
            } else if (op < 10) {
                live.erase(live.begin() + pick(static_cast<int>(live.size())));
            } else if (op < 11) {  // every buffer replaced at once, as a bank reload does
                live.clear();
                for (const auto& data : bank) live.push_back(ds->CreateSoundBufferFromData(data, d, f));
            } else {
                DirectSoundBuffer& b = *live[static_cast<size_t>(pick(static_cast<int>(live.size())))];
                b.GetFormat(f);
                const int frames = b.bufferBytes() / f.nBlockAlign, st = b.GetStatus(), pos = b.GetCurrentPosition();
                if ((st != 0 && st != DSBSTATUS_PLAYING && st != (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING)) || pos < 0 ||
                    pos > b.bufferBytes())
                    if (bad++ == 0) firstBad = "status " + std::to_string(st) + " at " + std::to_string(pos);
                switch (op % 8) {
                case 0: b.Play(pick(2)); break;
                case 1: b.Stop(); break;
                case 2: b.SetCurrentPosition(f.nBlockAlign * pick(frames + 1)); break;
                case 3: b.SetVolume(-pick(10001)); break;
                case 4: b.SetPan(pick(20001) - 10000); break;
                case 5: b.SetFrequency(pick(5) == 0 ? 0 : 100 + pick(99901)); break;
                case 6: {  // random bytes are valid PCM (as float they could be NaN)
                    if (f.nFormatTag != WAVE_FORMAT_PCM) break;
                    const int start = f.nBlockAlign * pick(frames);
                    std::vector<uint8_t> noise(std::min(b.bufferBytes() - start, f.nBlockAlign * (1 + pick(256))));
                    for (auto& x : noise) x = static_cast<uint8_t>(rng());
                    b.WriteBuffer(start, static_cast<int32_t>(noise.size()), noise.data(), 0);
                    break;
                }
                default: b.Play(1); break;
                }
            }
        } catch (const SoundError& e) {
            // Only running out of voices, while released ones await collection.
            ++refused;
            if (e.code() != DSERR_ALLOCATED && bad++ == 0) firstBad = e.what();
            engine.mixer().collectGarbage();
        }
    }
    // The audio thread may have fallen far behind (more than the queue
    // holds): wait until it has applied every command.
    while (engine.mixer().pending()) {
        engine.mixer().flush();
        std::this_thread::yield();
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(commands > 10000 && blocks > 100u);
    EXPECT_EQ(nonFinite, 0u);
    EXPECT_LE(peak, 2.0f * 48);  // every buffer at full scale, plus overshoot and fading tails
    EXPECT_LT(refused, commands / 100);
    EXPECT_EQ(bad, 0) << firstBad;

    // Afterwards: stopping everything gives silence, and a fresh tone plays true.
    for (auto& b : live) b->Stop();
    engine.renderOffline(4800);
    EXPECT_EQ(peakAbs(engine.renderOffline(4800)), 0.0);
    live.clear();
    auto tone = sineBuffer(*ds, 441, 22050, 1.0, 0.9f);
    tone->Play(0);
    const Stereo s = splitInterleaved(engine.renderOffline(24000), 48000);
    EXPECT_NEAR(frequencyHz(s.left, 48000, 2400), 441.0, 1.0);
    EXPECT_NEAR(rmsDb(s.left, 2400), 20 * std::log10(0.9 / std::sqrt(2.0)), 0.2);
}

}  // namespace
}  // namespace zendra::test
