#!/usr/bin/env bash
# Long play: random pad clicks, bar moves, key taps and bank reloads against
# the real program under a private X display and PulseAudio server, checking
# that it stays alive, keeps answering and does not grow in memory.
#   scripts/soak.sh          # one hour
#   scripts/soak.sh 120      # two minutes
# The memory readings go to <build>/e2e-artifacts/soak-memory.tsv, the audio
# callback's timing histogram to soak-callback-times.txt beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-3600}
BUILD=${ZENDRA_BUILD:-build}
bash scripts/install-deps.sh --test
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=ON >/dev/null
ninja -C "$BUILD" -j"${JOBS:-2}" zendra zendra_soak demo_kit
export ZENDRA_BIN=$PWD/$BUILD/zendra
export ZENDRA_DEMO_KIT=$PWD/$BUILD/demo-kit
export ZENDRA_E2E_ARTIFACTS=$PWD/$BUILD/e2e-artifacts
export ZENDRA_SOAK_SECONDS=$SECONDS_TO_RUN
"$BUILD/bench/zendra_soak"
