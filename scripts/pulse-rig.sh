#!/usr/bin/env bash
# pulse-rig.sh: a private PulseAudio sound server for tests, needing no
# systemd, D-Bus, sound card or display; driven as pw-rig.sh is.
#
#   pulse-rig.sh start DIR   Starts pulseaudio with every runtime, config and
#                            log file under DIR, waits until it answers and its
#                            sinks run at low latency (about 2 s), and prints on
#                            stdout what a client needs, one KEY=VALUE a line:
#                              PULSE_SERVER=unix:DIR/run/pulse/native
#                              PULSE_COOKIE=DIR/cookie
#                              PULSE_CLIENTCONFIG=DIR/client.conf
#                              XDG_RUNTIME_DIR=DIR/run
#                              PIPEWIRE_RUNTIME_DIR=DIR/run   (no PipeWire there)
#                            Exit status 0 when ready; otherwise non-zero with
#                            nothing left running (log: DIR/pulseaudio.log).
#   pulse-rig.sh env DIR     Prints the same lines again.
#   pulse-rig.sh stop DIR    Stops, by the PIDs kept in DIR, what start started;
#                            SIGTERM, then SIGKILL after 3 s.
#   pulse-rig.sh kill DIR    SIGKILL to the server, as a crash, then stops the rest.
#   pulse-rig.sh status DIR  One line per process: "NAME PID" or "NAME down".
#
# Nodes: test_out ("Test-Output", 48 kHz stereo, the default sink; record what
# was played from test_out.monitor) and test_mic ("Test-Mic-Bus", mono, a
# 440 Hz sine) whose monitor is the default source. Both sinks are held at low
# latency by silent streams (an idle null sink renders far ahead).
# Packages: pulseaudio pulseaudio-utils.
set -u

PROCS="keep-out keep-mic pulseaudio"  # stop order

usage() { echo "usage: $0 start|stop|kill|env|status DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
R=$(mkdir -p "$2" && cd "$2" && pwd) || exit 1

envs() {
  echo "PULSE_SERVER=unix:$R/run/pulse/native"
  echo "PULSE_COOKIE=$R/cookie"
  echo "PULSE_CLIENTCONFIG=$R/client.conf"
  echo "XDG_RUNTIME_DIR=$R/run"
  echo "PIPEWIRE_RUNTIME_DIR=$R/run"
}

# Running (not a zombie: PID 1 may reap late).
alive() {
  local p; p=$(cat "$R/$1.pid" 2>/dev/null) || return 1
  [ -n "$(ps -o stat= -p "$p" 2>/dev/null | grep -v '^Z')" ]
}

stop() {
  local d
  for d in $PROCS; do alive "$d" && kill -TERM "$(cat "$R/$d.pid")"; done
  for d in $PROCS; do
    for _ in $(seq 60); do alive "$d" || break; sleep 0.05; done
    alive "$d" && kill -KILL "$(cat "$R/$d.pid")"
    rm -f "$R/$d.pid"
  done
  return 0
}

latency_ms() {  # the first latency reported for test_out, in ms
  pactl list sinks 2>/dev/null | awk '/Name: test_out$/{f=1} f&&/Latency:/{print int($2/1000); exit}'
}

start() {
  local d
  for d in $PROCS; do alive "$d" && { echo "pulse-rig: $d already running in $R" >&2; return 1; }; done
  rm -rf "$R/run" "$R"/*.log
  mkdir -p "$R/run" && chmod 700 "$R/run" || return 1
  cat > "$R/test.pa" <<'PA'
.fail
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=test_out rate=48000 channels=2 sink_properties=device.description=Test-Output
load-module module-null-sink sink_name=test_mic rate=48000 channels=1 sink_properties=device.description=Test-Mic-Bus
load-module module-sine sink=test_mic frequency=440
set-default-sink test_out
set-default-source test_mic.monitor
PA
  echo "autospawn = no" > "$R/client.conf"
  local t0=$EPOCHREALTIME
  # A private home too, so that no user configuration applies.
  env -u DBUS_SESSION_BUS_ADDRESS -u DISPLAY HOME="$R" XDG_RUNTIME_DIR="$R/run" \
    pulseaudio -n -F "$R/test.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --log-target="file:$R/pulseaudio.log" </dev/null >"$R/pulseaudio.stdout" 2>&1 &
  echo $! > "$R/pulseaudio.pid"
  eval "export $(envs | tr '\n' ' ')"
  for _ in $(seq 100); do
    alive pulseaudio || break
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  # pactl may have reached another server on the same socket: ours must run.
  if ! alive pulseaudio || ! pactl info >/dev/null 2>&1; then
    echo "pulse-rig: PulseAudio did not start, see $R/pulseaudio.log" >&2; stop; return 1
  fi
  pacat --playback --device=test_out --latency-msec=5 </dev/zero >/dev/null 2>"$R/keep-out.log" &
  echo $! > "$R/keep-out.pid"
  pacat --playback --device=test_mic --latency-msec=5 </dev/zero >/dev/null 2>"$R/keep-mic.log" &
  echo $! > "$R/keep-mic.pid"
  for _ in $(seq 50); do
    local l; l=$(latency_ms)
    [ -n "$l" ] && [ "$l" -lt 50 ] && break
    sleep 0.05
  done
  echo "pulse-rig: ready in $(awk "BEGIN{printf \"%.2f\", $EPOCHREALTIME - $t0}") s ($R)" >&2
  envs
}

case "$1" in
  start) start ;;
  stop) stop ;;
  kill) alive pulseaudio && kill -KILL "$(cat "$R/pulseaudio.pid")"; stop ;;
  env) envs ;;
  status) for d in $PROCS; do if alive "$d"; then echo "$d $(cat "$R/$d.pid")"; else echo "$d down"; fi; done ;;
  *) usage ;;
esac
