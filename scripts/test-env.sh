#!/bin/sh
# Runs a command (by default a shell) inside a private test environment: its
# own PulseAudio server (sink "test_out", the default; "test_mic" carrying a
# 440 Hz tone, whose monitor is the default source) and its own X display
# (Xvfb, 1280x1024). Both are stopped, by PID, when the command ends.
#
#   scripts/test-env.sh                      # interactive shell
#   scripts/test-env.sh build/zendra         # the program on the test display
#   scripts/test-env.sh sh -c 'parecord --device=test_out.monitor out.wav'
#
# Look at the display with: import -window root shot.png
set -eu

need() { command -v "$1" >/dev/null 2>&1 || { echo "test-env: $1 is missing" >&2; exit 127; }; }
for p in pulseaudio pactl pacat Xvfb xdpyinfo; do need "$p"; done

dir=$(mktemp -d /tmp/zendra-env-XXXXXX)   # mode 700
pa_pid= xvfb_pid= keep1= keep2=
cleanup() {
    for pid in $keep1 $keep2 $pa_pid $xvfb_pid; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in $keep1 $keep2 $pa_pid $xvfb_pid; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cat >"$dir/test.pa" <<'PA'
.fail
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=test_out rate=48000 channels=2 sink_properties=device.description=Test-Output
load-module module-null-sink sink_name=test_mic rate=48000 channels=1 sink_properties=device.description=Test-Mic-Bus
load-module module-sine sink=test_mic frequency=440
set-default-sink test_out
set-default-source test_mic.monitor
PA
echo "autospawn = no" >"$dir/client.conf"

export XDG_RUNTIME_DIR="$dir"
export PULSE_SERVER="unix:$dir/pulse/native"
export PULSE_COOKIE="$dir/cookie"
export PULSE_CLIENTCONFIG="$dir/client.conf"

HOME="$dir" pulseaudio -n -F "$dir/test.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --log-target="file:$dir/pulseaudio.log" &
pa_pid=$!
i=0
until pactl info >/dev/null 2>&1; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 "$pa_pid" 2>/dev/null; then
        echo "test-env: PulseAudio did not start; see $dir/pulseaudio.log" >&2
        cat "$dir/pulseaudio.log" >&2 || true
        exit 1
    fi
    sleep 0.1
done
# Silent low-latency streams keep the null sinks from rendering far ahead.
pacat --playback --device=test_out --latency-msec=5 </dev/zero & keep1=$!
pacat --playback --device=test_mic --latency-msec=5 </dev/zero & keep2=$!

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
export SDL_AUDIODRIVER=pulseaudio
sleep 1   # let the sink latency settle

echo "test-env: DISPLAY=$DISPLAY PULSE_SERVER=$PULSE_SERVER" >&2
status=0
if [ $# -eq 0 ]; then
    "${SHELL:-/bin/sh}" || status=$?
else
    "$@" || status=$?
fi
exit $status
