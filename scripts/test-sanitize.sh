#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer in its
# own build folder and runs the unit and window tests (not the end-to-end
# ones). Any sanitizer report fails the run. Extra arguments go to ctest.
#   scripts/test-sanitize.sh            # whole suite
#   scripts/test-sanitize.sh -R Hostile # a part of it
# ZENDRA_SANITIZE_BUILD sets the folder (default build-sanitize), JOBS the
# number of parallel compiles (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${ZENDRA_SANITIZE_BUILD:-build-sanitize}
JOBS=${JOBS:-2}

LAUNCHER=()
if command -v ccache >/dev/null; then LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
# -O1 -g1: what the sanitizers need for exact reports and line numbers, at
# half the compile time of -O2 -g.
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DZENDRA_SANITIZE=ON -DZENDRA_TESTS=ON -DZENDRA_BENCH=OFF "${LAUNCHER[@]}" >/dev/null
ninja -C "$BUILD" -j"$JOBS" zendra_unit_tests zendra_ui_tests demo_kit

# halt_on_error: the first report stops the test and fails it.
# detect_leaks: leaks are reported when each test process exits.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
# The window tests look for the demo kit here when ctest does not pass it.
export ZENDRA_DEMO_KIT=${ZENDRA_DEMO_KIT:-$PWD/$BUILD/demo-kit}
cd "$BUILD"
ctest --output-on-failure --timeout 900 -LE e2e -E '_NOT_BUILT$' "$@"
