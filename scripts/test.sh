#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs the whole suite:
# unit, window and end-to-end tests, then the unit and window tests again
# under AddressSanitizer + UndefinedBehaviorSanitizer (skip that second pass
# with ZENDRA_SKIP_SANITIZE=1).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=ON -DZENDRA_BENCH=ON >/dev/null
cmake --build build
(cd build && ctest --output-on-failure --timeout 600 "$@")
if [[ "${ZENDRA_SKIP_SANITIZE:-0}" != 1 ]]; then
  echo "== the unit and window tests again, under AddressSanitizer and UBSan"
  bash scripts/test-sanitize.sh "$@"
fi
