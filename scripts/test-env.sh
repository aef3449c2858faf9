#!/usr/bin/env bash
# Runs a command (by default a shell) inside a private test environment: the
# end-to-end tests' own sound server (scripts/pulse-rig.sh; with
# ZENDRA_TEST_AUDIO=pipewire scripts/pw-rig.sh) and its own X display (Xvfb,
# 1280x1024). Both are stopped, by PID, when the command ends.
#
#   scripts/test-env.sh                      # interactive shell
#   scripts/test-env.sh build/zendra         # the program on the test display
#   scripts/test-env.sh sh -c 'parecord --device=test_out.monitor out.wav'
#
# Look at the display with: import -window root shot.png
set -eu
here=$(cd "$(dirname "$0")" && pwd)
rig="$here/pulse-rig.sh"
if [ "${ZENDRA_TEST_AUDIO:-}" = pipewire ]; then rig="$here/pw-rig.sh"; fi

need() { command -v "$1" >/dev/null 2>&1 || { echo "test-env: $1 is missing" >&2; exit 127; }; }
for p in pactl Xvfb xdpyinfo; do need "$p"; done

dir=$(mktemp -d /tmp/zendra-env-XXXXXX)   # mode 700
xvfb_pid=
cleanup() {
    [ -n "$xvfb_pid" ] && kill -TERM "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    bash "$rig" stop "$dir/audio"
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

vars=$(bash "$rig" start "$dir/audio") || exit 1
for v in $vars; do export "${v?}"; done

n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset 2>"$dir/xvfb.log" &
xvfb_pid=$!
i=0
until xdpyinfo -display ":$n" >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
        echo "test-env: Xvfb did not start on :$n" >&2
        cat "$dir/xvfb.log" >&2 || true
        exit 1
    fi
    sleep 0.1
done
export DISPLAY=":$n"
export QT_QPA_PLATFORM=xcb

echo "test-env: DISPLAY=$DISPLAY $(echo "$vars" | head -1)" >&2
status=0
if [ $# -eq 0 ]; then
    "${SHELL:-/bin/sh}" || status=$?
else
    "$@" || status=$?
fi
exit $status
