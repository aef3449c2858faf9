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
// Every live buffer at full scale, in phase, plus resampler overshoot and
// the fade-out tails of cut-off sounds.
constexpr float kBound = 2.0f * kMaxLive;

struct AudioThreadReport {
    std::atomic<uint64_t> blocks{0};
    uint64_t nonFinite = 0;
    float peak = 0.0f;
};

TEST(EngineStress, MillionMixedCommandsWhileTheAudioThreadMixes) {
    auto backend = std::make_shared<OfflineBackend>();
    auto dx = std::make_shared<DirectX7>(backend);
    auto ds = dx->DirectSoundCreate("");
    OutputEngine& engine = *ds->engine();
    Mixer& mixer = engine.mixer();

    // A bank to reload over and over: decoded once, shared by every reload.
    std::vector<std::shared_ptr<SampleData>> bank;
    for (int i = 0; i < 8; ++i) {
        auto d = std::make_shared<SampleData>();
        d->format = i % 3 == 0 ? SampleFormat::U8 : i % 3 == 1 ? SampleFormat::S16 : SampleFormat::F32;
        d->channels = 1 + i % 2;
        d->rate = 11025 * (1 + i % 4);
        const auto s = sine(220.0 * (i + 1), d->rate, 0.05 + 0.02 * i, 0.9f);
        for (float v : s) {
            for (int c = 0; c < d->channels; ++c) {
                if (d->format == SampleFormat::U8) {
                    d->bytes.push_back(static_cast<uint8_t>(std::lround(128 + v * 127)));
                } else if (d->format == SampleFormat::S16) {
                    const auto x = static_cast<int16_t>(std::lround(v * 32767));
                    d->bytes.push_back(static_cast<uint8_t>(x & 0xff));
                    d->bytes.push_back(static_cast<uint8_t>((x >> 8) & 0xff));
                } else {
                    const auto* p = reinterpret_cast<const uint8_t*>(&v);
                    d->bytes.insert(d->bytes.end(), p, p + 4);
                }
            }
        }
        bank.push_back(d);
    }

    std::atomic<bool> stop{false};
    AudioThreadReport report;
    std::thread audio([&] {
        std::vector<float> buf(2 * 128);
        while (!stop.load(std::memory_order_acquire)) {
            engine.render(buf.data(), 128);
            ++report.blocks;
            for (float v : buf) {
                if (!std::isfinite(v)) ++report.nonFinite;
                else report.peak = std::max(report.peak, std::fabs(v));
            }
        }
    });

    const char* env = std::getenv("ZENDRA_STRESS_COMMANDS");
    const long target = env ? std::atol(env) : 1000000;
    const double budget = env ? 1e9 : 2.0;  // seconds
    std::mt19937 rng(20240611);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

    std::vector<std::shared_ptr<DirectSoundBuffer>> live;
    long commands = 0, reloads = 0, created = 0, refused = 0, badReads = 0, otherErrors = 0;
    std::string firstBad;  // the first wrong answer, for the failure message
    const auto t0 = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(); };
    while (commands < target && (commands % 4096 != 0 || elapsed() < budget)) {
        ++commands;
        const int op = pick(100);
        try {
            if (op < 6 || live.empty()) {  // create a buffer
                if (live.size() >= kMaxLive) live.erase(live.begin() + pick(static_cast<int>(live.size())));
                const int channels = 1 + pick(2), bits = pick(2) ? 16 : 8;
                WAVEFORMATEX f = pcmFormat(channels, 100 + pick(99901), bits);
                DSBUFFERDESC d;
                d.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
                d.lBufferBytes = f.nBlockAlign * (1 + pick(4000));
                live.push_back(ds->CreateSoundBuffer(d, f));
                ++created;
            } else if (op < 10) {  // release one
                live.erase(live.begin() + pick(static_cast<int>(live.size())));
            } else if (op < 11) {  // reload the bank: every buffer replaced at once
                live.clear();
                for (const auto& data : bank) {
                    DSBUFFERDESC d;
                    d.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
                    WAVEFORMATEX f;
                    live.push_back(ds->CreateSoundBufferFromData(data, d, f));
                }
                ++reloads;
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
                case 6: {
                    // Random bytes are valid PCM; as float they would be NaNs and
                    // infinities, which only a file could bring (see the hostile
                    // file tests).
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
                    if (pos < 0 || pos > b.bufferBytes()) {
                        if (badReads++ == 0)
                            firstBad = "position " + std::to_string(pos) + " of " + std::to_string(b.bufferBytes());
                    }
                    break;
                }
                case 8: {
                    const int st = b.GetStatus();
                    if (st != 0 && st != DSBSTATUS_PLAYING && st != (DSBSTATUS_PLAYING | DSBSTATUS_LOOPING)) {
                        if (badReads++ == 0) firstBad = "status " + std::to_string(st);
                    }
                    break;
                }
                default: b.Play(1); break;
                }
            }
        } catch (const SoundError& e) {
            // Only running out of voices is allowed, while released ones await collection.
            ++refused;
            if (e.code() != static_cast<uint32_t>(DSERR_ALLOCATED) && otherErrors++ == 0) firstBad = e.what();
            mixer.collectGarbage();
        }
        if (commands % 64 == 0) mixer.flush();
        if (commands % 512 == 0) mixer.collectGarbage();
    }
    const double seconds = elapsed();
    // Let the audio thread take the last commands, then stop it.
    mixer.flush();
    const uint64_t blocksAtEnd = report.blocks;
    while (report.blocks < blocksAtEnd + 64 && !stop) std::this_thread::yield();
    stop = true;
    audio.join();
    std::printf("[   INFO   ] %ld commands in %.2f s (%ld buffers made, %ld bank reloads, %ld refused), "
                "%llu blocks mixed, peak %.2f\n",
                commands, seconds, created, reloads, refused, static_cast<unsigned long long>(report.blocks.load()),
                report.peak);

    EXPECT_GT(commands, 10000);
    EXPECT_GT(report.blocks, 100u);
    EXPECT_EQ(report.nonFinite, 0u);
    EXPECT_LE(report.peak, kBound);
    EXPECT_LT(refused, commands / 100);
    EXPECT_EQ(otherErrors, 0) << firstBad;
    // Every position read lies inside its buffer, every status is a known one.
    EXPECT_EQ(badReads, 0) << "first: " << firstBad;

    // Afterwards: stopping everything gives silence, and a fresh tone plays true.
    for (auto& b : live) b->Stop();
    engine.renderOffline(kRate / 10);
    EXPECT_EQ(peakAbs(engine.renderOffline(kRate / 10)), 0.0);
    live.clear();
    mixer.collectGarbage();
    WAVEFORMATEX f = pcmFormat(1, 22050, 16);
    DSBUFFERDESC d;
    d.lFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME;
    d.lBufferBytes = 22050 * 2;
    auto tone = ds->CreateSoundBuffer(d, f);
    std::vector<int16_t> pcm;
    for (float v : sine(441, 22050, 1.0, 0.9f)) pcm.push_back(static_cast<int16_t>(std::lround(v * 32767)));
    tone->WriteBuffer(0, d.lBufferBytes, pcm.data(), 0);
    tone->Play(0);
    const Stereo s = splitInterleaved(engine.renderOffline(kRate / 2), kRate);
    EXPECT_NEAR(frequencyHz(s.left, kRate, 2400), 441.0, 1.0);
    EXPECT_NEAR(rmsDb(s.left, 2400), 20 * std::log10(0.9 / std::sqrt(2.0)), 0.2);
}

}  // namespace
}  // namespace zendra::test
