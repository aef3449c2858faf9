#!/usr/bin/env bash
# Fuzzes a reader with libFuzzer (clang, AddressSanitizer, UBSan).
#   scripts/fuzz.sh                   # the sound file reader, 60 seconds (the short default run)
#   scripts/fuzz.sh --runs 10000000   # a fixed number of executions
#   scripts/fuzz.sh --seconds 3600    # a long run by hand
#   scripts/fuzz.sh --target drumkit  # the Hydrogen drumkit.xml reader instead
#   scripts/fuzz.sh --target kit      # the kit file reader instead
# Needs the Debian packages clang and libclang-rt-14-dev (and Qt's for the
# drum kit reader). Builds into build-fuzz/; the sound reader seeds from the
# demo kit and the malformed-file table in fuzz/make_seeds.cpp, the drum kit
# reader from fuzz/drumkit-seeds/ with fuzz/drumkit.dict. Crashes, leaks,
# hangs and oversized allocations are written to build-fuzz/artifacts/ and
# make the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
OUT=${ZENDRA_FUZZ_BUILD:-$ROOT/build-fuzz}
LIMIT=(-max_total_time=60)
TARGET=sound
while (($#)); do
  case "$1" in
    --runs) LIMIT=(-runs="$2"); shift 2 ;;
    --seconds) LIMIT=(-max_total_time="$2"); shift 2 ;;
    --target) TARGET=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N | --seconds S] [--target sound|drumkit|kit]" >&2; exit 2 ;;
  esac
done
case "$TARGET" in
  sound | drumkit | kit) ;;
  *) echo "$0: unknown target $TARGET (sound, drumkit or kit)" >&2; exit 2 ;;
esac

CXX=${CXX_FUZZ:-clang++}
command -v "$CXX" >/dev/null || { echo "$CXX not found: install clang and libclang-rt-14-dev" >&2; exit 1; }
mkdir -p "$OUT/seeds" "$OUT/corpus" "$OUT/artifacts" "$OUT/demo-kit"
SNDFILE_FLAGS=$(pkg-config --cflags --libs sndfile vorbis ogg)
SAN=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

echo "Building the fuzzer in $OUT"
READER=(src/sound/sound_file.cpp src/sound/sound_decode.cpp src/sound/byte_source.cpp src/sound/wav_header.cpp
        src/sound/ogg_check.cpp)
if [[ $TARGET == sound ]]; then
  # shellcheck disable=SC2086
  "$CXX" -std=c++20 -O1 -g "${SAN[@]}" -I src fuzz/sound_file_fuzz.cpp "${READER[@]}" \
    -o "$OUT/sound_file_fuzz" $SNDFILE_FLAGS
fi
# The demo kit also gives the drum kit fuzzer samples to find in this folder.
# shellcheck disable=SC2086
"$CXX" -std=c++20 -O1 fuzz/make_seeds.cpp -o "$OUT/make_seeds" $SNDFILE_FLAGS
# shellcheck disable=SC2086
"$CXX" -std=c++20 -O1 scripts/make_demo_kit.cpp -o "$OUT/make_demo_kit" $SNDFILE_FLAGS
"$OUT/make_demo_kit" "$OUT/demo-kit" >/dev/null
"$OUT/make_seeds" "$OUT/demo-kit" "$OUT/seeds"

RUN=("$OUT/sound_file_fuzz" -max_len=8192)
CORPUS=("$OUT/corpus" "$OUT/seeds")
if [[ $TARGET == drumkit ]]; then
  KIT_FLAGS=$(pkg-config --cflags --libs Qt6Core libarchive)
  # shellcheck disable=SC2086
  "$CXX" -std=c++20 -O1 -g -fPIC "${SAN[@]}" -I src fuzz/drumkit_fuzz.cpp src/kits/drumkit_import.cpp \
    -o "$OUT/drumkit_fuzz" $KIT_FLAGS
  mkdir -p "$OUT/drumkit-corpus"
  RUN=("$OUT/drumkit_fuzz" -max_len=16384 -dict="$ROOT/fuzz/drumkit.dict")
  CORPUS=("$OUT/drumkit-corpus" "$ROOT/fuzz/drumkit-seeds")
fi
if [[ $TARGET == kit ]]; then
  KIT_FLAGS=$(pkg-config --cflags --libs Qt6Core)
  # shellcheck disable=SC2086
  "$CXX" -std=c++20 -O1 -g -fPIC "${SAN[@]}" -I src fuzz/kit_file_fuzz.cpp src/kits/kit_file.cpp \
    src/sound/atomic_file.cpp -o "$OUT/kit_file_fuzz" $KIT_FLAGS
  mkdir -p "$OUT/kit-corpus"
  RUN=("$OUT/kit_file_fuzz" -max_len=8192 -dict="$ROOT/fuzz/kit.dict")
  CORPUS=("$OUT/kit-corpus" "$ROOT/fuzz/kit-seeds")
fi

# A header claiming gigabytes must not make us reserve gigabytes: any single
# allocation above 64 MB counts as a failure, as does an input taking 25 s (generous: the machine may be busy).
# A 16 MB quarantine still outlasts any one input's frees and spares the
# page faults of cycling through the default 256 MB (about a third of the time).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0:quarantine_size_mb=16}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$OUT"
STAMP=$(mktemp "$OUT/.run-XXXXXX")
trap 'rm -f "$STAMP"' EXIT
status=0
"${RUN[@]}" -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=25 \
  -artifact_prefix="$OUT/artifacts/" -print_final_stats=1 "${LIMIT[@]}" "${CORPUS[@]}" || status=$?

# libFuzzer stops with a nonzero status on a finding; the artifact check also
# catches a finding whose exit status got lost.
mapfile -t found < <(find "$OUT/artifacts" -type f -newer "$STAMP" \( -name 'crash-*' -o -name 'leak-*' \
  -o -name 'timeout-*' -o -name 'oom-*' \))
if ((${#found[@]})); then
  echo "fuzz.sh: this run wrote ${#found[@]} finding(s):" >&2
  printf '  %s\n' "${found[@]}" >&2
  ((status)) || status=1
fi
if ((status)); then
  echo "fuzz.sh: FAILED (status $status)" >&2
  exit "$status"
fi
echo "fuzz.sh: no crash, leak, timeout or out-of-memory finding"
