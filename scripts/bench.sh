#!/usr/bin/env bash
# Runs the benchmark suite and writes every figure with the machine's load to
# BUILD_DIR/bench-results/<time>/ (summary.txt plus the raw outputs).
#
#   scripts/bench.sh [--sound-systems] [BUILD_DIR]
#
# --sound-systems runs only the comparisons of the sound systems, each on its
# private server: key press to sound beside plain clients (PipeWire and JACK),
# dropouts against a plain pw_stream client, and the server killed mid-play.
# Environment: CALLBACK_SECONDS (default 600), DROPOUT_SECONDS (600), TAPS (100),
# KEYS (60 each path), LOSSES (5 each server), STARTUP_RUNS (10), REPETITIONS (15).
# Needs libopenal-dev for the OpenAL comparison, and Xvfb, xdotool, pulseaudio,
# pactl, pacat, parecord, import, pipewire, wireplumber, jackd for the end-to-end parts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
only_systems=0
if [[ "${1:-}" == --sound-systems ]]; then only_systems=1; shift; fi
build=${1:-$root/build-bench}
out=$build/bench-results/$(date +%Y%m%d-%H%M%S)
mkdir -p "$out"

# The OpenAL comparison (--bench) is not among the sound-system parts.
if ((only_systems)); then
  bash "$root/scripts/install-deps.sh" --test
  targets=(zendra_e2e_bench)
else
  bash "$root/scripts/install-deps.sh" --bench
  targets=(zendra_bench zendra_e2e_bench)
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >"$out/cmake.log"
ninja -C "$build" -j2 "${targets[@]}" >"$out/build.log"

machine() {
  echo "== $1: $(date -Is)"
  echo "cpu: $(nproc) x $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
  echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
}

export ZENDRA_BIN=$build/zendra ZENDRA_DEMO_KIT=$build/demo-kit BARE_MDI_BIN=$build/bench/bare_mdi
export ZENDRA_E2E_ARTIFACTS=$out/artifacts ZENDRA_PW_RIG=$root/scripts/pw-rig.sh
reps=${REPETITIONS:-15}
e2e=$build/bench/zendra_e2e_bench

# A measurement that fails says so, and the others still run.
measure() { "$@" || echo "!! exit status $?: $*"; }

sound_systems() {
  machine "key press to sound, PipeWire: the program (its own API; SDL through pipewire-pulse) beside a plain pw_stream client"
  ZENDRA_TEST_AUDIO=pipewire measure "$e2e" keys "${KEYS:-60}"
  machine "key press to sound, JACK: the program beside a plain JACK client"
  ZENDRA_TEST_AUDIO=jack measure "$e2e" keys "${KEYS:-60}"
  machine "dropouts on PipeWire against a plain pw_stream client, audio thread realtime"
  ZENDRA_TEST_AUDIO=pipewire measure "$e2e" dropouts "${DROPOUT_SECONDS:-600}"
  machine "server killed mid-play and started again, PipeWire"
  ZENDRA_TEST_AUDIO=pipewire measure "$e2e" loss "${LOSSES:-5}"
  machine "server killed mid-play and started again, JACK"
  ZENDRA_TEST_AUDIO=jack measure "$e2e" loss "${LOSSES:-5}"
}

if ((only_systems)); then
  { sound_systems; machine "done"; } 2>&1 | tee "$out/raw.txt"
  exit 0
fi

{
  machine "mixing cost (CPU time, median of $reps interleaved repetitions)"
  "$build/bench/zendra_bench" --benchmark_filter='BM_Mix16_' --benchmark_repetitions="$reps" \
    --benchmark_enable_random_interleaving=true --benchmark_min_time=0.5 \
    --benchmark_report_aggregates_only=true --benchmark_out="$out/mix.json" --benchmark_out_format=json
  machine "mixing cost, portable loop (ZENDRA_NO_AVX2=1)"
  ZENDRA_NO_AVX2=1 "$build/bench/zendra_bench" --benchmark_filter='BM_Mix16_Zendra|BM_Mix16_OpenAL/4' \
    --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true --benchmark_min_time=0.5 \
    --benchmark_report_aggregates_only=true --benchmark_out="$out/mix-portable.json" --benchmark_out_format=json
  machine "in-engine trigger latency"
  "$build/bench/zendra_bench" --benchmark_filter='BM_PlayToFirstFrame|BM_TapToFirstFrame'
  machine "sound quality"
  "$build/bench/zendra_bench" --benchmark_filter='BM_Aliasing_|BM_AliasingSweep_|BM_ClickOnChange' \
    --benchmark_out="$out/quality.json" --benchmark_out_format=json
  machine "loading a bank of sixteen 30 s files"
  "$build/bench/zendra_bench" --benchmark_filter='BM_Bank|BM_Sndfile'
  machine "start-up"
  measure "$e2e" startup "${STARTUP_RUNS:-10}"
  machine "key press to sound, PulseAudio"
  measure "$e2e" taps "${TAPS:-100}"
  machine "MIDI note to sound, PulseAudio"
  measure "$e2e" midi "${TAPS:-100}"
  machine "audio callback"
  measure "$e2e" callback "${CALLBACK_SECONDS:-600}" 1
  machine "dropouts against a plain client, audio thread realtime"
  measure "$e2e" dropouts "${DROPOUT_SECONDS:-600}"
  machine "dropouts against a plain client, audio thread as SDL leaves it"
  ZENDRA_NO_REALTIME=1 measure "$e2e" dropouts "${DROPOUT_SECONDS:-600}"
  sound_systems
  machine "done"
} 2>&1 | tee "$out/raw.txt"

python3 - "$out" <<'PY' | tee "$out/summary.txt"
import json, sys, collections
out = sys.argv[1]
mix = json.load(open(out + "/mix.json"))
med = {b["run_name"]: b for b in mix["benchmarks"] if b.get("aggregate_name") == "median"}
z = med["BM_Mix16_Zendra"]["cpu_time"]
print("Mixing 16 voices, 1 s of 48 kHz stereo: median CPU time (ms)")
for name, b in med.items():
    ms = b["cpu_time"]
    voices = 0.1 / (ms / 1000 / 16)
    print(f"  {b.get('label', name):32s} {ms:7.2f} ms   Zendra/this {z / ms:5.2f}   voices in 10% of a core ~{voices:5.0f}")
port = json.load(open(out + "/mix-portable.json"))
pmed = {b["run_name"]: b["cpu_time"] for b in port["benchmarks"] if b.get("aggregate_name") == "median"}
print(f"  portable loop: Zendra {pmed['BM_Mix16_Zendra']:.2f} ms, bsinc24 {pmed['BM_Mix16_OpenAL/4']:.2f} ms: "
      f"{pmed['BM_Mix16_Zendra'] / pmed['BM_Mix16_OpenAL/4']:.2f} x")
q = json.load(open(out + "/quality.json"))
for b in q["benchmarks"]:
    if b["name"].startswith("BM_AliasingSweep_"):
        print(f"Worst alias/image level over every ratio 0.25-4.5 (0.01 apart): {b['worst_db']:.1f} dB at {b['at_ratio']:.2f}")
for key, what in (("worst_db", "every test tone (up to 0.39 x the source rate)"),
                  ("worst_db_to_0.2fs", "test tones up to 0.2 x the source rate")):
    table = collections.defaultdict(dict)
    for b in q["benchmarks"]:
        if b["name"].startswith("BM_Aliasing_") and key in b:
            ratio = int(b["name"].split("/")[-2]) / 100
            table[b["label"]][ratio] = b[key]
    ratios = sorted({r for t in table.values() for r in t})
    print(f"Worst alias/image level, dB relative to the signal, per pitch ratio; {what}")
    print("  " + " " * 32 + "".join(f"{r:>7.2f}" for r in ratios) + "    worst")
    for label, t in table.items():
        print(f"  {label:32s}" + "".join(f"{t.get(r, float('nan')):7.1f}" for r in ratios) + f"  {max(t.values()):7.1f}")
print("Largest sample step after a mid-note change / the signal's own largest step")
for b in q["benchmarks"]:
    if b["name"].startswith("BM_ClickOnChange"):
        print(f"  {b['label']:60s} {b['step_over_slope']:6.3f}  (step {b['max_step']:.4f})")
PY
