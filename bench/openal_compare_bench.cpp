// Mixing cost against OpenAL Soft: the same 16 looping voices (0.25 .. 4.5 x
// their own rate) mixed to 48 kHz stereo float in 128-frame blocks, by
// Zendra's mixer and by OpenAL Soft's loopback device with each of its
// resamplers; and the alias/image level of each OpenAL resampler, measured
// as for Zendra's, so that "comparable quality" is a measured statement.
#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_signal.h"

namespace {

using namespace zendra;
using namespace zendra::bench;

// An OpenAL Soft loopback device rendering 48 kHz stereo float.
class OpenAlLoopback {
public:
    OpenAlLoopback() {
        if (!alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) throw std::runtime_error("no ALC_SOFT_loopback");
        device_ = alcLoopbackOpenDeviceSOFT(nullptr);
        if (device_ == nullptr) throw std::runtime_error("alcLoopbackOpenDeviceSOFT failed");
        const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT,
                                ALC_STEREO_SOFT,
                                ALC_FORMAT_TYPE_SOFT,
                                ALC_FLOAT_SOFT,
                                ALC_FREQUENCY,
                                kOutRate,
                                ALC_HRTF_SOFT,
                                ALC_FALSE,
                                ALC_OUTPUT_LIMITER_SOFT,
                                ALC_FALSE,
                                ALC_MONO_SOURCES,
                                64,
                                ALC_STEREO_SOURCES,
                                64,
                                0};
        context_ = alcCreateContext(device_, attrs);
        if (context_ == nullptr || !alcMakeContextCurrent(context_)) throw std::runtime_error("no OpenAL context");
        if (!alIsExtensionPresent("AL_SOFT_source_resampler")) throw std::runtime_error("no AL_SOFT_source_resampler");
    }
    ~OpenAlLoopback() {
        for (ALuint s : sources_) alDeleteSources(1, &s);
        for (ALuint b : buffers_) alDeleteBuffers(1, &b);
        alcMakeContextCurrent(nullptr);
        if (context_ != nullptr) alcDestroyContext(context_);
        if (device_ != nullptr) alcCloseDevice(device_);
    }
    OpenAlLoopback(const OpenAlLoopback&) = delete;
    OpenAlLoopback& operator=(const OpenAlLoopback&) = delete;

    static std::vector<std::string> resamplers() {
        OpenAlLoopback probe;
        std::vector<std::string> names;
        const ALint n = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
        for (ALint i = 0; i < n; ++i) names.emplace_back(alGetStringiSOFT(AL_RESAMPLER_NAME_SOFT, i));
        return names;
    }

    // A source playing `pcm` (16-bit, `channels`) at `pitch` x its rate,
    // panned like a Zendra voice by its position on a unit circle around the
    // listener.
    ALuint addSource(const std::vector<int16_t>& pcm, int channels, int rate, double pitch, float gain, float pan,
                     int resampler, bool loop) {
        ALuint b = 0, s = 0;
        alGenBuffers(1, &b);
        alBufferData(b, channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, pcm.data(),
                     static_cast<ALsizei>(pcm.size() * 2), rate);
        alGenSources(1, &s);
        alSourcei(s, AL_BUFFER, static_cast<ALint>(b));
        alSourcei(s, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
        alSourcef(s, AL_PITCH, static_cast<ALfloat>(pitch));
        alSourcef(s, AL_GAIN, gain);
        alSourcei(s, AL_SOURCE_RELATIVE, AL_TRUE);
        const float angle = pan * static_cast<float>(std::numbers::pi / 2);
        alSource3f(s, AL_POSITION, std::sin(angle), 0.0f, -std::cos(angle));
        alSourcei(s, AL_SOURCE_RESAMPLER_SOFT, resampler);
        if (alGetError() != AL_NO_ERROR) throw std::runtime_error("OpenAL source setup failed");
        buffers_.push_back(b);
        sources_.push_back(s);
        return s;
    }
    void playAll() {
        for (ALuint s : sources_) alSourcePlay(s);
    }
    void render(float* interleaved, int frames) { alcRenderSamplesSOFT(device_, interleaved, frames); }

private:
    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
    std::vector<ALuint> buffers_, sources_;
};

// One second of 48 kHz output per iteration, in 128-frame blocks.
void BM_Mix16_Zendra(benchmark::State& state) {
    auto backend = std::make_shared<OfflineBackend>();
    DirectX7 dx(backend);
    auto ds = dx.DirectSoundCreate("");
    std::vector<std::shared_ptr<DirectSoundBuffer>> voices;
    for (const VoiceSpec& v : mixWorkload(16)) {
        auto b = zendraBuffer(*ds, v.pcm, kSourceRate, v.channels);
        b->SetFrequency(static_cast<int32_t>(std::lround(kSourceRate * v.ratio)));
        b->SetVolume(hundredthsDb(v.gain));
        b->SetPan(static_cast<int32_t>(std::lround(v.pan * 10000.0f)));
        b->Play(1);
        voices.push_back(b);
    }
    OutputEngine& engine = *ds->engine();
    engine.mixer().flush();
    std::vector<float> out(2 * kBlock);
    for (auto _ : state) {
        for (int block = 0; block < kOutRate / kBlock; ++block) {
            engine.render(out.data(), kBlock);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetLabel("Zendra windowed sinc");
}
BENCHMARK(BM_Mix16_Zendra)->Unit(benchmark::kMillisecond);

void BM_Mix16_OpenAL(benchmark::State& state) {
    const auto names = OpenAlLoopback::resamplers();
    const int r = static_cast<int>(state.range(0));
    if (r >= static_cast<int>(names.size())) {
        state.SkipWithError("OpenAL Soft has no such resampler");
        return;
    }
    OpenAlLoopback al;
    for (const VoiceSpec& v : mixWorkload(16)) {
        al.addSource(v.pcm, v.channels, kSourceRate, v.ratio, v.gain, v.pan, r, true);
    }
    al.playAll();
    std::vector<float> out(2 * kBlock);
    al.render(out.data(), kBlock);
    for (auto _ : state) {
        for (int block = 0; block < kOutRate / kBlock; ++block) {
            al.render(out.data(), kBlock);
            benchmark::DoNotOptimize(out.data());
        }
    }
    state.SetLabel("OpenAL Soft " + names[static_cast<size_t>(r)]);
}
BENCHMARK(BM_Mix16_OpenAL)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

// Worst alias/image level over the test tones at one pitch ratio (x100 in the
// argument) for OpenAL resampler `r`: not a timing, one iteration.
void BM_Aliasing_OpenAL(benchmark::State& state) {
    const auto names = OpenAlLoopback::resamplers();
    const int r = static_cast<int>(state.range(0));
    const double ratio = static_cast<double>(state.range(1)) / 100.0;
    if (r >= static_cast<int>(names.size())) {
        state.SkipWithError("OpenAL Soft has no such resampler");
        return;
    }
    AliasFigure fig;
    for (auto _ : state) {
        fig = aliasFigure(
            [r](const std::vector<int16_t>& pcm, double pitch, int frames) {
                OpenAlLoopback al;
                al.addSource(pcm, 1, kSourceRate, pitch, 1.0f, 0.0f, r, false);
                al.playAll();
                std::vector<float> out(2 * static_cast<size_t>(frames));
                for (int done = 0; done < frames; done += kBlock) {
                    al.render(out.data() + 2 * done, std::min(kBlock, frames - done));
                }
                std::vector<float> left(static_cast<size_t>(frames));
                for (int i = 0; i < frames; ++i) left[static_cast<size_t>(i)] = out[2 * static_cast<size_t>(i)];
                return left;
            },
            ratio);
    }
    state.counters["worst_db"] = fig.worstDb;
    state.counters["at_tone_hz"] = fig.worstTone;
    state.counters["worst_db_to_0.2fs"] = fig.worstLowDb;
    state.SetLabel("OpenAL Soft " + names[static_cast<size_t>(r)]);
}

void aliasingArgs(benchmark::internal::Benchmark* b) {
    for (int r = 0; r <= 4; ++r) {
        for (double ratio : qualityRatios()) b->Args({r, static_cast<int64_t>(std::lround(ratio * 100))});
    }
}
BENCHMARK(BM_Aliasing_OpenAL)->Apply(aliasingArgs)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
