#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole suite:
# the end-to-end tests (PulseAudio through SDL), the end-to-end
# playing, recording and server-loss tests again on a private PipeWire server
# (PipeWire's own API) and on a private JACK server, then the unit and window
# tests under AddressSanitizer + UndefinedBehaviorSanitizer (with
# ZENDRA_SKIP_SANITIZE=1 they run in the Release build instead), then fuzzes
# the sound file reader for 30 seconds and the drum kit and kit readers for 15 each (ZENDRA_SKIP_FUZZ=1 skips it;
# scripts/fuzz.sh runs it longer), then packages the Release build, installs
# and checks the Debian package (ZENDRA_SKIP_PACKAGE=1 skips that).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=ON -DZENDRA_BENCH=ON >/dev/null
# The unit and window tests run once, under the sanitizers below; only when
# that pass is skipped are they built and run here.
if [[ "${ZENDRA_SKIP_SANITIZE:-0}" != 1 ]]; then
  cmake --build build --target zendra demo_kit zendra_e2e_tests zendra_bench bare_mdi zendra_e2e_bench zendra_soak
  (cd build && ctest --output-on-failure --timeout 600 -L e2e "$@")
else
  cmake --build build
  (cd build && ctest --output-on-failure --timeout 600 "$@")
fi
echo "== end to end again on a private PipeWire server, through its own API: playing, recording, server loss, a stream never run, other quanta"
(cd build && ZENDRA_TEST_AUDIO=pipewire ctest --output-on-failure --timeout 600 -L e2e \
  -R 'PlayingE2E|RecordE2E|AudioServerLoss|UnlinkedStream|QuantumE2E')
echo "== end to end again on a private JACK server: playing, recording, server loss, server restarts"
(cd build && ZENDRA_TEST_AUDIO=jack ctest --output-on-failure --timeout 600 -L e2e \
  -R 'PlayingE2E|RecordE2E|AudioServerLoss|JackRestart')
echo "== server loss and back through SDL's own PipeWire driver (--audio=sdl)"
(cd build && ZENDRA_TEST_AUDIO=pipewire ZENDRA_TEST_SDL_DRIVER=pipewire ctest --output-on-failure \
  --timeout 600 -R AudioServerLoss)
if [[ "${ZENDRA_SKIP_SANITIZE:-0}" != 1 ]]; then
  echo "== the unit and window tests again, under AddressSanitizer and UBSan"
  bash scripts/test-sanitize.sh "$@"
fi
if [[ "${ZENDRA_SKIP_FUZZ:-0}" != 1 ]]; then
  echo "== fuzzing the sound file reader for 30 s (log: build-fuzz/ci-fuzz.log)"
  bash scripts/install-deps.sh --fuzz
  mkdir -p build-fuzz
  if ! bash scripts/fuzz.sh --seconds 30 >build-fuzz/ci-fuzz.log 2>&1; then
    tail -n 60 build-fuzz/ci-fuzz.log
    echo "fuzzing found a fault" >&2
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|Done [0-9]+ runs)' build-fuzz/ci-fuzz.log || true
  for target in drumkit kit; do
    echo "== fuzzing the $target reader for 15 s (log: build-fuzz/ci-fuzz-$target.log)"
    if ! bash scripts/fuzz.sh --target "$target" --seconds 15 >"build-fuzz/ci-fuzz-$target.log" 2>&1; then
      tail -n 60 "build-fuzz/ci-fuzz-$target.log"
      echo "fuzzing the $target reader found a fault" >&2
      exit 1
    fi
  done
fi
if [[ "${ZENDRA_SKIP_PACKAGE:-0}" != 1 ]]; then ZENDRA_PACKAGE_BUILD=build bash scripts/test-package.sh; fi
