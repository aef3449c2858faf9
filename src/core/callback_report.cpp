#include "core/callback_report.h"

#include <cstdio>
#include <cstdlib>

#include "sound/output_engine.h"

namespace zendra {

// Lines: "calls N", "period_ns P", "max_ns M", then "bucket_us COUNT" for each
// non-empty 10 µs bucket (the last one holds everything from 10 ms up), then
// "audio_thread ..." with the scheduling the audio thread got, "max_at_ns T",
// when the longest callback started (steady clock, comparable across
// processes), "max_cpu_ns C", the audio thread's own CPU time in it (the rest
// it was held off), "max_switches S", how often the thread left its CPU
// during it (none: the time went to interrupts or the hypervisor),
// "max_frames F", the frames the device asked for in it, "late N",
// callbacks so late that the device ran dry, and "buffer_frames F", the
// buffer in use at the end.
namespace {
const char* reportPath() { return std::getenv("ZENDRA_CALLBACK_TIMES"); }
}  // namespace

void prepareCallbackReport() {
    const char* path = reportPath();
    OutputEngine::measureThreadUse(path != nullptr && *path != '\0');
}

void writeCallbackReport(const OutputEngine* engine) {
    const char* path = reportPath();
    if (path == nullptr || *path == '\0' || engine == nullptr) return;
    const CallbackTimes t = engine->callbackTimes();
    std::FILE* f = std::fopen(path, "w");
    if (f == nullptr) {
        std::perror(path);
        return;
    }
    std::fprintf(f, "calls %llu\nperiod_ns %.0f\nmax_ns %llu\n", static_cast<unsigned long long>(t.calls),
                 t.periodNanos, static_cast<unsigned long long>(t.maxNanos));
    for (int i = 0; i < CallbackTimes::kBuckets; ++i) {
        if (t.counts[i] != 0) std::fprintf(f, "%d %llu\n", (i + 1) * 10, static_cast<unsigned long long>(t.counts[i]));
    }
    std::fprintf(f,
                 "audio_thread %s\nmax_at_ns %lld\nmax_cpu_ns %llu\nmax_switches %llu\nmax_frames %d\nlate %llu\n"
                 "buffer_frames %d\n",
                 engine->scheduling().describe().c_str(), static_cast<long long>(t.maxAtNanos),
                 static_cast<unsigned long long>(t.maxCpuNanos), static_cast<unsigned long long>(t.maxSwitches),
                 t.maxFrames, static_cast<unsigned long long>(t.late), engine->bufferFrames());
    std::fclose(f);
}

}  // namespace zendra
