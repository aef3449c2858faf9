#!/usr/bin/env bash
# Installs what Zendra needs, builds it in release mode and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DZENDRA_TESTS=OFF -DZENDRA_BENCH=OFF >/dev/null
cmake --build build --target zendra demo_kit
exec ./build/zendra "$@"
